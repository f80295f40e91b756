#include "host/ParamNames.h"

// Each name must fit the host's name field: 31 characters and a terminator.
#define LINESTRA_PARAM_NAME(NAME, TEXT)                                                                          \
    const char NAME[] = TEXT;                                                                                     \
    static_assert(sizeof(NAME) <= 32, #NAME " does not fit the host's name field")

LINESTRA_PARAM_NAME(strPath_ParamName, "Path");
LINESTRA_PARAM_NAME(strPathExpandContract_ParamName, "Expand/Contract Path");
LINESTRA_PARAM_NAME(strTextureSettings_GroupName, "Texture Settings");
LINESTRA_PARAM_NAME(strTextureSourceDropdown_ParamName, "Texture Source");
LINESTRA_PARAM_NAME(strTextureLayer_ParamName, "Specified Layer");
LINESTRA_PARAM_NAME(strScaleXGradientCheckbox_ParamName, "Scale X Gradient");
LINESTRA_PARAM_NAME(strScaleXStartAmount_ParamName, "Scale X Start");
LINESTRA_PARAM_NAME(strScaleXEndAmount_ParamName, "Scale X End");
LINESTRA_PARAM_NAME(strScaleXAmount_ParamName, "Scale X");
LINESTRA_PARAM_NAME(strScaleYAmount_ParamName, "Scale Y");
LINESTRA_PARAM_NAME(strTextureOffsetSliderParamName, "Texture Offset");
LINESTRA_PARAM_NAME(strFlipTextureAlongLinesCheckbox_ParamName, "Mirror X");
LINESTRA_PARAM_NAME(strFlipTextureAlongPathCheckbox_ParamName, "Mirror Y");
LINESTRA_PARAM_NAME(strMirrorTileAlongLinesCheckbox_ParamName, "Repeat Mirrored X");
LINESTRA_PARAM_NAME(strMirrorTileAlongPathCheckbox_ParamName, "Repeat Mirrored Y");
LINESTRA_PARAM_NAME(strLinestraMirrorTileCheckbox_ParamName, "Mirror Tile At Edge");
LINESTRA_PARAM_NAME(strTextureOriginDropdown_ParamName, "Texture Origin");
LINESTRA_PARAM_NAME(strPoint_ParamName, "Point");
LINESTRA_PARAM_NAME(strStrokeSettings_GroupName, "Stroke Settings");
LINESTRA_PARAM_NAME(strStrokeLength_ParamName, "Stroke Length");
LINESTRA_PARAM_NAME(strToEdgeCheckbox_ParamName, "To Edge");
LINESTRA_PARAM_NAME(strFadeFromStartSlider_ParamName, "Fade In");
LINESTRA_PARAM_NAME(strFadeFromEndSlider_ParamName, "Fade Out");
LINESTRA_PARAM_NAME(strFadeFromClipCheckbox_ParamName, "Stop Fade At Edge");
LINESTRA_PARAM_NAME(strCompositeOnOriginalCheckbox_ParamName, "Composite On Original");
LINESTRA_PARAM_NAME(strEmptyPlaceholder_Description, "");

#undef LINESTRA_PARAM_NAME

const char strTextureSourceDropdown_Options[] = "Specified Layer|Original Frame";
const char strTextureOriginDropdown_Options[] = "Start Of Path|Nearest To Point";
