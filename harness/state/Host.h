// The stand-in host: loads an effect module, drives it through its entry
// points exactly as the compositing host would, provides every callback and
// function suite the effect uses, and checks the effect's side of the
// contract as it goes.
//
// Usage (tests of the effect, linestra-render, linestra-inspect):
//
//     harness::Host host;                        // 'FXTC', all cores
//     host.load(harness::LinkedEffect());         // or host.load("build/Linestra.so")
//     ASSERT_EQ(host.setup(), PF_Err_NONE);       // registration .. UI update
//     host.setParam("Stroke Length", -80.0);
//     host.setParam("Mirror X", true);
//     host.setParam("Texture Source", "Original Frame");
//     host.setParam("Point", harness::PointValue{320, 180});
//     host.setParamKeys("Texture Offset", {{0.0, 0.0}, {2.0, 360.0}});
//     host.setMask(harness::PolygonPath({{100, 80}, {540, 80}, {320, 300}}, true));
//     host.setInput(harness::OwnedWorld(640, 360, PF_PixelFormat_ARGB32));
//     harness::FrameResult frame = host.renderFrame({.time = 0.5, .bitDepth = 16,
//                                                    .downsample = {1, 2, 1, 2}});
//     EXPECT_EQ(frame.renderErr, PF_Err_NONE);
//     EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
//     const harness::OwnedWorld& out = *frame.output;
//
// `harness::LinkedEffect()` (EffectEntry.h) gives the entry points of the
// effect linked into the test (library linestra_core); `load(path)` goes
// through the system loader instead.
//
// Low-level use (calling one effect routine that needs suites):
//
//     host.setupFrame({.bitDepth = 8});                 // in_data as for a render
//     host.beginCommand(PF_Cmd_SMART_RENDER);
//     PF_InData* in_data = host.inData();               // pica_basicP, utils, ...
//     ... call the routine, e.g. with host.renderInput() / host.renderOutput() ...
//     harness::CommandReport report = host.endCommand(err);
//     EXPECT_TRUE(report.violations.empty());
//
// The host is strict: suites must be released, worlds disposed, paths
// checked in and segment preparations cleaned up by the end of each
// command (paths and preparations may stay when the command failed), and
// guarded calls (parameter checkout, path calls, iterate_generic) must not
// follow an error the host answered in the same command. Each
// breach becomes a Violation in the command's report and the frame's result.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "HostAPI.h"
#include "harness/masks/MaskPath.h"
#include "harness/protocol/ModuleLoader.h"
#include "harness/state/World.h"

namespace harness {

struct HostState;

// Four-character codes as the host stores them.
constexpr A_long kApplIdCompositor = 0x46585443; // 'FXTC'
constexpr A_long kApplIdEditor = 0x50724D72;     // 'PrMr'

// The path id under which the instance's mask is known; 0 means no mask.
constexpr PF_PathID kMaskPathId = 1;

struct HostOptions {
    A_long applId = kApplIdCompositor;
    int threads = 0;       // worker threads for iterate and iterate_generic; 0: all cores
    double fps = 24.0;     // frame rate: time scale and frame duration (HostTimeScale must not be 0)
    bool trace = false;    // record every call the module makes into the host
    std::string traceFile; // also write the trace there (implies trace)
    // Fill new output buffers and worlds created without clearing with a
    // byte pattern (0xCD) instead of zeros, so that pixels an effect forgets
    // to write stand out.
    bool poisonUnwrittenPixels = false;
    // Keep the worker threads for the host's life instead of starting them
    // for every iterate call (a host that renders frame after frame).
    bool keepWorkerThreads = false;
    // The checks that cost time on every frame: hashing the pictures the
    // effect may only read, before and after the render, and the history of
    // every command sent (commands() then holds the last frame's only).
    // Production hosts turn them off; tests keep them on.
    bool checks = true;
};

// Render scale: x by nx/dx, y by ny/dy.
struct Downsample {
    A_long nx = 1;
    A_u_long dx = 1;
    A_long ny = 1;
    A_u_long dy = 1;
};

struct FrameRequest {
    double time = 0.0;       // seconds
    int bitDepth = 8;        // 8, 16 or 32 (float)
    Downsample downsample{};
    bool smartRender = true; // false: pre-render only (the data is still deleted)
};

struct PointValue {
    double x = 0;
    double y = 0;
};

// A parameter value as a scene gives it: a number (float slider, angle in
// degrees, popup 1-based, checkbox 0/1, path id), a checkbox state, a point
// in full-resolution layer pixels, or a popup entry's text.
using ParamValue = std::variant<double, bool, PointValue, std::string>;

struct Keyframe {
    double seconds = 0;
    ParamValue value;
};

// Produces a picture in the asked pixel format at full resolution; lets a
// file reader map its values straight into the render's format.
using PictureSource = std::function<OwnedWorld(PF_PixelFormat format)>;

struct Registration {
    int calls = 0; // how often the registration callback was called
    std::string name, matchName, category, entryPoint;
    A_long kind = 0;
    A_long apiVersionMajor = 0;
    A_long apiVersionMinor = 0;
    A_long reservedInfo = 0;
    PF_Err entryResult = 0; // PluginDataEntryFunction's result
};

struct Violation {
    std::string command; // e.g. "SMART_RENDER"
    std::string what;
};

struct ProgressCall {
    A_long current = 0;
    A_long total = 0;
};

struct UiUpdate {
    PF_ParamIndex index = 0;
    PF_ParamDef def{}; // copy of the definition handed over
    PF_Err result = 0;
};

struct PixelFormatCall {
    bool clear = false;     // ClearSupportedPixelFormats
    PrPixelFormat format = 0; // AddSupportedPixelFormat's argument
};

struct TraceEntry {
    std::uint64_t sequence = 0;
    std::string command;  // the command during which the call came
    int thread = 0;       // 0: the command's thread, 1..: host worker threads, -1: other
    std::string function; // e.g. "PF_CheckoutPath"
    std::string arguments;
    std::string result;   // usually the returned error code
};

struct CommandReport {
    PF_Cmd cmd = 0;
    PF_Err err = 0;
    std::string returnMsg;
    PF_OutFlags outFlags = 0;
    PF_OutFlags2 outFlags2 = 0;
    std::vector<Violation> violations;
    std::vector<std::string> hostFaults; // callbacks that threw, answered with an error
    double milliseconds = 0; // from sending the command to its return
};

struct LayerCheckout {
    PF_ParamIndex index = 0;
    A_long checkoutId = 0;
    PF_RenderRequest request{};
    A_long time = 0, timeStep = 0;
    A_u_long timeScale = 0;
    PF_CheckoutResult result{};
    bool pixelsCheckedOut = false;
    bool pixelsCheckedIn = false;
};

struct FrameResult {
    PF_Err preRenderErr = 0;
    PF_Err renderErr = 0;          // 0 when the render was not sent
    bool renderSent = false;
    int deleteCalls = 0;           // calls of the pre-render data delete function
    PF_PreRenderOutput preRenderOutput{}; // as the effect left it (the data pointer is stale: deleted)
    std::vector<LayerCheckout> layerCheckouts;
    std::shared_ptr<OwnedWorld> output; // the output buffer (render format, render size)
    std::vector<ProgressCall> progress;
    int abortQuestions = 0;
    std::string returnMsg;         // of the last command sent
    PF_OutFlags outFlags = 0;
    std::vector<Violation> violations;
    // The host's own failures: a callback of ours that threw (out of memory,
    // say), answered to the effect with an error. "PF_NewWorld: out of memory".
    std::vector<std::string> hostFaults;
    std::vector<TraceEntry> trace; // when tracing
    // in_data time of the frame
    A_long currentTime = 0, timeStep = 0;
    A_u_long timeScale = 0;
};

// The host's time for a frame rate: time scale fps x 1000 and time step
// 1000, so one frame is one step. 0 when the frame rate gives no usable
// scale (not a number, below 0.0005 frames per second, or a scale beyond 32
// bits).
A_u_long HostTimeScale(double fps);
// Whether a time in seconds becomes a 32-bit current_time at that frame
// rate's scale, with room for one more step (total_time).
bool FitsHostTime(double seconds, double fps);
// The largest frame number a run renders (scene files and --frames).
constexpr int kMaxFrame = 999999;

// Pixel format of a bit depth (8, 16, 32); throws for another depth.
PF_PixelFormat PixelFormatForBitDepth(int bitDepth);

// Size at render scale: ceil(size * n / d).
A_long ScaledSize(A_long size, A_long n, A_u_long d);

// One line per violation, for test failure messages.
std::string Describe(const std::vector<Violation>& violations);
// The host's own failures as one clause: "the host failed in PF_NewWorld:
// out of memory; the host failed in ..."; empty when there are none.
std::string DescribeHostFaults(const std::vector<std::string>& faults);

// The name of a host or effect error code ("bad callback parameter"); empty
// for a code without one. Messages and the trace both take names from here.
std::string_view ErrorName(PF_Err err);

class Host {
public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const HostOptions& options() const;
    void setThreads(int threads); // 0: all cores
    int threadCount() const;

    // ---- Module -----------------------------------------------------------
    void load(const std::string& modulePath); // through the system loader; throws ModuleError
    void load(EntryPoints entry, std::string label = "in-process effect");
    bool loaded() const;
    const std::string& moduleLabel() const;

    // ---- Set-up commands (each returns the effect's PF_Err) -----------------
    PF_Err registerPlugin(); // PluginDataEntryFunction
    PF_Err globalSetup();
    PF_Err paramsSetup();
    PF_Err updateParamsUI(double seconds = 0.0); // with the values at that time
    PF_Err about();
    // Registration, global set-up, params set-up and one UI update; stops at
    // the first error and returns it.
    PF_Err setup();
    // Any selector with the current state; `extra` is passed through.
    PF_Err sendCommand(PF_Cmd cmd, void* extra = nullptr);

    const Registration& registration() const;
    const CommandReport& lastCommand() const;
    const std::vector<CommandReport>& commands() const; // every command sent
    A_u_long myVersion() const;       // from global set-up
    PF_OutFlags globalOutFlags() const;
    PF_OutFlags2 globalOutFlags2() const;

    // ---- Parameters -------------------------------------------------------
    // Definitions as added (index 0 is the input layer the host supplies),
    // with the UI flags of the latest PF_UpdateParamUI applied.
    int paramCount() const;
    const PF_ParamDef& paramDef(int index) const;
    const std::vector<PF_ParamDef>& addedParams() const; // as add_param received them
    int paramIndex(const std::string& name) const;       // throws, naming it, when unknown
    bool paramEnabled(int index) const;                  // PF_PUI_DISABLED clear

    // Values; each is checked against the declared definition and a bad one
    // throws std::invalid_argument naming the parameter.
    void setParam(const std::string& name, const ParamValue& value);
    void setParam(int index, const ParamValue& value);
    void setParamKeys(const std::string& name, const std::vector<Keyframe>& keys);
    void setParamKeys(int index, const std::vector<Keyframe>& keys);
    // The value a checkout at that time hands over (at full resolution for
    // points; the render scale is applied at checkout).
    PF_ParamDef paramAt(int index, double seconds) const;
    // Specified Layer and other layer parameters: a picture (any format,
    // converted and scaled per render) or none.
    void setLayer(const std::string& name, std::optional<OwnedWorld> picture);
    void setLayer(const std::string& name, PictureSource source, A_long width, A_long height);
    void clearLayer(const std::string& name);

    // Failure injection: the N-th call (1-based, counted from now) of the
    // named callback answers `err`. The names are those of the call trace:
    // "add_param", "checkout_param", "abort", "progress", "checkout_layer",
    // "checkout_layer_pixels", "checkout_output", "checkin_layer_pixels",
    // "AcquireSuite", "PF_UpdateParamUI", "PF_CheckoutPath",
    // "PF_PathPrepareSegLength", "PF_PathEvalSegLengthDeriv1", "PF_NewWorld",
    // "PF_GetPixelFormat", "iterate (8-bit)", "iterate (16-bit)",
    // "iterate (float)", "iterate_generic", ...
    void failCall(const std::string& function, int nth, PF_Err err);
    // The N-th call of the named callback throws std::bad_alloc inside the
    // host, as memory running out would: the module must get an error code.
    // Thrown where failCall's answer is given; a callback that never fails
    // (the maths ones, ansi.sprintf, the block functions) never throws it.
    void throwInCall(const std::string& function, int nth);
    void failAddParam(int nth, PF_Err err) { failCall("add_param", nth, err); }
    const std::vector<UiUpdate>& uiUpdates() const;
    const std::vector<PixelFormatCall>& pixelFormatCalls() const;

    // ---- Suites -----------------------------------------------------------
    enum class Withdrawal { Error, NullWithSuccess };
    // Acquisition of that suite answers an error (or success with a null
    // pointer); restoreSuite undoes it.
    void withdrawSuite(const std::string& name, int version, Withdrawal how = Withdrawal::Error);
    void restoreSuite(const std::string& name, int version);
    // Suites acquired and not yet released right now (name and version).
    std::vector<std::pair<std::string, int>> outstandingSuites() const;

    // ---- Mask and pictures ------------------------------------------------
    // The instance's mask, known as path id kMaskPathId; sets the Path
    // parameter to that id when it exists. clearMask sets it back to 0.
    void setMask(const MaskPath& mask);
    void clearMask();
    void setInput(OwnedWorld picture);
    void setInput(PictureSource source, A_long width, A_long height);
    A_long layerWidth() const;
    A_long layerHeight() const;

    // ---- Abort and progress -----------------------------------------------
    // The abort callback answers PF_Interrupt_CANCEL from the N-th question
    // on (1-based, counted from this call); 0 never. Also withdraws cancel().
    void abortFrom(int nthQuestion);
    int abortQuestions() const; // questions asked since abortFrom (or creation)
    // Cancels as a user would: from now on every abort question (and the
    // per-pixel iterate, and progress) answers PF_Interrupt_CANCEL, and
    // iterate_generic starts no further iteration, until abortFrom is
    // called. Safe from any thread.
    void cancel();
    // The flag cancel() sets, for a signal handler (storing true into a
    // lock-free atomic is safe there; cancel() itself is not promised to be).
    std::atomic<bool>& userCancelFlag();
    // Called on every progress call, on the thread that made it (for a
    // progress bar). Keep it short; it must not call back into the host.
    void onProgress(std::function<void(A_long current, A_long total)> report);
    // Called whenever one more iteration of iterate_generic has finished:
    // `done` of `total` in this call, on the worker thread that ran it. The
    // effect reports no progress of its own while those run. Keep it short;
    // it must not call back into the host.
    void onIterations(std::function<void(A_long done, A_long total)> report);

    // ---- Rendering --------------------------------------------------------
    // Pre-render, (smart render), delete of the pre-render data.
    FrameResult renderFrame(const FrameRequest& request);
    FrameResult renderFrame(double seconds = 0.0, int bitDepth = 8, Downsample downsample = {});
    // Called with the pre-render data (a PFInfo* for this effect) after the
    // pre-render returned, before the render and before deletion.
    void onPreRenderData(std::function<void(void* preRenderData)> inspect);
    // Called with the pre-render data after the smart render returned,
    // before deletion.
    void onRenderedData(std::function<void(void* preRenderData)> inspect);
    // Seconds of frame k: start + k / fps.
    double frameSeconds(double start, int k) const;

    // ---- Trace and violations ---------------------------------------------
    std::vector<TraceEntry> trace() const;
    void clearTrace();
    // Why the trace file (HostOptions::traceFile) is incomplete; empty when
    // every call reached it.
    std::string traceFileError() const;
    std::vector<Violation> violations() const; // every violation so far
    void clearViolations();

    // ---- Low level --------------------------------------------------------
    // in_data as for a frame (time, size, downsample) without sending
    // anything; the render buffers are made for it.
    void setupFrame(const FrameRequest& request);
    void beginCommand(PF_Cmd cmd);
    CommandReport endCommand(PF_Err result);
    PF_InData* inData();
    PF_OutData* outData();
    SPBasicSuite* basicSuite();
    // The buffers of the frame set up last (input at render scale in the
    // render's format, null without an input picture; and a fresh output of
    // the same size).
    PF_EffectWorld* renderInput();
    PF_EffectWorld* renderOutput();
    std::shared_ptr<OwnedWorld> renderOutputBuffer();
    // The params array the host passes to EffectMain (current values).
    PF_ParamDef** paramsArray();

    HostState& state(); // internals, for the harness's own code

private:
    std::unique_ptr<HostState> state_;
};

} // namespace harness
