// The interaction callbacks in in_data->inter: parameter checkout and
// check-in, add_param, abort and progress.
#include <cstring>

#include "harness/state/HostState.h"
#include "harness/state/Text.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

std::string Arg(const char* name, long long value)
{
    return std::string(name) + "=" + std::to_string(value);
}

PF_Err CheckoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long what_time, A_long time_step, A_u_long time_scale,
                     PF_ParamDef* param)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkout_param", CallKind::Guarded);
    auto args = [&] {
        return Arg("index", index) + ", " + Arg("time", what_time) + ", " + Arg("step", time_step) + ", " +
               Arg("scale", time_scale);
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (param == nullptr) {
        host->violation("checkout_param without a record to fill");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    std::lock_guard lock(host->mutex);
    if (index < 0 || index >= host->params.count()) {
        host->violation("checkout_param of index " + std::to_string(index) + ", but there are " +
                        std::to_string(host->params.count()) + " parameters");
        return call.finish(PF_Err_INVALID_INDEX, args);
    }
    if (time_scale == 0) {
        host->violation("checkout_param of " + host->params.label(index) + " with a time scale of 0");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    const double seconds = static_cast<double>(what_time) / static_cast<double>(time_scale);
    const PF_ParamDef& def = host->params.def(index);
    if (def.param_type == PF_Param_LAYER) {
        PF_ParamDef out = def;
        std::memset(&out.u.ld, 0, sizeof out.u.ld);
        if (auto buffer = host->layerBuffer(index))
            out.u.ld = buffer->world();
        *param = out;
    } else {
        *param = host->params.valueAt(index, seconds, host->downsample());
    }
    ++host->command.paramCheckouts;
    return call.finish(PF_Err_NONE, args);
}

PF_Err CheckinParam(PF_ProgPtr ref, PF_ParamDef* param)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkin_param", CallKind::Plain);
    auto args = [&] { return std::string(param != nullptr ? param->name : "(null)"); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (param == nullptr) {
        host->violation("checkin_param without a record");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    std::lock_guard lock(host->mutex);
    if (host->command.paramCheckouts == 0) {
        host->violation("checkin_param of '" + std::string(param->name) + "' without a checkout in this command");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    --host->command.paramCheckouts;
    return call.finish(PF_Err_NONE, args);
}

PF_Err AddParam(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDef* def)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "add_param", CallKind::Plain);
    auto args = [&] {
        return Arg("index", index) + ", " +
               (def != nullptr ? Concat({"'", std::string_view(def->name, strnlen(def->name, sizeof def->name)), "' ",
                                         ParamTypeName(def->param_type), " ", Arg("id", def->uu.id)})
                               : std::string("(null)"));
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (host->command.cmd != PF_Cmd_PARAMS_SETUP) {
        host->violation("add_param outside PARAMS_SETUP");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (def == nullptr) {
        host->violation("add_param without a definition");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (index != -1 && index != host->params.count()) {
        host->violation("add_param at index " + std::to_string(index) + " (the next index is " +
                        std::to_string(host->params.count()) + ", or -1 to append)");
        return call.finish(PF_Err_INVALID_INDEX, args);
    }
    const std::string problem = host->params.add(*def);
    if (!problem.empty()) {
        host->violation("add_param refused: " + problem);
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    return call.finish(PF_Err_NONE, args);
}

PF_Err Abort(PF_ProgPtr ref)
{
    HostState* host = HostFromRef(ref);
    // One lock for the whole call, as for the path evaluations: effects ask
    // this question thousands of times a frame, and the accounting below runs
    // under it. (With a trace file, other threads' calls wait while this
    // call's line is written.)
    HostCall call(host, "abort", CallKind::Plain, HostCall::LockForTheCall{});
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const int question = ++host->abortQuestions;
    ++host->frame.abortQuestions;
    auto args = [&] { return Arg("question", question); };
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(host->cancelled() ? PF_Interrupt_CANCEL : PF_Err_NONE, args);
}

PF_Err Progress(PF_ProgPtr ref, A_long current, A_long total)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "progress", CallKind::Plain);
    auto args = [&] { return std::to_string(current) + ", " + std::to_string(total); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    {
        std::lock_guard lock(host->mutex);
        host->frame.progress.push_back({current, total});
        if (host->progressReport)
            host->progressReport(current, total);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    // Like the real host, progress answers cancel once the user cancelled.
    return call.finish(host->cancelled() ? PF_Interrupt_CANCEL : PF_Err_NONE, args);
}

PF_Err RegisterUi(PF_ProgPtr ref, PF_CustomUIInfo*)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "register_ui", CallKind::Plain);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->violation("register_ui: the stand-in host has no custom user interface");
    return call.finish(PF_Err_INVALID_CALLBACK, [] { return std::string(); });
}

} // namespace

const PF_InteractCallbacks& InteractCallbacks()
{
    static const PF_InteractCallbacks callbacks = [] {
        PF_InteractCallbacks c{};
        c.checkout_param = HostCallback<&CheckoutParam>;
        c.checkin_param = HostCallback<&CheckinParam>;
        c.add_param = HostCallback<&AddParam>;
        c.abort = HostCallback<&Abort>;
        c.progress = HostCallback<&Progress>;
        c.register_ui = HostCallback<&RegisterUi>;
        return c;
    }();
    return callbacks;
}

} // namespace harness
