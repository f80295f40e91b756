// Whole frames through the render protocol: background-only renders, cancel,
// thread-count independence, value ranges and the path shapes that once
// read outside the tables.
#include "RenderFixture.h"

#include <atomic>
#include <cmath>
#include <new>

namespace rendertest {
namespace {

TEST_F(RenderTest, NoMaskGivesTheBackgroundAlone)
{
    useGradientInput(64, 48);
    for (int bits : {8, 16, 32}) {
        host.setParam("Composite On Original", true);
        harness::FrameResult withInput = render(bits);
        ASSERT_EQ(withInput.renderErr, PF_Err_NONE);
        EXPECT_EQ(pixelBytes(*withInput.output),
                  pixelBytes(gradient(64, 48, harness::PixelFormatForBitDepth(bits))));
        EXPECT_FALSE(tables.seen) << "no line reaches the frame, so no table is built";

        host.setParam("Composite On Original", false);
        harness::FrameResult transparent = render(bits);
        ASSERT_EQ(transparent.renderErr, PF_Err_NONE);
        const std::vector<unsigned char> bytes = pixelBytes(*transparent.output);
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; }));
    }
}

TEST_F(RenderTest, StrokeLengthZeroGivesTheBackgroundAndPrintsNothing)
{
    useGradientInput(64, 48);
    host.setMask(harness::EllipsePath(32, 24, 12, 12));
    host.setParam("Stroke Length", 0.0);
    testing::internal::CaptureStdout();
    harness::FrameResult frame = render(8);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    EXPECT_EQ(pixelBytes(*frame.output), pixelBytes(gradient(64, 48, PF_PixelFormat_ARGB32)));
    EXPECT_EQ(printed, "");
}

TEST_F(RenderTest, FullRenderReportsProgressInOrderAndItsLayoutTime)
{
    useGradientInput(96, 64);
    host.setMask(harness::EllipsePath(48, 32, 20, 20));
    testing::internal::CaptureStdout();
    harness::FrameResult frame = render(8);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    EXPECT_EQ(printed.rfind("Time spent on that literal one thing: ", 0), 0u) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 4), "ms.\n");

    ASSERT_GE(frame.progress.size(), 5u);
    std::vector<A_long> values;
    for (const harness::ProgressCall& call : frame.progress) {
        EXPECT_EQ(call.total, 100);
        values.push_back(call.current);
    }
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 15);
    EXPECT_EQ(values[values.size() - 3], 60);
    EXPECT_EQ(values[values.size() - 2], 80);
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    // While the table grows: one report every 20 buckets, from above 15 toward 60.
    const std::size_t growing = values.size() - 5;
    EXPECT_EQ(growing, static_cast<std::size_t>(tables.bucketCount + 1) / 20);
    for (std::size_t i = 2; i < 2 + growing; ++i) {
        EXPECT_GE(values[i], 15);
        EXPECT_LT(values[i], 60);
    }
    EXPECT_GT(tables.paintedPixels, 0u);
    EXPECT_EQ(tables.paintedPixels, tables.ownedPixels);
}

TEST_F(RenderTest, CancelWhileTheTableGrowsLeavesTheBackgroundOnly)
{
    useGradientInput(96, 64);
    host.setMask(harness::EllipsePath(48, 32, 20, 20));
    host.setParam("Composite On Original", false);
    // Questions before the table: three around texture and background; the
    // table asks once per bucket.
    host.abortFrom(10);
    harness::FrameResult frame = render(16);
    EXPECT_EQ(frame.renderErr, PF_Interrupt_CANCEL);
    const std::vector<unsigned char> bytes = pixelBytes(*frame.output);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(frame.abortQuestions, 10) << "no question after the cancel";
}

// The host's callbacks are C functions: memory running out inside one must
// come back as an error code, never as an exception unwinding through the
// effect. The frame fails with that code and names the call, and the next
// frame renders as if nothing had happened (no lock held, nothing leaked).
TEST_F(RenderTest, CallbackThatThrowsInsideTheHostAnswersOutOfMemory)
{
    useGradientInput(96, 64);
    host.setMask(harness::EllipsePath(48, 32, 20, 20));
    const harness::FrameResult clean = render(16);
    ASSERT_EQ(clean.renderErr, PF_Err_NONE);
    const std::vector<unsigned char> expected = pixelBytes(*clean.output);

    struct Case {
        const char* function;
        int nth;
        PF_Err err; // what the effect makes of it
    };
    for (const Case& c : {Case{"PF_CheckoutPath", 1, PF_Err_OUT_OF_MEMORY},
                          Case{"PF_PathEvalSegLengthDeriv1", 5, PF_Err_OUT_OF_MEMORY},
                          Case{"checkout_layer_pixels", 1, PF_Err_OUT_OF_MEMORY},
                          Case{"PF_NewWorld", 1, PF_Err_OUT_OF_MEMORY},
                          Case{"abort", 30, PF_Err_OUT_OF_MEMORY},
                          Case{"progress", 2, PF_Err_OUT_OF_MEMORY},
                          Case{"iterate_generic", 1, PF_Err_OUT_OF_MEMORY},
                          // A suite the host cannot hand over is a missing suite to the effect.
                          Case{"AcquireSuite", 3, PF_Err_BAD_CALLBACK_PARAM}}) {
        host.throwInCall(c.function, c.nth);
        const harness::FrameResult failed = render(16);
        EXPECT_EQ(failed.preRenderErr != PF_Err_NONE ? failed.preRenderErr : failed.renderErr, c.err) << c.function;
        EXPECT_EQ(failed.hostFaults, std::vector<std::string>{std::string(c.function) + ": out of memory"})
            << c.function;

        const harness::FrameResult again = render(16);
        ASSERT_EQ(again.renderErr, PF_Err_NONE) << c.function;
        EXPECT_TRUE(again.hostFaults.empty()) << c.function;
        EXPECT_EQ(pixelBytes(*again.output), expected) << "after " << c.function;
    }

    // The host's own progress display, run on a worker thread after an
    // iteration, fails once: the iteration fails, never the thread.
    std::atomic<bool> thrown{false};
    host.onIterations([&](A_long, A_long) {
        if (!thrown.exchange(true))
            throw std::bad_alloc();
    });
    const harness::FrameResult display = render(16);
    EXPECT_EQ(display.renderErr, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(display.hostFaults, std::vector<std::string>{"iterate_generic: out of memory"});
}

TEST_F(RenderTest, SameBytesWhateverTheThreadCount)
{
    useGradientInput(120, 90);
    host.setMask(harness::PolygonPath({{20, 20}, {100, 30}, {60, 75}}, true));
    host.setParam("Texture Offset", 40.0);
    host.setParam("Fade Out", 30.0);
    for (int bits : {8, 16, 32}) {
        std::vector<std::vector<unsigned char>> results;
        for (int threads : {1, 2, 8}) {
            host.setThreads(threads);
            harness::FrameResult frame = render(bits);
            ASSERT_EQ(frame.renderErr, PF_Err_NONE);
            results.push_back(pixelBytes(*frame.output));
        }
        EXPECT_EQ(results[0], results[1]) << bits << "-bit, 1 and 2 threads";
        EXPECT_EQ(results[0], results[2]) << bits << "-bit, 1 and 8 threads";
    }
}

TEST_F(RenderTest, SixteenBitRenderStaysWithinItsRange)
{
    host.setInput([](PF_PixelFormat format) {
        harness::OwnedWorld world(80, 60, format);
        for (A_long y = 0; y < 60; ++y)
            for (A_long x = 0; x < 80; ++x)
                world.row<PF_Pixel16>(y)[x] = PF_Pixel16{32768, 32768, 32768, 32768};
        return world;
    }, 80, 60);
    host.setMask(harness::EllipsePath(40, 30, 15, 15));
    host.setParam("Fade In", 30.0);
    harness::FrameResult frame = render(16);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    EXPECT_GT(tables.paintedPixels, 0u);
    for (A_long y = 0; y < 60; ++y) {
        for (A_long x = 0; x < 80; ++x) {
            const PF_Pixel16 p = frame.output->row<PF_Pixel16>(y)[x];
            ASSERT_LE(std::max({p.alpha, p.red, p.green, p.blue}), 32768) << x << "," << y;
        }
    }
}

TEST_F(RenderTest, FloatRenderIsNotClamped)
{
    host.setInput([](PF_PixelFormat format) {
        harness::OwnedWorld world(64, 48, format);
        for (A_long y = 0; y < 48; ++y)
            for (A_long x = 0; x < 64; ++x)
                world.row<PF_PixelFloat>(y)[x] = PF_PixelFloat{1.0f, 3.0f, 2.0f, 1.5f};
        return world;
    }, 64, 48);
    host.setMask(harness::EllipsePath(32, 24, 10, 10));
    host.setParam("Texture Source", "Original Frame");
    harness::FrameResult frame = render(32);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_GT(tables.paintedPixels, 0u);
    float largest = 0.0f;
    for (A_long y = 0; y < 48; ++y)
        for (A_long x = 0; x < 64; ++x)
            largest = std::max(largest, frame.output->row<PF_PixelFloat>(y)[x].red);
    EXPECT_FLOAT_EQ(largest, 3.0f);
}

// A path shorter than one bucket: its table holds line 0 only and no
// bucket; the drawing pass must still find a line for every owned pixel.
TEST_F(RenderTest, PathShorterThanOneBucketDrawsFromLineZero)
{
    useGradientInput(64, 48);
    host.setMask(harness::PolygonPath({{30, 20}, {30.03, 20}}, false));
    host.setParam("To Edge", true);
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    EXPECT_EQ(tables.bucketCount, 0u);
    EXPECT_EQ(tables.lineCount, 1u);
}

// A mask a millionth of a pixel across makes each pixel span the texture
// millions of times along the path; the samples stop at one per texture row
// instead of running for minutes (the test's time limit catches a hang).
TEST_F(RenderTest, TinyMaskSamplesTheTextureAtMostOncePerRow)
{
    useGradientInput(480, 270);
    const double s = 1e-6;
    host.setMask(harness::PolygonPath({{100, 100}, {100 + s, 100}, {100, 100 + s}}, true));
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    EXPECT_GT(tables.paintedPixels, 0u);
}

// A repeated vertex gives lines with no direction. Under To Edge they must
// not make every walking line tens of thousands of steps long.
TEST_F(RenderTest, LinesWithoutDirectionDoNotLengthenTheRender)
{
    useGradientInput(80, 60);
    host.setMask(harness::PolygonPath({{20, 20}, {20, 20}, {60, 20}, {60, 45}}, true));
    host.setParam("To Edge", true);
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    EXPECT_LE(tables.maxLineLength, 100) << "the longest visible line fits the 80 x 60 frame";
    EXPECT_GT(tables.paintedPixels, 0u);
}

// A sharp corner turns the fan by nearly half a turn within one bucket: the
// bucket's line count is capped.
TEST_F(RenderTest, SharpCornerIsCappedAt40000LinesPerBucket)
{
    useGradientInput(800, 500);
    host.setMask(harness::PolygonPath({{100, 490}, {400, 10}, {405, 490}}, false));
    host.setParam("To Edge", true);
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    const auto capped = std::max_element(tables.bucketLineCount.begin(), tables.bucketLineCount.end());
    EXPECT_EQ(*capped, 40000u);

    // Its 39,999 interior lines lie within 0.05 px of path, where most
    // neighbouring distances round to the same float for the path lookup and
    // land on the same point, so most lines repeat the one before them. Each
    // still carries its own distance along the path, which places its
    // texture.
    const auto bucket = static_cast<std::uint32_t>(capped - tables.bucketLineCount.begin());
    const std::uint32_t first = tables.bucketFirstLine[bucket] + 1;
    const double spacing = 0.05;
    std::uint32_t repeats = 0;
    for (std::uint32_t k = 0; k + 1 < *capped; ++k) {
        const std::uint32_t line = first + k;
        const double distance = static_cast<double>(k) * spacing * (1.0 / 40000.0) + static_cast<double>(bucket) * spacing;
        ASSERT_EQ(tables.pathDistances[line], static_cast<float>(distance)) << "line " << k << " of the bucket";
        if (k > 0 && tables.starts[line].x == tables.starts[line - 1].x &&
            tables.starts[line].y == tables.starts[line - 1].y)
            ++repeats;
    }
    EXPECT_GT(repeats, 30000u);
}

// Along a straight edge the fan does not turn: every bucket holds its
// boundary line and one repetition of it.
TEST_F(RenderTest, StraightPathHasTwoLinesPerBucket)
{
    useGradientInput(120, 60);
    host.setMask(harness::PolygonPath({{10, 30}, {110, 30}}, false));
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    const std::uint32_t m = static_cast<std::uint32_t>(std::ceil(100.0 / 0.05));
    EXPECT_EQ(tables.bucketCount, m - 1);
    for (std::uint32_t b = 0; b < tables.bucketCount; ++b) {
        ASSERT_EQ(tables.bucketLineCount[b], 2u) << "bucket " << b;
        ASSERT_EQ(tables.bucketFirstLine[b], 2 * b) << "bucket " << b;
    }
    EXPECT_EQ(tables.lineCount, 2 * tables.bucketCount + 1);
    EXPECT_EQ(tables.angleDeltas[0], 0.0f);
}

// Each bucket's first interior line lies at the distance of the boundary
// line before it. Here the path turns a corner exactly at a bucket's
// boundary (distance 100, after a segment of 1/32 px): the boundary's
// lookup, coming from the long first segment, lands on the start of the
// segment after the corner, and the repeated line's lookup, coming back from
// there, on the end of the short one. The two lines then run in different
// directions, and the repeated line must not be a copy of the boundary.
TEST_F(RenderTest, LineRepeatingACornerBoundaryKeepsItsOwnSegment)
{
    useGradientInput(140, 80);
    host.setMask(harness::PolygonPath({{10, 30}, {109.96875, 30}, {110, 30}, {110, 70}}, false));
    harness::FrameResult frame = render(8);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    constexpr std::uint32_t corner = 2000; // its first line lies at 2000 x 0.05 = 100
    ASSERT_GT(tables.bucketCount, corner);
    const std::uint32_t boundary = tables.bucketFirstLine[corner];
    const Linestra::FloatPoint down = tables.directions[boundary];
    const Linestra::FloatPoint across = tables.directions[boundary + 1];
    // The boundary line crosses the vertical segment, the repeated line the
    // horizontal one.
    EXPECT_EQ(down.y, 0.0f);
    EXPECT_EQ(across.x, 0.0f);
}

TEST_F(RenderTest, HalfResolutionUsesCoarserBuckets)
{
    useGradientInput(120, 60);
    host.setMask(harness::PolygonPath({{10, 30}, {110, 30}}, false));
    harness::FrameResult frame = render(8, harness::Downsample{1, 2, 1, 2});
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_TRUE(tables.seen);
    // 50 pixels of path in buckets of 0.15.
    EXPECT_EQ(tables.bucketCount, static_cast<std::uint32_t>(std::ceil(50.0 / 0.15)) - 1);
    EXPECT_EQ(frame.output->width(), 60);
}

} // namespace
} // namespace rendertest

namespace rendertest {
namespace {

// An 8-bit picture whose red grows along x and green along y.
harness::OwnedWorld rampPicture(PF_PixelFormat format)
{
    harness::OwnedWorld world(120, 90, format);
    for (A_long y = 0; y < 90; ++y)
        for (A_long x = 0; x < 120; ++x)
            world.row<PF_Pixel>(y)[x] = PF_Pixel{255, static_cast<A_u_char>(2 * x), static_cast<A_u_char>(2 * y), 0};
    return world;
}

// Largest channel difference between the output and the input over the
// painted pixels of an 8-bit render.
int largestDifferenceFromInput(const harness::OwnedWorld& output, const harness::OwnedWorld& input)
{
    int largest = 0;
    for (A_long y = 0; y < output.height(); ++y) {
        for (A_long x = 0; x < output.width(); ++x) {
            const PF_Pixel o = output.row<PF_Pixel>(y)[x];
            const PF_Pixel i = input.row<PF_Pixel>(y)[x];
            if (o.alpha == 0)
                continue;
            largest = std::max({largest, std::abs(o.red - i.red), std::abs(o.green - i.green),
                                std::abs(o.blue - i.blue)});
        }
    }
    return largest;
}

// Original Frame at Scale X 1 reads the frame at (nearly) each pixel's own
// position, so the frame shows through the lines; Mirror X negates only the
// direction handed to colour output, so the walk runs against the line and
// reads the frame on the other side of the line's start.
TEST_F(RenderTest, MirrorXTurnsTheOriginalFrameWalkAround)
{
    host.setInput(rampPicture, 120, 90);
    host.setMask(harness::EllipsePath(60, 45, 20, 20));
    host.setParam("Texture Source", "Original Frame");
    host.setParam("Scale X", 1.0);
    host.setParam("Composite On Original", false);
    host.setParam("Stroke Length", 25.0);
    const harness::OwnedWorld picture = rampPicture(PF_PixelFormat_ARGB32);

    harness::FrameResult straight = render(8);
    ASSERT_EQ(straight.renderErr, PF_Err_NONE);
    ASSERT_GT(tables.paintedPixels, 0u);
    EXPECT_LE(largestDifferenceFromInput(*straight.output, picture), 4) << "the frame shows through the lines";

    host.setParam("Mirror X", true);
    harness::FrameResult mirrored = render(8);
    ASSERT_EQ(mirrored.renderErr, PF_Err_NONE);
    ASSERT_GT(tables.paintedPixels, 0u);
    EXPECT_GT(largestDifferenceFromInput(*mirrored.output, picture), 20) << "the walk runs the other way";
}

} // namespace
} // namespace rendertest
