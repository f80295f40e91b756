// The stand-in host's internal state, shared by the files that implement its
// callbacks and suites. Not for use outside harness/.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "HostAPI.h"
#include "harness/state/CallTrace.h"
#include "harness/state/CallbackBarrier.h"
#include "harness/state/Host.h"
#include "harness/masks/MaskPath.h"
#include "harness/protocol/ModuleLoader.h"
#include "harness/state/ParamStore.h"
#include "harness/state/ThreadPool.h"
#include "harness/state/World.h"

// The host's side of the opaque handles the API declares. Each carries a
// magic number so that a stale or foreign pointer is refused, not followed.
struct _PF_ProgressInfo {
    std::uint32_t magic;
    harness::HostState* host;
};

struct PF_PathOutline {
    std::uint32_t magic;
    harness::HostState* host;
    PF_PathID id;
    harness::MaskPath path; // at render scale
    std::vector<double> lengths; // per segment, computed on first use (negative: not yet)
    std::string command;    // the command that checked it out
    bool checkedIn = false;
    bool expired = false;   // its command has ended
};

struct PF_PathSegPrep {
    std::uint32_t magic;
    PF_PathOutline* path;
    A_long segment;
    A_long frequency;
    harness::PreparedSegment prepared;
    std::size_t pieceHint = 0; // where the last evaluation found its length
    bool cleanedUp = false;
};

struct PF_PluginData {
    std::uint32_t magic;
    harness::HostState* host;
};

namespace harness {

inline constexpr std::uint32_t kEffectRefMagic = 0x4C535452; // "LSTR"
inline constexpr std::uint32_t kPathMagic = 0x50415448;      // "PATH"
inline constexpr std::uint32_t kPrepMagic = 0x50524550;      // "PREP"
inline constexpr std::uint32_t kPluginDataMagic = 0x504C5547; // "PLUG"

// Acquisition of a suite answers this code when the suite is unavailable
// (our choice; the effect only tests for non-zero).
inline constexpr SPErr kSuiteNotFoundError = 0x53214664; // 'S!Fd'

// Name of a command selector ("SMART_RENDER", or the number).
std::string CommandName(PF_Cmd cmd);
// "0x06000400"
std::string Hex(std::uint32_t value);
// The message for a time the 32-bit current_time cannot hold.
std::string TimeRangeText(double seconds, double fps);

// Accounting of the command that runs right now.
struct CommandContext {
    bool active = false;
    PF_Cmd cmd = 0;
    std::string name;
    std::map<std::pair<std::string, int>, int> suites; // acquired minus released
    std::vector<Violation> violations;
    PF_Err firstError = 0;      // the first error the host answered in this command
    std::string firstErrorCall; // and the call that got it
    std::vector<std::string> hostFaults; // callbacks that threw: "PF_NewWorld: out of memory"
    std::vector<PF_PathOutline*> paths;
    std::vector<PF_PathSegPrep*> preps;
    std::set<const void*> worlds; // created in this command and not yet disposed
    int paramCheckouts = 0;       // parameter checkouts not checked in
    std::chrono::steady_clock::time_point started; // when the command was sent
};

// A picture in the render's format at render scale, as frames receive it,
// with the hash of its pixels (the effect may only read it).
struct RenderedPicture {
    std::shared_ptr<OwnedWorld> buffer;
    std::uint64_t hash = 0;
};

// A picture the host hands over, at full resolution, in any format. The
// buffers made from it for a format and render scale are kept, so that a
// run of frames converts and scales the picture once, not once a frame.
struct PictureInput {
    PictureSource source;
    A_long width = 0;
    A_long height = 0;
    mutable std::map<std::tuple<PF_PixelFormat, A_long, A_u_long, A_long, A_u_long>, RenderedPicture> rendered;
};

// What a render of one frame needs: the request, the in_data values, and
// the buffers in the render's format at render scale.
struct FrameState {
    FrameRequest request;
    PF_PixelFormat format = PF_PixelFormat_ARGB32;
    A_long width = 0;  // render size
    A_long height = 0;
    std::shared_ptr<OwnedWorld> input;
    std::shared_ptr<OwnedWorld> output;
    std::map<int, std::shared_ptr<OwnedWorld>> layers; // parameter index -> buffer (null: none chosen)
    std::map<const void*, std::uint64_t> readOnlyHashes; // buffers the effect must not write
    std::map<A_long, LayerCheckout> checkouts;           // by checkout id, from pre-render
    std::set<A_long> failedPixelCheckouts;               // ids whose last pixel checkout failed
    std::vector<LayerCheckout> checkoutLog;
    std::map<A_long, std::unique_ptr<PF_EffectWorld>> pixelRecords; // records handed out, by checkout id
    std::unique_ptr<PF_EffectWorld> outputRecord;
    std::vector<ProgressCall> progress;
    int abortQuestions = 0;
    std::vector<Violation> violations;
};

struct FailureInjection {
    std::string function;
    std::uint64_t call; // the absolute call number that fails
    PF_Err err;         // its answer; with `throws`, the call throws std::bad_alloc instead
    bool throws = false;
};

struct HostState {
    explicit HostState(HostOptions opts);
    ~HostState();

    HostOptions options;
    int threads = 1;
    std::unique_ptr<WorkerPool> pool; // with options.keepWorkerThreads
    // Calls work(worker, index) for every index on the host's workers.
    void runParallel(std::int64_t count, const std::function<bool(int worker, std::int64_t index)>& work);

    std::optional<Module> module;
    Registration registration;

    // The records handed to the effect.
    _PF_ProgressInfo effectRef{};
    PF_PluginData pluginData{};
    PF_InData inData{};
    PF_OutData outData{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};

    ParamStore params;
    std::vector<PF_ParamDef> paramValues; // the array EffectMain receives
    std::vector<PF_ParamDef*> paramPointers;
    std::vector<UiUpdate> uiUpdates;
    std::vector<PixelFormatCall> pixelFormatCalls;

    std::optional<MaskPath> mask;
    std::optional<PictureInput> input;
    std::map<int, std::optional<PictureInput>> layerPictures;

    std::map<std::pair<std::string, int>, Host::Withdrawal> withdrawn;
    std::map<std::pair<std::string, int>, int> outstandingSuites; // over the host's life

    // Worlds created through the suites, by data pointer.
    std::map<const void*, std::unique_ptr<OwnedWorld>> createdWorlds;
    // Disposed worlds kept for the next PF_NewWorld of the same size and
    // format, and the last frames' output images kept for the next frame:
    // a new image of a 1080p frame costs thousands of page faults, a kept
    // one only clearing (TakeSpareWorld, KeepSpareWorld in World.h).
    std::vector<std::unique_ptr<OwnedWorld>> spareWorlds;
    std::vector<std::shared_ptr<OwnedWorld>> spareOutputs;
    // Pixel format of every buffer the host knows, by data pointer.
    std::map<const void*, PF_PixelFormat> knownBuffers;
    std::set<void*> blocks; // AllocateBlock

    std::vector<std::unique_ptr<PF_PathOutline>> outlines;
    std::vector<std::unique_ptr<PF_PathSegPrep>> preps;
    std::unordered_set<const void*> pathHandles; // every outline and preparation above
    // The two handles found last (an evaluation asks for its outline and
    // its preparation, once per fine line): found again without a lookup.
    // Forgotten with pathHandles.
    std::array<const void*, 2> recentPathHandles{};
    // Whether `handle` is one of pathHandles.
    bool isPathHandle(const void* handle)
    {
        if (handle != nullptr && (handle == recentPathHandles[0] || handle == recentPathHandles[1]))
            return true;
        return findPathHandle(handle);
    }
    // isPathHandle for a handle not among the recent ones.
    bool findPathHandle(const void* handle);

    FrameState frame;
    bool frameReady = false;

    CommandContext command;
    std::vector<CommandReport> commands;
    std::vector<Violation> allViolations;

    CallTrace trace;
    std::map<std::string, std::uint64_t, std::less<>> callCounts; // by function, for failure injection
    // The count of callCounts for a function name's text, by the address of
    // that text (the names are literals), so that a call finds its count
    // without comparing strings.
    std::unordered_map<const char*, std::uint64_t*> callCountSlots;
    // The functions counted last and their counts, found again without a
    // lookup (callCounts never drops a count, so the pointers stay good): a
    // render alternates between a few calls, such as the path evaluation
    // and the abort question.
    static constexpr int kRecentCounts = 4;
    std::array<const char*, kRecentCounts> recentCountedFunctions{};
    std::array<std::uint64_t*, kRecentCounts> recentCountSlots{};
    std::vector<FailureInjection> injections;

    std::atomic<int> abortFrom{0};
    std::atomic<int> abortQuestions{0};
    std::atomic<bool> userCancelled{false};

    A_u_long myVersion = 0;
    PF_OutFlags globalOutFlags = 0;
    PF_OutFlags2 globalOutFlags2 = 0;

    std::function<void(A_long, A_long)> progressReport;
    std::function<void(A_long, A_long)> iterationReport;
    std::function<void(void*)> preRenderInspector;
    std::function<void(void*)> renderedInspector;

    std::recursive_mutex mutex;

    // ---- command accounting (HostState.cpp) --------------------------------
    void beginCommand(PF_Cmd cmd);
    CommandReport endCommand(PF_Err result);
    // Records a contract breach of the running command (or of the host when
    // none runs).
    void violation(const std::string& what);
    bool cancelled() const;

    // ---- the host's records (HostState.cpp) --------------------------------
    void refreshParamsArray(double seconds);
    void setTime(double seconds);
    Downsample downsample() const { return frame.request.downsample; }
    double seconds() const;

    // ---- render buffers (RenderProtocol.cpp) ------------------------------
    void prepareFrame(const FrameRequest& request);
    std::shared_ptr<OwnedWorld> layerBuffer(int index);
    void registerBuffer(const PF_EffectWorld& world, PF_PixelFormat format);
    void forgetBuffer(const void* data);
};

// The host of an effect_ref; null (after recording nothing) when the
// pointer is not one of ours.
HostState* HostFromRef(PF_ProgPtr ref);
// The host for callbacks without an effect_ref (basic suite, iterate_generic,
// world pixel format): the one bound to this thread, else the only live one.
HostState* CurrentHost();

// Binds a host to the calling thread for its lifetime.
class ThreadBinding {
public:
    ThreadBinding(HostState* host, int threadIndex);
    ~ThreadBinding();
    ThreadBinding(const ThreadBinding&) = delete;
    ThreadBinding& operator=(const ThreadBinding&) = delete;

private:
    HostState* previous_;
    int previousIndex_;
};
int CurrentThreadIndex();

enum class CallKind {
    Plain,
    Guarded, // must not follow an error the host answered in the same command
};

// One call from the module into the host: checks guards, applies injected
// failures, records the trace. Construct at entry, call finish() on exit.
class HostCall {
public:
    HostCall(HostState* host, const char* function, CallKind kind);
    // For a call that holds host->mutex from here until the HostCall ends
    // (the path evaluations and the abort question, asked many thousands of
    // times a frame): the accounting runs under that one lock.
    struct LockForTheCall {};
    HostCall(HostState* host, const char* function, CallKind kind, LockForTheCall)
        : host_(host), function_(function)
    {
        tCallInFlight = function;
        if (host_ == nullptr)
            return;
        lock_ = std::unique_lock(host_->mutex);
        account(kind);
    }

    HostState* host() const { return host_; }
    // Non-zero when a failure is injected into this call. An injected
    // exception (Host::throwInCall) is thrown from here, where the callback
    // asks, as if its own work had run out of memory there.
    PF_Err injected() const
    {
        if (throws_) [[unlikely]]
            throw std::bad_alloc();
        return injected_;
    }

    // Records the result (and the first error of the command) and returns it.
    template <typename ArgumentText>
    PF_Err finish(PF_Err err, ArgumentText&& arguments)
    {
        if (host_ != nullptr && host_->trace.enabled())
            traceCall(arguments(), ErrorText(err));
        if (err != PF_Err_NONE)
            noteError(err);
        return err;
    }
    // For calls whose result is not an error code.
    template <typename ArgumentText>
    void finishWith(const std::string& result, ArgumentText&& arguments)
    {
        if (host_ != nullptr && host_->trace.enabled())
            traceCall(arguments(), result);
    }

    // The code as the trace shows it: "516 (bad callback parameter)".
    static std::string ErrorText(PF_Err err);

private:
    // Counts the call, applies a failure injected into it and checks that it
    // may be made now; under host_->mutex. Its common case (a function
    // counted lately, no injections, a command running that has had no
    // error) is inline, for the calls made thousands of times a frame.
    void account(CallKind kind)
    {
        std::uint64_t* slot = nullptr;
        for (int k = 0; k < HostState::kRecentCounts && slot == nullptr; ++k)
            if (host_->recentCountedFunctions[k] == function_)
                slot = host_->recentCountSlots[k];
        if (slot == nullptr)
            slot = countSlot();
        const std::uint64_t call = ++*slot;
        if (!host_->injections.empty())
            applyInjections(call);
        const CommandContext& c = host_->command;
        if (!c.active || (kind == CallKind::Guarded && c.firstError != PF_Err_NONE)) [[unlikely]]
            reportUntimelyCall();
    }
    // The count of calls to function_, found by its name's address without
    // comparing or building a string, and made the most recent one.
    std::uint64_t* countSlot();
    void applyInjections(std::uint64_t call);
    // A call outside a command, or a guarded call after an error the host
    // answered in the same command.
    void reportUntimelyCall();
    void traceCall(std::string arguments, std::string result);
    void noteError(PF_Err err);

    HostState* host_;
    const char* function_;
    PF_Err injected_ = 0;
    bool throws_ = false;
    std::unique_lock<std::recursive_mutex> lock_; // held for a LockForTheCall call
};

// The tables of the suites and callbacks (one file each).
const PF_InteractCallbacks& InteractCallbacks();
void FillUtilCallbacks(PF_UtilCallbacks& utils);
void FillBasicSuite(SPBasicSuite& basic);
// Suite table by exact name and version; null when the host has none.
const void* FindSuite(const std::string& name, int version, A_long applId);
const PF_ParamUtilsSuite3& ParamUtilsSuite();
const PF_PixelFormatSuite1& PixelFormatSuite();
const PF_PathQuerySuite1& PathQuerySuite();
const PF_PathDataSuite1& PathDataSuite();
const PF_WorldSuite2& WorldSuite();
const PF_Iterate8Suite1& Iterate8Suite();
const PF_iterate16Suite2& Iterate16Suite();
const PF_iterateFloatSuite2& IterateFloatSuite();
PF_PreRenderCallbacks PreRenderCallbacks();
PF_SmartRenderCallbacks SmartRenderCallbacks();

// Sends one command to the module with the host's records and accounts for
// it (Host.cpp).
PF_Err RunCommand(HostState& host, PF_Cmd cmd, void* extra);
// Pre-render, render and deletion of one frame (RenderProtocol.cpp).
FrameResult RenderFrame(HostState& host, const FrameRequest& request);

} // namespace harness
