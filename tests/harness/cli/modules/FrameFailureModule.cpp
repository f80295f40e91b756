// A small effect module for the command-line tests: it copies the input to
// the output, and its render fails with an error whenever its one slider,
// "Fail", is above 0.5 at the frame's time, so that a scene can make a
// multi-frame run fail part-way.
#include "HostAPI.h"

namespace {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    PF_ParamDef def;
    AEFX_CLR_STRUCT(def);
    def.param_type = PF_Param_FLOAT_SLIDER;
    PF_STRCPY(def.name, "Fail");
    def.uu.id = 1;
    def.u.fs_d.valid_min = def.u.fs_d.slider_min = 0.0f;
    def.u.fs_d.valid_max = def.u.fs_d.slider_max = 1.0f;
    if (PF_Err err = PF_ADD_PARAM(in_data, -1, &def))
        return err;
    out_data->num_params = 2;
    return PF_Err_NONE;
}

PF_Err PreRender(PF_InData* in_data, PF_PreRenderExtra* extra)
{
    PF_CheckoutResult input;
    AEFX_CLR_STRUCT(input);
    PF_RenderRequest request = extra->input->output_request;
    const PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                                 in_data->time_step, in_data->time_scale, &input);
    extra->output->result_rect = input.result_rect;
    extra->output->max_result_rect = input.max_result_rect;
    return err;
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
{
    PF_ParamDef fail;
    AEFX_CLR_STRUCT(fail);
    PF_Err err = PF_CHECKOUT_PARAM(in_data, 1, in_data->current_time, in_data->time_step, in_data->time_scale, &fail);
    if (err)
        return err;
    const bool failing = fail.u.fs_d.value > 0.5;
    PF_CHECKIN_PARAM(in_data, &fail);

    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
    if (!err)
        err = extra->cb->checkout_output(in_data->effect_ref, &output);
    if (!err) {
        const auto* from = static_cast<const unsigned char*>(input->data);
        auto* to = static_cast<unsigned char*>(output->data);
        const A_long bytes = output->rowbytes < input->rowbytes ? output->rowbytes : input->rowbytes;
        for (A_long y = 0; y < output->height; ++y)
            for (A_long i = 0; i < bytes; ++i)
                to[y * output->rowbytes + i] = from[y * input->rowbytes + i];
    }
    extra->cb->checkin_layer_pixels(in_data->effect_ref, 0);
    if (!err && failing) {
        PF_SPRINTF(out_data->return_msg, "%s", "asked to fail at this frame");
        err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return err;
}

} // namespace

LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite*,
                                               const char*, const char*)
{
    return callback(inPtr, reinterpret_cast<const A_u_char*>("Frame Failure"),
                    reinterpret_cast<const A_u_char*>("LinestraFrameFailure"),
                    reinterpret_cast<const A_u_char*>("Tests"), reinterpret_cast<const A_u_char*>("EffectMain"),
                    0x65464B54, PF_PLUG_IN_VERSION, PF_PLUG_IN_SUBVERS, 8);
}

LINESTRA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*,
                                  void* extra)
{
    switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
        out_data->my_version = 0x00088001;
        out_data->out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
        out_data->out_flags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE;
        return PF_Err_NONE;
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_SMART_PRE_RENDER:
        return PreRender(in_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        return SmartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}
