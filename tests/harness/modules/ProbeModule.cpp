// A small, well-behaved effect module that exercises every service of the
// stand-in host: registration, set-up, parameters, the UI update, parameter
// and layer checkouts, the path suites, the world suite, the per-pixel
// iterate of every depth, iterate_generic, abort and progress. What it sees
// in pre-render goes into its pre-render data (ProbeData.h).
#include <cstring>

#include "HostAPI.h"
#include "ProbeData.h"

namespace {

int gDeletions = 0;

template <typename Suite>
PF_Err Acquire(PF_InData* in_data, const char* name, int version, const Suite** suite)
{
    return in_data->pica_basicP->AcquireSuite(name, version, reinterpret_cast<const void**>(suite));
}

void Release(PF_InData* in_data, const char* name, int version)
{
    in_data->pica_basicP->ReleaseSuite(name, version);
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data)
{
    out_data->my_version = 0x00118004; // 2.3.0, development, build 4
    out_data->out_flags = PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI;
    out_data->out_flags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE;
    if (in_data->appl_id == kLinestraPremiereApplId) {
        const PF_PixelFormatSuite1* formats = nullptr;
        if (PF_Err err = Acquire(in_data, kPFPixelFormatSuite, 1, &formats))
            return err;
        formats->ClearSupportedPixelFormats(in_data->effect_ref);
        formats->AddSupportedPixelFormat(in_data->effect_ref, kLinestraPremierePixelFormat);
        Release(in_data, kPFPixelFormatSuite, 1);
    }
    return PF_Err_NONE;
}

PF_Err Add(PF_InData* in_data, PF_ParamDef& def, PF_ParamType type, const char* name, A_long id)
{
    def.param_type = type;
    PF_STRCPY(def.name, name);
    def.uu.id = id;
    return PF_ADD_PARAM(in_data, -1, &def);
}

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    PF_Err err = PF_Err_NONE;
    PF_ParamDef def;

    AEFX_CLR_STRUCT(def);
    def.u.fs_d.valid_min = def.u.fs_d.slider_min = -100.0f;
    def.u.fs_d.valid_max = def.u.fs_d.slider_max = 100.0f;
    def.u.fs_d.value = 10.0;
    def.u.fs_d.dephault = 10.0f;
    def.u.fs_d.precision = 2;
    if ((err = Add(in_data, def, PF_Param_FLOAT_SLIDER, "Amount", 1)))
        return err;

    AEFX_CLR_STRUCT(def);
    if ((err = Add(in_data, def, PF_Param_ANGLE, "Angle", 2)))
        return err;

    AEFX_CLR_STRUCT(def);
    def.u.bd.u.nameptr = "";
    if ((err = Add(in_data, def, PF_Param_CHECKBOX, "Flag", 3)))
        return err;

    AEFX_CLR_STRUCT(def);
    def.u.pd.num_choices = 3;
    def.u.pd.value = def.u.pd.dephault = 1;
    def.u.pd.u.namesptr = "One|Two|Three";
    if ((err = Add(in_data, def, PF_Param_POPUP, "Choice", 4)))
        return err;

    AEFX_CLR_STRUCT(def);
    if ((err = Add(in_data, def, PF_Param_POINT, "Spot", 5)))
        return err;

    AEFX_CLR_STRUCT(def);
    def.u.ld.dephault = PF_LayerDefault_NONE;
    if ((err = Add(in_data, def, PF_Param_LAYER, "Texture", 6)))
        return err;

    AEFX_CLR_STRUCT(def);
    if ((err = Add(in_data, def, PF_Param_PATH, "Mask", 7)))
        return err;

    AEFX_CLR_STRUCT(def);
    def.u.fs_d.valid_max = def.u.fs_d.slider_max = static_cast<float>(probe::kMaxQuestions);
    if ((err = Add(in_data, def, PF_Param_FLOAT_SLIDER, "Abort Questions", 8)))
        return err;

    out_data->num_params = probe::kCount;
    return PF_Err_NONE;
}

// Angle is disabled while Flag is on.
PF_Err UpdateParamsUi(PF_InData* in_data, PF_ParamDef* params[])
{
    const PF_ParamUtilsSuite3* utils = nullptr;
    if (PF_Err err = Acquire(in_data, kPFParamUtilsSuite, 3, &utils))
        return err;
    if (utils == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    PF_ParamDef copy = *params[probe::kAngle];
    if (params[probe::kFlag]->u.bd.value != 0)
        copy.ui_flags |= PF_PUI_DISABLED;
    else
        copy.ui_flags &= ~PF_PUI_DISABLED;
    utils->PF_UpdateParamUI(in_data->effect_ref, probe::kAngle, &copy);
    Release(in_data, kPFParamUtilsSuite, 3);
    return PF_Err_NONE;
}

void DeleteProbeData(void* data)
{
    if (data == nullptr)
        return;
    ++gDeletions;
    delete static_cast<probe::ProbeData*>(data);
}

PF_Err Checkout(PF_InData* in_data, int index, PF_ParamDef& def)
{
    AEFX_CLR_STRUCT(def);
    return PF_CHECKOUT_PARAM(in_data, index, in_data->current_time, in_data->time_step, in_data->time_scale, &def);
}

PF_Err ReadParams(PF_InData* in_data, probe::ProbeData& d)
{
    PF_ParamDef p;
    PF_Err err = PF_Err_NONE;
    if (!err && !(err = Checkout(in_data, probe::kAmount, p)))
        d.amount = p.u.fs_d.value;
    if (!err && !(err = Checkout(in_data, probe::kAngle, p)))
        d.angle = p.u.ad.value;
    if (!err && !(err = Checkout(in_data, probe::kFlag, p)))
        d.flag = p.u.bd.value;
    if (!err && !(err = Checkout(in_data, probe::kChoice, p)))
        d.choice = p.u.pd.value;
    if (!err && !(err = Checkout(in_data, probe::kSpot, p))) {
        d.spotX = p.u.td.x_value;
        d.spotY = p.u.td.y_value;
    }
    if (!err && !(err = Checkout(in_data, probe::kMask, p)))
        d.pathId = p.u.path_d.path_id;
    if (!err && !(err = Checkout(in_data, probe::kTexture, p))) {
        d.textureWidth = p.u.ld.width;
        d.textureHeight = p.u.ld.height;
        d.textureRowBytes = p.u.ld.rowbytes;
        if (p.u.ld.data != nullptr) {
            const PF_WorldSuite2* worlds = nullptr;
            if (!(err = Acquire(in_data, kPFWorldSuite, 2, &worlds))) {
                err = worlds->PF_GetPixelFormat(&p.u.ld, &d.textureFormat);
                Release(in_data, kPFWorldSuite, 2);
            }
            if (!err && d.textureFormat == PF_PixelFormat_ARGB64)
                d.textureFirst16 = *static_cast<const PF_Pixel16*>(p.u.ld.data);
        }
        PF_CHECKIN_PARAM(in_data, &p);
    }
    PF_ParamDef questions;
    if (!err && !(err = Checkout(in_data, probe::kAbortQuestions, questions)))
        d.asked = static_cast<int>(questions.u.fs_d.value);
    return err;
}

PF_Err MeasurePath(PF_InData* in_data, probe::ProbeData& d)
{
    const PF_PathQuerySuite1* query = nullptr;
    const PF_PathDataSuite1* data = nullptr;
    PF_Err err = Acquire(in_data, kPFPathQuerySuite, 1, &query);
    if (err)
        return err;
    if ((err = Acquire(in_data, kPFPathDataSuite, 1, &data))) {
        Release(in_data, kPFPathQuerySuite, 1);
        return err;
    }
    PF_PathOutlinePtr path = nullptr;
    err = query->PF_CheckoutPath(in_data->effect_ref, d.pathId, in_data->current_time, in_data->time_step,
                                 in_data->time_scale, &path);
    if (!err)
        err = data->PF_PathNumSegments(in_data->effect_ref, path, &d.segments);
    if (!err)
        err = data->PF_PathIsOpen(in_data->effect_ref, path, &d.open);
    for (A_long i = 0; !err && i < d.segments; ++i) {
        PF_PathSegPrepPtr prep = nullptr;
        PF_FpLong length = 0;
        err = data->PF_PathPrepareSegLength(in_data->effect_ref, path, i, 100, &prep);
        if (!err)
            err = data->PF_PathGetSegLength(in_data->effect_ref, path, i, &prep, &length);
        if (!err && i == 0)
            err = data->PF_PathEvalSegLengthDeriv1(in_data->effect_ref, path, &prep, 0, length / 2, &d.half[0],
                                                   &d.half[1], &d.half[2], &d.half[3]);
        if (!err)
            err = data->PF_PathCleanupSegLength(in_data->effect_ref, path, i, &prep);
        d.pathLength += length;
    }
    if (!err)
        err = query->PF_CheckinPath(in_data->effect_ref, d.pathId, false, path);
    Release(in_data, kPFPathDataSuite, 1);
    Release(in_data, kPFPathQuerySuite, 1);
    return err;
}

PF_Err PreRender(PF_InData* in_data, PF_PreRenderExtra* extra)
{
    auto* d = new probe::ProbeData;
    d->deletions = &gDeletions;
    d->layerWidth = in_data->width;
    d->layerHeight = in_data->height;
    d->downsampleX = in_data->downsample_x;
    d->downsampleY = in_data->downsample_y;
    d->time = in_data->current_time;
    d->timeStep = in_data->time_step;
    d->timeScale = in_data->time_scale;
    // The host owns the data from here on, whatever follows.
    extra->output->pre_render_data = d;
    extra->output->delete_pre_render_data_func = &DeleteProbeData;

    PF_Err err = ReadParams(in_data, *d);
    if (!err) {
        PF_RenderRequest request = extra->input->output_request;
        err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                        in_data->time_step, in_data->time_scale, &d->input);
    }
    if (!err) {
        extra->output->result_rect = d->input.result_rect;
        extra->output->max_result_rect = d->input.max_result_rect;
    }
    const int asked = d->asked;
    d->asked = 0;
    while (!err && d->asked < asked) {
        err = PF_ABORT(in_data);
        d->answers[d->asked++] = err;
    }
    if (!err)
        err = MeasurePath(in_data, *d);
    return err;
}

// Per-pixel: a function of the input and the position, in every format.
template <typename Pixel>
struct Channels;
template <>
struct Channels<PF_Pixel> {
    static A_u_char From(A_long v) { return static_cast<A_u_char>(v & 0xFF); }
};
template <>
struct Channels<PF_Pixel16> {
    static A_u_short From(A_long v) { return static_cast<A_u_short>(v % 32769); }
};
template <>
struct Channels<PF_PixelFloat> {
    static float From(A_long v) { return static_cast<float>(v) / 1024.0f; }
};

template <typename Pixel>
PF_Err Shade(void*, A_long x, A_long y, Pixel* in, Pixel* out)
{
    out->alpha = in->alpha;
    out->red = in->green;
    out->green = in->blue;
    out->blue = Channels<Pixel>::From(x * 31 + y * 17);
    return PF_Err_NONE;
}

struct RowCopy {
    PF_EffectWorld* from;
    PF_EffectWorld* to;
    std::size_t pixelBytes;
};

PF_Err CopyRow(void* refcon, A_long, A_long row, A_long)
{
    auto* copy = static_cast<RowCopy*>(refcon);
    const auto* from = static_cast<const char*>(copy->from->data) + static_cast<std::ptrdiff_t>(row) * copy->from->rowbytes;
    auto* to = static_cast<char*>(copy->to->data) + static_cast<std::ptrdiff_t>(row) * copy->to->rowbytes;
    std::memcpy(to, from, static_cast<std::size_t>(copy->to->width) * copy->pixelBytes);
    return PF_Err_NONE;
}

PF_Err SmartRender(PF_InData* in_data, PF_SmartRenderExtra* extra)
{
    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
    if (!err)
        err = extra->cb->checkout_output(in_data->effect_ref, &output);
    const PF_WorldSuite2* worlds = nullptr;
    PF_PixelFormat format = 0;
    if (!err && !(err = Acquire(in_data, kPFWorldSuite, 2, &worlds))) {
        err = worlds->PF_GetPixelFormat(input, &format);
        PF_EffectWorld temp;
        AEFX_CLR_STRUCT(temp);
        if (!err)
            err = worlds->PF_NewWorld(in_data->effect_ref, output->width, output->height, false, format, &temp);
        if (!err) {
            PF_PROGRESS(in_data, 0, 100);
            std::size_t pixelBytes = 4;
            if (format == PF_PixelFormat_ARGB32) {
                const PF_Iterate8Suite1* it = nullptr;
                if (!(err = Acquire(in_data, kPFIterate8Suite, 1, &it))) {
                    err = it->iterate(in_data, 0, output->height, input, nullptr, nullptr, &Shade<PF_Pixel>, &temp);
                    Release(in_data, kPFIterate8Suite, 1);
                }
            } else if (format == PF_PixelFormat_ARGB64) {
                pixelBytes = 8;
                const PF_iterate16Suite2* it = nullptr;
                if (!(err = Acquire(in_data, kPFIterate16Suite, 2, &it))) {
                    err = it->iterate(in_data, 0, output->height, input, nullptr, nullptr, &Shade<PF_Pixel16>, &temp);
                    Release(in_data, kPFIterate16Suite, 2);
                }
            } else {
                pixelBytes = 16;
                const PF_iterateFloatSuite2* it = nullptr;
                if (!(err = Acquire(in_data, kPFIterateFloatSuite, 2, &it))) {
                    err = it->iterate(in_data, 0, output->height, input, nullptr, nullptr, &Shade<PF_PixelFloat>,
                                      &temp);
                    Release(in_data, kPFIterateFloatSuite, 2);
                }
            }
            PF_PROGRESS(in_data, 50, 100);
            const PF_Iterate8Suite1* it8 = nullptr;
            if (!err && !(err = Acquire(in_data, kPFIterate8Suite, 1, &it8))) {
                RowCopy copy{&temp, output, pixelBytes};
                err = it8->iterate_generic(output->height, &copy, &CopyRow);
                Release(in_data, kPFIterate8Suite, 1);
            }
            PF_PROGRESS(in_data, 100, 100);
            worlds->PF_DisposeWorld(in_data->effect_ref, &temp);
        }
        Release(in_data, kPFWorldSuite, 2);
    }
    // Checked in whatever the checkout answered, as the effect does.
    extra->cb->checkin_layer_pixels(in_data->effect_ref, 0);
    return err;
}

} // namespace

LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite*,
                                               const char*, const char*)
{
    return callback(inPtr, reinterpret_cast<const A_u_char*>("Harness Probe"),
                    reinterpret_cast<const A_u_char*>("LinestraHarnessProbe"),
                    reinterpret_cast<const A_u_char*>("Tests"), reinterpret_cast<const A_u_char*>("EffectMain"),
                    0x65464B54, PF_PLUG_IN_VERSION, PF_PLUG_IN_SUBVERS, 8);
}

LINESTRA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                  PF_LayerDef*, void* extra)
{
    switch (cmd) {
    case PF_Cmd_ABOUT:
        PF_SPRINTF(out_data->return_msg, "%s v%d.%d\r%s", "Harness Probe", 2, 3, "A module for tests.");
        return PF_Err_NONE;
    case PF_Cmd_GLOBAL_SETUP:
        return GlobalSetup(in_data, out_data);
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_UPDATE_PARAMS_UI:
        return UpdateParamsUi(in_data, params);
    case PF_Cmd_SMART_PRE_RENDER:
        return PreRender(in_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        return SmartRender(in_data, static_cast<PF_SmartRenderExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}
