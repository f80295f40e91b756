// SVG path data: every command kind, absolute and relative forms, subpaths,
// closing, real path data, and clear errors for malformed data.
#include "harness/masks/MaskPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace harness {
namespace {

void ExpectSamePath(const MaskPath& a, const MaskPath& b, double tolerance)
{
    ASSERT_EQ(a.vertices().size(), b.vertices().size());
    EXPECT_EQ(a.isClosed(), b.isClosed());
    for (std::size_t i = 0; i < a.vertices().size(); ++i) {
        const MaskVertex& u = a.vertices()[i];
        const MaskVertex& v = b.vertices()[i];
        EXPECT_NEAR(u.position.x, v.position.x, tolerance) << "vertex " << i;
        EXPECT_NEAR(u.position.y, v.position.y, tolerance) << "vertex " << i;
        EXPECT_NEAR(u.in.x, v.in.x, tolerance) << "vertex " << i;
        EXPECT_NEAR(u.in.y, v.in.y, tolerance) << "vertex " << i;
        EXPECT_NEAR(u.out.x, v.out.x, tolerance) << "vertex " << i;
        EXPECT_NEAR(u.out.y, v.out.y, tolerance) << "vertex " << i;
    }
}

void ExpectVertex(const MaskVertex& v, Vec2 position, Vec2 in, Vec2 out)
{
    EXPECT_NEAR(v.position.x, position.x, 1e-12);
    EXPECT_NEAR(v.position.y, position.y, 1e-12);
    EXPECT_NEAR(v.in.x, in.x, 1e-12);
    EXPECT_NEAR(v.in.y, in.y, 1e-12);
    EXPECT_NEAR(v.out.x, out.x, 1e-12);
    EXPECT_NEAR(v.out.y, out.y, 1e-12);
}

TEST(SvgPathTest, AbsoluteAndRelativeCommandsGiveTheSamePath)
{
    const MaskPath absolute =
        SvgPath("M 10 20 L 30 20 H 50 V 40 C 60 40 70 50 70 60 S 60 80 50 80 Q 40 90 30 80 T 10 80 "
                "A 15 10 30 0 1 5 50 Z");
    const MaskPath relative =
        SvgPath("m 10 20 l 20 0 h 20 v 20 c 10 0 20 10 20 20 s -10 20 -20 20 q -10 10 -20 0 t -20 0 "
                "a 15 10 30 0 1 -5 -30 z");
    ExpectSamePath(absolute, relative, 1e-12);
    EXPECT_EQ(absolute.segmentCount(), 10); // 7 commands, a half-ellipse arc in 2 pieces, the closing edge
}

TEST(SvgPathTest, LinesAreStraightEdgesAndMovesRepeatAsLines)
{
    const MaskPath path = SvgPath("M 10 10 20 10 H 40 V 30 L 10 30");
    ASSERT_EQ(path.vertices().size(), 5u);
    EXPECT_FALSE(path.isClosed());
    const std::vector<Vec2> expected{{10, 10}, {20, 10}, {40, 10}, {40, 30}, {10, 30}};
    for (std::size_t i = 0; i < expected.size(); ++i)
        ExpectVertex(path.vertices()[i], expected[i], {}, {});
    EXPECT_TRUE(path.prepare(1).isStraight());
}

TEST(SvgPathTest, CubicsAndTheirSmoothContinuation)
{
    const MaskPath path = SvgPath("M 0 0 C 10 0 20 10 20 20 S 30 40 40 40");
    ASSERT_EQ(path.vertices().size(), 3u);
    ExpectVertex(path.vertices()[0], {0, 0}, {}, {10, 0});
    // S reflects the previous second control point (20, 10) about (20, 20).
    ExpectVertex(path.vertices()[1], {20, 20}, {0, -10}, {0, 10});
    ExpectVertex(path.vertices()[2], {40, 40}, {-10, 0}, {});

    // S after a non-cubic command starts its first handle at the point.
    const MaskPath plain = SvgPath("M 0 0 L 10 0 S 20 10 20 20");
    ExpectVertex(plain.vertices()[1], {10, 0}, {}, {});
}

TEST(SvgPathTest, QuadraticsAreRaisedToCubics)
{
    const MaskPath path = SvgPath("M 0 0 Q 30 30 60 0 T 120 0");
    ASSERT_EQ(path.vertices().size(), 3u);
    ExpectVertex(path.vertices()[0], {0, 0}, {}, {20, 20});
    // T reflects (30, 30) about (60, 0) to (90, -30).
    ExpectVertex(path.vertices()[1], {60, 0}, {-20, 20}, {20, -20});
    ExpectVertex(path.vertices()[2], {120, 0}, {-20, -20}, {});
    // A quadratic's midpoint: (P0 + 2Q + P2) / 4.
    const PreparedSegment first = path.prepare(0);
    const double t = first.parameterAt(first.length() / 2);
    EXPECT_NEAR(t, 0.5, 1e-9); // symmetric curve
    EXPECT_NEAR(first.evaluate(first.length() / 2).y, 15.0, 1e-9);
}

TEST(SvgPathTest, ArcsBecomeQuarterTurnCubicsOnTheEllipse)
{
    // Half circle of radius 10 around (10, 0), sweep flag 1: clockwise on
    // screen, through the top (10, -10).
    const MaskPath half = SvgPath("M 0 0 A 10 10 0 0 1 20 0");
    ASSERT_EQ(half.segmentCount(), 2);
    ExpectVertex(half.vertices()[1], {10, -10}, {-10 * 0.5522847498307936, 0}, {10 * 0.5522847498307936, 0});
    EXPECT_EQ(half.vertices()[2].position.x, 20.0);
    for (int i = 0; i < 2; ++i) {
        const PreparedSegment segment = half.prepare(i);
        for (int k = 0; k <= 8; ++k) {
            const PathSample p = segment.evaluate(segment.length() * k / 8);
            EXPECT_NEAR(std::hypot(p.x - 10, p.y), 10.0, 10 * 3e-4);
        }
    }

    // Large-arc and sweep flags choose among the four arcs; written
    // without separators as path data often has them.
    const MaskPath large = SvgPath("M0 0a10 10 0 1120 0");
    ASSERT_EQ(large.segmentCount(), 2);
    const MaskPath small = SvgPath("M0 0a20 20 0 0 0 20 0");
    EXPECT_EQ(small.segmentCount(), 1);
    EXPECT_GT(small.vertices()[0].out.y, 0.0); // counter-clockwise on screen: below the chord

    // Radii too small are scaled up; a rotated ellipse; zero radius is a line.
    EXPECT_NEAR(SvgPath("M 0 0 A 1 1 0 0 1 20 0").vertices()[1].position.y, -10.0, 1e-12);
    const MaskPath rotated = SvgPath("M 0 0 A 20 10 90 0 1 0 40");
    EXPECT_NEAR(rotated.vertices()[1].position.x, 10.0, 1e-12);
    EXPECT_NEAR(rotated.vertices()[1].position.y, 20.0, 1e-12);
    EXPECT_TRUE(SvgPath("M 0 0 A 0 5 0 0 1 20 0").prepare(0).isStraight());
}

TEST(SvgPathTest, ClosingFoldsAReturnToTheFirstPoint)
{
    const MaskPath explicitReturn = SvgPath("M 0 0 L 10 0 L 10 10 L 0 0 Z");
    EXPECT_EQ(explicitReturn.vertices().size(), 3u);
    EXPECT_TRUE(explicitReturn.isClosed());
    ExpectSamePath(explicitReturn, SvgPath("M 0 0 L 10 0 L 10 10 Z"), 0);

    // A curve that returns hands its incoming handle to vertex 0.
    const MaskPath curved = SvgPath("M 0 0 L 10 0 C 10 10 5 5 0 3 C -5 0 -3 0 0 0 Z");
    ASSERT_EQ(curved.vertices().size(), 3u);
    ExpectVertex(curved.vertices()[0], {0, 0}, {-3, 0}, {});

    // Without Z the path stays open, even when it ends where it began.
    const MaskPath open = SvgPath("M 0 0 L 10 0 L 10 10 L 0 0");
    EXPECT_FALSE(open.isClosed());
    EXPECT_EQ(open.vertices().size(), 4u);
}

TEST(SvgPathTest, SubpathsAreChosenByIndex)
{
    const std::string data = "M 0 0 L 10 0 L 10 10 Z M 20 20 l 5 0 l 0 5 z m 1 1";
    try {
        SvgPath(data);
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "path data has 2 subpaths; choose one with \"subpath\" (0 to 1)");
    }
    EXPECT_EQ(SvgPath(data, 0).vertices()[1].position.x, 10.0);
    EXPECT_EQ(SvgPath(data, 1).vertices()[0].position.x, 20.0);
    EXPECT_THROW(SvgPath(data, 2), std::runtime_error);
    // A drawing command after Z starts a new subpath at the closed one's start.
    const MaskPath after = SvgPath("M 5 5 L 10 5 L 10 10 Z L 0 0", 1);
    ExpectVertex(after.vertices()[0], {5, 5}, {}, {});
}

TEST(SvgPathTest, MalformedDataNamesThePosition)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "path data is empty"},
        {"L 1 2", "path data: it must begin with a move command (M or m), found 'L' at character 1"},
        {"M 1", "path data: expected a number but the path data ends at character 4"},
        {"M 1 2 X 3", "path data: unknown command 'X' at character 7"},
        {"M 1 2 L 3 x", "path data: expected a number, found 'x' at character 11"},
        {"M 0 0 A 1 1 0 2 0 5 5", "path data: expected an arc flag (0 or 1) at character 15"},
        {"M 1e999 0", "path data: number '1e999' is out of range at character 3"},
        {"M 0 0 L 1 1 Z 4 4", "path data: numbers after a close command (Z) need a command letter first at character 15"},
        {"M 0 0 L 1 1 ;", "path data: unexpected character ';' at character 13"},
        {"M 0 0 M 5 5", "path data draws nothing (no subpath has a segment)"},
        // A number of a million digits is cut in the message.
        {"M 0 0 L 1" + std::string(1000000, '0') + " 5",
         "path data: number '1000000000000000000000000000000000000000...' (1000001 characters) is out of range at "
         "character 9"},
        {"M 0 0 A 1e-300 1e-300 0 1 1 1e300 -1e300",
         "path data: the arc's radii and end points are too far apart in scale to draw it at character 41"},
    };
    for (const auto& [data, message] : cases) {
        try {
            SvgPath(data);
            ADD_FAILURE() << "no error for \"" << data << "\"";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), message) << data;
        }
    }
}

// Radii whose squares underflow: scaled up to reach the end point like any
// radii too small, never a coordinate that is not a number.
TEST(SvgPathTest, ArcOfVanishingRadiiIsAHalfEllipseBetweenItsEnds)
{
    const MaskPath tiny = SvgPath("M 10 10 A 1e-300 1e-300 0 1 1 400 200 Z");
    const MaskPath plain = SvgPath("M 10 10 A 1 1 0 1 1 400 200 Z");
    ExpectSamePath(tiny, plain, 1e-9);
    for (const MaskVertex& v : tiny.vertices())
        EXPECT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.in.x) &&
                    std::isfinite(v.out.y));
}

TEST(SvgPathTest, RealIconPathData)
{
    // A symbolic icon's path data (a magnifier: an outer outline with a
    // handle, a ring inside, and a trailing empty move).
    const std::string data =
        "m 6.5 0 c -3.578125 0 -6.5 2.921875 -6.5 6.5 s 2.921875 6.5 6.5 6.5 c 1.429688 0 2.753906 -0.46875 "
        "3.828125 -1.257812 l 3.945313 3.945312 c 0.957031 0.9375 2.363281 -0.5 1.40625 -1.4375 l -3.929688 "
        "-3.929688 c 0.785156 -1.074218 1.25 -2.394531 1.25 -3.820312 c 0 -3.578125 -2.921875 -6.5 -6.5 -6.5 z "
        "m 0 2 c 2.496094 0 4.5 2.003906 4.5 4.5 s -2.003906 4.5 -4.5 4.5 s -4.5 -2.003906 -4.5 -4.5 s "
        "2.003906 -4.5 4.5 -4.5 z m 0 0";
    EXPECT_THROW(SvgPath(data), std::runtime_error);
    const MaskPath outline = SvgPath(data, 0);
    EXPECT_TRUE(outline.isClosed());
    EXPECT_EQ(outline.segmentCount(), 8); // returns to its start: folded, no closing edge

    // The ring: a circle of radius 4.5 around (6.5, 6.5) from four cubics
    // (with handles of 0.5547 r, so it bulges by up to 0.13 %).
    const MaskPath ring = SvgPath(data, 1);
    ASSERT_EQ(ring.segmentCount(), 4);
    ExpectVertex(ring.vertices()[0], {6.5, 2}, {-2.496094, 0}, {2.496094, 0});
    double length = 0;
    for (int i = 0; i < 4; ++i) {
        const PreparedSegment segment = ring.prepare(i);
        length += segment.length();
        for (int k = 0; k < 4; ++k) {
            const PathSample p = segment.evaluate(segment.length() * k / 4);
            EXPECT_NEAR(std::hypot(p.x - 6.5, p.y - 6.5), 4.5, 4.5 * 2e-3);
        }
    }
    EXPECT_NEAR(length, 2 * std::numbers::pi * 4.5, 2 * std::numbers::pi * 4.5 * 2e-3);

    // Placed in a frame with the scene's affine transform.
    const MaskPath placed = ring.transformed({20, 0, 0, 20, 100, 50});
    EXPECT_NEAR(placed.vertices()[0].position.x, 230.0, 1e-9);
    EXPECT_NEAR(placed.vertices()[0].position.y, 90.0, 1e-9);
}

} // namespace
} // namespace harness
