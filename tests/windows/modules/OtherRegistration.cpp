// A Windows test module that carries the effect's property list (resource
// PIPL 16000) but registers under another match name: a host must refuse
// it, since the property list and registration disagree.
#include "HostAPI.h"

LINESTRA_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                               SPBasicSuite* /*inSPBasicSuitePtr*/, const char* /*inHostName*/,
                                               const char* /*inHostVersion*/)
{
    const auto text = [](const char* s) { return reinterpret_cast<const A_u_char*>(s); };
    return inPluginDataCallBackPtr(inPtr, text("Linestra"), text("CobblewoodOther"), text("Cobblewood"),
                                   text("EffectMain"), 0x65464B54 /* 'eFKT' */, 13, 27, 8);
}

LINESTRA_EXPORT PF_Err EffectMain(PF_Cmd /*cmd*/, PF_InData* /*in_data*/, PF_OutData* /*out_data*/,
                                  PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/, void* /*extra*/)
{
    return PF_Err_NONE;
}
