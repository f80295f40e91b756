// Mask path measurement: straight edges by their exact formula, curves
// against analytic lengths, lookups by length, render scale and affine
// transforms, and the shapes scene files give.
#include "harness/masks/MaskPath.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace harness {
namespace {

MaskPath OpenCurve(Vec2 p0, Vec2 p1, Vec2 p2, Vec2 p3)
{
    return MaskPath({MaskVertex{p0, {}, {p1.x - p0.x, p1.y - p0.y}}, MaskVertex{p3, {p2.x - p3.x, p2.y - p3.y}, {}}},
                    false);
}

TEST(MaskPathTest, SegmentCountsOfOpenClosedAndEmptyPaths)
{
    const std::vector<Vec2> three{{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(PolygonPath(three, false).segmentCount(), 2);
    EXPECT_EQ(PolygonPath(three, true).segmentCount(), 3);
    EXPECT_EQ(MaskPath({}, true).segmentCount(), 0);
    EXPECT_EQ(PolygonPath({{5, 5}}, true).segmentCount(), 1);
    EXPECT_THROW(PolygonPath(three, false).controlPoints(2), std::out_of_range);
}

TEST(MaskPathTest, StraightEdgeFollowsItsFormulaExactly)
{
    const MaskPath path = PolygonPath({{1.25, -3.5}, {101.75, 40.125}}, false);
    const double dx = 100.5, dy = 43.625;
    const double length = std::hypot(dx, dy);
    EXPECT_EQ(path.segmentLength(0), length);
    for (const double s : {0.0, 0.1, 17.3, length / 3, length}) {
        const PathSample p = path.evaluate(0, s);
        EXPECT_EQ(p.x, 1.25 + dx * (s / length)) << s;
        EXPECT_EQ(p.y, -3.5 + dy * (s / length)) << s;
        EXPECT_EQ(p.dx, dx);
        EXPECT_EQ(p.dy, dy);
    }
}

TEST(MaskPathTest, ZeroLengthEdgeGivesItsPointAndNoDirection)
{
    const MaskPath path = PolygonPath({{7, 8}, {7, 8}}, false);
    EXPECT_EQ(path.segmentLength(0), 0.0);
    const PathSample p = path.evaluate(0, 0.0);
    EXPECT_EQ(p.x, 7.0);
    EXPECT_EQ(p.y, 8.0);
    EXPECT_EQ(p.dx, 0.0);
    EXPECT_EQ(p.dy, 0.0);
}

TEST(MaskPathTest, CurveLengthsMatchClosedForms)
{
    // A cubic that is a parabola y = x^2 on [0, 1] (a quadratic raised):
    // length (2 sqrt(5) + asinh(2)) / 4.
    const MaskPath parabola = OpenCurve({0, 0}, {1.0 / 3, 0}, {2.0 / 3, 1.0 / 3}, {1, 1});
    const double parabolaLength = (2 * std::sqrt(5.0) + std::asinh(2.0)) / 4;
    EXPECT_NEAR(parabola.segmentLength(0), parabolaLength, 1e-12 * parabolaLength);

    // Collinear handles placed unevenly: the curve is the straight segment,
    // traversed at a varying speed.
    const MaskPath line = OpenCurve({0, 0}, {60, 80}, {63, 84}, {90, 120});
    EXPECT_NEAR(line.segmentLength(0), 150.0, 150.0 * 1e-12);

    // A cusp: the curve runs out to x = 0.75 and back (speed zero there).
    const MaskPath cusp = OpenCurve({0, 0}, {1, 0}, {1, 0}, {0, 0});
    EXPECT_NEAR(cusp.segmentLength(0), 1.5, 1.5 * 1e-12);
}

// A curve so small that its squared speeds lose their precision: measured at
// once (the absolute bound ends the subdivision), its length of the right
// size and its points on the curve. Unbounded, this took half a minute.
TEST(MaskPathTest, VanishinglySmallCurveIsMeasuredAtOnce)
{
    const MaskPath path = SvgPath("M0 0T0 1e-159 0 0");
    const auto start = std::chrono::steady_clock::now();
    for (int segment = 0; segment < path.segmentCount(); ++segment) {
        const PreparedSegment prepared = path.prepare(segment, 64);
        EXPECT_GT(prepared.length(), 0.0);
        EXPECT_LT(prepared.length(), 1e-158);
        const PathSample middle = prepared.evaluate(prepared.length() / 2);
        EXPECT_TRUE(std::isfinite(middle.x) && std::isfinite(middle.y));
        EXPECT_LE(std::fabs(middle.y), 2e-159);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// The absolute bound leaves ordinary segments alone: a curve keeps its
// relative accuracy whatever its size, down to a thousandth of a pixel.
TEST(MaskPathTest, RelativeAccuracyHoldsFromAThousandthOfAPixelUp)
{
    const double parabolaLength = (2 * std::sqrt(5.0) + std::asinh(2.0)) / 4;
    for (const double k : {1e-3, 1e-2, 1.0, 1e3, 1e5}) {
        const MaskPath parabola = OpenCurve({0, 0}, {k / 3, 0}, {2 * k / 3, k / 3}, {k, k});
        EXPECT_NEAR(parabola.segmentLength(0), parabolaLength * k, 1e-12 * parabolaLength * k) << "scale " << k;
    }
}

TEST(MaskPathTest, EvaluationAtTheEndsGivesTheEndPoints)
{
    const MaskPath path = OpenCurve({10, 20}, {50, -40}, {120, 90}, {200, 30});
    const double length = path.segmentLength(0);
    const PathSample start = path.evaluate(0, 0);
    const PathSample end = path.evaluate(0, length);
    EXPECT_EQ(start.x, 10.0);
    EXPECT_EQ(start.y, 20.0);
    EXPECT_EQ(end.x, 200.0);
    EXPECT_EQ(end.y, 30.0);
    // dB/dt at the ends: three times the handles.
    EXPECT_EQ(start.dx, 120.0);
    EXPECT_EQ(start.dy, -180.0);
    EXPECT_EQ(end.dx, 240.0);
    EXPECT_EQ(end.dy, -180.0);
}

// Arc length from 0 to t by composite Simpson with many steps: an
// independent reference for the lookup.
double ReferenceLength(const std::array<Vec2, 4>& p, double t)
{
    const auto speed = [&p](double u) {
        const double m = 1 - u;
        const double x = 3 * m * m * (p[1].x - p[0].x) + 6 * m * u * (p[2].x - p[1].x) + 3 * u * u * (p[3].x - p[2].x);
        const double y = 3 * m * m * (p[1].y - p[0].y) + 6 * m * u * (p[2].y - p[1].y) + 3 * u * u * (p[3].y - p[2].y);
        return std::hypot(x, y);
    };
    const int steps = 20000;
    const double h = t / steps;
    double sum = speed(0) + speed(t);
    for (int i = 1; i < steps; ++i)
        sum += (i % 2 ? 4 : 2) * speed(i * h);
    return sum * h / 3;
}

TEST(MaskPathTest, CircleOfFourCubicsHasItsKnownLength)
{
    // Four cubics with handles of 0.5522847498 r lie slightly outside the
    // circle; their length exceeds 2 pi r by 1.4029e-4 of it. Each quarter
    // is measured against an independent Simpson integration, the whole
    // against the circumference.
    for (const double r : {0.5, 10.0, 250.0}) {
        const MaskPath circle = EllipsePath(3, 4, r, r);
        ASSERT_EQ(circle.segmentCount(), 4);
        double total = 0;
        for (int i = 0; i < 4; ++i) {
            const double quarter = circle.segmentLength(i);
            EXPECT_NEAR(quarter, ReferenceLength(circle.controlPoints(i), 1.0), 1e-11 * quarter) << r;
            total += quarter;
        }
        EXPECT_NEAR(total / (2 * std::numbers::pi * r), 1.00014029270, 1e-6) << r;
    }
}

TEST(MaskPathTest, PointAtLengthLiesAtThatArcLength)
{
    const MaskPath path = OpenCurve({10, 20}, {50, -40}, {120, 90}, {200, 30});
    const std::array<Vec2, 4> p = path.controlPoints(0);
    const PreparedSegment segment = path.prepare(0, 10);
    EXPECT_NEAR(segment.length(), ReferenceLength(p, 1.0), 1e-9);
    for (const double fraction : {0.05, 0.3, 0.5, 0.77, 0.999}) {
        const double s = fraction * segment.length();
        const double t = segment.parameterAt(s);
        EXPECT_NEAR(ReferenceLength(p, t), s, 1e-9) << fraction;
        const PathSample sample = segment.evaluate(s);
        const double m = 1 - t;
        EXPECT_NEAR(sample.x, m * m * m * 10 + 3 * m * m * t * 50 + 3 * m * t * t * 120 + t * t * t * 200, 1e-9);
        EXPECT_NEAR(sample.y, m * m * m * 20 + 3 * m * m * t * -40 + 3 * m * t * t * 90 + t * t * t * 30, 1e-9);
    }
}

TEST(MaskPathTest, LookupTableSizeDoesNotChangeResults)
{
    const MaskPath path = OpenCurve({0, 0}, {300, 0}, {-100, 200}, {200, 200});
    const PreparedSegment coarse = path.prepare(0, 1);
    const PreparedSegment fine = path.prepare(0, 1000);
    EXPECT_NEAR(coarse.length(), fine.length(), 1e-12 * fine.length());
    for (int i = 0; i <= 100; ++i) {
        const double s = fine.length() * i / 100;
        const PathSample a = coarse.evaluate(s);
        const PathSample b = fine.evaluate(s);
        EXPECT_NEAR(a.x, b.x, 1e-9);
        EXPECT_NEAR(a.y, b.y, 1e-9);
    }
}

// The piece an evaluation last used is only where the lookup looks first:
// whatever it names, the result has the bits of a lookup without it, at
// pieces' starts, just either side of them and at random lengths.
TEST(MaskPathTest, PieceHintNeverChangesAResult)
{
    const MaskPath path = OpenCurve({0, 0}, {300, 0}, {-100, 200}, {200, 200});
    const PreparedSegment segment = path.prepare(0, 16);
    const std::vector<double> starts = segment.pieceStarts();
    ASSERT_GE(starts.size(), 16u);
    std::vector<double> lengths;
    for (const double start : starts)
        for (const double s : {start, std::nextafter(start, -1.0), std::nextafter(start, 1e9)})
            lengths.push_back(s);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> anywhere(-1.0, segment.length() + 1.0);
    for (int i = 0; i < 2000; ++i)
        lengths.push_back(anywhere(random));
    lengths.push_back(segment.length());

    auto sameBits = [](const PathSample& a, const PathSample& b) {
        return std::bit_cast<std::uint64_t>(a.x) == std::bit_cast<std::uint64_t>(b.x) &&
               std::bit_cast<std::uint64_t>(a.y) == std::bit_cast<std::uint64_t>(b.y) &&
               std::bit_cast<std::uint64_t>(a.dx) == std::bit_cast<std::uint64_t>(b.dx) &&
               std::bit_cast<std::uint64_t>(a.dy) == std::bit_cast<std::uint64_t>(b.dy);
    };
    std::size_t carried = 0; // carried from one lookup to the next, as the host does
    for (const double s : lengths) {
        const PathSample expected = segment.evaluate(s);
        EXPECT_TRUE(sameBits(segment.evaluate(s, carried), expected)) << s;
        for (std::size_t k = 0; k < starts.size(); ++k) {
            std::size_t hint = k;
            ASSERT_TRUE(sameBits(segment.evaluate(s, hint), expected)) << s << " from piece " << k;
        }
        for (std::size_t hint : {starts.size(), starts.size() + 5, SIZE_MAX}) {
            ASSERT_TRUE(sameBits(segment.evaluate(s, hint), expected)) << s << " from " << hint;
        }
    }
}

TEST(MaskPathTest, RetractedHandleGivesZeroDerivativeAtThatEnd)
{
    // Out-handle of the first vertex retracted, the other one not: a curve
    // whose dB/dt vanishes at t = 0.
    const MaskPath path = OpenCurve({0, 0}, {0, 0}, {50, 100}, {100, 0});
    const PathSample start = path.evaluate(0, 0);
    EXPECT_EQ(start.dx, 0.0);
    EXPECT_EQ(start.dy, 0.0);
    const PathSample inside = path.evaluate(0, 1.0);
    EXPECT_GT(std::hypot(inside.dx, inside.dy), 0.0);
}

TEST(MaskPathTest, RenderScaleAppliesBeforeMeasuring)
{
    const MaskPath full = EllipsePath(200, 100, 80, 40);
    const MaskPath half = full.scaled(1, 2, 1, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(half.segmentLength(i), full.segmentLength(i) / 2, 1e-12 * full.segmentLength(i)) << i;
    const PathSample a = full.evaluate(1, full.segmentLength(1) * 0.4);
    const PathSample b = half.evaluate(1, half.segmentLength(1) * 0.4);
    EXPECT_NEAR(b.x, a.x / 2, 1e-9);
    EXPECT_NEAR(b.y, a.y / 2, 1e-9);

    // Each coordinate is (x * n) / d in double, handles likewise.
    const MaskPath odd = full.scaled(1, 3, 2, 3);
    const MaskVertex& v = odd.vertices()[1];
    EXPECT_EQ(v.position.x, 280.0 * 1 / 3);
    EXPECT_EQ(v.position.y, 100.0 * 2 / 3);
    EXPECT_EQ(v.out.y, (0.5522847498 * 40) * 2 / 3);

    // A coordinate whose product with n overflows scales as the reduced
    // fraction would: 2/4 like 1/2, not to infinity.
    const double huge = std::numeric_limits<double>::max();
    const MaskPath far({MaskVertex{{huge, -huge}, {}, {}}, MaskVertex{{0, 0}, {}, {}}}, false);
    EXPECT_EQ(far.scaled(2, 4, 2, 4).vertices()[0].position.x, huge / 2);
    EXPECT_EQ(far.scaled(2, 4, 2, 4).vertices()[0].position.y, -huge / 2);
}

TEST(MaskPathTest, AffineTransformMovesVerticesAndTurnsHandles)
{
    const MaskPath path({MaskVertex{{10, 20}, {-1, 0}, {0, 2}}}, true);
    // x' = 2x - y + 5, y' = x + 3y - 7
    const MaskPath moved = path.transformed({2, 1, -1, 3, 5, -7});
    const MaskVertex& v = moved.vertices()[0];
    EXPECT_EQ(v.position.x, 5.0);
    EXPECT_EQ(v.position.y, 63.0);
    EXPECT_EQ(v.in.x, -2.0);
    EXPECT_EQ(v.in.y, -1.0);
    EXPECT_EQ(v.out.x, -2.0);
    EXPECT_EQ(v.out.y, 6.0);
}

TEST(MaskPathTest, ShapesStartAtTheTopAndRunClockwise)
{
    const MaskPath circle = EllipsePath(100, 50, 20, 10);
    ASSERT_EQ(circle.vertices().size(), 4u);
    const double k = 0.5522847498;
    const std::array<Vec2, 4> first = circle.controlPoints(0);
    EXPECT_EQ(first[0].x, 100.0);
    EXPECT_EQ(first[0].y, 40.0); // top
    EXPECT_EQ(first[1].x, 100.0 + k * 20);
    EXPECT_EQ(first[2].y, 50.0 - k * 10);
    EXPECT_EQ(first[3].x, 120.0); // right
    EXPECT_EQ(circle.vertices()[2].position.y, 60.0); // bottom
    EXPECT_EQ(circle.vertices()[3].position.x, 80.0); // left

    const MaskPath rect = RectanglePath(10, 20, 30, 40);
    const std::vector<std::pair<double, double>> corners{{10, 20}, {40, 20}, {40, 60}, {10, 60}};
    ASSERT_EQ(rect.vertices().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rect.vertices()[i].position.x, corners[i].first);
        EXPECT_EQ(rect.vertices()[i].position.y, corners[i].second);
    }
    EXPECT_TRUE(rect.isClosed());
    EXPECT_THROW(EllipsePath(0, 0, 0, 5), std::invalid_argument);
    EXPECT_THROW(RectanglePath(0, 0, 5, -1), std::invalid_argument);
}

TEST(MaskPathTest, NonFiniteCoordinatesAreRefused)
{
    EXPECT_THROW(PolygonPath({{0, 0}, {std::nan(""), 1}}, true), std::invalid_argument);
    EXPECT_THROW(MaskPath({MaskVertex{{0, 0}, {HUGE_VAL, 0}, {}}}, true), std::invalid_argument);
}

} // namespace
} // namespace harness
