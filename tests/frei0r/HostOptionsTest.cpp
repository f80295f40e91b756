// What the frei0r modules ask of the stand-in host: worker threads kept for
// the host's life, and the per-frame checks off.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <cstring>
#include <vector>

#include "harness/masks/MaskPath.h"
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "harness/state/ThreadPool.h"

namespace {

TEST(WorkerPool, RunsEveryIndexOnceInEveryRunOnItsOwnWorkers)
{
    harness::WorkerPool pool(3);
    ASSERT_EQ(pool.size(), 3);
    EXPECT_FALSE(pool.onWorkerThread());
    for (int run = 0; run < 50; ++run) {
        const int count = run % 7 == 0 ? 1 : 200 + run;
        std::vector<std::atomic<int>> seen(static_cast<std::size_t>(count));
        std::atomic<int> badWorker{0};
        std::atomic<int> offPool{0};
        pool.run(count, [&](int worker, std::int64_t index) {
            if (worker < 0 || worker >= 3)
                ++badWorker;
            if (!pool.onWorkerThread())
                ++offPool;
            ++seen[static_cast<std::size_t>(index)];
            return true;
        });
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(seen[static_cast<std::size_t>(i)].load(), 1) << "run " << run << " index " << i;
        EXPECT_EQ(badWorker.load(), 0);
        EXPECT_EQ(offPool.load(), 0);
    }
}

TEST(WorkerPool, StopsStartingIndicesOnceOneAsksToStop)
{
    harness::WorkerPool pool(2);
    std::atomic<int> ran{0};
    pool.run(100000, [&](int, std::int64_t index) {
        ++ran;
        return index < 10;
    });
    EXPECT_LT(ran.load(), 1000);
    // The next run starts afresh.
    ran = 0;
    pool.run(500, [&](int, std::int64_t) {
        ++ran;
        return true;
    });
    EXPECT_EQ(ran.load(), 500);
}

std::unique_ptr<harness::Host> CircleHost(harness::HostOptions options)
{
    auto host = std::make_unique<harness::Host>(options);
    host->load(harness::LinkedEffect());
    EXPECT_EQ(host->setup(), PF_Err_NONE);
    host->setMask(harness::EllipsePath(80, 45, 30, 30));
    host->setInput(harness::OwnedWorld(160, 90, PF_PixelFormat_ARGB32));
    return host;
}

// A host that keeps its threads, without its checks, renders the pixels of
// one with its checks on, and keeps only the last frame's commands.
TEST(HostOptions, KeptThreadsAndChecksOffRenderTheSamePixels)
{
    harness::HostOptions production;
    production.threads = 3;
    production.keepWorkerThreads = true;
    production.checks = false;
    harness::HostOptions checked;
    checked.threads = 2;
    const auto fastHost = CircleHost(production);
    const auto strictHost = CircleHost(checked);
    harness::Host& fast = *fastHost;
    harness::Host& strict = *strictHost;
    for (int frame = 0; frame < 4; ++frame) {
        const double seconds = frame / 24.0;
        fast.setParam("Texture Offset", 30.0 * frame);
        strict.setParam("Texture Offset", 30.0 * frame);
        const harness::FrameResult a = fast.renderFrame({.time = seconds, .bitDepth = 8});
        const harness::FrameResult b = strict.renderFrame({.time = seconds, .bitDepth = 8});
        ASSERT_EQ(a.renderErr, PF_Err_NONE);
        ASSERT_EQ(b.renderErr, PF_Err_NONE);
        const harness::OwnedWorld& x = *a.output;
        const harness::OwnedWorld& y = *b.output;
        for (A_long row = 0; row < x.height(); ++row)
            ASSERT_EQ(std::memcmp(x.row<PF_Pixel>(row), y.row<PF_Pixel>(row), static_cast<std::size_t>(x.width()) * 4),
                      0)
                << "frame " << frame << " row " << row;
    }
    EXPECT_EQ(fast.commands().size(), 2u); // pre-render and render of the last frame
    EXPECT_GT(strict.commands().size(), 8u);
    // A different thread count takes a pool of that size.
    fast.setThreads(1);
    EXPECT_EQ(fast.renderFrame({.bitDepth = 8}).renderErr, PF_Err_NONE);
}

} // namespace
