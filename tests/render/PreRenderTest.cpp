// The pre-render pass driven in-process through the stand-in host: the
// render context it hands over, the host calls it makes, and what it leaves
// behind on every way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/LineClipping.h"
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "render/PFInfo.h"
#include "render/PreRender.h"

using harness::Downsample;
using harness::FrameRequest;
using harness::FrameResult;
using harness::Host;
using harness::OwnedWorld;
using harness::PolygonPath;
using Linestra::LineSegmentIterator;

namespace {

// What the pre-render handed over, copied before the host frees it.
struct Captured {
    bool seen = false;
    PFInfo info{};
    std::vector<LineSegmentIterator> walking;
    std::vector<double> segmentLengths;
};

class PreRender : public ::testing::Test {
protected:
    PreRender() : host(tracedOptions()) {}

    static harness::HostOptions tracedOptions()
    {
        harness::HostOptions options;
        options.trace = true;
        return options;
    }

    void SetUp() override
    {
        host.load(harness::LinkedEffect());
        ASSERT_EQ(host.setup(), PF_Err_NONE);
        host.setInput(OwnedWorld(200, 100, PF_PixelFormat_ARGB32));
        host.onPreRenderData([this](void* data) {
            const auto* info = static_cast<const PFInfo*>(data);
            captured.seen = true;
            captured.info = *info;
            captured.walking.assign(info->iterators, info->iterators + info->iteratorCount);
            captured.segmentLengths.assign(info->segmentLengths, info->segmentLengths + info->segmentCount);
            captured.info.iterators = nullptr;
            captured.info.segmentLengths = nullptr;
        });
    }

    // A horizontal straight edge from (x0, y) to (x1, y), open.
    void setEdge(double x0, double x1, double y) { host.setMask(PolygonPath({{x0, y}, {x1, y}}, false)); }

    FrameResult preRender(Downsample downsample = {})
    {
        captured = Captured{};
        FrameResult frame = host.renderFrame(FrameRequest{.downsample = downsample, .smartRender = false});
        EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
        EXPECT_EQ(frame.deleteCalls, 1) << "the context goes to the host and comes back to be freed";
        EXPECT_TRUE(host.outstandingSuites().empty());
        return frame;
    }

    const PFInfo& info() const { return captured.info; }

    static int countCalls(const FrameResult& frame, const std::string& function)
    {
        return static_cast<int>(std::count_if(frame.trace.begin(), frame.trace.end(),
                                              [&](const harness::TraceEntry& e) { return e.function == function; }));
    }

    Host host;
    Captured captured;
};

} // namespace

TEST_F(PreRender, NegativeStrokeLengthReversesLinesAndFlipsTheTextureUnlessMirrorX)
{
    setEdge(20, 180, 50); // path toward +x: lines point down
    host.setParam("Stroke Length", -150.0);
    host.setParam("Mirror X", false);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().strokeLength, 150.0f);
    EXPECT_TRUE(info().reverseLines);
    EXPECT_TRUE(info().flipTextureHorizontally);
    EXPECT_EQ(info().directionSignMode, 1);
    ASSERT_FALSE(captured.walking.empty());
    for (const auto& walker : captured.walking) {
        // Starts stay one pixel below the path; the lines run back up.
        EXPECT_EQ(walker.line.start.y, 51.0f);
        EXPECT_EQ(walker.line.direction.y, -1.0f);
        EXPECT_TRUE(std::signbit(walker.line.direction.x));
    }
    EXPECT_EQ(info().maxLineLength, 51);

    host.setParam("Mirror X", true);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_FALSE(info().flipTextureHorizontally);
    EXPECT_EQ(info().directionSignMode, 2);

    host.setParam("Stroke Length", 150.0);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_FALSE(info().reverseLines);
    EXPECT_TRUE(info().flipTextureHorizontally);
    EXPECT_EQ(info().maxLineLength, 49);
}

TEST_F(PreRender, ToEdgeIgnoresStrokeLength)
{
    setEdge(20, 180, 50);
    host.setParam("Stroke Length", -150.0);
    host.setParam("To Edge", true);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().strokeLength, 42500.0f);
    EXPECT_FALSE(info().reverseLines);
    EXPECT_FALSE(info().flipTextureHorizontally);
    EXPECT_TRUE(info().toEdge);
    EXPECT_EQ(info().maxLineLength, 49); // start at y = 51, edge at 100
}

TEST_F(PreRender, FullAndHalfResolution)
{
    host.setInput(OwnedWorld(201, 101, PF_PixelFormat_ARGB32));
    setEdge(20, 180, 50);
    host.setParam("Stroke Length", -150.0);
    host.setParam("Expand/Contract Path", 10.0);

    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().width, 201);
    EXPECT_EQ(info().height, 101);
    EXPECT_EQ(info().diagonal, 224); // hypot(201, 101) = 224.95
    EXPECT_EQ(info().strokeLength, 150.0f);
    EXPECT_EQ(info().startShift, -10.0f);
    EXPECT_EQ(info().bucketSpacing, 0.05);
    EXPECT_EQ(info().matchTolerance, 0.05f);
    EXPECT_EQ(info().searchRadius, 500);
    EXPECT_EQ(info().textureHeight, 1200);
    EXPECT_DOUBLE_EQ(info().pathLength, 160.0);
    // Constants that do not depend on the scale.
    EXPECT_EQ(info().fadeCurve, 0.2f);
    EXPECT_EQ(info().segLengthFrequency, 100);
    EXPECT_EQ(info().startGapLimit, 0.35f);
    EXPECT_EQ(info().endGapLimit, 0.35f);
    EXPECT_EQ(info().lineDensityFactor, 0.4f);
    EXPECT_TRUE(info().useOwnerTables);
    EXPECT_TRUE(info().areaSamplingEnabled);

    ASSERT_EQ(preRender({1, 2, 1, 2}).preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().width, 101);
    EXPECT_EQ(info().height, 51);
    EXPECT_EQ(info().diagonal, 113); // hypot(101, 51) = 113.1
    EXPECT_EQ(info().strokeLength, 75.0f);
    EXPECT_EQ(info().startShift, -5.0f);
    EXPECT_EQ(info().bucketSpacing, 0.15);
    EXPECT_EQ(info().matchTolerance, 0.15f);
    EXPECT_EQ(info().searchRadius, 150);
    EXPECT_EQ(info().textureHeight, 600);
    EXPECT_DOUBLE_EQ(info().pathLength, 80.0);
    for (const auto& walker : captured.walking)
        EXPECT_EQ(walker.line.start.y, 25.0f + 6.0f); // 1 - startShift pixels below the path
}

TEST_F(PreRender, ZeroStrokeLengthLaysOutNothing)
{
    setEdge(20, 180, 50);
    host.setParam("Stroke Length", 0.0);
    const FrameResult frame = preRender();
    ASSERT_EQ(frame.preRenderErr, PF_Err_NONE);
    ASSERT_TRUE(captured.seen);
    EXPECT_EQ(countCalls(frame, "PF_CheckoutPath"), 0);
    EXPECT_EQ(info().iteratorCount, 0u);
    EXPECT_EQ(info().maxLineLength, 0);
    EXPECT_EQ(info().segmentCount, 0u);
    EXPECT_EQ(info().pathLength, 0.0);
    EXPECT_EQ(frame.preRenderOutput.flags, PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
}

TEST_F(PreRender, StraightSegmentIsHalvedUntilStartsLieWithinTheGapLimit)
{
    setEdge(20, 180, 50);
    host.setParam("Stroke Length", 30.0);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    ASSERT_EQ(info().segmentCount, 1u);
    EXPECT_EQ(captured.segmentLengths[0], 160.0);

    // 160 / 2^9 = 0.3125 <= 0.35 < 0.625: the two end lines and 511 between.
    ASSERT_EQ(captured.walking.size(), 513u);
    std::vector<float> starts;
    for (const auto& walker : captured.walking)
        starts.push_back(walker.line.start.x);
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_LE(starts[i] - starts[i - 1], 0.35f) << i;

    // Made in order: both ends, then the left-hand gap is closed first.
    const double last = std::nextafter(160.0, 0.0);
    EXPECT_EQ(captured.walking[0].line.segmentPosition, 0.0);
    EXPECT_EQ(captured.walking[1].line.segmentPosition, last);
    EXPECT_EQ(captured.walking[2].line.segmentPosition, last / 2);
    EXPECT_EQ(captured.walking[3].line.segmentPosition, last / 4);
    EXPECT_EQ(captured.walking[1].line.segmentLength, static_cast<float>(last));

    // A segment no longer than the limit keeps its two end lines.
    setEdge(20, 20.3, 50);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(captured.walking.size(), 2u);
}

TEST_F(PreRender, TextureOffsetIsAFractionOfATurn)
{
    setEdge(20, 180, 50);
    const struct {
        double degrees;
        float fraction;
    } cases[] = {{90, 0.25f}, {-90, 0.75f}, {450, 0.25f}, {0, 0.0f}, {-360, 0.0f}};
    for (const auto& c : cases) {
        host.setParam("Texture Offset", c.degrees);
        ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
        EXPECT_EQ(info().textureOffset, c.fraction) << c.degrees;
        EXPECT_DOUBLE_EQ(info().textureOffsetDistance, static_cast<double>(c.fraction) * 160.0) << c.degrees;
    }
}

TEST_F(PreRender, RepeatMirroredYHalvesScaleYAfterTheAreaSamplingTest)
{
    // A 2500-pixel path: 1200 rows x 3 / 2500 > 1, 1200 x 1.5 / 2500 < 1.
    setEdge(0, 2500, 50);
    host.setParam("Stroke Length", 10.0);
    host.setParam("Scale Y", 3.0);
    host.setParam("Repeat Mirrored Y", true);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().scaleY, 1.5f);
    EXPECT_TRUE(info().areaSampleTextureY);

    host.setParam("Repeat Mirrored Y", false);
    host.setParam("Scale Y", 1.5);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().scaleY, 1.5f);
    EXPECT_FALSE(info().areaSampleTextureY);
}

TEST_F(PreRender, ScaleXSamplingFields)
{
    setEdge(20, 180, 50);
    host.setParam("Scale X", 2.5);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_TRUE(info().areaSampleTextureX);
    EXPECT_TRUE(info().areaSampleOriginalX);
    EXPECT_EQ(info().scaleXSampleCount, 2.0f);
    EXPECT_EQ(info().scaleXSampleStep, 1.25f);

    host.setParam("Scale X", 1.0);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_FALSE(info().areaSampleTextureX);
    EXPECT_EQ(info().scaleXSampleStep, 1.0f);
}

TEST_F(PreRender, KeepsOnlyLinesThatReachTheFrame)
{
    setEdge(-100, 100, 50); // half of the path lies left of the frame
    host.setParam("Stroke Length", 30.0);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    ASSERT_FALSE(captured.walking.empty());
    for (auto walker : captured.walking) {
        EXPECT_GE(walker.line.start.x, 0.0f);
        EXPECT_TRUE(Linestra::lineSegIsInFrame(&walker.line, &captured.info));
    }
    // About half of the 1025 coarse lines of the 200-pixel edge.
    EXPECT_GT(captured.walking.size(), 450u);
    EXPECT_LT(captured.walking.size(), 600u);
}

TEST_F(PreRender, NearestToPointTakesTheLineWhoseStartIsNearest)
{
    setEdge(20, 180, 50);
    host.setParam("Stroke Length", 30.0);
    host.setParam("Texture Origin", "Nearest To Point");
    host.setParam("Point", harness::PointValue{60.1, 30});
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_TRUE(info().originNearestToPoint);
    EXPECT_NEAR(info().originPointX, 60.1, 1.0 / 65536);

    const LineSegmentIterator* nearest = nullptr;
    double best = 1e300;
    for (const auto& walker : captured.walking) {
        const double d = std::hypot(info().originPointX - static_cast<double>(walker.line.start.x),
                                    info().originPointY - static_cast<double>(walker.line.start.y));
        if (d < best) {
            best = d;
            nearest = &walker;
        }
    }
    ASSERT_NE(nearest, nullptr);
    EXPECT_EQ(info().originPathPosition, nearest->line.pathPosition);
    EXPECT_EQ(info().originBestDistance, best);
    EXPECT_NEAR(info().originPathPosition, 40.1, 0.35);
}

TEST_F(PreRender, NearestToPointSeesEndLinesOutsideTheFrameButNoOtherOutsideLine)
{
    // The whole path lies left of the frame: no walking line is kept. The
    // two end lines (starts at x = -50 and -10) take part in the search, the
    // lines made between them do not, although one starts exactly at the Point.
    setEdge(-50, -10, 50);
    host.setParam("Stroke Length", 5.0);
    host.setParam("Texture Origin", "Nearest To Point");
    host.setParam("Point", harness::PointValue{-30, 51});
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().iteratorCount, 0u);
    EXPECT_EQ(info().originBestDistance, 20.0);
    EXPECT_EQ(info().originPathPosition, 0.0); // a tie: the line made first keeps it

    // With Start Of Path the origin fields are left alone.
    host.setParam("Texture Origin", "Start Of Path");
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_EQ(info().originPathPosition, 0.0);
    EXPECT_EQ(info().originBestDistance, 0.0);
}

TEST_F(PreRender, ChecksTheWholeInputOutAndReportsARectangleHoldingIt)
{
    setEdge(20, 180, 50);
    const FrameResult frame = preRender({1, 2, 1, 2});
    ASSERT_EQ(frame.preRenderErr, PF_Err_NONE);
    ASSERT_EQ(frame.layerCheckouts.size(), 1u);
    const harness::LayerCheckout& input = frame.layerCheckouts[0];
    EXPECT_EQ(input.index, 0);
    EXPECT_EQ(input.checkoutId, 0);
    EXPECT_EQ(input.request.rect.left, 0);
    EXPECT_EQ(input.request.rect.top, 0);
    EXPECT_EQ(input.request.rect.right, 200); // in_data size, not the render size
    EXPECT_EQ(input.request.rect.bottom, 100);

    const PF_LRect& largest = input.result.max_result_rect;
    for (const PF_LRect& r : {frame.preRenderOutput.result_rect, frame.preRenderOutput.max_result_rect}) {
        EXPECT_LE(r.left, largest.left);
        EXPECT_LE(r.top, largest.top);
        EXPECT_GE(r.right, largest.right);
        EXPECT_GE(r.bottom, largest.bottom);
    }
    EXPECT_EQ(frame.preRenderOutput.flags, PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
}

TEST(UnionLRect, EmptyRectanglesAndUnion)
{
    const PF_LRect a{10, 20, 30, 40};
    const PF_LRect b{0, 25, 15, 50};
    const PF_LRect empty{5, 5, 5, 9};

    PF_LRect dst = empty;
    UnionLRect(&a, &dst);
    EXPECT_EQ(dst.left, 10);
    EXPECT_EQ(dst.bottom, 40);

    dst = a;
    UnionLRect(&empty, &dst);
    EXPECT_EQ(dst.left, 10);
    EXPECT_EQ(dst.top, 20);
    EXPECT_EQ(dst.right, 30);
    EXPECT_EQ(dst.bottom, 40);

    dst = a;
    UnionLRect(&b, &dst);
    EXPECT_EQ(dst.left, 0);
    EXPECT_EQ(dst.top, 20);
    EXPECT_EQ(dst.right, 30);
    EXPECT_EQ(dst.bottom, 50);
}

TEST_F(PreRender, FailingPathCallEndsThePassAndLeavesThePathWithTheHost)
{
    setEdge(20, 180, 50);
    for (const char* function : {"PF_CheckoutPath", "PF_PathNumSegments", "PF_PathPrepareSegLength",
                                 "PF_PathEvalSegLengthDeriv1"}) {
        host.failCall(function, function == std::string("PF_PathEvalSegLengthDeriv1") ? 5 : 1,
                      PF_Err_INTERNAL_STRUCT_DAMAGED);
        const FrameResult frame = preRender();
        EXPECT_EQ(frame.preRenderErr, PF_Err_INTERNAL_STRUCT_DAMAGED) << function;
        EXPECT_TRUE(captured.seen) << function;
        EXPECT_EQ(countCalls(frame, "PF_CheckinPath"), 0) << function;
        // Nothing follows the failed call but releases.
        auto failed = std::find_if(frame.trace.rbegin(), frame.trace.rend(),
                                   [&](const harness::TraceEntry& e) { return e.function == function; });
        ASSERT_NE(failed, frame.trace.rend()) << function;
        for (auto later = failed.base(); later != frame.trace.end(); ++later)
            EXPECT_NE(later->function.rfind("PF_", 0), 0u) << function << " then " << later->function;
    }
}

TEST_F(PreRender, FailingParameterCheckoutSkipsEveryLaterHostCall)
{
    setEdge(20, 180, 50);
    host.failCall("checkout_param", 5, PF_Err_INVALID_INDEX);
    const FrameResult frame = preRender();
    EXPECT_EQ(frame.preRenderErr, PF_Err_INVALID_INDEX);
    EXPECT_TRUE(captured.seen);
    EXPECT_EQ(countCalls(frame, "checkout_param"), 5);
    EXPECT_EQ(countCalls(frame, "checkin_param"), 4);
    EXPECT_EQ(countCalls(frame, "checkout_layer"), 0);
    EXPECT_EQ(countCalls(frame, "PF_CheckoutPath"), 0);
    EXPECT_EQ(info().iteratorCount, 0u);
}

TEST_F(PreRender, ChecksEveryParameterBackIn)
{
    setEdge(20, 180, 50);
    const FrameResult frame = preRender();
    ASSERT_EQ(frame.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(countCalls(frame, "checkout_param"), 23);
    EXPECT_EQ(countCalls(frame, "checkin_param"), 23);
    EXPECT_EQ(countCalls(frame, "PF_CheckinPath"), 1);
}

TEST_F(PreRender, MissingSuites)
{
    setEdge(20, 180, 50);
    const struct {
        const char* name;
        int version;
        PF_Err expected;
    } cases[] = {
        {"PF World Suite", 2, A_Err_MISSING_SUITE},
        {"PF Iterate8 Suite", 1, A_Err_MISSING_SUITE},
        {"PF Path Query Suite", 1, PF_Err_BAD_CALLBACK_PARAM},
        {"PF Path Data Suite", 1, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const auto& c : cases) {
        host.withdrawSuite(c.name, c.version);
        const FrameResult frame = preRender();
        host.restoreSuite(c.name, c.version);
        EXPECT_EQ(frame.preRenderErr, c.expected) << c.name;
        EXPECT_EQ(countCalls(frame, "PF_CheckoutPath"), 0) << c.name << ": the path is never left checked out";
        if (c.expected == A_Err_MISSING_SUITE) {
            EXPECT_EQ(frame.returnMsg, "Not able to acquire AEFX Suite.") << c.name;
            EXPECT_NE(frame.outFlags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0) << c.name;
        }
    }
}

TEST_F(PreRender, ZeroDerivativeInsideASegmentStillEnds)
{
    // A cubic whose derivative vanishes at t = 0.3 (a cusp, away from any
    // halving point of the segment): the fan of lines turns over there, so
    // neighbours across the cusp never come closer than about two pixels
    // however often the gap is halved.
    host.setInput(OwnedWorld(300, 300, PF_PixelFormat_ARGB32));
    const double endX = 161.90476190476193;
    const double endY = 54.76190476190476;
    harness::MaskVertex from{{100, 150}, {0, 0}, {100, 100}};
    harness::MaskVertex to{{endX, endY}, {-100, 100}, {0, 0}};
    host.setMask(harness::MaskPath({from, to}, false));
    host.setParam("Stroke Length", 20.0);
    ASSERT_EQ(preRender().preRenderErr, PF_Err_NONE);
    EXPECT_GT(info().iteratorCount, 100u);
    EXPECT_LT(info().iteratorCount, 100000u);
}

TEST_F(PreRender, NoMaskChosenGivesAnEmptyPath)
{
    host.clearMask();
    const FrameResult frame = preRender();
    ASSERT_EQ(frame.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(countCalls(frame, "PF_CheckinPath"), 1);
    EXPECT_EQ(info().segmentCount, 0u);
    EXPECT_EQ(info().iteratorCount, 0u);
    EXPECT_EQ(info().pathLength, 0.0);
}

// A path far longer than the frame: the walk asks the host whether the user
// cancelled as it goes. After the cancel, as after any error the host
// answers, no path call follows (the host discards the command's path).
TEST_F(PreRender, LongPathCanBeCancelledWhileItIsLaidOut)
{
    host.setMask(PolygonPath({{-3000, -3000}, {3000, -3000}, {3000, 3000}, {-3000, 3000}}, true));
    host.abortFrom(3);
    const FrameResult frame = preRender();
    EXPECT_EQ(frame.preRenderErr, PF_Interrupt_CANCEL);
    EXPECT_EQ(frame.abortQuestions, 3) << "no question after the cancel";
    EXPECT_EQ(countCalls(frame, "PF_CheckinPath"), 0);
}

// Past the memory budget the pass ends with out of memory and a message the
// host shows, in the pre-render (the walking lines) and in the render (the
// fine line table); the budget here is 1 MB.
TEST_F(PreRender, MemoryBudgetEndsTheCommandWithAMessage)
{
    struct BudgetOfOneMegabyte {
        BudgetOfOneMegabyte() { ::setenv("LINESTRA_MEMORY_BUDGET_MB", "1", 1); }
        ~BudgetOfOneMegabyte() { ::unsetenv("LINESTRA_MEMORY_BUDGET_MB"); }
    } budget;

    host.setMask(PolygonPath({{-3000, -3000}, {3000, -3000}, {3000, 3000}, {-3000, 3000}}, true));
    const FrameResult walk = preRender();
    EXPECT_EQ(walk.preRenderErr, PF_Err_OUT_OF_MEMORY);
    EXPECT_NE(walk.returnMsg.find("memory budget of 1 MB"), std::string::npos) << walk.returnMsg;
    EXPECT_NE(walk.outFlags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_EQ(countCalls(walk, "PF_CheckinPath"), 1);

    // A path whose walking lines fit but whose table (20 bytes a bucket of
    // 0.05 pixels at the least) does not.
    host.setMask(PolygonPath({{10, 10}, {190, 10}, {190, 90}, {10, 90}}, true));
    host.setParam("Stroke Length", 5.0);
    ::setenv("LINESTRA_MEMORY_BUDGET_MB", "1", 1);
    const FrameResult frame = host.renderFrame(FrameRequest{});
    EXPECT_EQ(frame.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(frame.renderErr, PF_Err_NONE) << "520 pixels of path: 0.7 MB of table";
    host.setMask(PolygonPath({{10, 10}, {1190, 10}, {1190, 90}, {10, 90}}, true));
    const FrameResult tooLong = host.renderFrame(FrameRequest{});
    EXPECT_EQ(tooLong.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(tooLong.renderErr, PF_Err_OUT_OF_MEMORY);
    EXPECT_NE(tooLong.returnMsg.find("fine line table"), std::string::npos) << tooLong.returnMsg;
    EXPECT_TRUE(tooLong.violations.empty()) << harness::Describe(tooLong.violations);
}
