#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/Line.h"
#include "render/PFInfo.h"

using Linestra::DoublePoint;
using Linestra::Line;

namespace {

PFInfo Frame(int width, int height, float strokeLength)
{
    PFInfo info{};
    info.width = width;
    info.height = height;
    info.strokeLength = strokeLength;
    return info;
}

Line MakeLine(PFInfo& info, double x, double y, double tangentX, double tangentY)
{
    return Line(DoublePoint{x, y}, tangentX, tangentY, &info, 0.0, 0.0, nullptr, 0, 0.0f);
}

struct DirectionCase {
    double tangentX, tangentY;
    float expectX, expectY;
};

} // namespace

TEST(Line, DirectionIsTheTangentTurnedAQuarterTurn)
{
    const DirectionCase cases[] = {
        {1, 0, 0.0f, 1.0f},      // path toward +x: lines point down
        {0, 1, -1.0f, 0.0f},     // path toward +y: lines point left
        {-1, 0, 0.0f, -1.0f},
        {0, -1, 1.0f, 0.0f},
        {3, -4, 0.8f, 0.6f},
        {-7.5, 7.5, -std::sqrt(0.5f), -std::sqrt(0.5f)},
    };
    for (const auto& c : cases) {
        PFInfo info = Frame(100, 100, 10.0f);
        const Line line = MakeLine(info, 50, 50, c.tangentX, c.tangentY);
        EXPECT_FLOAT_EQ(line.direction.x, c.expectX) << c.tangentX << "," << c.tangentY;
        EXPECT_FLOAT_EQ(line.direction.y, c.expectY) << c.tangentX << "," << c.tangentY;
    }
    // The unit components come out exactly, without drift from normalising.
    PFInfo info = Frame(100, 100, 10.0f);
    const Line line = MakeLine(info, 50, 50, 3, -4);
    EXPECT_EQ(line.direction.x, 0.8f);
    EXPECT_EQ(line.direction.y, 0.6f);
}

TEST(Line, StartsOnePixelOutMovedByExpandContract)
{
    PFInfo info = Frame(100, 100, 10.0f);
    Line line = MakeLine(info, 50.25, 20.5, 1, 0);
    EXPECT_EQ(line.start.x, 50.25f);
    EXPECT_EQ(line.start.y, 21.5f);

    info.startShift = -2.0f; // Expand/Contract Path 2
    line = MakeLine(info, 50.25, 20.5, 1, 0);
    EXPECT_EQ(line.start.y, 23.5f);
}

TEST(Line, ReversalHappensAfterTheStartIsPlaced)
{
    PFInfo info = Frame(100, 100, 10.0f);
    const Line forward = MakeLine(info, 40, 40, 1, 0);
    info.reverseLines = true;
    const Line reversed = MakeLine(info, 40, 40, 1, 0);

    EXPECT_EQ(reversed.start.x, forward.start.x);
    EXPECT_EQ(reversed.start.y, forward.start.y);
    EXPECT_EQ(reversed.direction.y, -1.0f);
    // Negation flips the sign of a zero component.
    EXPECT_EQ(reversed.direction.x, 0.0f);
    EXPECT_TRUE(std::signbit(reversed.direction.x));
    // The reversed line runs back across the path from the same start.
    EXPECT_EQ(reversed.strokeEnd.y, 41.0f - 10.0f);
}

TEST(Line, VisibleLengthStopsAtTheFrameEdgeItPointsAt)
{
    PFInfo info = Frame(100, 50, 500.0f);
    // Start (10, 10) running toward +x.
    Line line = MakeLine(info, 9, 10, 0, -1);
    ASSERT_EQ(line.start.x, 10.0f);
    EXPECT_EQ(line.visibleLength, 90.0);
    EXPECT_EQ(line.end.x, 100.0f);
    EXPECT_EQ(line.end.y, 10.0f);
    EXPECT_EQ(line.strokeLength, 500.0);
    EXPECT_EQ(line.strokeEnd.x, 510.0f);

    // Start (10, 10) running toward -y.
    line = MakeLine(info, 10, 11, -1, 0);
    ASSERT_EQ(line.start.y, 10.0f);
    EXPECT_EQ(line.visibleLength, 10.0);
    EXPECT_EQ(line.end.x, 10.0f);
    EXPECT_EQ(line.end.y, 0.0f);

    // A short stroke ends before the edge.
    info.strokeLength = 30.0f;
    line = MakeLine(info, 9, 10, 0, -1);
    EXPECT_EQ(line.visibleLength, 30.0);
    EXPECT_EQ(line.end.x, line.strokeEnd.x);
    EXPECT_EQ(line.end.y, line.strokeEnd.y);

    // A start outside the frame, pointing away: the distance back to the edge.
    info.strokeLength = 500.0f;
    line = MakeLine(info, -4, 10, 0, 1); // start (-5, 10), direction (-1, 0)
    EXPECT_EQ(line.visibleLength, 5.0);
}

TEST(Line, StartInFrameIsStrict)
{
    struct Case {
        double anchorX, anchorY;
        bool inside;
    };
    // Lines pointing toward +x start one pixel right of the anchor.
    const Case cases[] = {
        {-1, 10, false}, // x = 0
        {99, 10, false}, // x = width
        {49, 0, false},  // y = 0
        {49, 50, false}, // y = height
        {-0.5, 10, true},
        {49, 49.5, true},
    };
    for (const auto& c : cases) {
        PFInfo info = Frame(100, 50, 10.0f);
        EXPECT_EQ(MakeLine(info, c.anchorX, c.anchorY, 0, -1).startInFrame, c.inside) << c.anchorX << "," << c.anchorY;
    }
}

TEST(Line, MaxLineLengthTruncatesAndOnlyGrows)
{
    PFInfo info = Frame(1000, 1000, 89.9f);
    MakeLine(info, 500, 500, 1, 0);
    EXPECT_EQ(info.maxLineLength, 89);

    info.strokeLength = 20.0f;
    MakeLine(info, 500, 500, 1, 0);
    EXPECT_EQ(info.maxLineLength, 89);

    info.strokeLength = 300.5f;
    MakeLine(info, 500, 500, 1, 0);
    EXPECT_EQ(info.maxLineLength, 300);
}

TEST(Line, ZeroTangentKeepsItsFieldsButDoesNotRaiseMaxLineLength)
{
    PFInfo info = Frame(100, 100, 42500.0f);
    const Line line = MakeLine(info, 50, 50, 0, 0);
    EXPECT_TRUE(std::isnan(line.direction.x));
    EXPECT_TRUE(std::isnan(line.direction.y));
    // Both edge ratios are not a number: the stroke length is the limit.
    EXPECT_EQ(line.visibleLength, 42500.0);
    EXPECT_EQ(info.maxLineLength, 0);
}
