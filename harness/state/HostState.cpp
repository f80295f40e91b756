#include "harness/state/HostState.h"

#include <cmath>
#include <limits>
#include <new>
#include <sstream>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "harness/state/CallbackBarrier.h"
#include "harness/state/ThreadPool.h"

namespace harness {

namespace {

std::string NumberText(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// Every live host, so that a pointer from the module can be checked before
// it is followed.
std::mutex gHostsMutex;
std::set<HostState*> gHosts;

thread_local HostState* tBoundHost = nullptr;
thread_local int tThreadIndex = -1;

} // namespace

std::string CommandName(PF_Cmd cmd)
{
    static const char* const names[] = {"ABOUT",
                                        "GLOBAL_SETUP",
                                        "UNUSED_0",
                                        "GLOBAL_SETDOWN",
                                        "PARAMS_SETUP",
                                        "SEQUENCE_SETUP",
                                        "SEQUENCE_RESETUP",
                                        "SEQUENCE_FLATTEN",
                                        "SEQUENCE_SETDOWN",
                                        "DO_DIALOG",
                                        "FRAME_SETUP",
                                        "RENDER",
                                        "FRAME_SETDOWN",
                                        "USER_CHANGED_PARAM",
                                        "UPDATE_PARAMS_UI",
                                        "EVENT",
                                        "GET_EXTERNAL_DEPENDENCIES",
                                        "COMPLETELY_GENERAL",
                                        "QUERY_DYNAMIC_FLAGS",
                                        "AUDIO_RENDER",
                                        "AUDIO_SETUP",
                                        "AUDIO_SETDOWN",
                                        "ARBITRARY_CALLBACK",
                                        "SMART_PRE_RENDER",
                                        "SMART_RENDER"};
    if (cmd == -1)
        return "REGISTRATION";
    if (cmd >= 0 && cmd < static_cast<PF_Cmd>(sizeof names / sizeof names[0]))
        return names[cmd];
    return "command " + std::to_string(cmd);
}

void HostState::runParallel(std::int64_t count, const std::function<bool(int worker, std::int64_t index)>& work)
{
    if (pool != nullptr && pool->size() == threads && !pool->onWorkerThread())
        pool->run(count, work);
    else
        RunParallel(threads, count, nullptr, work);
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

HostState::HostState(HostOptions opts) : options(std::move(opts))
{
    threads = ResolveThreadCount(options.threads);
    if (options.keepWorkerThreads)
        pool = std::make_unique<WorkerPool>(threads);
    if (HostTimeScale(options.fps) == 0)
        throw std::invalid_argument("the frame rate must be a number of frames per second from 0.0005 up, not " +
                                    NumberText(options.fps));
    if (options.trace || !options.traceFile.empty())
        trace.enable(options.traceFile);

    effectRef = {kEffectRefMagic, this};
    pluginData = {kPluginDataMagic, this};
    FillUtilCallbacks(utils);
    FillBasicSuite(basic);

    inData.inter = InteractCallbacks();
    inData.utils = &utils;
    inData.effect_ref = &effectRef;
    inData.quality = 1; // high quality
    inData.version = {PF_PLUG_IN_VERSION, PF_PLUG_IN_SUBVERS};
    inData.appl_id = options.applId;
    inData.num_params = 1;
    inData.field = 0; // whole frames
    inData.downsample_x = {1, 1};
    inData.downsample_y = {1, 1};
    inData.pixel_aspect_ratio = {1, 1};
    inData.pica_basicP = &basic;
    setTime(0.0);

    std::lock_guard lock(gHostsMutex);
    gHosts.insert(this);
}

HostState::~HostState()
{
    std::lock_guard lock(gHostsMutex);
    gHosts.erase(this);
    for (void* block : blocks)
        std::free(block);
}

void HostState::setTime(double secs)
{
    // Time scale fps x 1000 with a step of 1000: a frame is one step and
    // times between frames stay representable to a thousandth of a frame.
    if (!FitsHostTime(secs, options.fps))
        throw std::out_of_range(TimeRangeText(secs, options.fps));
    const A_u_long scale = HostTimeScale(options.fps);
    inData.time_scale = scale;
    inData.time_step = 1000;
    inData.local_time_step = 1000;
    inData.current_time = static_cast<A_long>(std::llround(secs * static_cast<double>(scale)));
    inData.total_time = inData.current_time + inData.time_step;
}


std::string TimeRangeText(double seconds, double fps)
{
    return "the time " + NumberText(seconds) + " s does not fit the host's 32-bit time at " + NumberText(fps) +
           " frames per second";
}

A_u_long HostTimeScale(double fps)
{
    const double scale = fps * 1000.0;
    if (!(scale >= 0.5) || !(scale < 4294967295.5))
        return 0;
    return static_cast<A_u_long>(std::llround(scale));
}

bool FitsHostTime(double seconds, double fps)
{
    const A_u_long scale = HostTimeScale(fps);
    if (scale == 0)
        return false;
    const double time = std::round(seconds * static_cast<double>(scale));
    return time >= static_cast<double>(std::numeric_limits<A_long>::min()) &&
           time + 1000.0 <= static_cast<double>(std::numeric_limits<A_long>::max());
}

double HostState::seconds() const
{
    return static_cast<double>(inData.current_time) / static_cast<double>(inData.time_scale);
}

void HostState::refreshParamsArray(double secs)
{
    const Downsample scale = downsample();
    paramValues.clear();
    for (int i = 0; i < params.count(); ++i) {
        PF_ParamDef value = params.def(i);
        if (value.param_type == PF_Param_LAYER) {
            // Layers are checked out; the array carries the definition only.
            std::memset(&value.u.ld, 0, sizeof value.u.ld);
        } else {
            value = params.valueAt(i, secs, scale);
        }
        paramValues.push_back(value);
    }
    paramPointers.clear();
    for (PF_ParamDef& value : paramValues)
        paramPointers.push_back(&value);
    paramPointers.push_back(nullptr);
}

void HostState::beginCommand(PF_Cmd cmd)
{
    std::lock_guard lock(mutex);
    if (command.active)
        throw std::logic_error("command " + CommandName(cmd) + " sent while " + command.name + " still runs");
    command = CommandContext{};
    command.active = true;
    command.cmd = cmd;
    command.name = CommandName(cmd);
    command.started = std::chrono::steady_clock::now();
    std::memset(outData.return_msg, 0, sizeof outData.return_msg);
    outData.out_flags &= ~static_cast<PF_OutFlags>(PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    inData.num_params = params.count();
    inData.appl_id = options.applId;
    // Objects of earlier commands are gone; a pointer the effect kept to
    // them is refused.
    for (auto& outline : outlines)
        outline->expired = true;
}

void HostState::violation(const std::string& what)
{
    std::lock_guard lock(mutex);
    if (command.active)
        command.violations.push_back({command.name, what});
    else
        allViolations.push_back({"(between commands)", what});
}

bool HostState::cancelled() const
{
    if (userCancelled.load())
        return true;
    const int from = abortFrom.load();
    return from > 0 && abortQuestions.load() >= from;
}

CommandReport HostState::endCommand(PF_Err result)
{
    std::lock_guard lock(mutex);
    CommandContext& c = command;
    auto flag = [&](const std::string& what) { c.violations.push_back({c.name, what}); };

    for (const auto& [key, count] : c.suites) {
        if (count > 0) {
            flag("suite '" + key.first + "' version " + std::to_string(key.second) + " acquired " +
                 std::to_string(count) + " time(s) more than released");
            outstandingSuites[key] -= count;
        }
    }
    for (const void* data : c.worlds) {
        auto it = createdWorlds.find(data);
        if (it == createdWorlds.end())
            continue;
        flag("world of " + std::to_string(it->second->width()) + " x " + std::to_string(it->second->height()) +
             " pixels created and not disposed (leaked)");
        knownBuffers.erase(data);
        createdWorlds.erase(it);
    }
    for (PF_PathOutline* path : c.paths) {
        if (!path->checkedIn && result == PF_Err_NONE)
            flag("path " + std::to_string(path->id) + " checked out and not checked in");
        path->expired = true;
    }
    for (PF_PathSegPrep* prep : c.preps) {
        if (!prep->cleanedUp && result == PF_Err_NONE)
            flag("segment " + std::to_string(prep->segment) + " of path " + std::to_string(prep->path->id) +
                 " prepared and not cleaned up");
    }
    if (c.cmd == PF_Cmd_PARAMS_SETUP && result == PF_Err_NONE && outData.num_params != params.count())
        flag("num_params is " + std::to_string(outData.num_params) + " but " + std::to_string(params.count()) +
             " parameters exist (counting the input layer)");
    if (std::memchr(outData.return_msg, '\0', sizeof outData.return_msg) == nullptr)
        flag("return_msg is not terminated within its 256 bytes");

    CommandReport report;
    report.cmd = c.cmd;
    report.err = result;
    report.returnMsg.assign(outData.return_msg, strnlen(outData.return_msg, sizeof outData.return_msg));
    report.outFlags = outData.out_flags;
    report.outFlags2 = outData.out_flags2;
    report.violations = c.violations;
    report.hostFaults = c.hostFaults;
    report.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - c.started).count();
    allViolations.insert(allViolations.end(), c.violations.begin(), c.violations.end());
    commands.push_back(report);
    c.active = false;
    trace.flush();
    return report;
}

HostState* HostFromRef(PF_ProgPtr ref)
{
    if (ref == nullptr)
        return nullptr;
    // The host bound to this thread (the command's thread and the workers)
    // answers without the registry's lock.
    if (tBoundHost != nullptr && ref == &tBoundHost->effectRef)
        return tBoundHost;
    std::lock_guard lock(gHostsMutex);
    for (HostState* host : gHosts)
        if (ref == &host->effectRef)
            return host;
    return nullptr;
}

HostState* CurrentHost()
{
    if (tBoundHost != nullptr)
        return tBoundHost;
    std::lock_guard lock(gHostsMutex);
    return gHosts.size() == 1 ? *gHosts.begin() : nullptr;
}

ThreadBinding::ThreadBinding(HostState* host, int threadIndex)
    : previous_(tBoundHost), previousIndex_(tThreadIndex)
{
    tBoundHost = host;
    tThreadIndex = threadIndex;
}

ThreadBinding::~ThreadBinding()
{
    tBoundHost = previous_;
    tThreadIndex = previousIndex_;
}

int CurrentThreadIndex()
{
    return tThreadIndex;
}

bool HostState::findPathHandle(const void* handle)
{
    if (handle == nullptr)
        return false;
    if (pathHandles.count(handle) == 0)
        return false;
    recentPathHandles[1] = recentPathHandles[0];
    recentPathHandles[0] = handle;
    return true;
}

HostCall::HostCall(HostState* host, const char* function, CallKind kind) : host_(host), function_(function)
{
    tCallInFlight = function;
    if (host_ == nullptr)
        return;
    std::lock_guard lock(host_->mutex);
    account(kind);
}

std::uint64_t* HostCall::countSlot()
{
    std::uint64_t*& mapped = host_->callCountSlots[function_];
    if (mapped == nullptr) {
        auto count = host_->callCounts.find(std::string_view(function_));
        if (count == host_->callCounts.end())
            count = host_->callCounts.emplace(function_, 0).first;
        mapped = &count->second;
    }
    // The newest first; the oldest is forgotten.
    for (int k = HostState::kRecentCounts - 1; k > 0; --k) {
        host_->recentCountedFunctions[k] = host_->recentCountedFunctions[k - 1];
        host_->recentCountSlots[k] = host_->recentCountSlots[k - 1];
    }
    host_->recentCountedFunctions[0] = function_;
    host_->recentCountSlots[0] = mapped;
    return mapped;
}

void HostCall::applyInjections(std::uint64_t call)
{
    for (const FailureInjection& injection : host_->injections) {
        if (injection.function == function_ && injection.call == call) {
            injected_ = injection.err;
            throws_ = injection.throws;
        }
    }
}

void HostCall::reportUntimelyCall()
{
    CommandContext& c = host_->command;
    if (!c.active) {
        host_->allViolations.push_back({"(between commands)", std::string(function_) + " called outside a command"});
    } else {
        c.violations.push_back({c.name, std::string(function_) + " called after the host answered " +
                                            ErrorText(c.firstError) + " to " + c.firstErrorCall +
                                            " in the same command"});
    }
}

void HostCall::noteError(PF_Err err)
{
    if (host_ == nullptr)
        return;
    std::lock_guard lock(host_->mutex);
    CommandContext& c = host_->command;
    if (c.active && c.firstError == PF_Err_NONE) {
        c.firstError = err;
        c.firstErrorCall = function_;
    }
}

void CallbackThrew(const char* function, PF_Err err, const char* reason, ThrownAnswerKind kind) noexcept
{
    HostState* host = CurrentHost();
    if (host == nullptr)
        return;
    try {
        std::lock_guard lock(host->mutex);
        CommandContext& c = host->command;
        const std::string fault = std::string(function) + ": " + reason;
        if (c.active) {
            c.hostFaults.push_back(fault);
            if (kind == ThrownAnswerKind::ErrorCode && c.firstError == PF_Err_NONE) {
                c.firstError = err;
                c.firstErrorCall = function;
            }
        } else {
            host->allViolations.push_back({"(between commands)", "the host failed in " + fault});
        }
    } catch (...) {
        // Out of memory even for the record: the error code still answers.
    }
}

void HostCall::traceCall(std::string arguments, std::string result)
{
    TraceEntry entry;
    {
        std::lock_guard lock(host_->mutex);
        entry.command = host_->command.active ? host_->command.name : std::string("(between commands)");
    }
    entry.thread = CurrentThreadIndex();
    entry.function = function_;
    entry.arguments = std::move(arguments);
    entry.result = std::move(result);
    host_->trace.record(std::move(entry));
}

std::string_view ErrorName(PF_Err err)
{
    switch (err) {
    case PF_Err_OUT_OF_MEMORY:
        return "out of memory";
    case A_Err_MISSING_SUITE:
        return "missing suite";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "internal structure damaged";
    case PF_Err_INVALID_INDEX:
        return "invalid index";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
        return "unrecognised parameter type";
    case PF_Err_INVALID_CALLBACK:
        return "invalid callback";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "bad callback parameter";
    case PF_Interrupt_CANCEL:
        return "cancelled";
    case kSuiteNotFoundError:
        return "suite not found";
    default:
        return {};
    }
}

std::string HostCall::ErrorText(PF_Err err)
{
    if (err == PF_Err_NONE)
        return "0";
    const std::string_view name = ErrorName(err);
    const std::string code =
        err == kSuiteNotFoundError ? Hex(static_cast<std::uint32_t>(err)) : std::to_string(err);
    return name.empty() ? code : code + " (" + std::string(name) + ")";
}

} // namespace harness
