// linestra-render: renders a scene file (or the built-in demo scene) through
// the effect module and writes the frames as image files.
//
//   linestra-render [SCENE.json] [-o PATH] [--bit-depth 8|16|32]
//                   [--downsample N/D | NX/DX,NY/DY] [--frames A:B] [--threads N]
//                   [--set NAME=VALUE]... [--plugin PATH] [--app FXTC|PrMr]
//                   [--png-compression N] [--quiet | --verbose] [--stats FILE]
//                   [--watch] [--describe] [--trace FILE] [--cancel-after N]
//
// Exit status: 0 when every frame was written; 1 when the run failed (a bad
// scene, flag, image or output, the effect's error or a breach of the host's
// rules); 3 when the render was cancelled with --cancel-after; 130 when it
// was interrupted (Ctrl-C, SIGINT); 100 and up for a command line the
// option parser refuses. A run that fails, is cancelled or interrupted
// writes no file for the frame it stopped at and leaves any earlier file of
// that name as it was; frames of a multi-frame run written before that
// frame stay.
//
// Frames are written on a thread of their own (FrameWriter) while the next
// one renders. What the module prints on standard output (its diagnostic
// text) is captured (StdoutCapture) and shown above the progress bar with
// --verbose, dropped otherwise: standard output holds only what the user
// asked for (--describe).
#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/ioctl.h>
#include <unistd.h>
#else
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#endif

#include "harness/cli/Describe.h"
#include "harness/cli/FrameWriter.h"
#include "harness/state/Host.h"
#include "harness/images/Images.h"
#include "harness/images/OutputFile.h"
#include "harness/cli/Progress.h"
#include "harness/cli/RunStats.h"
#include "harness/scenes/Scene.h"
#include "harness/cli/StdoutCapture.h"

namespace {

namespace fs = std::filesystem;
using namespace harness;
using Clock = std::chrono::steady_clock;

#if defined(_WIN32)
constexpr const char* kModuleName = "Linestra.aex";
#else
constexpr const char* kModuleName = "Linestra.so";
#endif

// Exit status of a run cancelled through --cancel-after.
constexpr int kExitCancelled = 3;
// Exit status of a run interrupted by SIGINT (128 + 2, as shells report it).
constexpr int kExitInterrupted = 130;
// The PNG compression level when none is given. zlib's level 1 deflates a
// 1920 x 1080 frame in about half the time of the usual 6, so that writing
// keeps up with rendering, for files about 40% larger; 9 takes ten times
// as long.
constexpr int kDefaultPngCompression = 1;

// An error that ends the run; the text says what and why.
struct RunError {
    std::string message;
};

// The render was cancelled (--cancel-after); nothing was written for `frame`.
struct Cancelled {
    int frame = 0;
    int question = 0;
};

// The run was interrupted (SIGINT); `frame` was not written (-1: no frame
// was rendering), `written` frames were.
struct Interrupted {
    int frame = -1;
    std::size_t written = 0;
};

// ---------------------------------------------------------------------------
// SIGINT: the first one cancels the frame through the host's abort
// question; the handler then puts back the earlier one (OutputFile's, which
// removes temporaries and ends the process), so that a second Ctrl-C stops
// the process at once.
// ---------------------------------------------------------------------------

volatile std::sig_atomic_t gInterrupted = 0;
std::atomic<std::atomic<bool>*> gCancelFlag{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<std::atomic<bool>*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");
#if !defined(_WIN32)
struct sigaction gPreviousInterrupt {};
#endif

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
    if (std::atomic<bool>* flag = gCancelFlag.load())
        flag->store(true);
#if !defined(_WIN32)
    sigaction(SIGINT, &gPreviousInterrupt, nullptr);
#else
    std::signal(SIGINT, SIG_DFL);
#endif
}

void CancelOnInterrupt()
{
#if !defined(_WIN32)
    struct sigaction previous {};
    if (sigaction(SIGINT, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        return; // a background job started with SIGINT ignored keeps it so
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    gPreviousInterrupt = previous;
    sigaction(SIGINT, &action, nullptr);
#else
    std::signal(SIGINT, OnInterrupt);
#endif
}

bool InterruptRequested()
{
    return gInterrupted != 0;
}

// Points the signal handler at a host's cancel flag while the host lives.
class CancelBinding {
public:
    explicit CancelBinding(Host& host)
    {
        gCancelFlag.store(&host.userCancelFlag());
        if (InterruptRequested())
            host.cancel();
    }
    ~CancelBinding() { gCancelFlag.store(nullptr); }
    CancelBinding(const CancelBinding&) = delete;
    CancelBinding& operator=(const CancelBinding&) = delete;
};

[[noreturn]] void Fail(const std::string& message)
{
    throw RunError{message};
}

// The module beside this command: in its folder, the folder above (in the
// build: build/harness/linestra-render and build/Linestra.so), or where the
// install puts it (<prefix>/bin/linestra-render and
// <prefix>/lib/linestra/Linestra.so).
std::string FindModule(const char* argv0)
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = fs::absolute(argv0, ec);
    const fs::path folder = self.parent_path();
    const std::vector<fs::path> candidates{folder / kModuleName, folder.parent_path() / kModuleName,
                                           (folder / LINESTRA_MODULE_FROM_BIN / kModuleName).lexically_normal()};
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
    Fail("cannot find the effect module " + std::string(kModuleName) + " beside linestra-render (looked for " +
         candidates[0].string() + ", " + candidates[1].string() + " and " + candidates[2].string() +
         "); build it, or name it with --plugin PATH");
}

std::pair<int, int> ParseFrames(const std::string& text)
{
    const std::size_t colon = text.find_first_of(":-");
    long long first = 0, last = 0;
    try {
        std::size_t used = 0;
        const std::string head = text.substr(0, colon);
        first = std::stoll(head, &used);
        if (used != head.size() || head.find_first_of(" \t") != std::string::npos)
            throw std::invalid_argument(text);
        last = first;
        if (colon != std::string::npos) {
            const std::string rest = text.substr(colon + 1);
            last = std::stoll(rest, &used);
            if (used != rest.size() || rest.find_first_of(" \t") != std::string::npos)
                throw std::invalid_argument(text);
        }
    } catch (const std::out_of_range&) {
        first = -1; // reported below as out of range
    } catch (const std::logic_error&) {
        Fail("--frames \"" + text + "\": expected A:B (first and last frame) or a single frame number");
    }
    if (first < 0 || last > kMaxFrame || last < first)
        Fail("--frames " + text + ": frames count from 0 to " + std::to_string(kMaxFrame) +
             " and the last comes at or after the first");
    return {static_cast<int>(first), static_cast<int>(last)};
}

// The code as messages show it: "out of memory (4)".
std::string ErrorText(PF_Err err)
{
    const std::string_view name = harness::ErrorName(err);
    return name.empty() ? "error " + std::to_string(err) : std::string(name) + " (" + std::to_string(err) + ")";
}

std::string ViolationsText(const std::vector<Violation>& violations)
{
    std::string text;
    for (const Violation& v : violations)
        text += "\n  " + v.command + ": " + v.what;
    return text;
}

// Bytes of one buffer of the frame, for the message when memory runs out.
std::string FrameSizeText(const Host& host, const RenderSettings& render)
{
    const A_long width = ScaledSize(host.layerWidth(), render.downsample.nx, render.downsample.dx);
    const A_long height = ScaledSize(host.layerHeight(), render.downsample.ny, render.downsample.dy);
    const double bytes = static_cast<double>(width) * static_cast<double>(height) *
                         static_cast<double>(BytesPerPixel(PixelFormatForBitDepth(render.bitDepth)));
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.0f", bytes / 1e6);
    return std::to_string(width) + " x " + std::to_string(height) + " " +
           (render.bitDepth == 32 ? "float" : std::to_string(render.bitDepth) + "-bit") + " frame (" + megabytes +
           " MB for each of its buffers)";
}


struct Options {
    std::string scene;
    std::string output;
    std::optional<int> bitDepth;
    std::string downsample;
    std::optional<std::string> frames;
    std::optional<int> threads;
    std::vector<std::string> settings;
    std::string plugin;
    std::string app;
    bool describe = false;
    std::string trace;
    int cancelAfter = 0; // 0: never
    int pngCompression = kDefaultPngCompression;
    bool quiet = false;
    bool verbose = false;
    std::string stats;
    bool watch = false;
};

// Where messages go while a run shows progress: the effect's captured text
// (with --verbose) and the run's own notes print above the bar.
class Console {
public:
    explicit Console(bool verbose, bool quiet) : verbose_(verbose), quiet_(quiet) {}

    // A line the module wrote to standard output.
    void moduleLine(const std::string& line)
    {
        if (verbose_)
            note(line);
    }
    // A note of the run (not an error), on standard error unless --quiet.
    void note(const std::string& line)
    {
        if (quiet_ && !verbose_)
            return;
        std::lock_guard lock(mutex_);
        if (progress_ != nullptr) {
            progress_->message(line);
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        }
    }
    void attach(RunProgress* progress)
    {
        std::lock_guard lock(mutex_);
        progress_ = progress;
    }
    bool quiet() const { return quiet_; }

private:
    bool verbose_;
    bool quiet_;
    std::mutex mutex_;
    RunProgress* progress_ = nullptr;
};

// Shows the progress of a run while it lives.
class AttachedProgress {
public:
    AttachedProgress(Console& console, RunProgress& progress) : console_(console), progress_(progress)
    {
        console_.attach(&progress_);
    }
    ~AttachedProgress()
    {
        progress_.finish();
        console_.attach(nullptr);
    }
    AttachedProgress(const AttachedProgress&) = delete;
    AttachedProgress& operator=(const AttachedProgress&) = delete;

private:
    Console& console_;
    RunProgress& progress_;
};

int TerminalColumns()
{
#if !defined(_WIN32)
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The scene with the command line's overrides, and where its frames go.
struct PreparedScene {
    Scene scene;
    std::string output;
    bool numbered = false;
    A_long applId = kApplIdCompositor;
};

PreparedScene PrepareScene(const Options& options)
{
    PreparedScene p;
    if (options.app == "PrMr")
        p.applId = kApplIdEditor;
    Scene& scene = p.scene;
    scene = options.scene.empty() ? DemoScene() : LoadScene(options.scene);
    if (!options.app.empty())
        scene.render.applId = p.applId;
    if (options.bitDepth)
        scene.render.bitDepth = *options.bitDepth;
    if (!options.downsample.empty()) {
        try {
            scene.render.downsample = ParseDownsample(options.downsample);
        } catch (const std::invalid_argument& e) {
            Fail(std::string("--downsample: ") + e.what());
        }
    }
    if (options.frames)
        std::tie(scene.render.firstFrame, scene.render.lastFrame) = ParseFrames(*options.frames);
    if (const std::string problem = FrameTimeProblem(scene.render); !problem.empty())
        Fail((options.frames ? "--frames " + *options.frames : scene.file + ": render") + ": " + problem);
    if (options.threads)
        scene.render.threads = *options.threads;
    for (const std::string& setting : options.settings)
        AddSetting(scene, setting, fs::current_path());
    // -o and the scene's output are both relative to the current folder.
    p.output = !options.output.empty() ? options.output
               : !scene.output.empty() ? scene.output
                                       : DefaultOutputPath(scene, fs::path());
    p.numbered = scene.render.lastFrame > scene.render.firstFrame;
    // A format this build cannot write, or a folder that cannot be written,
    // stops the run before anything renders. An output that names a folder
    // is said to be one (numbered frames would otherwise be refused for the
    // name "folder_0000" having no format).
    std::error_code ec;
    if (fs::is_directory(p.output, ec))
        Fail("cannot write \"" + p.output + "\": it names a folder, not a file");
    try {
        CheckImageOutput(FrameOutputPath(p.output, scene.render.firstFrame, p.numbered));
    } catch (const ImageError& e) {
        Fail(e.what());
    }
    if (!options.stats.empty()) {
        try {
            CheckOutputFolder(options.stats);
        } catch (const OutputFileError& e) {
            Fail(std::string("--stats: ") + e.what());
        }
    }
    return p;
}

// The files a scene reads: the scene itself, its input picture and every
// picture file a parameter names (for --watch).
std::vector<fs::path> SceneFiles(const Options& options, const Scene* scene)
{
    std::vector<fs::path> files;
    if (!options.scene.empty())
        files.emplace_back(options.scene);
    if (scene == nullptr)
        return files;
    if (!scene->input.file.empty())
        files.push_back(scene->input.file);
    auto add = [&](const SceneParam& param, const SceneValue& value) {
        if (const auto* picture = std::get_if<PictureSpec>(&value); picture != nullptr && !picture->file.empty())
            files.push_back(picture->file);
        if (const auto* name = std::get_if<std::string>(&value)) {
            // A text is a popup entry or a file name; a file that exists is
            // watched.
            const fs::path path = fs::path(*name).is_absolute() ? fs::path(*name) : param.base / *name;
            std::error_code ec;
            if (fs::is_regular_file(path, ec))
                files.push_back(path);
        }
    };
    for (const SceneParam& param : scene->params) {
        add(param, param.value);
        for (const auto& key : param.keys)
            add(param, key.second);
    }
    return files;
}

// Loads the module, runs its set-up and applies the scene; any failure is
// the run's error.
void SetUpEffect(Host& host, const std::string& modulePath, Scene& scene)
{
    try {
        host.load(modulePath);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    if (const PF_Err err = host.setup(); err != PF_Err_NONE) {
        const CommandReport& report = host.lastCommand();
        Fail("the effect's set-up failed: " + ErrorText(err) +
             (report.returnMsg.empty() ? std::string() : ": " + report.returnMsg) +
             (report.hostFaults.empty() ? std::string() : "; " + DescribeHostFaults(report.hostFaults)) +
             ViolationsText(host.violations()));
    }
    if (!host.violations().empty())
        Fail("the effect broke the host's rules during set-up:" + ViolationsText(host.violations()));
    try {
        ApplyScene(scene, host);
    } catch (const std::bad_alloc&) {
        Fail(scene.file + ": not enough memory to hold the scene's pictures");
    }
}

// Why a rendered frame cannot be written; empty when it can.
std::string FrameFailure(const FrameResult& result)
{
    std::string failure;
    if (result.preRenderErr != PF_Err_NONE)
        failure = "the effect's pre-render returned " + ErrorText(result.preRenderErr);
    else if (result.renderSent && result.renderErr != PF_Err_NONE)
        failure = "the effect's render returned " + ErrorText(result.renderErr);
    else if (!result.renderSent || !result.output)
        failure = "the host produced no output picture";
    if (!failure.empty() && !result.returnMsg.empty())
        failure += ": " + result.returnMsg;
    if (!result.hostFaults.empty())
        failure += (failure.empty() ? "" : "; ") + DescribeHostFaults(result.hostFaults);
    if (!result.violations.empty())
        failure += (failure.empty() ? std::string("the effect broke the host's rules:")
                                    : std::string("; the effect also broke the host's rules:")) +
                   ViolationsText(result.violations);
    return failure;
}

// The --stats entry of a frame: its command times from the host's records
// since firstCommand, its progress marks and the peak memory so far.
FrameStats FrameStatsOf(const Host& host, std::size_t firstCommand, int frame, const std::vector<ProgressMark>& marks)
{
    FrameStats entry;
    entry.frame = frame;
    const std::vector<CommandReport>& commands = host.commands();
    for (std::size_t i = firstCommand; i < commands.size(); ++i) {
        if (commands[i].cmd == PF_Cmd_SMART_PRE_RENDER)
            entry.preRenderMs = commands[i].milliseconds;
        else if (commands[i].cmd == PF_Cmd_SMART_RENDER)
            entry.renderMs = commands[i].milliseconds;
    }
    entry.progress = marks;
    entry.peakRssMb = PeakRssMb();
    return entry;
}

// The --stats file, written whole or not at all.
void WriteStats(const std::string& path, const std::string& sceneFile, const std::vector<FrameStats>& stats,
                double seconds)
{
    const std::string text = StatsText(sceneFile, stats, seconds);
    try {
        // Missing folders are made, as for the frames (checked before the
        // run: they can be).
        const fs::path folder = fs::path(path).parent_path();
        std::error_code ec;
        if (!folder.empty() && !fs::create_directories(folder, ec) && ec)
            Fail("--stats: cannot make the folder \"" + folder.string() + "\": " + ec.message());
        TemporaryOutput file(path);
        file.write(text.data(), text.size());
        file.commit();
    } catch (const OutputFileError& e) {
        Fail(std::string("--stats: ") + e.what());
    }
}

// "wrote ..." and, for several frames, the rate.
void NoteWritten(Console& console, const std::vector<std::string>& written, int bitDepth, double seconds)
{
    const char* depth = bitDepth == 32 ? "float" : bitDepth == 16 ? "16-bit" : "8-bit";
    if (written.size() == 1) {
        console.note("wrote " + written.front() + " (" + depth + ")");
        return;
    }
    console.note("wrote " + std::to_string(written.size()) + " frames, " + written.front() + " to " +
                 written.back() + " (" + depth + ")");
    char rate[96];
    std::snprintf(rate, sizeof rate, "%zu frames in %.1f s (%.1f frames/s)", written.size(), seconds,
                  seconds > 0 ? static_cast<double>(written.size()) / seconds : 0.0);
    console.note(rate);
}

// Renders the prepared scene: every frame, written as it is done.
int RenderScene(const Options& options, PreparedScene& prepared, const std::string& modulePath, Console& console)
{
    Scene& scene = prepared.scene;
    const RenderSettings& render = scene.render;
    const int frameCount = render.lastFrame - render.firstFrame + 1;
    // The bar and the timings live longer than the host that reports to them.
    RunProgress progress(options.quiet                 ? RunProgress::Style::None
                         : isatty(STDERR_FILENO) != 0 ? RunProgress::Style::Bar
                                                      : RunProgress::Style::Lines,
                         frameCount, stderr, TerminalColumns());
    AttachedProgress attached(console, progress);

    // Per-frame timings for --stats; the progress marks come on the
    // command's thread, the write times on the writer's.
    std::mutex statsMutex;
    std::vector<FrameStats> stats;
    std::map<std::string, std::size_t> statsOfPath;
    Clock::time_point frameStart = Clock::now();
    std::vector<ProgressMark> marks;
    HostOptions hostOptions = SceneHostOptions(scene);
    if (!options.trace.empty()) {
        hostOptions.trace = true;
        hostOptions.traceFile = options.trace;
    }
    Host host(hostOptions);
    CancelBinding cancelBinding(host);
    SetUpEffect(host, modulePath, scene);

    if (options.cancelAfter > 0)
        host.abortFrom(options.cancelAfter);
    // abortFrom withdraws a cancel; an interrupt that came during set-up
    // still counts.
    if (InterruptRequested())
        throw Interrupted{};
    host.onProgress([&](A_long current, A_long total) {
        progress.effectReport(current, total);
        if (total > 0)
            marks.push_back({current * 100 / total,
                             std::chrono::duration<double, std::milli>(Clock::now() - frameStart).count()});
    });
    host.onIterations([&](A_long done, A_long total) { progress.iterations(done, total); });

    const int level = options.pngCompression;
    FrameWriter writer([&](const OwnedWorld& picture, const std::string& path) {
        const Clock::time_point start = Clock::now();
        const fs::path folder = fs::path(path).parent_path();
        if (!folder.empty())
            fs::create_directories(folder);
        WriteImage(picture, path, level);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::lock_guard lock(statsMutex);
        if (auto it = statsOfPath.find(path); it != statsOfPath.end())
            stats[it->second].writeMs = ms;
    });
    // Waits for the write in progress; a failure there is the run's error.
    auto finishWrites = [&] {
        try {
            writer.finish();
        } catch (const FrameWriteError& e) {
            Fail(e.what());
        }
    };
    auto writtenText = [&] {
        const std::vector<std::string> written = writer.written();
        if (written.empty())
            return std::string();
        if (written.size() == 1)
            return " (frame " + std::to_string(render.firstFrame) + " was written)";
        return " (frames " + std::to_string(render.firstFrame) + " to " +
               std::to_string(render.firstFrame + static_cast<int>(written.size()) - 1) + " were written)";
    };

    const Clock::time_point runStart = Clock::now();
    for (int frame = render.firstFrame; frame <= render.lastFrame; ++frame) {
        if (InterruptRequested()) {
            finishWrites();
            throw Interrupted{-1, writer.written().size()};
        }
        const std::string path = FrameOutputPath(prepared.output, frame, prepared.numbered);
        progress.startFrame(frame);
        FrameRequest request;
        request.time = host.frameSeconds(render.time, frame);
        request.bitDepth = render.bitDepth;
        request.downsample = render.downsample;
        const std::size_t firstCommand = host.commands().size();
        marks.clear();
        frameStart = Clock::now();
        FrameResult result;
        try {
            result = host.renderFrame(request);
        } catch (const std::bad_alloc&) {
            finishWrites();
            Fail("frame " + std::to_string(frame) + ": not enough memory for a " + FrameSizeText(host, render));
        }
        // Interrupted (Ctrl-C): the frame is not written, whatever the
        // effect returned.
        if (InterruptRequested()) {
            finishWrites();
            throw Interrupted{frame, writer.written().size()};
        }
        // Once the host has answered cancel, the frame is not written,
        // whatever the effect returned; a breach of the rules still counts.
        const bool cancelled = options.cancelAfter > 0 && host.abortQuestions() >= options.cancelAfter;
        if (cancelled && result.violations.empty()) {
            finishWrites();
            throw Cancelled{frame, options.cancelAfter};
        }

        if (const std::string failure = FrameFailure(result); !failure.empty()) {
            finishWrites();
            Fail("frame " + std::to_string(frame) + " failed" + writtenText() + ": " + failure);
        }

        {
            FrameStats entry = FrameStatsOf(host, firstCommand, frame, marks);
            std::lock_guard lock(statsMutex);
            statsOfPath[path] = stats.size();
            stats.push_back(std::move(entry));
        }
        try {
            writer.submit(frame, result.output, path);
        } catch (const FrameWriteError& e) {
            Fail(std::string(e.what()) + writtenText());
        }
        progress.frameDone();
    }
    finishWrites();
    const double seconds = SecondsSince(runStart);
    progress.finish();
    if (const std::string traceError = host.traceFileError(); !traceError.empty())
        Fail("--trace: " + traceError);

    if (!options.stats.empty()) {
        std::lock_guard lock(statsMutex);
        WriteStats(options.stats, scene.file, stats, seconds);
    }
    const std::vector<std::string> written = writer.written();
    NoteWritten(console, written, render.bitDepth, seconds);
    if (InterruptRequested())
        throw Interrupted{-1, written.size()};
    return 0;
}

int Run(const Options& options, const char* argv0, Console& console, const StdoutCapture& capture)
{
    const std::string modulePath = options.plugin.empty() ? FindModule(argv0) : options.plugin;
    if (options.describe) {
        std::string description;
        try {
            description = DescribeModule(modulePath, options.app == "PrMr" ? kApplIdEditor : kApplIdCompositor);
        } catch (const std::exception& e) {
            Fail(e.what());
        }
        if (!capture.writeOut(description))
            Fail("cannot write the description to standard output: " +
                 std::error_code(errno, std::generic_category()).message());
        return 0;
    }
    PreparedScene prepared = PrepareScene(options);
    return RenderScene(options, prepared, modulePath, console);
}

// Prints why a run failed on standard error and returns its exit status.
// Called from a catch block; an exception of a kind not named here goes on.
int ReportRunFailure()
{
    try {
        throw;
    } catch (const Cancelled& c) {
        std::cerr << "linestra-render: cancelled at abort question " << c.question << " during frame " << c.frame
                  << "; frame " << c.frame << " was not written\n";
        return kExitCancelled;
    } catch (const RunError& e) {
        std::cerr << "linestra-render: " << e.message << "\n";
    } catch (const SceneError& e) {
        std::cerr << "linestra-render: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "linestra-render: not enough memory\n";
    } catch (const std::exception& e) {
        std::cerr << "linestra-render: " << e.what() << "\n";
    }
    return 1;
}

// ---------------------------------------------------------------------------
// --watch: render, then again whenever a file the scene reads changes.
// ---------------------------------------------------------------------------

// Modification time and size of each file; a missing file counts too.
using FileStamps = std::map<fs::path, std::pair<fs::file_time_type, std::uintmax_t>>;

FileStamps Stamp(const std::vector<fs::path>& files)
{
    FileStamps stamps;
    for (const fs::path& file : files) {
        std::error_code ec;
        const auto time = fs::last_write_time(file, ec);
        const auto size = ec ? 0 : fs::file_size(file, ec);
        stamps[file] = {ec ? fs::file_time_type::min() : time, ec ? 0 : size};
    }
    return stamps;
}

int Watch(const Options& options, const char* argv0, Console& console)
{
    const std::string modulePath = options.plugin.empty() ? FindModule(argv0) : options.plugin;
    for (;;) {
        // The scene is stamped before it is read, the pictures it names
        // as soon as they are known, before the render: an edit during the
        // render counts as a change.
        std::vector<fs::path> files = SceneFiles(options, nullptr);
        FileStamps before = Stamp(files);
        try {
            PreparedScene prepared = PrepareScene(options);
            files = SceneFiles(options, &prepared.scene);
            before.merge(Stamp(files));
            RenderScene(options, prepared, modulePath, console);
        } catch (const Interrupted&) {
            throw;
        } catch (...) {
            ReportRunFailure(); // and watch on
        }
        if (InterruptRequested())
            throw Interrupted{};
        before.merge(Stamp(files)); // the pictures of a scene that failed before they were stamped
        console.note("watching " + std::to_string(files.size()) + " file(s) for changes; Ctrl-C ends");
        while (Stamp(files) == before) {
            if (InterruptRequested())
                throw Interrupted{};
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        // Let an editor finish saving before the scene is read.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        console.note("a file changed; rendering again");
    }
}

constexpr const char* kHelpFooter = R"(Examples:
  linestra-render scenes/examples/circle.json -o out/circle.png
      render one frame of a scene to a PNG file
  linestra-render scenes/examples/texture-offset.json -o out/offset_#.png --stats out/stats.json
      render every frame of a scene (out/offset_0.png, out/offset_1.png, ...) and keep the timings
  linestra-render scenes/examples/circle.json --set "Stroke Length=80" --watch
      render again whenever the scene or a picture it reads changes, until Ctrl-C

File names in a scene (input, Specified Layer) are relative to the scene's
folder; its output, like -o, is relative to the current folder.

Exit status:
  0     every frame was written
  1     the run failed: a bad scene, flag, image or output, the effect's error,
        or a breach of the host's rules (frames written before stay)
  3     cancelled with --cancel-after
  130   interrupted (Ctrl-C); the frame rendering then is not written
  100+  a command line the option parser refuses
)";

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Renders a scene file (or, without one, the built-in demo scene) through the Linestra effect "
                 "module and writes the frames as image files.",
                 "linestra-render"};
    // Paths such as /work/scene.json are files, not Windows-style options.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "linestra-render " LINESTRA_VERSION);
    app.footer(kHelpFooter);
    Options options;
    app.add_option("scene", options.scene, "Scene file (JSON); without one the built-in demo scene renders");
    app.add_option("-o,--output", options.output,
                   "Output image, relative to the current folder; the extension chooses the format (.png, .exr, "
                   "...); a run of # marks where the frame number goes");
    app.add_option("--bit-depth", options.bitDepth, "8, 16 or 32 (float)")->check(CLI::IsMember({8, 16, 32}));
    app.add_option("--downsample", options.downsample, "Render scale N/D, or NX/DX,NY/DY per axis");
    app.add_option("--frames", options.frames,
                   "First and last frame, A:B (inclusive), or one frame; 0 to " + std::to_string(kMaxFrame));
    app.add_option("--threads", options.threads, "Worker threads (0: all cores)")->check(CLI::Range(0, 1024));
    app.add_option("--set", options.settings, "Parameter value NAME=VALUE (repeatable), e.g. \"Stroke Length=-80\"");
    app.add_option("--plugin", options.plugin,
                   "Effect module to load (default: " + std::string(kModuleName) + " beside this command)")
        ->check(CLI::ExistingFile);
    app.add_option("--app", options.app, "Host to act as: FXTC (default) or PrMr")
        ->check(CLI::IsMember({"FXTC", "PrMr"}));
    app.add_option("--png-compression", options.pngCompression,
                   "zlib level of PNG files, 0 (none, fastest to write) to 9 (smallest); the pixels are the same "
                   "at every level (default " +
                       std::to_string(kDefaultPngCompression) + ")")
        ->check(CLI::Range(0, 9));
    auto* quiet = app.add_flag("-q,--quiet", options.quiet, "No progress and no notes on standard error, only errors");
    app.add_flag("-v,--verbose", options.verbose,
#if defined(_WIN32)
                 "Show the effect's diagnostic text (on Windows the module writes it to the system's debug "
                 "output, not to the terminal; a debugger or DebugView shows it)"
#else
                 "Show the effect's diagnostic text (what the module writes to standard output) above the "
                 "progress bar; without it that text is dropped"
#endif
                 )
        ->excludes(quiet);
    app.add_option("--stats", options.stats,
                   "Write per-frame timings to FILE as JSON: pre_render_ms, render_ms, write_ms, phases_ms "
                   "(between the effect's progress reports), peak_rss_mb");
    app.add_flag("--watch", options.watch,
                 "Render, then again whenever the scene or a picture file it names changes, until Ctrl-C");
    app.add_flag("--describe", options.describe, "Print the effect as the host sees it, and exit");
    app.add_option("--trace", options.trace, "Write every call the effect makes into the host to FILE");
    app.add_option("--cancel-after", options.cancelAfter,
                   "Answer cancel from the N-th abort question on (as a user cancelling); the frame is not written "
                   "and the exit status is 3")
        ->check(CLI::Range(1, INT_MAX));
    CLI11_PARSE(app, argc, argv);

    // A run killed while it writes leaves no temporary file behind; the
    // first Ctrl-C cancels the frame through the host instead, the second
    // ends the process through that cleanup.
    RemoveTemporariesOnSignals();
    CancelOnInterrupt();
    Console console(options.verbose, options.quiet);
    // The module's text on standard output goes to the console (or nowhere).
    StdoutCapture capture([&console](const std::string& line) { console.moduleLine(line); });
    try {
        return options.watch && !options.describe ? Watch(options, argv[0], console)
                                                   : Run(options, argv[0], console, capture);
    } catch (const Interrupted& i) {
        std::cerr << "linestra-render: interrupted";
        if (i.frame >= 0)
            std::cerr << " during frame " << i.frame << "; frame " << i.frame << " was not written";
        if (i.written > 0)
            std::cerr << "; " << i.written << " frame(s) were written";
        std::cerr << "\n";
        return kExitInterrupted;
    } catch (...) {
        return ReportRunFailure();
    }
}
