// A module that exports only the registration entry: loading it must fail
// with an error naming the missing EffectMain.
#include "HostAPI.h"

LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr, PF_PluginDataCB, SPBasicSuite*, const char*,
                                               const char*)
{
    return PF_Err_NONE;
}
