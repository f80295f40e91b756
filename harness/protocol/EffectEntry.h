// The entry points of the effect linked into the same program (the static
// library linestra_core), for tests that drive the effect in-process.
// Include only where linestra_core is linked.
#pragma once

#include "HostAPI.h"
#include "harness/protocol/ModuleLoader.h"

extern "C" PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                          SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                          const char* inHostVersion);
extern "C" PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                             PF_LayerDef* output, void* extra);

namespace harness {

inline EntryPoints LinkedEffect()
{
    return EntryPoints{&::PluginDataEntryFunction, &::EffectMain};
}

} // namespace harness
