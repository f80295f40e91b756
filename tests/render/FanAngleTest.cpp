// The fan angles of the fine line table, measured on the host's threads in
// chunks: every line gets the sine and cosine of its own direction.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "geometry/FineLine.h"
#include "render/FineLineTable.h"

namespace {

// The chunks last to first, so that a chunk that read the line before its
// first (another chunk's, not measured yet) would take a wrong angle.
PF_Err runLastFirst(A_long iterations, void* refcon, PF_IterateGenericFunc fn)
{
    for (A_long i = iterations - 1; i >= 0; --i)
        if (const PF_Err err = fn(refcon, 0, i, iterations))
            return err;
    return PF_Err_NONE;
}

Linestra::FineLine lineAlong(float x, float y)
{
    Linestra::FineLine line{};
    line.direction = {x, y};
    return line;
}

std::uint64_t bits(float a, float b)
{
    return (std::uint64_t{std::bit_cast<std::uint32_t>(a)} << 32) | std::bit_cast<std::uint32_t>(b);
}

// Runs of equal directions share one measurement; directions that compare
// equal but differ in the sign of a zero point to opposite sides and must
// each be measured, as must those that are not a number. One run crosses
// the end of the first chunk of lines.
TEST(FanAngles, EveryLineGetsTheAngleOfItsOwnDirection)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const Linestra::FloatPoint directions[] = {{0.0f, 1.0f},  {-0.0f, 1.0f},  {0.6f, -0.8f},
                                               {-1.0f, 0.0f}, {-1.0f, -0.0f}, {0.0f, -1.0f},
                                               {-0.0f, -1.0f}, {nan, nan},    {infinity, 1.0f}};
    constexpr int kKinds = sizeof directions / sizeof directions[0];
    std::vector<Linestra::FineLine> lines;
    for (int run = 0; run < 3000; ++run)
        for (int k = 0; k <= run % 4; ++k)
            lines.push_back(lineAlong(directions[run % kKinds].x, directions[run % kKinds].y));
    constexpr std::size_t kChunk = 4096;
    ASSERT_GT(lines.size(), kChunk + 8);
    for (std::size_t n = kChunk - 4; n < kChunk + 4; ++n)
        lines[n] = lineAlong(0.6f, -0.8f);
    FineLineStore store;
    for (const Linestra::FineLine& line : lines)
        store.push_back(line);

    PF_Iterate8Suite1 suite{};
    suite.iterate_generic = &runLastFirst;
    ASSERT_EQ(measureFanAngles(store, &suite), PF_Err_NONE);

    for (std::size_t n = 0; n < lines.size(); ++n) {
        Linestra::FineLine expected = lines[n];
        Linestra::measureFanAngle(expected);
        ASSERT_EQ(bits(store[n].sinAngle, store[n].cosAngle), bits(expected.sinAngle, expected.cosAngle))
            << "line " << n;
    }
}

} // namespace
