// The module's two exported entry points.
#pragma once

#include "HostAPI.h"

// Registration: one call of the host's callback with the effect's identity;
// returns the callback's result.
LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                               SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                               const char* inHostVersion);

// Every command of the host. Nothing thrown inside leaves it: see
// host/CommandGuard.h.
LINESTRA_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                  PF_LayerDef* output, void* extra);
