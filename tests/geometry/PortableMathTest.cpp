// The effect's own sine, cosine, arc tangent and hypot: correctly rounded
// (against long double) over the ranges the effect uses, and the special
// values right. That they agree bit for bit across platforms is checked by
// the Windows build's float functions probe (tests/windows).
#include "geometry/PortableMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace PM = Linestra::PortableMath;

namespace {

std::uint32_t Bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float FromBits(std::uint32_t b)
{
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Float arguments from `low` to `high` (positive), both signs, spread over
// their bit patterns; counts results that are not the correctly rounded
// value of `exact`.
template <typename Own, typename Exact>
int Misrounded(float low, float high, Own own, Exact exact)
{
    int misses = 0;
    const std::uint32_t step = (Bits(high) - Bits(low)) / 200000u + 1u;
    for (std::uint32_t b = Bits(low); b <= Bits(high); b += step)
        for (const float x : {FromBits(b), -FromBits(b)}) {
            const auto reference = static_cast<float>(exact(static_cast<long double>(x)));
            misses += Bits(own(x)) != Bits(reference) ? 1 : 0;
        }
    return misses;
}

} // namespace

TEST(PortableMath, FloatFunctionsAreCorrectlyRoundedWhereTheEffectUsesThem)
{
    // Angles of lines reach a few turns; slopes any size.
    EXPECT_EQ(Misrounded(1e-9f, 100.0f, PM::sin, [](long double x) { return std::sin(x); }), 0);
    EXPECT_EQ(Misrounded(1e-9f, 100.0f, PM::cos, [](long double x) { return std::cos(x); }), 0);
    EXPECT_EQ(Misrounded(1e-30f, 1e30f, PM::atan, [](long double x) { return std::atan(x); }), 0);
    const auto other = [](float x) { return 0.75f * x + 1.0f; };
    EXPECT_EQ(Misrounded(1e-3f, 1e4f, [&](float x) { return PM::hypot(x, other(x)); },
                         [&](long double x) {
                             const long double y = other(static_cast<float>(x));
                             return std::sqrt(x * x + y * y);
                         }),
              0);
}

TEST(PortableMath, SpecialValues)
{
    EXPECT_EQ(Bits(PM::sin(-0.0f)), Bits(-0.0f));
    EXPECT_EQ(PM::cos(0.0f), 1.0f);
    EXPECT_EQ(Bits(PM::atan(-0.0f)), Bits(-0.0f));
    EXPECT_EQ(PM::atan(INFINITY), static_cast<float>(M_PI / 2));
    EXPECT_EQ(PM::atan(-INFINITY), -static_cast<float>(M_PI / 2));
    EXPECT_TRUE(std::isnan(PM::sin(INFINITY)));
    EXPECT_TRUE(std::isnan(PM::cos(NAN)));
    EXPECT_TRUE(std::isnan(PM::atan(NAN)));
    // Quadrant boundaries.
    EXPECT_EQ(PM::sin(static_cast<float>(M_PI / 2)), 1.0f);
    EXPECT_EQ(PM::cos(static_cast<float>(M_PI)), -1.0f);
    // Large arguments stay finite and bounded.
    EXPECT_LE(std::fabs(PM::sin(3e38f)), 1.0f);

    EXPECT_EQ(PM::hypot(3.0, 4.0), 5.0);
    EXPECT_EQ(PM::hypot(3.0f, -4.0f), 5.0f);
    EXPECT_EQ(PM::hypot(1e300, 1e300), std::hypot(1e300, 1e300)); // no overflow in the squares
    EXPECT_NEAR(PM::hypot(3e-310, 4e-310), 5e-310, 1e-323);        // nor underflow
    EXPECT_EQ(PM::hypot(-HUGE_VAL, std::nan("")), INFINITY);
    EXPECT_TRUE(std::isnan(PM::hypot(1.0, std::nan(""))));
    EXPECT_EQ(PM::hypot(0.0, -2.5), 2.5);
}

TEST(PortableMath, DoubleHypotIsWithinOneUlp)
{
    // Pixel distances and frame diagonals.
    for (int i = 0; i < 100000; ++i) {
        const double x = (i % 997) * 7.25 - 3000.0;
        const double y = (i % 1009) * 5.5 - 2000.0;
        const long double exact = std::sqrt(static_cast<long double>(x) * x + static_cast<long double>(y) * y);
        const double own = PM::hypot(x, y);
        ASSERT_LE(std::fabs(static_cast<long double>(own) - exact), std::nextafter(own, INFINITY) - own)
            << x << ", " << y;
    }
}

TEST(PortableMath, SinCosGivesTheBitsOfSinAndCos)
{
    // Every 997th float from tiny angles past the large-angle reduction, both
    // signs, and the special values.
    auto check = [](float x) {
        float sine = 0.0f;
        float cosine = 0.0f;
        PM::sinCos(x, sine, cosine);
        ASSERT_EQ(Bits(sine), Bits(PM::sin(x))) << x;
        ASSERT_EQ(Bits(cosine), Bits(PM::cos(x))) << x;
    };
    for (std::uint32_t b = Bits(1e-30f); b <= Bits(1e7f); b += 997u) {
        check(FromBits(b));
        check(-FromBits(b));
    }
    for (const float x : {0.0f, -0.0f, INFINITY, -INFINITY, NAN, 3e38f})
        check(x);
}

TEST(PortableMath, ReductionRoundsToNearestEvenAsNearbyint)
{
    // Halves (ties go to the even neighbour), values just beside them, and
    // magnitudes up to 2^51.
    for (double base = 0.0; base < 0x1p51; base = base * 3.0 + 1.0)
        for (const double y : {base, base + 0.5, base + 1.5, std::nextafter(base + 0.5, 0.0),
                               std::nextafter(base + 0.5, INFINITY), base + 0.25, base + 0.75})
            for (const double v : {y, -y})
                ASSERT_EQ(PM::detail::roundToNearest(v), std::nearbyint(v)) << v;
}
