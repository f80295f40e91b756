// linestra-render: renders a scene file (or the built-in demo scene) through
// the effect module and writes the frames as image files.
//
//   linestra-render [SCENE.json] [-o PATH] [--bit-depth 8|16|32]
//                   [--downsample N/D | NX/DX,NY/DY] [--frames A:B] [--threads N]
//                   [--set NAME=VALUE]... [--plugin PATH] [--app FXTC|PrMr]
//                   [--describe] [--trace FILE] [--cancel-after N]
//
// Exit status: 0 when every frame was written; 1 when the run failed (a bad
// scene, flag, image or output, the effect's error or a breach of the host's
// rules); 3 when the render was cancelled with --cancel-after; 100 and up
// for a command line the option parser refuses. A run that fails or is
// cancelled writes no file for the frame it stopped at and leaves any earlier
// file of that name as it was; frames of a multi-frame run written before
// that frame stay.
#include <CLI/CLI.hpp>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "harness/Describe.h"
#include "harness/Host.h"
#include "harness/Images.h"
#include "harness/OutputFile.h"
#include "harness/Scene.h"

namespace {

namespace fs = std::filesystem;
using namespace harness;

#if defined(_WIN32)
constexpr const char* kModuleName = "Linestra.aex";
#else
constexpr const char* kModuleName = "Linestra.so";
#endif

// Exit status of a run cancelled through --cancel-after.
constexpr int kExitCancelled = 3;

// An error that ends the run; the text says what and why.
struct RunError {
    std::string message;
};

// The render was cancelled (--cancel-after); nothing was written for `frame`.
struct Cancelled {
    int frame = 0;
    int question = 0;
};

[[noreturn]] void Fail(const std::string& message)
{
    throw RunError{message};
}

// The module built beside this command: in its folder, or the folder above
// (build/harness/linestra-render and build/Linestra.so).
std::string FindModule(const char* argv0)
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = fs::absolute(argv0, ec);
    const fs::path folder = self.parent_path();
    const std::vector<fs::path> candidates{folder / kModuleName, folder.parent_path() / kModuleName};
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
    Fail("cannot find the effect module " + std::string(kModuleName) + " beside linestra-render (looked for " +
         candidates[0].string() + " and " + candidates[1].string() + "); build it, or name it with --plugin PATH");
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

std::string ErrorText(PF_Err err)
{
    switch (err) {
    case PF_Err_OUT_OF_MEMORY:
        return "out of memory (4)";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "internal structure damaged (512)";
    case PF_Err_INVALID_INDEX:
        return "invalid index (513)";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
        return "unrecognised parameter type (514)";
    case PF_Err_INVALID_CALLBACK:
        return "invalid callback (515)";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "bad callback parameter (516)";
    case PF_Interrupt_CANCEL:
        return "cancelled (517)";
    default:
        return "error " + std::to_string(err);
    }
}

std::string ViolationsText(const std::vector<Violation>& violations)
{
    std::string text;
    for (const Violation& v : violations)
        text += "\n  " + v.command + ": " + v.what;
    return text;
}

// A bar of frames done, redrawn in place on a terminal.
class ProgressBar {
public:
    ProgressBar(int frames, bool enabled) : frames_(frames), enabled_(enabled) {}
    void show(int done, const std::string& label)
    {
        if (!enabled_)
            return;
        constexpr int width = 30;
        const int filled = frames_ > 0 ? done * width / frames_ : width;
        std::string bar(static_cast<std::size_t>(filled), '=');
        bar.resize(width, ' ');
        std::fprintf(stderr, "\r[%s] %d/%d %s\033[K", bar.c_str(), done, frames_, label.c_str());
        std::fflush(stderr);
    }
    void finish()
    {
        if (enabled_)
            std::fprintf(stderr, "\r\033[K");
    }

private:
    int frames_;
    bool enabled_;
};

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
};

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

int Run(const Options& options, const char* argv0)
{
    const std::string modulePath = options.plugin.empty() ? FindModule(argv0) : options.plugin;
    A_long applId = kApplIdCompositor;
    if (options.app == "PrMr")
        applId = kApplIdEditor;

    if (options.describe) {
        try {
            std::cout << DescribeModule(modulePath, applId);
        } catch (const std::exception& e) {
            Fail(e.what());
        }
        return 0;
    }

    // The scene, then the command line's overrides.
    Scene scene = options.scene.empty() ? DemoScene() : LoadScene(options.scene);
    if (!options.app.empty())
        scene.render.applId = applId;
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
    const std::string output = !options.output.empty() ? options.output
                               : !scene.output.empty()   ? scene.output
                                                         : DefaultOutputPath(scene, fs::path());
    const bool numbered = scene.render.lastFrame > scene.render.firstFrame;
    // A format this build cannot write, or a folder that cannot be written,
    // stops the run before anything renders.
    try {
        CheckImageOutput(FrameOutputPath(output, scene.render.firstFrame, numbered));
    } catch (const ImageError& e) {
        Fail(e.what());
    }

    HostOptions hostOptions = SceneHostOptions(scene);
    if (!options.trace.empty()) {
        hostOptions.trace = true;
        hostOptions.traceFile = options.trace;
    }
    Host host(hostOptions);
    try {
        host.load(modulePath);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    if (const PF_Err err = host.setup(); err != PF_Err_NONE) {
        const CommandReport& report = host.lastCommand();
        Fail("the effect's set-up failed: " + ErrorText(err) +
             (report.returnMsg.empty() ? std::string() : ": " + report.returnMsg) +
             ViolationsText(host.violations()));
    }
    if (!host.violations().empty())
        Fail("the effect broke the host's rules during set-up:" + ViolationsText(host.violations()));
    try {
        ApplyScene(scene, host);
    } catch (const std::bad_alloc&) {
        Fail(scene.file + ": not enough memory to hold the scene's pictures");
    }

    const RenderSettings& render = scene.render;
    if (options.cancelAfter > 0)
        host.abortFrom(options.cancelAfter);
    const int frameCount = render.lastFrame - render.firstFrame + 1;
    ProgressBar bar(frameCount, isatty(STDERR_FILENO) != 0);
    std::vector<std::string> written;
    for (int frame = render.firstFrame; frame <= render.lastFrame; ++frame) {
        const std::string path = FrameOutputPath(output, frame, numbered);
        bar.show(frame - render.firstFrame, "rendering frame " + std::to_string(frame));
        FrameRequest request;
        request.time = host.frameSeconds(render.time, frame);
        request.bitDepth = render.bitDepth;
        request.downsample = render.downsample;
        FrameResult result;
        try {
            result = host.renderFrame(request);
        } catch (const std::bad_alloc&) {
            bar.finish();
            Fail("frame " + std::to_string(frame) + ": not enough memory for a " + FrameSizeText(host, render));
        }
        // Once the host has answered cancel, the frame is not written,
        // whatever the effect returned; a breach of the rules still counts.
        const bool cancelled = options.cancelAfter > 0 && host.abortQuestions() >= options.cancelAfter;
        if (cancelled && result.violations.empty()) {
            bar.finish();
            throw Cancelled{frame, options.cancelAfter};
        }

        std::string failure;
        if (result.preRenderErr != PF_Err_NONE)
            failure = "the effect's pre-render returned " + ErrorText(result.preRenderErr);
        else if (result.renderSent && result.renderErr != PF_Err_NONE)
            failure = "the effect's render returned " + ErrorText(result.renderErr);
        else if (!result.renderSent || !result.output)
            failure = "the host produced no output picture";
        if (!failure.empty() && !result.returnMsg.empty())
            failure += ": " + result.returnMsg;
        if (!result.violations.empty())
            failure += (failure.empty() ? std::string("the effect broke the host's rules:")
                                        : std::string("; the effect also broke the host's rules:")) +
                       ViolationsText(result.violations);
        if (!failure.empty()) {
            bar.finish();
            std::string kept;
            if (!written.empty())
                kept = " (frames " + std::to_string(render.firstFrame) + " to " + std::to_string(frame - 1) +
                       " were written)";
            Fail("frame " + std::to_string(frame) + " failed" + kept + ": " + failure);
        }

        try {
            const fs::path folder = fs::path(path).parent_path();
            if (!folder.empty())
                fs::create_directories(folder);
            WriteImage(*result.output, path);
        } catch (const std::bad_alloc&) {
            bar.finish();
            Fail("frame " + std::to_string(frame) + ": not enough memory to write \"" + path + "\"");
        } catch (const std::exception& e) {
            bar.finish();
            Fail("frame " + std::to_string(frame) + ": " + e.what());
        }
        written.push_back(path);
    }
    bar.finish();
    const char* depth = render.bitDepth == 32 ? "float" : render.bitDepth == 16 ? "16-bit" : "8-bit";
    if (written.size() == 1)
        std::cout << "wrote " << written.front() << " (" << depth << ")\n";
    else
        std::cout << "wrote " << written.size() << " frames, " << written.front() << " to " << written.back() << " ("
                  << depth << ")\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Renders a scene file (or, without one, the built-in demo scene) through the Linestra effect "
                 "module and writes the frames as image files.",
                 "linestra-render"};
    // Paths such as /work/scene.json are files, not Windows-style options.
    app.allow_windows_style_options(false);
    Options options;
    app.add_option("scene", options.scene, "Scene file (JSON); without one the built-in demo scene renders");
    app.add_option("-o,--output", options.output,
                   "Output image; the extension chooses the format (.png, .exr, ...); a run of # marks where the "
                   "frame number goes");
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
    app.add_flag("--describe", options.describe, "Print the effect as the host sees it, and exit");
    app.add_option("--trace", options.trace, "Write every call the effect makes into the host to FILE");
    app.add_option("--cancel-after", options.cancelAfter,
                   "Answer cancel from the N-th abort question on (as a user cancelling); the frame is not written "
                   "and the exit status is 3")
        ->check(CLI::Range(1, INT_MAX));
    CLI11_PARSE(app, argc, argv);

    // A run killed while it writes leaves no temporary file behind.
    RemoveTemporariesOnSignals();
    try {
        return Run(options, argv[0]);
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
