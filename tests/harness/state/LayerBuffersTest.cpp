#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "harness/state/LayerBuffers.h"

namespace {

using harness::OwnedWorld;

OwnedWorld Row8(std::initializer_list<int> reds)
{
    OwnedWorld w(static_cast<A_long>(reds.size()), 1, PF_PixelFormat_ARGB32);
    A_long x = 0;
    for (int r : reds)
        w.row<PF_Pixel>(0)[x++] = {255, static_cast<A_u_char>(r), 0, 0};
    return w;
}

TEST(LayerBuffers, ScaledSizeRoundsUp)
{
    EXPECT_EQ(harness::ScaledSize(21, 1, 2), 11);
    EXPECT_EQ(harness::ScaledSize(20, 1, 2), 10);
    EXPECT_EQ(harness::ScaledSize(10, 2, 3), 7);
    EXPECT_EQ(harness::ScaledSize(0, 1, 4), 0);
    EXPECT_THROW(harness::ScaledSize(10, 0, 1), std::invalid_argument);
}

TEST(LayerBuffers, AreaAverageWeightsCoverageAndRoundsHalfAway)
{
    // Half resolution: pixel 0 averages source 0 and 1, the last pixel covers source 2 alone.
    const OwnedWorld half = harness::DownsampleWorld(Row8({1, 2, 7}), 1, 2, 1, 1);
    ASSERT_EQ(half.width(), 2);
    EXPECT_EQ(half.row<PF_Pixel>(0)[0].red, 2); // 1.5 rounds away from zero
    EXPECT_EQ(half.row<PF_Pixel>(0)[1].red, 7);

    // Two thirds: pixel 0 covers [0, 1.5): source 0 fully, source 1 by half.
    const OwnedWorld twoThirds = harness::DownsampleWorld(Row8({30, 60, 90}), 2, 3, 1, 1);
    ASSERT_EQ(twoThirds.width(), 2);
    EXPECT_EQ(twoThirds.row<PF_Pixel>(0)[0].red, 40); // (30 + 0.5 * 60) / 1.5
    EXPECT_EQ(twoThirds.row<PF_Pixel>(0)[1].red, 80); // (0.5 * 60 + 90) / 1.5
}

TEST(LayerBuffers, AreaAverageInTwoDimensionsInEveryFormat)
{
    OwnedWorld f(3, 3, PF_PixelFormat_ARGB128);
    for (A_long y = 0; y < 3; ++y)
        for (A_long x = 0; x < 3; ++x)
            f.row<PF_PixelFloat>(y)[x] = {1.0f, static_cast<float>(x + 3 * y), 0.25f, -1.0f};
    const OwnedWorld small = harness::DownsampleWorld(f, 1, 2, 1, 2);
    ASSERT_EQ(small.width(), 2);
    ASSERT_EQ(small.height(), 2);
    EXPECT_EQ(small.row<PF_PixelFloat>(0)[0].red, 2.0f); // (0 + 1 + 3 + 4) / 4
    EXPECT_EQ(small.row<PF_PixelFloat>(0)[1].red, 3.5f); // (2 + 5) / 2
    EXPECT_EQ(small.row<PF_PixelFloat>(1)[1].red, 8.0f);
    EXPECT_EQ(small.row<PF_PixelFloat>(1)[0].blue, -1.0f); // never clamped
    EXPECT_GT(small.world().rowbytes, 2 * 16);

    OwnedWorld d(2, 1, PF_PixelFormat_ARGB64);
    d.row<PF_Pixel16>(0)[0] = {32768, 0, 1, 32768};
    d.row<PF_Pixel16>(0)[1] = {32767, 1, 2, 32768};
    const OwnedWorld one = harness::DownsampleWorld(d, 1, 2, 1, 1);
    EXPECT_EQ(one.row<PF_Pixel16>(0)[0].alpha, 32768); // 32767.5
    EXPECT_EQ(one.row<PF_Pixel16>(0)[0].red, 1);       // 0.5
    EXPECT_EQ(one.row<PF_Pixel16>(0)[0].green, 2);     // 1.5
}

// Every render scale n/d with n <= d <= 16, on 8-bit and 16-bit pictures of
// whole numbers, against the exact rational average rounded half away from
// zero in integer arithmetic (the weights, in 1/n of a source pixel, are
// whole numbers; so is the rational average's numerator).
TEST(LayerBuffers, AreaAverageIsTheExactRationalAverage)
{
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64}) {
        const std::int64_t white = format == PF_PixelFormat_ARGB32 ? 255 : 32768;
        const A_long width = 37;
        const A_long height = 23;
        OwnedWorld picture(width, height, format);
        std::vector<std::int64_t> red(static_cast<std::size_t>(width * height));
        for (A_long y = 0; y < height; ++y)
            for (A_long x = 0; x < width; ++x) {
                const std::int64_t v = static_cast<std::int64_t>(next() % static_cast<std::uint32_t>(white + 1));
                red[static_cast<std::size_t>(y * width + x)] = v;
                if (format == PF_PixelFormat_ARGB32)
                    picture.row<PF_Pixel>(y)[x] = {255, static_cast<A_u_char>(v), 0, 0};
                else
                    picture.row<PF_Pixel16>(y)[x] = {32768, static_cast<A_u_short>(v), 0, 0};
            }
        for (A_long d = 1; d <= 16; ++d) {
            for (A_long n = 1; n <= d; ++n) {
                const OwnedWorld small = harness::DownsampleWorld(picture, n, static_cast<A_u_long>(d), n,
                                                                   static_cast<A_u_long>(d));
                // Coverage of source k by output i along an axis, in 1/n.
                auto cover = [n, d](A_long i, A_long k, A_long size) {
                    const std::int64_t lo = std::max<std::int64_t>(std::int64_t{i} * d, std::int64_t{k} * n);
                    const std::int64_t hi = std::min({std::int64_t{i + 1} * d, std::int64_t{k + 1} * n,
                                                      std::int64_t{size} * n});
                    return std::max<std::int64_t>(0, hi - lo);
                };
                for (A_long j = 0; j < small.height(); ++j)
                    for (A_long i = 0; i < small.width(); ++i) {
                        std::int64_t sum = 0;
                        std::int64_t total = 0;
                        for (A_long y = 0; y < height; ++y)
                            for (A_long x = 0; x < width; ++x) {
                                const std::int64_t w = cover(i, x, width) * cover(j, y, height);
                                sum += red[static_cast<std::size_t>(y * width + x)] * w;
                                total += w;
                            }
                        const std::int64_t rounded = (2 * sum + total) / (2 * total); // half away from zero
                        const std::int64_t actual = format == PF_PixelFormat_ARGB32
                                                        ? small.row<PF_Pixel>(j)[i].red
                                                        : small.row<PF_Pixel16>(j)[i].red;
                        ASSERT_EQ(actual, rounded) << n << "/" << d << " pixel " << i << ", " << j;
                    }
            }
        }
    }
}

TEST(LayerBuffers, ConversionsMapWhiteToWhite)
{
    OwnedWorld w = Row8({255, 1, 0});
    const OwnedWorld deep = harness::ConvertWorld(w, PF_PixelFormat_ARGB64);
    EXPECT_EQ(deep.row<PF_Pixel16>(0)[0].red, 32768);
    EXPECT_EQ(deep.row<PF_Pixel16>(0)[1].red, 129); // 128.50196 rounds up
    EXPECT_EQ(deep.row<PF_Pixel16>(0)[0].alpha, 32768);
    const OwnedWorld flt = harness::ConvertWorld(w, PF_PixelFormat_ARGB128);
    EXPECT_EQ(flt.row<PF_PixelFloat>(0)[0].red, 1.0f);
    EXPECT_EQ(flt.row<PF_PixelFloat>(0)[1].red, 1.0f / 255.0f);
    const OwnedWorld back = harness::ConvertWorld(deep, PF_PixelFormat_ARGB32);
    EXPECT_EQ(back.row<PF_Pixel>(0)[1].red, 1);

    OwnedWorld f(3, 1, PF_PixelFormat_ARGB128);
    f.row<PF_PixelFloat>(0)[0] = {1.5f, -0.25f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
    const OwnedWorld clamped = harness::ConvertWorld(f, PF_PixelFormat_ARGB32);
    EXPECT_EQ(clamped.row<PF_Pixel>(0)[0].alpha, 255);
    EXPECT_EQ(clamped.row<PF_Pixel>(0)[0].red, 0);
    EXPECT_EQ(clamped.row<PF_Pixel>(0)[0].green, 0);
    EXPECT_EQ(clamped.row<PF_Pixel>(0)[0].blue, 128); // 127.5
}

TEST(LayerBuffers, HashIgnoresPadding)
{
    OwnedWorld w(3, 2, PF_PixelFormat_ARGB32);
    const std::uint64_t before = harness::HashPixels(w.world(), w.format());
    w.row<unsigned char>(0)[3 * 4] = 99; // first padding byte
    EXPECT_EQ(harness::HashPixels(w.world(), w.format()), before);
    w.row<PF_Pixel>(1)[2].red = 1;
    EXPECT_NE(harness::HashPixels(w.world(), w.format()), before);
}

} // namespace
