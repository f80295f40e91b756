// The fan angles of the fine line table, measured on the host's threads in
// chunks: every line gets the sine and cosine of its own direction.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "geometry/FineLine.h"
#include "render/FineLineTable.h"

namespace {

PF_Err runInOrder(A_long iterations, void* refcon, PF_IterateGenericFunc fn)
{
    for (A_long i = 0; i < iterations; ++i)
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
// each be measured.
TEST(FanAngles, EveryLineGetsTheAngleOfItsOwnDirection)
{
    const Linestra::FloatPoint directions[] = {{0.0f, 1.0f}, {-0.0f, 1.0f}, {0.6f, -0.8f}, {-1.0f, 0.0f},
                                               {-1.0f, -0.0f}, {0.0f, -1.0f}, {-0.0f, -1.0f}};
    std::vector<Linestra::FineLine> lines;
    for (int run = 0; run < 3000; ++run)
        for (int k = 0; k <= run % 4; ++k)
            lines.push_back(lineAlong(directions[run % 7].x, directions[run % 7].y));
    FineLineStore store;
    for (const Linestra::FineLine& line : lines)
        store.push_back(line);

    PF_Iterate8Suite1 suite{};
    suite.iterate_generic = &runInOrder;
    ASSERT_EQ(measureFanAngles(store, &suite), PF_Err_NONE);

    for (std::size_t n = 0; n < lines.size(); ++n) {
        Linestra::FineLine expected = lines[n];
        Linestra::measureFanAngle(expected);
        ASSERT_EQ(bits(store[n].sinAngle, store[n].cosAngle), bits(expected.sinAngle, expected.cosAngle))
            << "line " << n;
    }
}

} // namespace
