// The four-line distance measure gives the same bits as the one-line form
// on every lane: random lines and pixels over the sizes renders meet, lines
// far away and without direction, and repeated indices. The quick reach
// test never turns away a line the exact measure puts within the
// tolerance, and does turn away lines far from the pixel.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "geometry/FineLine.h"
#include "geometry/FineLineDistance.h"
#include "geometry/PortableMath.h"

namespace {

using Linestra::FineLine;
using Linestra::FloatPoint;
using Linestra::Int32Point;

FineLine lineAt(float x, float y, float angle)
{
    const FloatPoint direction{Linestra::PortableMath::cos(angle), Linestra::PortableMath::sin(angle)};
    const float fan = Linestra::fanAngle(direction);
    return FineLine{{x, y}, direction, Linestra::PortableMath::sin(fan), Linestra::PortableMath::cos(fan), 0.0f, 0.0f};
}

void expectLanesMatchOneByOne(const std::vector<FineLine>& lines, const std::int32_t* index, Int32Point pixel)
{
    float r[Linestra::kDistanceLanes];
    float e[Linestra::kDistanceLanes];
    Linestra::candidateDistances(lines.data(), index, pixel, r, e);
    for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
        const FineLine& line = lines[static_cast<std::size_t>(index[k])];
        const float oneR = Linestra::distanceToStart(line, pixel);
        const float oneE = Linestra::perpendicularDistance(line, pixel, oneR);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(r[k]), std::bit_cast<std::uint32_t>(oneR)) << "lane " << k;
        if (std::isnan(oneE))
            EXPECT_TRUE(std::isnan(e[k])) << "lane " << k;
        else
            EXPECT_EQ(std::bit_cast<std::uint32_t>(e[k]), std::bit_cast<std::uint32_t>(oneE)) << "lane " << k;
    }
}

TEST(FineLineDistance, FourLanesGiveTheBitsOfOneLine)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> position(-200.0f, 4200.0f);
    std::uniform_real_distribution<float> angle(-7.0f, 7.0f);
    std::uniform_int_distribution<int> pixelCoordinate(0, 3999);
    std::vector<FineLine> lines;
    for (int i = 0; i < 4096; ++i)
        lines.push_back(lineAt(position(random), position(random), angle(random)));
    std::uniform_int_distribution<std::int32_t> pick(0, static_cast<std::int32_t>(lines.size()) - 1);
    for (int trial = 0; trial < 200000; ++trial) {
        const std::int32_t index[4] = {pick(random), pick(random), pick(random), pick(random)};
        expectLanesMatchOneByOne(lines, index, Int32Point{pixelCoordinate(random), pixelCoordinate(random)});
    }
}

TEST(FineLineDistance, DegenerateLinesAndRepeatedIndices)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<FineLine> lines{
        lineAt(10.0f, 10.0f, 0.0f),
        FineLine{{5.0f, 5.0f}, {nan, nan}, nan, nan, 0.0f, 0.0f}, // a line without direction
        lineAt(3e7f, -3e7f, 1.0f),                                 // far outside any frame
        lineAt(0.5f, 0.5f, 3.1415927f),
    };
    const std::int32_t index[4] = {0, 1, 2, 3};
    expectLanesMatchOneByOne(lines, index, Int32Point{0, 0});
    expectLanesMatchOneByOne(lines, index, Int32Point{30000, 17});
    const std::int32_t same[4] = {3, 3, 0, 0};
    expectLanesMatchOneByOne(lines, same, Int32Point{1, 0});
}

// The hardest tolerance for the reach test is the line's own e: the exact
// measure then just passes.
TEST(FineLineDistance, ReachTestKeepsEveryLineWithinTheTolerance)
{
    std::mt19937 random(23);
    std::uniform_real_distribution<float> angle(-7.0f, 7.0f);
    std::uniform_real_distribution<float> across(-0.6f, 0.6f);
    long long turnedAway = 0;
    for (const float size : {64.0f, 4000.0f, 30000.0f, 1.0e6f}) {
        std::uniform_real_distribution<float> position(-0.1f * size, size);
        for (int trial = 0; trial < 50000; ++trial) {
            std::vector<FineLine> lines;
            Int32Point pixel{};
            for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
                lines.push_back(lineAt(position(random), position(random), angle(random)));
                if (k == 0) {
                    // A pixel near the first line, some way along it or
                    // behind its start (where the exact measure's rounding
                    // is largest).
                    const FineLine& line = lines.front();
                    const float along = position(random) - 0.45f * size;
                    const float off = across(random);
                    pixel = Int32Point{
                        static_cast<std::int32_t>(std::lround(line.start.x + along * line.direction.x - off * line.direction.y)),
                        static_cast<std::int32_t>(std::lround(line.start.y + along * line.direction.y + off * line.direction.x))};
                }
            }
            const std::int32_t index[4] = {0, 1, 2, 3};
            float r[Linestra::kDistanceLanes];
            float e[Linestra::kDistanceLanes];
            Linestra::candidateDistances(lines.data(), index, pixel, r, e);
            for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
                for (const float tolerance : {e[k], 0.05f, 0.15f}) {
                    const int reach = Linestra::candidatesWithinReach(lines.data(), index, pixel, tolerance);
                    if (e[k] <= tolerance)
                        ASSERT_TRUE((reach >> k) & 1) << "size " << size << " lane " << k << " e " << e[k];
                    else if (((reach >> k) & 1) == 0)
                        ++turnedAway;
                }
            }
        }
    }
    EXPECT_GT(turnedAway, 100000) << "the reach test should spare most distant lines the exact measure";
}

TEST(FineLineDistance, ReachTestKeepsLinesWithoutDirection)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const std::vector<FineLine> lines{
        FineLine{{5.0f, 5.0f}, {nan, nan}, nan, nan, 0.0f, 0.0f},
        FineLine{{nan, 5.0f}, {1.0f, 0.0f}, 0.0f, 1.0f, 0.0f, 0.0f},
        FineLine{{infinity, 5.0f}, {0.0f, 1.0f}, -1.0f, 0.0f, 0.0f, 0.0f},
        lineAt(1000.0f, 1000.0f, 0.5f),
    };
    const std::int32_t index[4] = {0, 1, 2, 3};
    const int reach = Linestra::candidatesWithinReach(lines.data(), index, Int32Point{3, 4}, 0.05f);
    EXPECT_EQ(reach & 0b0111, 0b0111) << "a line the test cannot measure is measured exactly";
    EXPECT_EQ(reach & 0b1000, 0) << "a line far from the pixel is turned away";
}

} // namespace
