#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/LineClipping.h"
#include "render/PFInfo.h"

using namespace Linestra;

namespace {

PFInfo Frame(int width, int height, float strokeLength)
{
    PFInfo info{};
    info.width = width;
    info.height = height;
    info.strokeLength = strokeLength;
    return info;
}

Line MakeLine(PFInfo& info, double x, double y, double tangentX, double tangentY, double pathPosition = 0.0)
{
    return Line(DoublePoint{x, y}, tangentX, tangentY, &info, 0.0, pathPosition, nullptr, 0, 0.0f);
}

} // namespace

TEST(SegmentIntersectRectangle, ClosedRectangleCases)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        float x0, y0, x1, y1;
        bool hits;
    };
    // Rectangle 0..100 by 0..50.
    const Case cases[] = {
        {"inside", 10, 10, 20, 20, true},
        {"crosses the whole rectangle", -50, 25, 150, 25, true},
        {"touches a corner from outside", -10, -10, 0, 0, true},
        {"touches the right edge at one point", 120, 25, 100, 25, true},
        {"stops short of the corner", -10, -10, -0.01f, -0.01f, false},
        {"left of the rectangle", -20, 10, -5, 40, false},
        {"passes above a corner", 90, 70, 110, 45, false},
        {"diagonal clipping a corner", 90, 60, 110, 40, true},
        {"vertical through", 5, -10, 5, 60, true},
        {"vertical above", 5, 60, 5, 70, false},
        {"nearly vertical (x differs by 5e-8)", 0, 60, 5e-8f, 70, false},
        {"nearly vertical through", 0, -10, 5e-8f, 60, true},
        {"not a number", nan, nan, nan, nan, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentIntersectRectangle(0, 0, 100, 50, c.x0, c.y0, c.x1, c.y1), c.hits) << c.what;
}

TEST(LineSegIsInFrame, UsesTheWholeStrokeSegment)
{
    PFInfo info = Frame(100, 50, 500.0f);

    // Starts inside, visible end on the edge, stroke end far outside.
    Line line = MakeLine(info, 9, 10, 0, -1);
    ASSERT_GT(line.strokeEnd.x, 100.0f);
    EXPECT_TRUE(lineSegIsInFrame(&line, &info));

    // Starts left of the frame pointing into it.
    line = MakeLine(info, -31, 10, 0, -1);
    ASSERT_FALSE(line.startInFrame);
    EXPECT_TRUE(lineSegIsInFrame(&line, &info));

    // Starts left of the frame pointing away from it.
    line = MakeLine(info, -29, 10, 0, 1);
    EXPECT_FALSE(lineSegIsInFrame(&line, &info));

    // Starts outside, pointing into the frame, but too short to reach it.
    info.strokeLength = 5.0f;
    line = MakeLine(info, -31, 10, 0, -1);
    EXPECT_FALSE(lineSegIsInFrame(&line, &info));
    // ... and just long enough to touch the border.
    info.strokeLength = 30.0f;
    line = MakeLine(info, -31, 10, 0, -1);
    EXPECT_EQ(line.strokeEnd.x, 0.0f);
    EXPECT_TRUE(lineSegIsInFrame(&line, &info));
}

TEST(LineSegmentIterator, StepsByAccumulatingTheDirection)
{
    PFInfo info = Frame(100, 50, 10.0f);
    Line line = MakeLine(info, 4.5, 2.0, 0, -1); // start (5.5, 2), direction (1, 0)
    LineSegmentIterator it(line, &info);
    ASSERT_EQ(it.pos.x, 5.5f);
    EXPECT_TRUE(it.inFrame);

    for (double x : {6.5, 7.5, 8.5}) {
        const DoublePoint p = it.next_pos();
        EXPECT_EQ(p.x, x);
        EXPECT_EQ(p.y, 2.0);
    }
    it.reset();
    const DoublePoint p = it.next_pos();
    EXPECT_EQ(p.x, 6.5);
    EXPECT_EQ(p.y, 2.0);
}

TEST(LineSegmentIterator, RoundingAccumulatesOverSteps)
{
    PFInfo info = Frame(1000, 1000, 500.0f);
    const Line line = MakeLine(info, 100.1, 100.3, 3, -4); // direction (0.8, 0.6)
    LineSegmentIterator it(line, &info);
    float x = line.start.x;
    float y = line.start.y;
    bool differsFromMultiplying = false;
    for (int k = 1; k <= 200; ++k) {
        x += line.direction.x;
        y += line.direction.y;
        const DoublePoint p = it.next_pos();
        ASSERT_EQ(p.x, static_cast<double>(x)) << "step " << k;
        ASSERT_EQ(p.y, static_cast<double>(y)) << "step " << k;
        const float multipliedX = line.start.x + static_cast<float>(k) * line.direction.x;
        differsFromMultiplying = differsFromMultiplying || multipliedX != x;
    }
    // The walk is not start + k x direction: this case tells the two apart.
    EXPECT_TRUE(differsFromMultiplying);
}

TEST(LineSegmentIterator, NearestToPointKeepsTheNearestStartFirstOnTies)
{
    PFInfo info = Frame(200, 200, 10.0f);
    info.originNearestToPoint = true;
    info.originPointX = 100.0;
    info.originPointY = 100.0;
    info.originBestDistance = 1e9;
    info.originPathPosition = 0.12;

    // Lines pointing toward +x; starts at (anchorX + 1, 100).
    LineSegmentIterator far(MakeLine(info, 79, 100, 0, -1, 1.0), &info);
    EXPECT_EQ(info.originPathPosition, 1.0);
    EXPECT_EQ(info.originBestDistance, 20.0);
    LineSegmentIterator nearer(MakeLine(info, 104, 100, 0, -1, 2.0), &info);
    EXPECT_EQ(info.originPathPosition, 2.0);
    LineSegmentIterator tie(MakeLine(info, 94, 100, 0, -1, 3.0), &info); // also 5 away
    EXPECT_EQ(info.originPathPosition, 2.0);
    LineSegmentIterator noDirection(MakeLine(info, 100, 100, 0, 0, 4.0), &info);
    EXPECT_EQ(info.originPathPosition, 2.0);
    EXPECT_EQ(info.originBestDistance, 5.0);

    // Without Nearest To Point nothing is searched.
    info.originNearestToPoint = false;
    LineSegmentIterator exact(MakeLine(info, 99, 100, 0, -1, 5.0), &info);
    EXPECT_EQ(info.originPathPosition, 2.0);
}

TEST(RotatePointAboutOrigin, QuarterTurn)
{
    const float quarter = std::numbers::pi_v<float> / 2.0f;
    EXPECT_EQ(rotate_point_about_origin_return_y(1.0f, 0.0f, quarter), 1.0f);
    EXPECT_NEAR(rotate_point_about_origin_return_y(0.0f, 1.0f, quarter), 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(rotate_point_about_origin_return_y(3.0f, 4.0f, 0.0f), 4.0f);
    EXPECT_FLOAT_EQ(rotate_point_about_origin_return_y(3.0f, 4.0f, std::numbers::pi_v<float>), -4.0f);
}
