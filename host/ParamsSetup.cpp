#include "host/HostCommands.h"
#include "host/ParamNames.h"
#include "host/Params.h"

namespace {

// Disk IDs: what the host stores in projects. They differ from the indices
// and must never change.
enum {
    DISK_ID_PATH = 1,
    DISK_ID_PATH_EXPAND_CONTRACT = 2,
    DISK_ID_TEXTURE_SOURCE = 3,
    DISK_ID_TEXTURE_LAYER = 5,
    DISK_ID_MIRROR_Y = 6,
    DISK_ID_REPEAT_MIRRORED_X = 7,
    DISK_ID_TEXTURE_ORIGIN = 8,
    DISK_ID_POINT = 9,
    DISK_ID_MIRROR_TILE_AT_EDGE = 13,
    DISK_ID_STROKE_LENGTH = 15,
    DISK_ID_TEXTURE_OFFSET = 16,
    DISK_ID_FADE_IN = 18,
    DISK_ID_FADE_OUT = 19,
    DISK_ID_STOP_FADE_AT_EDGE = 20,
    DISK_ID_SCALE_X = 21,
    DISK_ID_SCALE_Y = 22,
    DISK_ID_REPEAT_MIRRORED_Y = 38,
    DISK_ID_MIRROR_X = 39,
    DISK_ID_TO_EDGE = 64,
    DISK_ID_TEXTURE_SETTINGS_START = 65,
    DISK_ID_TEXTURE_SETTINGS_END = 66,
    DISK_ID_STROKE_SETTINGS_START = 67,
    DISK_ID_STROKE_SETTINGS_END = 68,
    DISK_ID_COMPOSITE_ON_ORIGINAL = 69,
    DISK_ID_SCALE_X_START = 72,
    DISK_ID_SCALE_X_END = 73,
    DISK_ID_SCALE_X_GRADIENT = 74
};

constexpr PF_ParamIndex kAppend = -1;

// The scale sliders' lower bound: the float nearest to 0.001, so that every
// scale stays strictly positive.
constexpr PF_FpShort kSmallestScale = 0.001f;

struct FloatSlider {
    PF_FpShort minimum;
    PF_FpShort maximum;
    PF_FpShort dephault;
    A_short precision;
    PF_ValueDisplayFlags display;
};

// A cleared definition of the given type, named with the host's string copy
// (group ends keep the empty name).
PF_ParamDef newDefinition(PF_InData* in_data, PF_ParamType type, const char* name, A_long diskId)
{
    PF_ParamDef def;
    AEFX_CLR_STRUCT(def);
    def.param_type = type;
    if (name) PF_STRCPY(def.name, name);
    def.uu.id = diskId;
    return def;
}

PF_Err add(PF_InData* in_data, PF_ParamDef& def)
{
    return PF_ADD_PARAM(in_data, kAppend, &def);
}

PF_Err addPath(PF_InData* in_data, const char* name, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_PATH, name, diskId);
    def.u.path_d.dephault = 0; // no mask chosen
    return add(in_data, def);
}

PF_Err addFloatSlider(PF_InData* in_data, const char* name, const FloatSlider& slider, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_FLOAT_SLIDER, name, diskId);
    PF_FloatSliderDef& fs = def.u.fs_d;
    fs.valid_min = slider.minimum;
    fs.slider_min = slider.minimum;
    fs.valid_max = slider.maximum;
    fs.slider_max = slider.maximum;
    fs.value = static_cast<PF_FpLong>(slider.dephault);
    fs.dephault = slider.dephault;
    fs.precision = slider.precision;
    fs.display_flags = slider.display;
    fs.fs_flags = PF_FSliderFlag_WANT_PHASE;
    fs.curve_tolerance = 0.05f;
    return add(in_data, def);
}

PF_Err addPopup(PF_InData* in_data, const char* name, const char* entries, A_short dephault, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_POPUP, name, diskId);
    def.u.pd.value = dephault;
    def.u.pd.num_choices = 2;
    def.u.pd.dephault = dephault;
    def.u.pd.u.namesptr = entries;
    return add(in_data, def);
}

PF_Err addCheckbox(PF_InData* in_data, const char* name, bool on, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_CHECKBOX, name, diskId);
    def.u.bd.value = on ? 1 : 0;
    def.u.bd.dephault = static_cast<PF_Boolean>(on ? 1 : 0);
    def.u.bd.u.nameptr = strEmptyPlaceholder_Description;
    return add(in_data, def);
}

PF_Err addLayer(PF_InData* in_data, const char* name, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_LAYER, name, diskId);
    def.u.ld.dephault = PF_LayerDefault_NONE;
    return add(in_data, def);
}

// Angle 0 degrees and point (0, 0): nothing beyond the cleared record.
PF_Err addAngle(PF_InData* in_data, const char* name, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_ANGLE, name, diskId);
    return add(in_data, def);
}

PF_Err addPoint(PF_InData* in_data, const char* name, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_POINT, name, diskId);
    return add(in_data, def);
}

PF_Err addGroupStart(PF_InData* in_data, const char* name, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_GROUP_START, name, diskId);
    return add(in_data, def);
}

PF_Err addGroupEnd(PF_InData* in_data, A_long diskId)
{
    PF_ParamDef def = newDefinition(in_data, PF_Param_GROUP_END, nullptr, diskId);
    return add(in_data, def);
}

constexpr FloatSlider kExpandContract{-5000.0f, 5000.0f, 0.0f, 2, PF_ValueDisplayFlag_NONE};
constexpr FloatSlider kScaleXStart{kSmallestScale, 250.0f, 1.0f, 3, PF_ValueDisplayFlag_NONE};
constexpr FloatSlider kScale{kSmallestScale, 250.0f, 2.0f, 3, PF_ValueDisplayFlag_NONE};
constexpr FloatSlider kStrokeLength{-10000.0f, 10000.0f, -150.0f, 0, PF_ValueDisplayFlag_NONE};
constexpr FloatSlider kFade{0.0f, 100.0f, 0.0f, 2, PF_ValueDisplayFlag_PERCENT};

} // namespace

// The parameters in the order the host shows them. The results of adding the
// path and the group markers are not examined; any other failed add ends the
// command with the host's error (num_params is then left alone).
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/)
{
    PF_Err err = PF_Err_NONE;

    addPath(in_data, strPath_ParamName, DISK_ID_PATH);
    if ((err = addFloatSlider(in_data, strPathExpandContract_ParamName, kExpandContract, DISK_ID_PATH_EXPAND_CONTRACT)))
        return err;

    addGroupStart(in_data, strTextureSettings_GroupName, DISK_ID_TEXTURE_SETTINGS_START);
    if ((err = addPopup(in_data, strTextureSourceDropdown_ParamName, strTextureSourceDropdown_Options,
                        TEXTURE_SOURCE_SPECIFIED_LAYER, DISK_ID_TEXTURE_SOURCE)))
        return err;
    if ((err = addLayer(in_data, strTextureLayer_ParamName, DISK_ID_TEXTURE_LAYER))) return err;
    if ((err = addCheckbox(in_data, strScaleXGradientCheckbox_ParamName, false, DISK_ID_SCALE_X_GRADIENT)))
        return err;
    if ((err = addFloatSlider(in_data, strScaleXStartAmount_ParamName, kScaleXStart, DISK_ID_SCALE_X_START)))
        return err;
    if ((err = addFloatSlider(in_data, strScaleXEndAmount_ParamName, kScale, DISK_ID_SCALE_X_END))) return err;
    if ((err = addFloatSlider(in_data, strScaleXAmount_ParamName, kScale, DISK_ID_SCALE_X))) return err;
    if ((err = addFloatSlider(in_data, strScaleYAmount_ParamName, kScale, DISK_ID_SCALE_Y))) return err;
    if ((err = addAngle(in_data, strTextureOffsetSliderParamName, DISK_ID_TEXTURE_OFFSET))) return err;
    if ((err = addCheckbox(in_data, strFlipTextureAlongLinesCheckbox_ParamName, false, DISK_ID_MIRROR_X)))
        return err;
    if ((err = addCheckbox(in_data, strFlipTextureAlongPathCheckbox_ParamName, false, DISK_ID_MIRROR_Y)))
        return err;
    if ((err = addCheckbox(in_data, strMirrorTileAlongLinesCheckbox_ParamName, true, DISK_ID_REPEAT_MIRRORED_X)))
        return err;
    if ((err = addCheckbox(in_data, strMirrorTileAlongPathCheckbox_ParamName, true, DISK_ID_REPEAT_MIRRORED_Y)))
        return err;
    if ((err = addCheckbox(in_data, strLinestraMirrorTileCheckbox_ParamName, true, DISK_ID_MIRROR_TILE_AT_EDGE)))
        return err;
    if ((err = addPopup(in_data, strTextureOriginDropdown_ParamName, strTextureOriginDropdown_Options,
                        TEXTURE_ORIGIN_START_OF_PATH, DISK_ID_TEXTURE_ORIGIN)))
        return err;
    if ((err = addPoint(in_data, strPoint_ParamName, DISK_ID_POINT))) return err;
    addGroupEnd(in_data, DISK_ID_TEXTURE_SETTINGS_END);

    addGroupStart(in_data, strStrokeSettings_GroupName, DISK_ID_STROKE_SETTINGS_START);
    if ((err = addFloatSlider(in_data, strStrokeLength_ParamName, kStrokeLength, DISK_ID_STROKE_LENGTH))) return err;
    if ((err = addCheckbox(in_data, strToEdgeCheckbox_ParamName, false, DISK_ID_TO_EDGE))) return err;
    if ((err = addFloatSlider(in_data, strFadeFromStartSlider_ParamName, kFade, DISK_ID_FADE_IN))) return err;
    if ((err = addFloatSlider(in_data, strFadeFromEndSlider_ParamName, kFade, DISK_ID_FADE_OUT))) return err;
    if ((err = addCheckbox(in_data, strFadeFromClipCheckbox_ParamName, false, DISK_ID_STOP_FADE_AT_EDGE)))
        return err;
    if ((err = addCheckbox(in_data, strCompositeOnOriginalCheckbox_ParamName, true, DISK_ID_COMPOSITE_ON_ORIGINAL)))
        return err;
    addGroupEnd(in_data, DISK_ID_STROKE_SETTINGS_END);

    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}
