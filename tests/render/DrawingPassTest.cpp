// The pixel ownership pass, the line lookup by bucket and the candidate
// order of the drawing pass, on hand-built render contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "geometry/DrawingPass.h"
#include "geometry/LineClipping.h"
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "host/SuiteScoper.h"
#include "render/FineLineTable.h"
#include "render/PFInfo.h"

namespace {

using Linestra::DoublePoint;
using Linestra::Line;
using Linestra::LineSegmentIterator;

class OwnershipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        info.width = 20;
        info.height = 10;
        info.strokeLength = 8.0f;
        info.pathLength = 100.0;
        pixels = static_cast<std::uint32_t>(info.width * info.height);

        host.load(harness::LinkedEffect());
        host.setInput(harness::OwnedWorld(20, 10, PF_PixelFormat_ARGB32));
        host.setupFrame({});
        host.beginCommand(PF_Cmd_SMART_RENDER);
    }
    void TearDown() override { host.endCommand(PF_Err_NONE); }

    // The pass as a render runs it, over the owner rectangle of the lines;
    // ownerRanks then holds the owners of the whole frame.
    PF_Err runPass()
    {
        const AEFX_SuiteScoper<PF_Iterate8Suite1> iterate(host.inData(), kPFIterate8Suite, kPFIterate8SuiteVersion1,
                                                          host.outData());
        rectangleRanks.assign(setOwnerRectangle(&info), kNoOwner);
        info.ownerRanks = rectangleRanks.data();
        const PF_Err err = runPixelOwnershipPass(&info, host.inData(), iterate.get());
        ownerRanks.assign(pixels, kNoOwner);
        for (std::int32_t y = 0; y < info.height; ++y)
            for (std::int32_t x = 0; x < info.width; ++x)
                ownerRanks[static_cast<std::size_t>(y * info.width + x)] = ownerRankAt(info, x, y);
        return err;
    }

    // A walking line whose first step lands on (x0 + 1, y) running toward +x
    // (tangent (0, -1) turns to direction (1, 0)); the anchor lies one pixel
    // before the start.
    void addWalker(double x0, double y, double pathPosition)
    {
        Line line(DoublePoint{x0 - 1.0, y}, 0.0, -1.0, &info, 0.0, pathPosition, nullptr, 0, 0.0f);
        walkers.emplace_back(line, &info);
        info.iterators = walkers.data();
        info.iteratorCount = walkers.size();
    }

    // Where walking line u lands, step by step: its position stepped in
    // float from the start, rounded half away from zero (std::round), inside
    // the frame; `pixel` is y x width + x.
    struct Landing {
        std::uint32_t step;
        std::size_t pixel;
    };
    std::vector<Landing> landingsOf(std::uint32_t u) const
    {
        std::vector<Landing> landings;
        Linestra::FloatPoint pos = walkers[u].line.start;
        for (std::uint32_t s = 0; s < info.maxLineLength; ++s) {
            pos.x += walkers[u].line.direction.x;
            pos.y += walkers[u].line.direction.y;
            const float x = std::round(pos.x);
            const float y = std::round(pos.y);
            if (x >= 0.0f && y >= 0.0f && x < static_cast<float>(info.width) && y < static_cast<float>(info.height))
                landings.push_back({s, static_cast<std::size_t>(y) * static_cast<std::size_t>(info.width) +
                                           static_cast<std::size_t>(x)});
        }
        return landings;
    }

    OwnerRank keyAt(int x, int y) const { return ownerRanks[static_cast<std::size_t>(y * info.width + x)]; }
    std::int32_t ownerAt(int x, int y) const
    {
        return keyAt(x, y) == kNoOwner ? -1 : static_cast<std::int32_t>(ownerLineOf(keyAt(x, y)));
    }
    std::int32_t stepAt(int x, int y) const
    {
        return keyAt(x, y) == kNoOwner ? -1 : static_cast<std::int32_t>(ownerStepOf(keyAt(x, y)));
    }

    PFInfo info{};
    std::uint32_t pixels = 0;
    std::vector<OwnerRank> ownerRanks;     // per pixel of the frame
    std::vector<OwnerRank> rectangleRanks; // the pass's own table
    std::vector<LineSegmentIterator> walkers;
    harness::Host host;
};

TEST_F(OwnershipTest, SmallestStepWinsThenLowestLine)
{
    walkers.reserve(3);
    addWalker(5.0, 4.0, 10.0);  // line 0: first step at x = 6, step 3 at x = 9
    addWalker(7.0, 4.0, 20.0);  // line 1: step 1 at x = 9
    addWalker(5.0, 4.0, 30.0);  // line 2: same visits as line 0
    ASSERT_EQ(runPass(), PF_Err_NONE);

    EXPECT_EQ(ownerAt(9, 4), 1) << "step 1 of line 1 beats step 3 of line 0";
    EXPECT_EQ(stepAt(9, 4), 1);
    EXPECT_EQ(ownerAt(6, 4), 0) << "same step: the lower line index wins";
    EXPECT_EQ(stepAt(6, 4), 0);
    EXPECT_EQ(ownerAt(5, 4), -1) << "the start itself is never visited";
    for (const LineSegmentIterator& walker : walkers) {
        EXPECT_EQ(walker.pos.x, walker.line.start.x) << "every iterator is reset";
        EXPECT_EQ(walker.pos.y, walker.line.start.y);
    }
}

TEST_F(OwnershipTest, OpenPathEndsOwnNothing)
{
    walkers.reserve(3);
    addWalker(2.0, 2.0, 0.5);
    addWalker(2.0, 5.0, 99.5);
    addWalker(2.0, 8.0, 50.0);
    info.pathIsOpen = true;
    ASSERT_EQ(runPass(), PF_Err_NONE);
    EXPECT_EQ(ownerAt(3, 2), -1);
    EXPECT_EQ(ownerAt(3, 5), -1);
    EXPECT_EQ(ownerAt(3, 8), 2);

    info.pathIsOpen = false;
    ASSERT_EQ(runPass(), PF_Err_NONE);
    EXPECT_EQ(ownerAt(3, 2), 0);
    EXPECT_EQ(ownerAt(3, 5), 1);
}

TEST_F(OwnershipTest, CancelIsAskedBeforeEachChunkOfLines)
{
    // Lines of 1024 steps: a chunk walks about a million steps, 128 lines
    // from the start of each of eight regions of 500 lines. Lines 0 to 127
    // (the first chunk) walk row 2, the rest of the first region row 5, the
    // last line row 7.
    constexpr int kLines = 4000;
    walkers.reserve(kLines);
    for (int k = 0; k < kLines; ++k)
        addWalker(2.0, k < 128 ? 2.0 : (k < 500 ? 5.0 : (k < kLines - 1 ? 8.0 : 7.0)), 10.0);
    info.maxLineLength = 1024;

    host.abortFrom(1);
    EXPECT_EQ(runPass(), PF_Interrupt_CANCEL);
    EXPECT_EQ(ownerAt(3, 2), -1) << "cancelled before the first chunk";

    host.abortFrom(2);
    EXPECT_EQ(runPass(), PF_Interrupt_CANCEL);
    EXPECT_EQ(ownerAt(3, 2), 0) << "the first chunk ran";
    EXPECT_EQ(ownerAt(3, 5), -1) << "the second did not";
    EXPECT_EQ(ownerAt(3, 7), -1);

    host.abortFrom(0);
    EXPECT_EQ(runPass(), PF_Err_NONE);
    EXPECT_EQ(ownerAt(3, 5), 128);
    EXPECT_EQ(ownerAt(3, 7), kLines - 1);
}

// The walk four lines at a time lands on the pixels that stepping each line
// in float and rounding half away from zero reaches, with every owner as
// the smallest step, then the lowest line: random lines, lines along pixel
// edges (positions at exactly .5), lines from far outside, and lines
// without direction.
TEST_F(OwnershipTest, OwnersAreThoseOfStepByStepRounding)
{
    info.width = 37;
    info.height = 23;
    pixels = static_cast<std::uint32_t>(info.width * info.height);
    info.maxLineLength = 60;

    std::mt19937 random(7);
    std::uniform_real_distribution<float> position(-30.0f, 60.0f);
    std::uniform_real_distribution<float> component(-1.5f, 1.5f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    walkers.reserve(1003);
    for (int k = 0; k < 1003; ++k) {
        addWalker(1.0, 1.0, 1.0 + k);
        Line& line = walkers.back().line;
        switch (k % 5) {
        case 0: // along a row of pixel edges
            line.start = {static_cast<float>(k % 40) - 0.5f, static_cast<float>(k % 23) + 0.5f};
            line.direction = k % 2 ? Linestra::FloatPoint{0.5f, 0.0f} : Linestra::FloatPoint{-0.25f, -0.25f};
            break;
        case 1: // from far outside
            line.start = {position(random) * 1000.0f, position(random)};
            line.direction = {component(random) * 50.0f, component(random)};
            break;
        case 2: // without direction
            line.start = {position(random), position(random)};
            line.direction = {nan, nan};
            break;
        default:
            line.start = {position(random), position(random)};
            line.direction = {component(random), component(random)};
        }
    }
    ASSERT_EQ(runPass(), PF_Err_NONE);

    std::vector<OwnerRank> expected(pixels, kNoOwner);
    for (std::uint32_t u = 0; u < walkers.size(); ++u)
        for (const Landing& landing : landingsOf(u))
            expected[landing.pixel] = std::max(expected[landing.pixel], ownerRank(landing.step, u));
    for (std::uint32_t p = 0; p < pixels; ++p)
        ASSERT_EQ(ownerRanks[p], expected[p]) << "pixel " << p % 37 << ", " << p / 37;
}

// The owner rectangle holds every pixel a walk lands on, also for walks of
// thousands of steps from far outside the frame, whose float positions
// drift from the exact line by pixels; and lines that stay in one part of
// the frame leave the rest of it outside the rectangle.
TEST_F(OwnershipTest, TheOwnerRectangleHoldsEveryLanding)
{
    info.width = 64;
    info.height = 48;
    pixels = static_cast<std::uint32_t>(info.width * info.height);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> angle(0.0f, 6.2831855f);
    std::uniform_real_distribution<float> offset(-3.0f, 3.0f);
    walkers.reserve(400);
    for (int k = 0; k < 400; ++k) {
        addWalker(1.0, 1.0, 1.0 + k);
        Line& line = walkers.back().line;
        // Aimed at a point of the frame from 15,000 to 25,000 pixels away.
        const float a = angle(random);
        const float distance = 15000.0f + 25.0f * static_cast<float>(k);
        line.direction = {std::cos(a), std::sin(a)};
        line.start = {32.0f + offset(random) - distance * line.direction.x,
                      24.0f + offset(random) - distance * line.direction.y};
    }
    info.maxLineLength = 26000;
    ASSERT_EQ(runPass(), PF_Err_NONE);
    for (std::uint32_t u = 0; u < walkers.size(); ++u) {
        const std::vector<Landing> landings = landingsOf(u);
        for (const Landing& landing : landings)
            ASSERT_NE(ownerRanks[landing.pixel], kNoOwner) << "line " << u << " step " << landing.step;
        ASSERT_TRUE(!landings.empty()) << "line " << u;
    }

    // Short lines in the frame's top left corner.
    walkers.clear();
    for (int k = 0; k < 20; ++k)
        addWalker(2.0, 2.0 + 0.5 * k, 1.0 + k);
    info.maxLineLength = 6;
    ASSERT_EQ(runPass(), PF_Err_NONE);
    EXPECT_EQ(ownerAt(3, 2), 0);
    EXPECT_EQ(ownerAt(8, 12), 19);
    EXPECT_EQ(info.ownerLeft, 0);
    EXPECT_EQ(info.ownerTop, 0);
    EXPECT_LT(info.ownerWidth, 16);
    EXPECT_LT(info.ownerHeight, 16);
}

// A position half a pixel beyond the frame's first or last pixel rounds
// out of the frame, half away from zero: nothing else is claimed for it.
TEST_F(OwnershipTest, HalfAPixelOutsideTheFrameIsOutside)
{
    walkers.reserve(4);
    const Linestra::FloatPoint starts[4] = {{0.25f, 5.0f}, {18.75f, 2.0f}, {3.0f, 0.25f}, {6.0f, 8.75f}};
    const Linestra::FloatPoint directions[4] = {{-0.25f, 0.0f}, {0.25f, 0.0f}, {0.0f, -0.25f}, {0.0f, 0.25f}};
    for (int k = 0; k < 4; ++k) {
        addWalker(1.0, 1.0, 1.0 + k);
        walkers.back().line.start = starts[k];
        walkers.back().line.direction = directions[k];
    }
    info.maxLineLength = 8;
    ASSERT_EQ(runPass(), PF_Err_NONE);
    std::vector<std::uint32_t> owned;
    for (std::uint32_t p = 0; p < pixels; ++p)
        if (ownerRanks[p] != kNoOwner)
            owned.push_back(p);
    const auto at = [&](int x, int y) { return static_cast<std::uint32_t>(y * info.width + x); };
    EXPECT_EQ(owned, (std::vector<std::uint32_t>{at(3, 0), at(19, 2), at(0, 5), at(6, 9)}));
}

TEST_F(OwnershipTest, OwnersDoNotDependOnTheThreads)
{
    // Crossing lines of many lengths and directions over a small frame.
    walkers.reserve(300);
    for (int k = 0; k < 300; ++k) {
        const double angle = 0.021 * k;
        Line line(DoublePoint{10.0 + 3.0 * std::cos(0.7 * k), 5.0 + 2.0 * std::sin(1.3 * k)}, std::cos(angle),
                  std::sin(angle), &info, 0.0, 1.0 + k, nullptr, 0, 0.0f);
        walkers.emplace_back(line, &info);
    }
    info.iterators = walkers.data();
    info.iteratorCount = walkers.size();

    std::vector<std::uint64_t> first;
    for (int threads : {1, 2, 7}) {
        host.setThreads(threads);
        ASSERT_EQ(runPass(), PF_Err_NONE);
        std::vector<std::uint64_t> keys;
        for (std::uint32_t p = 0; p < pixels; ++p)
            keys.push_back(ownerRanks[p]);
        if (first.empty())
            first = keys;
        EXPECT_EQ(keys, first) << threads << " threads";
    }
}

TEST(CandidateOrder, OffsetsAlternateAndSkipTheOtherSign)
{
    EXPECT_EQ(candidateCount(3), 4);
    const std::vector<std::int32_t> expected{0, -1, 2, -3};
    for (std::int32_t j = 0; j < candidateCount(3); ++j)
        EXPECT_EQ(candidateOffset(j), expected[static_cast<std::size_t>(j)]);
    EXPECT_EQ(candidateCount(500), 500);
    EXPECT_EQ(candidateCount(150), 150);
    EXPECT_EQ(candidateCount(1), 2);
    EXPECT_EQ(candidateCount(2), 2);
}

// A search away from the table's ends is found without the checks against
// them, and finds the same candidates; a closed path's search near an end
// wraps round it.
TEST(CandidateOrder, InteriorSearchesFindWhatTheCheckedSearchFinds)
{
    std::int32_t index[4];
    bool valid[4];
    candidateGroup(10, false, false, 0, 6, 0, index, valid); // closed: -1 and -3 wrap round
    EXPECT_EQ(std::vector<std::int32_t>(index, index + 4), (std::vector<std::int32_t>{0, 9, 2, 7}));
    EXPECT_EQ(std::vector<bool>(valid, valid + 4), (std::vector<bool>{true, true, true, true}));
    candidateGroup(10, true, false, 0, 6, 0, index, valid); // open: they do not exist
    EXPECT_EQ(std::vector<std::int32_t>(index, index + 4), (std::vector<std::int32_t>{0, 0, 2, 0}));
    EXPECT_EQ(std::vector<bool>(valid, valid + 4), (std::vector<bool>{true, false, true, false}));
    // Just past either end a search is not interior.
    EXPECT_FALSE(searchIsInterior(10, 5, 6));
    EXPECT_FALSE(searchIsInterior(10, 3, 4));

    int interiorSearches = 0;
    for (std::int32_t lineCount = 1; lineCount <= 64; ++lineCount)
        for (std::int32_t candidates : {2, 4, 6, 10, 26})
            for (std::int32_t centre = 0; centre < lineCount; ++centre) {
                if (!searchIsInterior(lineCount, centre, candidates))
                    continue;
                ++interiorSearches;
                for (bool open : {false, true})
                    for (std::int32_t first = 0; first < candidates; first += 4) {
                        std::int32_t fast[4], checked[4];
                        bool fastValid[4], checkedValid[4];
                        candidateGroup(lineCount, open, true, centre, candidates, first, fast, fastValid);
                        candidateGroup(lineCount, open, false, centre, candidates, first, checked, checkedValid);
                        for (int k = 0; k < 4; ++k) {
                            ASSERT_EQ(fastValid[k], checkedValid[k]) << lineCount << " " << centre << " " << first;
                            ASSERT_EQ(fast[k], checked[k]) << lineCount << " " << centre << " " << first;
                        }
                    }
            }
    EXPECT_GT(interiorSearches, 1000);
}

class LookupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        first = {0, 1, 3, 7};
        count = {1, 2, 4, 10};
        info.bucketFirstLine = first.data();
        info.bucketLineCount = count.data();
        info.bucketCount = 4;
    }
    PFInfo info{};
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> count;
};

TEST_F(LookupTest, FractionOfABucketMapsToItsLines)
{
    EXPECT_EQ(lookUpFineLine(&info, 0.0), 0);
    EXPECT_EQ(lookUpFineLine(&info, 2.0), 3);
    EXPECT_EQ(lookUpFineLine(&info, 2.5), 5);   // 3 + round(0.5 * 4)
    EXPECT_EQ(lookUpFineLine(&info, 2.375), 5); // 3 + round(1.5), half away from zero
    EXPECT_EQ(lookUpFineLine(&info, 3.96), 17);
}

TEST_F(LookupTest, BucketsPastTheEndUseTheLastBucket)
{
    // The texture-offset lookup can land on the path's end or one bucket
    // beyond it; the fraction still comes from the unclamped position.
    EXPECT_EQ(lookUpFineLine(&info, 4.0), 7);
    EXPECT_EQ(lookUpFineLine(&info, 5.5), 12);
}

TEST_F(LookupTest, NoBucketMeansLineZero)
{
    info.bucketCount = 0;
    EXPECT_EQ(lookUpFineLine(&info, 0.4), 0);
    EXPECT_EQ(lookUpFineLine(&info, 3.0), 0);
}

TEST(FineLineCount, GrowsWithTurningAndLineLength)
{
    PFInfo info{};
    info.bucketSpacing = 0.05;
    info.matchTolerance = 0.05f;
    info.maxLineLength = 0;
    EXPECT_EQ(fineLinesPerBucket(&info, 0.0f), 2u);
    info.bucketSpacing = 0.15;
    info.matchTolerance = 0.15f;
    EXPECT_EQ(fineLinesPerBucket(&info, 0.0f), 2u);

    info.bucketSpacing = 0.05;
    info.matchTolerance = 0.05f;
    info.maxLineLength = 100;
    // (100 * 1.4142135 * 0.01 / 0.05 + 1) * 1.2 = 35.14.. -> 36
    EXPECT_EQ(fineLinesPerBucket(&info, 0.01f), 36u);
    EXPECT_EQ(fineLinesPerBucket(&info, -0.01f), 36u);
    info.maxLineLength = 1000;
    EXPECT_EQ(fineLinesPerBucket(&info, 3.1f), 40000u);
    EXPECT_EQ(fineLinesPerBucket(&info, std::numeric_limits<float>::quiet_NaN()), 2u)
        << "a turning that is not a number counts as none";
    EXPECT_EQ(fineLinesPerBucket(&info, std::numeric_limits<float>::infinity()), 40000u);
}

// The drawing pass skips each pixel's measure of its span along the path
// when the render says one sample holds everywhere. Around the bound
// (texture rows / (density with no turning x path length) = 2), that must
// hold for every pixel whenever it is said to, turning and distance
// whatever they are, and must not be said where the pixels with no turning
// take two samples.
TEST(PathSampling, OneSampleEverywhereHoldsForEveryPixel)
{
    PFInfo info{};
    info.areaSamplingEnabled = true;
    info.areaSampleTextureY = true;
    info.bucketSpacing = 0.05;
    info.matchTolerance = 0.05f;
    info.lineDensityFactor = 0.4f;
    info.textureHeight = 1200;
    info.scaleY = 1.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> pathLengths(1499.0, 1501.0); // the bound is at 1500
    std::uniform_real_distribution<float> turnings(-6.3f, 6.3f);
    std::uniform_real_distribution<float> distances(0.0f, 3000.0f);
    int said = 0;
    float step = 0.0f;
    float count = 0.0f;
    for (int trial = 0; trial < 400; ++trial) {
        info.pathLength = pathLengths(random);
        pathSampling(&info, 0.0f, 0.0f, &step, &count);
        const bool one = onePathSampleEverywhere(&info);
        ASSERT_EQ(one, count == 1.0f) << "path length " << info.pathLength;
        if (!one)
            continue;
        ++said;
        for (int pixel = 0; pixel < 500; ++pixel) {
            const float turning = pixel % 50 == 0 ? 0.0f : pixel % 50 == 1 ? nan : turnings(random);
            const float distance = pixel % 25 == 2 ? 0.0f : pixel % 25 == 3 ? infinity : distances(random);
            pathSampling(&info, turning, distance, &step, &count);
            ASSERT_TRUE(step == 1.0f && count == 1.0f)
                << "path length " << info.pathLength << ", turning " << turning << ", distance " << distance;
        }
    }
    EXPECT_GT(said, 100);
    EXPECT_LT(said, 300);

    // Exactly at the bound the pixels with no turning span two rows.
    info.pathLength = 1500.0;
    pathSampling(&info, 0.0f, 0.0f, &step, &count);
    EXPECT_EQ(count, 2.0f);
    EXPECT_FALSE(onePathSampleEverywhere(&info));

    // Samples along the path that nothing reads, and factors the bound does
    // not cover.
    info.pathLength = 100.0;
    EXPECT_FALSE(onePathSampleEverywhere(&info));
    info.areaSampleTextureY = false;
    EXPECT_TRUE(onePathSampleEverywhere(&info));
    info.areaSampleTextureY = true;
    info.areaSamplingEnabled = false;
    EXPECT_TRUE(onePathSampleEverywhere(&info));
    info.areaSamplingEnabled = true;
    info.areaSampleTextureY = true;
    info.useOriginalFrame = true;
    EXPECT_TRUE(onePathSampleEverywhere(&info));
    info.useOriginalFrame = false;
    info.pathLength = 2000.0;
    EXPECT_TRUE(onePathSampleEverywhere(&info));
    info.scaleY = -1.0f;
    EXPECT_FALSE(onePathSampleEverywhere(&info));
    info.scaleY = 1.0f;
    info.lineDensityFactor = nan;
    EXPECT_FALSE(onePathSampleEverywhere(&info));
}

TEST(FineLineAngle, CoversTheFullTurn)
{
    constexpr float kPi = 3.1415927f;
    EXPECT_FLOAT_EQ(fineLineAngle({1.0f, 0.0f}), 0.0f);
    EXPECT_FLOAT_EQ(fineLineAngle({0.0f, -1.0f}), kPi / 2.0f);
    EXPECT_FLOAT_EQ(fineLineAngle({-1.0f, 0.0f}), kPi);
    EXPECT_FLOAT_EQ(fineLineAngle({0.0f, 1.0f}), 3.0f * kPi / 2.0f);
    // A reversed line on a horizontal edge has direction (-0.0, -1).
    EXPECT_FLOAT_EQ(fineLineAngle({-0.0f, -1.0f}), 3.0f * kPi / 2.0f);
}

} // namespace
