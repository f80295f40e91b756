// Whole-frame renders through the stand-in host (1920 x 1080, and a circle
// at 1280 x 720 and 3840 x 2160), with the time of each phase of the
// render: pre-render, texture and background, fine line table, ownership
// and drawing, and the peak resident memory of each case.
//
//   build/bench/linestra-bench                      every scene, format and thread mode
//   build/bench/linestra-bench --benchmark_filter=circle/8
//
// Each benchmark reports its phases as counters (milliseconds per frame);
// the benchmark's own time is the whole frame as the host sees it: the
// pre-render and the render command, with the stand-in host's work in both
// (buffer conversion and checks). The JSON context's "case_time" says so;
// builds without it timed the render command alone, and
// scripts/bench_table.py adds their pre-render counter to it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(LINESTRA_BENCH_FREI0R)
#include <dlfcn.h>
#include <unistd.h>

#include <fstream>
#endif

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
        // doubled (the radius, and Stroke Length twice its default of -150,
        // whose sign puts the lines outside the circle): four times the
        // pixels of the 1080p circle.
        {"circle-720p", [](harness::Host& host) { host.setMask(harness::EllipsePath(640, 360, 200, 200)); }, 1280,
         720},
        {"circle-4k",
         [](harness::Host& host) {
             host.setMask(harness::EllipsePath(1920, 1080, 600, 600));
             host.setParam("Stroke Length", -300.0);
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

    // One frame first, as the measured ones below, not measured: the host
    // converts the input picture once and keeps it, and has the images of a
    // frame at hand to use again, as for every later frame of a run.
    {
        const harness::FrameResult pre = host.renderFrame({.bitDepth = bitDepth, .smartRender = false});
        host.renderFrame({.bitDepth = bitDepth});
    }

    RenderPhaseTimes phases;
    host.onPreRenderData([&phases](void* data) { static_cast<PFInfo*>(data)->phaseTimes = &phases; });

    double preRender = 0.0;
    int frames = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const harness::FrameResult pre = host.renderFrame({.bitDepth = bitDepth, .smartRender = false});
        preRender += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
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

#if defined(LINESTRA_BENCH_FREI0R)
// The frei0r path against the effect's own time, for the circle at 1920 x
// 1080, 8 bits, all cores:
//   frei0r/circle/effect        pre-render and render through the host, the
//                               input converted once and kept, checks off
//   frei0r/circle/entry-points  f0r_update of the built linestra.so, which
//                               takes a new RGBA frame each time, converts
//                               it and the result, and applies its settings
constexpr A_long kFrei0rWidth = 1920;
constexpr A_long kFrei0rHeight = 1080;

void frei0rEffectTime(benchmark::State& state)
{
    harness::HostOptions options;
    options.checks = false;
    options.keepWorkerThreads = true;
    harness::Host host(options);
    host.load(harness::LinkedEffect());
    if (host.setup() != PF_Err_NONE) {
        state.SkipWithError("set-up failed");
        return;
    }
    host.setInput(harness::GeneratePattern("gradient", kFrei0rWidth, kFrei0rHeight, PF_PixelFormat_ARGB32));
    host.setMask(harness::EllipsePath(960, 540, 300, 300));
    host.renderFrame({.bitDepth = 8});
    int frame = 0;
    for (auto _ : state) {
        const harness::FrameResult result = host.renderFrame({.time = frame++ / 25.0, .bitDepth = 8});
        if (result.renderErr != PF_Err_NONE) {
            state.SkipWithError("render failed");
            return;
        }
    }
}

void frei0rEntryPoints(benchmark::State& state)
{
    void* module = dlopen(LINESTRA_BENCH_FREI0R, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        state.SkipWithError(dlerror());
        return;
    }
    using Init = int (*)();
    using Construct = void* (*)(unsigned, unsigned);
    using Destruct = void (*)(void*);
    using SetParam = void (*)(void*, void*, int);
    using Update = void (*)(void*, double, const std::uint32_t*, std::uint32_t*);
    const auto init = reinterpret_cast<Init>(dlsym(module, "f0r_init"));
    const auto construct = reinterpret_cast<Construct>(dlsym(module, "f0r_construct"));
    const auto destruct = reinterpret_cast<Destruct>(dlsym(module, "f0r_destruct"));
    const auto setParam = reinterpret_cast<SetParam>(dlsym(module, "f0r_set_param_value"));
    const auto update = reinterpret_cast<Update>(dlsym(module, "f0r_update"));
    if (init == nullptr || construct == nullptr || destruct == nullptr || setParam == nullptr || update == nullptr ||
        init() != 1) {
        state.SkipWithError("not a frei0r module");
        dlclose(module);
        return;
    }
    // The same circle as the effect's case, as a mask file.
    const std::string maskFile = "/tmp/linestra-bench-circle-" + std::to_string(getpid()) + ".json";
    std::ofstream(maskFile) << R"({"circle": [960, 540, 300]})";
    const std::string maskText = "@" + maskFile;
    void* instance = construct(kFrei0rWidth, kFrei0rHeight);
    char* mask = const_cast<char*>(maskText.c_str());
    setParam(instance, &mask, 0);

    const harness::OwnedWorld picture = harness::GeneratePattern("gradient", kFrei0rWidth, kFrei0rHeight, PF_PixelFormat_ARGB32);
    std::vector<std::uint32_t> in(static_cast<std::size_t>(kFrei0rWidth) * kFrei0rHeight);
    std::vector<std::uint32_t> out(in.size());
    for (A_long y = 0; y < kFrei0rHeight; ++y)
        for (A_long x = 0; x < kFrei0rWidth; ++x) {
            const PF_Pixel p = picture.row<PF_Pixel>(y)[x];
            const std::uint8_t rgba[4] = {p.red, p.green, p.blue, p.alpha};
            std::memcpy(&in[static_cast<std::size_t>(y) * kFrei0rWidth + static_cast<std::size_t>(x)], rgba, 4);
        }
    update(instance, 0.0, in.data(), out.data());
    int frame = 0;
    for (auto _ : state)
        update(instance, frame++ / 25.0, in.data(), out.data());
    if (out == in)
        state.SkipWithError("the frame passed through unrendered");
    destruct(instance);
    std::remove(maskFile.c_str());
    // The module stays loaded: its worker threads are gone, but a tool
    // unloads it only at its own end, and so does this program.
}
#endif

void registerAll()
{
#if defined(LINESTRA_BENCH_FREI0R)
    benchmark::RegisterBenchmark("frei0r/circle/effect", frei0rEffectTime)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(3.0);
    benchmark::RegisterBenchmark("frei0r/circle/entry-points", frei0rEntryPoints)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(3.0);
#endif
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
    benchmark::AddCustomContext("case_time", "pre-render and render command");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
