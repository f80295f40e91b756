#include "host/CommandGuard.h"
#include "host/DebugOutput.h"
#include "host/EntryPoints.h"
#include "host/HostCommands.h"
#include "render/RenderCommands.h"

namespace {

// Runs the handler of one selector. Selectors without work (global
// set-down, the sequence and frame commands, the classic render, parameter
// changes, which are never supervised, and every unknown value) succeed and
// change nothing.
PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra)
{
    switch (cmd) {
    case PF_Cmd_ABOUT: return About(in_data, out_data);
    case PF_Cmd_GLOBAL_SETUP: return GlobalSetup(in_data, out_data);
    case PF_Cmd_PARAMS_SETUP: return ParamsSetup(in_data, out_data, params, output);
    case PF_Cmd_UPDATE_PARAMS_UI:
        // Its result is always 0; a missing suite arrives as a thrown code.
        updateControlStates(in_data, out_data, params);
        return PF_Err_NONE;
    case PF_Cmd_SMART_PRE_RENDER: return PreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER: return SmartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
    default: return PF_Err_NONE;
    }
}

} // namespace

PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                  void* extra)
{
#if defined(_WIN32)
    // The command's diagnostic text goes to the system's debug output when
    // the command ends; the capture belongs to this thread only.
    DiagnosticCapture diagnostics;
    const PF_Err result = runGuarded([&] { return dispatch(cmd, in_data, out_data, params, output, extra); });
    passToSystemDebugOutput(diagnostics.text());
    return result;
#else
    return runGuarded([&] { return dispatch(cmd, in_data, out_data, params, output, extra); });
#endif
}
