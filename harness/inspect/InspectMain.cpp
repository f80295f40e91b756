// linestra-inspect: runs the effect's pre-render for one frame of a scene,
// in-process through the stand-in host, and prints the render context it
// hands over as JSON keyed by the context's field names.
//
//   linestra-inspect [SCENE.json] [--frame N] [--bit-depth 8|16|32]
//                    [--downsample N/D | NX/DX,NY/DY] [--set NAME=VALUE]...
//
// Output:
//   {"scene": ..., "frame": N, "seconds": t, "bitDepth": 8, "downsample": [nx, dx, ny, dy],
//    "preRenderResult": 0, "violations": [...], "preRender": {<every context field>}}
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "harness/EffectEntry.h"
#include "harness/Host.h"
#include "harness/Scene.h"
#include "harness/inspect/ContextJson.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Options {
    std::string scene;
    std::optional<int> frame;
    std::optional<int> bitDepth;
    std::string downsample;
    std::vector<std::string> settings;
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
    host.onPreRenderData([&](void* data) {
        if (data != nullptr)
            context = inspect::ContextJson(*static_cast<const PFInfo*>(data));
    });
    harness::FrameRequest request;
    request.time = host.frameSeconds(scene.render.time, frame);
    request.bitDepth = scene.render.bitDepth;
    request.downsample = scene.render.downsample;
    request.smartRender = false;
    const harness::FrameResult result = host.renderFrame(request);

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
    app.add_option("--set", options.settings, "Parameter value NAME=VALUE (repeatable), e.g. \"Stroke Length=-80\"");
    CLI11_PARSE(app, argc, argv);

    try {
        std::cout << Inspect(options).dump(2) << "\n";
        return 0;
    } catch (const RunError& e) {
        std::cerr << "linestra-inspect: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "linestra-inspect: " << e.what() << "\n";
    }
    return 1;
}
