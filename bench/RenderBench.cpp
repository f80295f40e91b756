// Whole-frame renders through the stand-in host (1920 x 1080, and a circle
// at 1280 x 720 and 3840 x 2160), with the time of each phase of the
// render: pre-render, texture and background, fine line table, ownership
// and drawing, and the peak resident memory of each case.
//
//   build/bench/linestra-bench                      every scene, format and thread mode
//   build/bench/linestra-bench --benchmark_filter=circle/8
//
// Each benchmark reports its phases as counters (milliseconds per frame);
// the benchmark's own time is the whole frame as the host sees it, which
// also includes the stand-in host's work (buffer conversion and checks).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "harness/images/Images.h"
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "render/PFInfo.h"

namespace {

struct Scene {
    std::string name;
    std::function<void(harness::Host&)> setUp;
    A_long width = 1920;
    A_long height = 1080;
};

harness::MaskPath starPolygon()
{
    std::vector<harness::Vec2> points;
    for (int k = 0; k < 10; ++k) {
        const double angle = -M_PI / 2 + k * M_PI / 5;
        const double radius = (k % 2 == 0) ? 420.0 : 170.0;
        points.push_back({960 + radius * std::cos(angle), 540 + radius * std::sin(angle)});
    }
    return harness::PolygonPath(points, true);
}

const std::vector<Scene>& scenes()
{
    static const std::vector<Scene> all{
        {"circle", [](harness::Host& host) { host.setMask(harness::EllipsePath(960, 540, 300, 300)); }},
        {"sharp-polygon", [](harness::Host& host) { host.setMask(starPolygon()); }},
        {"to-edge",
         [](harness::Host& host) {
             host.setMask(harness::EllipsePath(960, 540, 300, 300));
             host.setParam("To Edge", true);
         }},
        {"original-frame-area",
         [](harness::Host& host) {
             host.setMask(harness::EllipsePath(960, 540, 300, 300));
             host.setParam("Texture Source", "Original Frame");
             host.setParam("Scale X", 3.5);
         }},
        // The circle at 1280 x 720, and at 3840 x 2160 with every length
        // doubled: four times the pixels of the 1080p circle.
        {"circle-720p", [](harness::Host& host) { host.setMask(harness::EllipsePath(640, 360, 200, 200)); }, 1280,
         720},
        {"circle-4k",
         [](harness::Host& host) {
             host.setMask(harness::EllipsePath(1920, 1080, 600, 600));
             host.setParam("Stroke Length", 300.0);
         },
         3840, 2160},
    };
    return all;
}

// The process's peak resident memory is reset before each case (Linux:
// /proc/self/clear_refs), so that each case reports its own peak.
void resetPeakMemory()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

double peakMemoryMegabytes()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0.0;
    char line[256];
    double kilobytes = 0.0;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kilobytes = std::strtod(line + 6, nullptr);
    std::fclose(f);
    return kilobytes / 1024.0;
}

void renderScene(benchmark::State& state, const Scene& scene, int bitDepth, int threads)
{
    harness::HostOptions options;
    options.threads = threads;
    harness::Host host(options);
    host.load(harness::LinkedEffect());
    if (host.setup() != PF_Err_NONE) {
        state.SkipWithError("set-up failed");
        return;
    }
    const A_long width = scene.width;
    const A_long height = scene.height;
    host.setInput(
        [width, height](PF_PixelFormat format) { return harness::GeneratePattern("gradient", width, height, format); },
        width, height);
    resetPeakMemory();
    scene.setUp(host);

    // One frame first, not measured: the host converts the input picture
    // once and keeps it, as it does for every later frame of a run.
    host.renderFrame({.bitDepth = bitDepth, .smartRender = false});

    RenderPhaseTimes phases;
    host.onPreRenderData([&phases](void* data) { static_cast<PFInfo*>(data)->phaseTimes = &phases; });

    double preRender = 0.0;
    int frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto started = std::chrono::steady_clock::now();
        const harness::FrameResult pre = host.renderFrame({.bitDepth = bitDepth, .smartRender = false});
        preRender += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.ResumeTiming();
        if (pre.preRenderErr != PF_Err_NONE) {
            state.SkipWithError("pre-render failed");
            return;
        }
        const harness::FrameResult frame = host.renderFrame({.bitDepth = bitDepth});
        if (frame.renderErr != PF_Err_NONE || !frame.violations.empty()) {
            state.SkipWithError("render failed");
            return;
        }
        ++frames;
    }
    const double perFrame = 1000.0 / std::max(frames, 1);
    state.counters["pre_render_ms"] = preRender * perFrame;
    state.counters["texture_background_ms"] = phases.textureAndBackground * perFrame;
    state.counters["fine_line_table_ms"] = phases.fineLineTable * perFrame;
    state.counters["ownership_ms"] = phases.ownership * perFrame;
    state.counters["drawing_ms"] = phases.drawing * perFrame;
    state.counters["peak_rss_mb"] = peakMemoryMegabytes();
}

void registerAll()
{
    for (const Scene& scene : scenes()) {
        for (int bits : {8, 16, 32}) {
            for (int threads : {1, 0}) {
                const std::string name =
                    scene.name + "/" + std::to_string(bits) + (threads == 1 ? "/1-thread" : "/all-cores");
                benchmark::RegisterBenchmark(name.c_str(), [&scene, bits, threads](benchmark::State& state) {
                    renderScene(state, scene, bits, threads);
                })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->Iterations(2);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
