// The four-channels-side-by-side forms of the bilinear blend, of the
// averages of area sampling and of compositing give the bits of the
// one-channel-at-a-time forms: every 8-bit case, a grid of 16-bit cases
// around the format's edges, and random and special float values. (Without
// SSE2 there is only one form.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "PixelTestSupport.h"
#include "geometry/Rounding.h"
#include "pixels/ColourOutput.h"
#include "pixels/TextureSampling.h"

#ifdef LINESTRA_SSE2_CHANNELS

using namespace pixeltest;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Channels equal bit for bit, or both not a number (which payload a NaN
// carries is not part of a pixel).
bool sameFloat(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// The same pixel: integer channels equal (pixelEq), float channels the same
// bits, the sign of a zero included.
template <typename T>
::testing::AssertionResult sameBits(const T& got, const T& want)
{
    if constexpr (std::is_same_v<T, PF_PixelFloat>) {
        if (sameFloat(got.alpha, want.alpha) && sameFloat(got.red, want.red) && sameFloat(got.green, want.green) &&
            sameFloat(got.blue, want.blue))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the bits differ " << pixelEq(got, want).message();
    } else {
        return pixelEq(got, want);
    }
}

float lane(__m128 v, int k)
{
    alignas(16) float out[4];
    _mm_store_ps(out, v);
    return out[k];
}

// A pixel as a texture may hold it: 16-bit channels mostly within 0 ..
// 32768 and sometimes above; float channels now and then special.
template <typename T>
T randomPixel(std::mt19937& random)
{
    using C = typename PixelTraits<T>::Channel;
    auto channel = [&]() -> C {
        if constexpr (std::is_same_v<T, PF_Pixel>) {
            return static_cast<C>(random() & 0xFFu);
        } else if constexpr (std::is_same_v<T, PF_Pixel16>) {
            return static_cast<C>((random() & 7u) == 0 ? (random() & 0xFFFFu) : (random() % 32769u));
        } else {
            const float specials[] = {kNaN, kInf, -kInf, -0.0f, 1e30f, -2.5f, 1.0f};
            return (random() & 15u) == 0 ? specials[random() % 7u]
                                         : std::uniform_real_distribution<float>(-0.25f, 1.25f)(random);
        }
    };
    return T{channel(), channel(), channel(), channel()};
}

} // namespace

TEST(ChannelVectors, TruncationMatchesTruncateChannel)
{
    const float values[] = {kNaN,    -kInf,    -1.0f,    -0.0f,   0.0f,     1e-30f,  0.5f,    0.999f,
                            1.0f,    254.999f, 255.0f,   255.5f,  256.0f,   32767.9f, 32768.0f, 65534.99f,
                            65535.0f, 65535.5f, 65536.0f, 1e9f,   kInf};
    for (float a : values)
        for (float b : {0.0f, 17.25f, 254.5f, 65000.75f}) {
            const __m128 v = _mm_setr_ps(a, b, a, b);
            const PF_Pixel p8 = channel_vectors::pixel8(channel_vectors::truncatedIntegers(v, 255.0f));
            const PF_Pixel16 p16 = channel_vectors::pixel16(channel_vectors::truncatedIntegers(v, 65535.0f));
            const PF_Pixel want8 = truncatePixel<PF_Pixel>(FloatChannels{a, b, a, b});
            const PF_Pixel16 want16 = truncatePixel<PF_Pixel16>(FloatChannels{a, b, a, b});
            EXPECT_TRUE(sameBits(p8, want8)) << a << " " << b;
            EXPECT_TRUE(sameBits(p16, want16)) << a << " " << b;
        }
}

TEST(ChannelVectors, RoundingMatchesRoundHalfAwayUpToTheSignOfZero)
{
    std::vector<float> values = {0.5f,   -0.5f,  1.5f,      -1.5f,      2.5f,       0.49999997f, -0.49999997f,
                                 254.5f, 255.5f, 8388607.5f, 8388608.0f, 8388609.0f, -8388607.5f, 1e20f,
                                 -1e20f, kInf,   -kInf,      kNaN,       1e-40f,     -0.3f,       0.0f};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> wide(-70000.0f, 70000.0f);
    for (int i = 0; i < 200000; ++i) {
        const float x = wide(random);
        values.push_back(x);
        values.push_back(std::floor(x) + 0.5f);
        values.push_back(std::nextafter(std::floor(x) + 0.5f, 0.0f));
    }
    for (float x : values) {
        const float got = lane(channel_vectors::roundedHalfAway(_mm_set1_ps(x)), 2);
        const float want = Linestra::roundHalfAway(x);
        if (std::isnan(want))
            EXPECT_TRUE(std::isnan(got)) << x;
        else
            EXPECT_EQ(got, want) << x; // == treats -0 and 0 alike
    }
}

template <typename T>
class ChannelsSideBySide : public ::testing::Test {};
TYPED_TEST_SUITE(ChannelsSideBySide, Formats, FormatName);

TYPED_TEST(ChannelsSideBySide, BilinearBlendGivesTheSameBits)
{
    using T = TypeParam;
    std::mt19937 random(11);
    auto pixel = [&] { return randomPixel<T>(random); };
    std::uniform_real_distribution<float> fraction01(0.0f, 1.0f);
    for (int i = 0; i < 300000; ++i) {
        const T p = pixel(), pr = pixel(), pl = pixel(), pd = pixel();
        // Whole and near-whole positions too, where one weight is 0 or 1.
        const float fx = (i % 5 == 0) ? 0.0f : (i % 7 == 0 ? std::nextafter(1.0f, 0.0f) : fraction01(random));
        const float fy = (i % 3 == 0) ? 0.0f : fraction01(random);
        const T got = sampling_detail::blendFour(p, pr, pl, pd, fx, fy);
        const T want = sampling_detail::blendFourOneByOne(p, pr, pl, pd, fx, fy);
        ASSERT_TRUE(sameBits(got, want)) << i;
    }
}

// The averages of area sampling: sums of one to nine reads divided by the
// sample count, or scaled by its reciprocal, with counts that are not whole,
// zero, or not a number.
TYPED_TEST(ChannelsSideBySide, AveragesGiveTheSameBits)
{
    using T = TypeParam;
    std::mt19937 random(13);
    const float counts[] = {1.0f, 2.0f, 3.0f, 7.0f, 9.0f, 2.5f, 0.3f, 0.0f, -0.0f, kNaN, kInf, 1e-40f};
    for (int i = 0; i < 100000; ++i) {
        sampling_detail::ChannelSumSideBySide<T> got;
        sampling_detail::ChannelSumOneByOne<T> want;
        const auto reads = 1 + static_cast<int>(random() % 9u);
        for (int k = 0; k < reads; ++k) {
            const T p = randomPixel<T>(random);
            got.add(p);
            want.add(p);
        }
        const float count = (i % 3 == 0) ? counts[random() % std::size(counts)] : static_cast<float>(reads);
        ASSERT_TRUE(sameBits(got.dividedBy(count), want.dividedBy(count))) << i << " / " << count;
        ASSERT_TRUE(sameBits(got.scaledBy(1.0f / count), want.scaledBy(1.0f / count))) << i << " * 1/" << count;
    }
}

TEST(ChannelsSideBySide, Composite8EveryCase)
{
    // Every source alpha, colour and destination value; the colour channels
    // and the destination's alpha each see every combination.
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            for (int d = 0; d < 256; ++d) {
                const auto sa = static_cast<A_u_char>(a);
                const auto sc = static_cast<A_u_char>(c);
                const auto dv = static_cast<A_u_char>(d);
                const PF_Pixel source{sa, sc, static_cast<A_u_char>(255 - c), sc};
                PF_Pixel got{dv, dv, dv, static_cast<A_u_char>(255 - d)};
                PF_Pixel want = got;
                composite_detail::overSideBySide(&got, source);
                composite_detail::overOneByOne(&want, source);
                ASSERT_TRUE(sameBits(got, want)) << a << " " << c << " " << d;
            }
}

TEST(ChannelsSideBySide, Composite16AroundTheEdges)
{
    std::vector<int> values = {0, 1, 2, 127, 128, 255, 256, 16383, 16384, 16385, 32766, 32767, 32768, 32769,
                               40000, 65534, 65535};
    for (int v = 37; v < 65536; v += 397)
        values.push_back(v);
    for (int a : values)
        for (int c : values)
            for (int d : values) {
                const PF_Pixel16 source{static_cast<A_u_short>(a), static_cast<A_u_short>(c),
                                        static_cast<A_u_short>(65535 - c), static_cast<A_u_short>(c / 2)};
                PF_Pixel16 got{static_cast<A_u_short>(d), static_cast<A_u_short>(d), static_cast<A_u_short>(c),
                               static_cast<A_u_short>(65535 - d)};
                PF_Pixel16 want = got;
                composite_detail::overSideBySide(&got, source);
                composite_detail::overOneByOne(&want, source);
                ASSERT_TRUE(sameBits(got, want)) << a << " " << c << " " << d;
            }
}

TEST(ChannelsSideBySide, CompositeFloatRandomAndSpecial)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-0.5f, 1.5f);
    const float specials[] = {kNaN, kInf, -kInf, -0.0f, 0.0f, 1.0f, 1e-40f, 3e38f};
    auto channel = [&] { return (random() & 7u) == 0 ? specials[random() % 8u] : value(random); };
    for (int i = 0; i < 300000; ++i) {
        const PF_PixelFloat source{channel(), channel(), channel(), channel()};
        PF_PixelFloat got{channel(), channel(), channel(), channel()};
        PF_PixelFloat want = got;
        composite_detail::overSideBySide(&got, source);
        composite_detail::overOneByOne(&want, source);
        ASSERT_TRUE(sameBits(got, want)) << i;
    }
}

#endif
