// Handlers of the set-up commands that EffectMain dispatches (the render
// commands are in render/RenderCommands.h). Each returns the host's error
// code; a missing suite is thrown as a PF_Err and returned by EffectMain.
#pragma once

#include "HostAPI.h"

// PF_Cmd_ABOUT: the about text in out_data->return_msg.
PF_Err About(PF_InData* in_data, PF_OutData* out_data);

// PF_Cmd_GLOBAL_SETUP: version, global flags and, in the editor host, the
// one pixel format the effect declares.
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data);

// PF_Cmd_PARAMS_SETUP: declares the 27 parameters after the input layer.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// PF_Cmd_UPDATE_PARAMS_UI: enables and disables the controls after the
// current choices. Always returns 0; a missing Param Utils suite is thrown
// (516) for EffectMain to return.
PF_Err updateControlStates(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

// The same under its undecorated name, exported from the macOS build only.
// A host may call it directly, so nothing thrown leaves it: a missing suite
// comes back as its error code.
#if defined(__APPLE__)
LINESTRA_EXPORT
#else
extern "C"
#endif
PF_Err ChangeParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) noexcept;
