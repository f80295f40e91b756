#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/PathLookup.h"
#include "render/PFInfo.h"

namespace {

// Segment lengths 10, 20, 30.
struct ThreeSegments : ::testing::Test {
    double lengths[3] = {10.0, 20.0, 30.0};
    double ends[3] = {10.0, 30.0, 60.0};
    PFInfo info{};
    void SetUp() override
    {
        info.segmentLengths = lengths;
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

TEST_F(ThreeSegments, ClampedLookupEvaluatesTheLastSegmentAtItsFullLength)
{
    const struct {
        float distance;
        unsigned int hint;
        unsigned int segment;
        double position;
    } cases[] = {
        {60, 0, 2, 30.0},  // one past the last segment: the end of the last one
        {75, 2, 2, 30.0},
        {59.5f, 0, 2, 29.5},
        {12, 2, 1, 2.0},
    };
    for (const auto& c : cases) {
        unsigned int segment = c.hint;
        double position = -1.0;
        getIPathSegAndPosAlongPathSeg_ClampedToEnd(&info, c.distance, &segment, &position);
        EXPECT_EQ(segment, c.segment) << c.distance;
        EXPECT_EQ(position, c.position) << c.distance;
    }
}

TEST(PathLookup, ClampedLookupKeepsTheSegmentLengthInDouble)
{
    // A length that float cannot hold: the end is evaluated at the host's own length.
    double lengths[1] = {7.1};
    double ends[1] = {7.1};
    PFInfo info{};
    info.segmentLengths = lengths;
    info.segmentEnds = ends;
    info.segmentCount = 1;
    unsigned int segment = 0;
    float position = 0.0f;
    getIPathSegAndPosAlongPathSeg(&info, 8.0f, &segment, &position);
    EXPECT_EQ(segment, 1u);
    EXPECT_FLOAT_EQ(position, 0.9f);

    segment = 0;
    double clamped = 0.0;
    getIPathSegAndPosAlongPathSeg_ClampedToEnd(&info, 8.0f, &segment, &clamped);
    EXPECT_EQ(segment, 0u);
    EXPECT_EQ(clamped, 7.1);
}
