// linestra-inspect: renders one frame of a scene in-process through the
// stand-in host and prints, as JSON, the render context the pre-render hands
// over (keyed by the context's field names) and the tables the render built.
//
//   linestra-inspect [SCENE.json] [--frame N] [--bit-depth 8|16|32]
//                    [--downsample N/D | NX/DX,NY/DY] [--set NAME=VALUE]...
//                    [--pre-render-only]
//
// Output:
//   {"scene": ..., "frame": N, "seconds": t, "bitDepth": 8, "downsample": [nx, dx, ny, dy],
//    "preRenderResult": 0, "violations": [...], "preRender": {<every context field>},
//    "renderResult": 0, "render": {"lineCount": ..., "bucketCount": ..., "bucketLineCount":
//    {"min": ..., "max": ...}, "ownedPixels": ..., "paintedPixels": ..., "progress": [...]}}
// The effect's own diagnostic text goes to standard error.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "harness/scenes/Scene.h"
#include "harness/inspect/ContextJson.h"
#include "render/PFInfo.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Options {
    std::string scene;
    std::optional<int> frame;
    std::optional<int> bitDepth;
    std::string downsample;
    std::vector<std::string> settings;
    bool preRenderOnly = false;
};

// The render's tables as the drawing pass left them.
void CaptureTables(const PFInfo* info, void* context)
{
    Json& tables = *static_cast<Json*>(context);
    tables["lineCount"] = info->lineCount;
    tables["bucketCount"] = info->bucketCount;
    if (info->bucketCount > 0) {
        const auto [low, high] =
            std::minmax_element(info->bucketLineCount, info->bucketLineCount + info->bucketCount);
        tables["bucketLineCount"] = Json::object({{"min", *low}, {"max", *high}});
    } else {
        tables["bucketLineCount"] = nullptr;
    }
    tables["maxLineLength"] = info->maxLineLength;
    tables["iteratorCount"] = info->iteratorCount;
    std::uint64_t owned = 0;
    std::uint64_t painted = 0;
    for (std::uint32_t p = 0; p < info->outputPixelCount; ++p)
        painted += (info->paintedMask[p >> 6].load() >> (p & 63u)) & 1u;
    if (info->ownerRanks != nullptr)
        for (std::int64_t p = 0; p < std::int64_t{info->ownerWidth} * info->ownerHeight; ++p)
            owned += info->ownerRanks[p] != kNoOwner ? 1u : 0u;
    tables["outputPixelCount"] = info->outputPixelCount;
    tables["ownerRectangle"] = Json::object({{"left", info->ownerLeft},
                                             {"top", info->ownerTop},
                                             {"width", info->ownerWidth},
                                             {"height", info->ownerHeight}});
    tables["ownedPixels"] = owned;
    tables["paintedPixels"] = painted;
}

// Sends what the effect prints to standard output to standard error while
// it lives, so that standard output carries the JSON alone.
class StdoutToStderr {
public:
    StdoutToStderr()
    {
#if !defined(_WIN32)
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        if (saved_ >= 0)
            dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
    }
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;
    ~StdoutToStderr()
    {
#if !defined(_WIN32)
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
#endif
    }

private:
    int saved_ = -1;
};

// An error that ends the run; the text says what and why.
struct RunError {
    std::string message;
};

Json Inspect(const Options& options)
{
    harness::Scene scene = options.scene.empty() ? harness::DemoScene() : harness::LoadScene(options.scene);
    if (options.bitDepth)
        scene.render.bitDepth = *options.bitDepth;
    if (!options.downsample.empty()) {
        try {
            scene.render.downsample = harness::ParseDownsample(options.downsample);
        } catch (const std::invalid_argument& e) {
            throw RunError{std::string("--downsample: ") + e.what()};
        }
    }
    for (const std::string& setting : options.settings)
        harness::AddSetting(scene, setting, fs::current_path());
    const int frame = options.frame.value_or(scene.render.firstFrame);

    harness::Host host(harness::SceneHostOptions(scene));
    host.load(harness::LinkedEffect(), "linked effect");
    if (const PF_Err err = host.setup(); err != PF_Err_NONE)
        throw RunError{"the effect's set-up failed with error " + std::to_string(err)};
    harness::ApplyScene(scene, host);

    Json context;
    Json tables = nullptr;
    host.onPreRenderData([&](void* data) {
        if (data == nullptr)
            return;
        auto* info = static_cast<PFInfo*>(data);
        context = inspect::ContextJson(*info);
        info->renderObserver = &CaptureTables;
        info->renderObserverContext = &tables;
    });
    harness::FrameRequest request;
    request.time = host.frameSeconds(scene.render.time, frame);
    request.bitDepth = scene.render.bitDepth;
    request.downsample = scene.render.downsample;
    request.smartRender = !options.preRenderOnly;
    harness::FrameResult result;
    {
        const StdoutToStderr quiet;
        result = host.renderFrame(request);
    }

    Json violations = Json::array();
    for (const harness::Violation& v : result.violations)
        violations.push_back(v.command + ": " + v.what);
    const harness::Downsample& d = request.downsample;
    Json json;
    json["scene"] = scene.file;
    json["frame"] = frame;
    json["seconds"] = request.time;
    json["bitDepth"] = request.bitDepth;
    json["downsample"] = Json::array({d.nx, d.dx, d.ny, d.dy});
    json["preRenderResult"] = result.preRenderErr;
    if (!result.returnMsg.empty())
        json["message"] = result.returnMsg;
    json["violations"] = violations;
    json["preRender"] = context;
    if (result.renderSent) {
        json["renderResult"] = result.renderErr;
        Json progress = Json::array();
        for (const harness::ProgressCall& call : result.progress)
            progress.push_back(call.current);
        if (tables.is_null())
            tables = Json::object({{"lineCount", 0}, {"note", "no line reached the frame: background only"}});
        tables["progress"] = progress;
        json["render"] = tables;
    }
    return json;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Runs the Linestra effect's pre-render for one frame of a scene file (or the built-in demo "
                 "scene) and prints the render context it hands to the host, as JSON.",
                 "linestra-inspect"};
    Options options;
    app.add_option("scene", options.scene, "Scene file (JSON); without one the built-in demo scene is used");
    app.add_option("--frame", options.frame, "Frame of the scene (default: its first frame)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--bit-depth", options.bitDepth, "8, 16 or 32 (float)")->check(CLI::IsMember({8, 16, 32}));
    app.add_option("--downsample", options.downsample, "Render scale N/D, or NX/DX,NY/DY per axis");
    app.add_flag("--pre-render-only", options.preRenderOnly, "Stop after the pre-render (no render tables)");
    app.add_option("--set", options.settings, "Parameter value NAME=VALUE (repeatable), e.g. \"Stroke Length=-80\"");
    CLI11_PARSE(app, argc, argv);

    try {
        // A scene file's name need not be UTF-8: bytes JSON cannot hold
        // are written as U+FFFD.
        const std::string text = Inspect(options).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        errno = 0;
        std::cout << text << "\n";
        std::cout.flush();
        if (!std::cout) {
            const int error = errno;
            std::cerr << "linestra-inspect: cannot write to standard output"
                      << (error != 0 ? ": " + std::error_code(error, std::generic_category()).message() : "") << "\n";
            return 1;
        }
        return 0;
    } catch (const RunError& e) {
        std::cerr << "linestra-inspect: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "linestra-inspect: " << e.what() << "\n";
    }
    return 1;
}
