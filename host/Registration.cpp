#include "host/EffectIdentity.h"
#include "host/EntryPoints.h"

namespace {

const A_u_char* hostText(const char* text)
{
    return reinterpret_cast<const A_u_char*>(text);
}

} // namespace

PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                               SPBasicSuite* /*inSPBasicSuitePtr*/, const char* /*inHostName*/,
                               const char* /*inHostVersion*/)
{
    using namespace Linestra::Identity;
    return inPluginDataCallBackPtr(inPtr, hostText(kName), hostText(kMatchName), hostText(kCategory),
                                   hostText(kEntryPointName), static_cast<A_long>(kKind), kApiVersionMajor,
                                   kApiVersionMinor, kReservedInfo);
}
