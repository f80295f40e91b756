// Names of the effect's controls and the entries of its popups, as the host
// shows them. Constant data, ready before the module's first command.
#pragma once

extern const char strPath_ParamName[];
extern const char strPathExpandContract_ParamName[];
extern const char strTextureSettings_GroupName[];
extern const char strTextureSourceDropdown_ParamName[];
extern const char strTextureLayer_ParamName[];
extern const char strScaleXGradientCheckbox_ParamName[];
extern const char strScaleXStartAmount_ParamName[];
extern const char strScaleXEndAmount_ParamName[];
extern const char strScaleXAmount_ParamName[];
extern const char strScaleYAmount_ParamName[];
extern const char strTextureOffsetSliderParamName[];
extern const char strFlipTextureAlongLinesCheckbox_ParamName[];
extern const char strFlipTextureAlongPathCheckbox_ParamName[];
extern const char strMirrorTileAlongLinesCheckbox_ParamName[];
extern const char strMirrorTileAlongPathCheckbox_ParamName[];
extern const char strLinestraMirrorTileCheckbox_ParamName[];
extern const char strTextureOriginDropdown_ParamName[];
extern const char strPoint_ParamName[];
extern const char strStrokeSettings_GroupName[];
extern const char strStrokeLength_ParamName[];
extern const char strToEdgeCheckbox_ParamName[];
extern const char strFadeFromStartSlider_ParamName[];
extern const char strFadeFromEndSlider_ParamName[];
extern const char strFadeFromClipCheckbox_ParamName[];
extern const char strCompositeOnOriginalCheckbox_ParamName[];
// The label beside every checkbox: empty, so a checkbox shows only its name.
extern const char strEmptyPlaceholder_Description[];

// Popup entries, separated by '|'.
extern const char strTextureSourceDropdown_Options[];
extern const char strTextureOriginDropdown_Options[];
