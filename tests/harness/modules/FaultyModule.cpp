// A deliberately faulty effect module: in pre-render it acquires the world
// suite and never releases it, creates a world and never disposes it,
// checks out the mask and prepares its first segment without cleaning up or
// checking in, and keeps checking parameters out after the host answered an
// error. In render it writes into the input layer and never checks it in.
// The stand-in host must report every one of these.
#include "HostAPI.h"

namespace {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    PF_ParamDef def;
    AEFX_CLR_STRUCT(def);
    def.param_type = PF_Param_PATH;
    PF_STRCPY(def.name, "Mask");
    def.uu.id = 1;
    if (PF_Err err = PF_ADD_PARAM(in_data, -1, &def))
        return err;
    out_data->num_params = 2;
    return PF_Err_NONE;
}

PF_Err PreRender(PF_InData* in_data, PF_PreRenderExtra* extra)
{
    // Two checkouts whatever the first one answers.
    PF_ParamDef mask;
    AEFX_CLR_STRUCT(mask);
    PF_Err first = PF_CHECKOUT_PARAM(in_data, 1, in_data->current_time, in_data->time_step, in_data->time_scale, &mask);
    PF_CHECKOUT_PARAM(in_data, 1, in_data->current_time, in_data->time_step, in_data->time_scale, &mask);

    PF_CheckoutResult input;
    AEFX_CLR_STRUCT(input);
    PF_RenderRequest request = extra->input->output_request;
    extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time, in_data->time_step,
                              in_data->time_scale, &input);
    extra->output->result_rect = input.result_rect;
    extra->output->max_result_rect = input.max_result_rect;

    const PF_WorldSuite2* worlds = nullptr;
    if (in_data->pica_basicP->AcquireSuite(kPFWorldSuite, 2, reinterpret_cast<const void**>(&worlds)) == 0) {
        PF_EffectWorld leaked;
        AEFX_CLR_STRUCT(leaked);
        worlds->PF_NewWorld(in_data->effect_ref, 16, 8, true, PF_PixelFormat_ARGB32, &leaked);
    }

    const PF_PathQuerySuite1* query = nullptr;
    const PF_PathDataSuite1* data = nullptr;
    in_data->pica_basicP->AcquireSuite(kPFPathQuerySuite, 1, reinterpret_cast<const void**>(&query));
    in_data->pica_basicP->AcquireSuite(kPFPathDataSuite, 1, reinterpret_cast<const void**>(&data));
    PF_PathOutlinePtr path = nullptr;
    if (query != nullptr &&
        query->PF_CheckoutPath(in_data->effect_ref, mask.u.path_d.path_id, in_data->current_time,
                               in_data->time_step, in_data->time_scale, &path) == 0) {
        PF_PathSegPrepPtr prep = nullptr;
        A_long segments = 0;
        data->PF_PathNumSegments(in_data->effect_ref, path, &segments);
        if (segments > 0)
            data->PF_PathPrepareSegLength(in_data->effect_ref, path, 0, 100, &prep);
    }
    in_data->pica_basicP->ReleaseSuite(kPFPathQuerySuite, 1);
    in_data->pica_basicP->ReleaseSuite(kPFPathDataSuite, 1);
    return first;
}

PF_Err SmartRender(PF_InData* in_data, PF_SmartRenderExtra* extra)
{
    PF_EffectWorld* input = nullptr;
    if (PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input))
        return err;
    if (input != nullptr && input->width > 0 && input->height > 0)
        static_cast<PF_Pixel*>(input->data)->red ^= 0xFF;
    return PF_Err_NONE;
}

} // namespace

LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite*,
                                               const char*, const char*)
{
    return callback(inPtr, reinterpret_cast<const A_u_char*>("Harness Faulty"),
                    reinterpret_cast<const A_u_char*>("LinestraHarnessFaulty"),
                    reinterpret_cast<const A_u_char*>("Tests"), reinterpret_cast<const A_u_char*>("EffectMain"),
                    0x65464B54, PF_PLUG_IN_VERSION, PF_PLUG_IN_SUBVERS, 8);
}

LINESTRA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[],
                                  PF_LayerDef*, void* extra)
{
    switch (cmd) {
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_SMART_PRE_RENDER:
        return PreRender(in_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        return SmartRender(in_data, static_cast<PF_SmartRenderExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}
