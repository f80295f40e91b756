#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "ProbeHost.h"

namespace {

// Visible bytes of every row, padding excluded.
std::vector<unsigned char> Pixels(const harness::OwnedWorld& world)
{
    const std::size_t row = static_cast<std::size_t>(world.width()) * harness::BytesPerPixel(world.format());
    std::vector<unsigned char> bytes;
    for (A_long y = 0; y < world.height(); ++y) {
        const auto* begin = world.row<unsigned char>(y);
        bytes.insert(bytes.end(), begin, begin + row);
    }
    return bytes;
}

class IterateThreads : public ::testing::TestWithParam<int> {};

TEST_P(IterateThreads, OutputDoesNotDependOnTheThreadCount)
{
    const int depth = GetParam();
    std::vector<unsigned char> reference;
    for (int threads : {1, 2, 8}) {
        harness::HostOptions options;
        options.threads = threads;
        options.poisonUnwrittenPixels = true;
        auto host = MakeProbeHost(options);
        ASSERT_EQ(host->setup(), PF_Err_NONE);
        host->setInput(TestPicture(37, 23));
        const harness::FrameResult frame = host->renderFrame(0.0, depth);
        ASSERT_EQ(frame.renderErr, PF_Err_NONE) << threads;
        EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
        const std::vector<unsigned char> pixels = Pixels(*frame.output);
        if (reference.empty())
            reference = pixels;
        else
            EXPECT_TRUE(pixels == reference) << depth << "-bit output differs with " << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, IterateThreads, ::testing::Values(8, 16, 32));

TEST(Iterate, EveryPixelGetsItsOwnInputAndPosition)
{
    harness::HostOptions options;
    options.threads = 3;
    options.poisonUnwrittenPixels = true;
    auto host = MakeProbeHost(options);
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    const harness::OwnedWorld input = TestPicture(19, 11);
    host->setInput(input);
    const harness::FrameResult frame = host->renderFrame();
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    for (A_long y = 0; y < 11; ++y)
        for (A_long x = 0; x < 19; ++x) {
            const PF_Pixel in = input.row<PF_Pixel>(y)[x];
            const PF_Pixel out = frame.output->row<PF_Pixel>(y)[x];
            ASSERT_EQ(out.alpha, in.alpha) << x << "," << y;
            ASSERT_EQ(out.red, in.green) << x << "," << y;
            ASSERT_EQ(out.green, in.blue) << x << "," << y;
            ASSERT_EQ(out.blue, static_cast<A_u_char>((x * 31 + y * 17) & 0xFF)) << x << "," << y;
        }
}

TEST(Iterate, GenericRunsEachIterationOnceOnTheChosenThreads)
{
    harness::HostOptions options;
    options.threads = 4;
    auto host = MakeProbeHost(options);
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setupFrame({});
    host->beginCommand(PF_Cmd_SMART_RENDER);
    const PF_Iterate8Suite1* suite = nullptr;
    ASSERT_EQ(host->basicSuite()->AcquireSuite(kPFIterate8Suite, 1, reinterpret_cast<const void**>(&suite)), 0);

    struct Counts {
        std::atomic<int> calls[1000];
        std::atomic<int> badThread{0};
    } counts{};
    auto count = [](void* refcon, A_long thread, A_long i, A_long iterations) -> PF_Err {
        auto* c = static_cast<Counts*>(refcon);
        if (thread < 0 || thread >= 4 || iterations != 1000)
            ++c->badThread;
        ++c->calls[i];
        return i == 700 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE;
    };
    EXPECT_EQ(suite->iterate_generic(1000, &counts, count), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(counts.badThread.load(), 0);
    int twice = 0;
    for (auto& c : counts.calls)
        twice += c.load() > 1 ? 1 : 0;
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(counts.calls[700].load(), 1);

    host->basicSuite()->ReleaseSuite(kPFIterate8Suite, 1);
    const harness::CommandReport report = host->endCommand(PF_Err_NONE);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}

// The host reports finished iterations (for linestra-render's bar), and a
// user's cancel stops handing out iterations: the call answers cancel.
TEST(Iterate, GenericReportsIterationsDoneAndStopsOnceTheUserCancels)
{
    harness::HostOptions options;
    options.threads = 2;
    auto host = MakeProbeHost(options);
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    std::atomic<A_long> reports{0}, highest{0}, badTotal{0};
    host->onIterations([&](A_long done, A_long total) {
        ++reports;
        if (total != 500)
            ++badTotal;
        A_long seen = highest.load();
        while (done > seen && !highest.compare_exchange_weak(seen, done)) {
        }
    });
    host->setupFrame({});
    host->beginCommand(PF_Cmd_SMART_RENDER);
    const PF_Iterate8Suite1* suite = nullptr;
    ASSERT_EQ(host->basicSuite()->AcquireSuite(kPFIterate8Suite, 1, reinterpret_cast<const void**>(&suite)), 0);
    auto nothing = [](void*, A_long, A_long, A_long) -> PF_Err { return PF_Err_NONE; };
    EXPECT_EQ(suite->iterate_generic(500, nullptr, nothing), PF_Err_NONE);
    EXPECT_EQ(reports.load(), 500);
    EXPECT_EQ(highest.load(), 500);
    EXPECT_EQ(badTotal.load(), 0);

    struct Run {
        harness::Host* host;
        std::atomic<int> calls{0};
    } run{host.get()};
    auto cancelAt100 = [](void* refcon, A_long, A_long i, A_long) -> PF_Err {
        auto* r = static_cast<Run*>(refcon);
        ++r->calls;
        if (i == 100)
            r->host->userCancelFlag().store(true); // as linestra-render's SIGINT handler does
        return PF_Err_NONE;
    };
    EXPECT_EQ(suite->iterate_generic(100000, &run, cancelAt100), PF_Interrupt_CANCEL);
    // The iterations already started finish; no new one starts.
    EXPECT_LT(run.calls.load(), 100 + 2 * 8);

    host->basicSuite()->ReleaseSuite(kPFIterate8Suite, 1);
    const harness::CommandReport report = host->endCommand(PF_Err_NONE);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}

TEST(Iterate, WrongPixelFormatIsRefused)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setInput(TestPicture(4, 4));
    harness::FrameRequest request;
    request.bitDepth = 16;
    host->setupFrame(request);
    host->beginCommand(PF_Cmd_SMART_RENDER);
    const PF_Iterate8Suite1* suite = nullptr;
    ASSERT_EQ(host->basicSuite()->AcquireSuite(kPFIterate8Suite, 1, reinterpret_cast<const void**>(&suite)), 0);
    auto copy = [](void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) -> PF_Err {
        *out = *in;
        return PF_Err_NONE;
    };
    EXPECT_EQ(suite->iterate(host->inData(), 0, 4, host->renderInput(), nullptr, nullptr, copy, host->renderOutput()),
              PF_Err_BAD_CALLBACK_PARAM);
    host->basicSuite()->ReleaseSuite(kPFIterate8Suite, 1);
    const harness::CommandReport report = host->endCommand(PF_Err_BAD_CALLBACK_PARAM);
    ASSERT_EQ(report.violations.size(), 1u);
    EXPECT_NE(report.violations[0].what.find("not in this suite's format"), std::string::npos);
}

} // namespace
