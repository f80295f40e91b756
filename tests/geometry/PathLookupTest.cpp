#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/PathLookup.h"
#include "render/PFInfo.h"

namespace {

// Segment lengths 10, 20, 30.
struct ThreeSegments : ::testing::Test {
    double ends[3] = {10.0, 30.0, 60.0};
    PFInfo info{};
    void SetUp() override
    {
        info.segmentEnds = ends;
        info.segmentCount = 3;
    }
};

} // namespace

TEST_F(ThreeSegments, LooksUpFromTheHint)
{
    struct Case {
        float distance;
        unsigned int hint;
        unsigned int segment;
        float position;
    };
    const Case cases[] = {
        {5, 0, 0, 5},
        {10, 0, 0, 10},  // boundary reached backward: end of segment 0
        {10, 2, 0, 10},
        {30, 0, 2, 0},   // boundary reached forward: start of the next segment
        {30, 1, 1, 20},
        {45, 7, 2, 15},  // hint out of range starts at the last segment
        {0, 0, 0, 0},
        {0, 2, 0, 0},
        {59.5f, 0, 2, 29.5f},
        {12, 2, 1, 2},
        {60, 0, 3, 0},   // the end of the path: one past the last segment
        {75, 1, 3, 15},
        {60, 2, 2, 30},  // ... unless reached backward from the last segment
    };
    for (const auto& c : cases) {
        unsigned int segment = c.hint;
        float position = -1.0f;
        getIPathSegAndPosAlongPathSeg(&info, c.distance, &segment, &position);
        EXPECT_EQ(segment, c.segment) << "distance " << c.distance << " hint " << c.hint;
        EXPECT_EQ(position, c.position) << "distance " << c.distance << " hint " << c.hint;
    }
}

TEST_F(ThreeSegments, NotANumberWalksBackToSegmentZero)
{
    unsigned int segment = 2;
    float position = 0.0f;
    getIPathSegAndPosAlongPathSeg(&info, std::numeric_limits<float>::quiet_NaN(), &segment, &position);
    EXPECT_EQ(segment, 0u);
    EXPECT_TRUE(std::isnan(position));
}

TEST_F(ThreeSegments, OnePastTheEndBecomesTheEndOfTheLastSegment)
{
    unsigned int segment = 0;
    float position = 0.0f;
    getIPathSegAndPosAlongPathSeg(&info, 60.0f, &segment, &position);
    ASSERT_EQ(segment, 3u);
    EXPECT_TRUE(clampPathLookupToLastSegment(&info, &segment, &position));
    EXPECT_EQ(segment, 2u);
    EXPECT_EQ(position, 30.0f);

    segment = 1;
    position = 4.0f;
    EXPECT_FALSE(clampPathLookupToLastSegment(&info, &segment, &position));
    EXPECT_EQ(segment, 1u);
    EXPECT_EQ(position, 4.0f);
}

TEST(PathLookup, OnePastTheEndOfASingleSegment)
{
    double ends[1] = {7.25};
    PFInfo info{};
    info.segmentEnds = ends;
    info.segmentCount = 1;
    unsigned int segment = 0;
    float position = 0.0f;
    getIPathSegAndPosAlongPathSeg(&info, 8.0f, &segment, &position);
    EXPECT_EQ(segment, 1u);
    EXPECT_EQ(position, 0.75f);
    clampPathLookupToLastSegment(&info, &segment, &position);
    EXPECT_EQ(segment, 0u);
    EXPECT_EQ(position, 7.25f);
}
