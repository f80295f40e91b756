// The effect's own rounding against the C library's, bit for bit: halves,
// signed zeros, the edges of the exact range, huge values and not-a-number,
// and a dense sweep of floats and doubles.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <type_traits>

#include "geometry/Rounding.h"

namespace {

template <typename T>
using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;

template <typename T>
void expectSameAsLibrary(T x)
{
    const T expected = std::round(x);
    const T actual = Linestra::roundHalfAway(x);
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << x;
    else
        EXPECT_EQ(std::bit_cast<Bits<T>>(actual), std::bit_cast<Bits<T>>(expected)) << std::hexfloat << x;
}

template <typename T>
void edgeCases()
{
    const double halves[] = {0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 0.49999997, -0.49999997, 1e6 + 0.5};
    for (double h : halves) {
        const auto x = static_cast<T>(h);
        expectSameAsLibrary(x);
        expectSameAsLibrary(std::nextafter(x, T(0)));
        expectSameAsLibrary(std::nextafter(x, T(10 * x)));
    }
    const T big = sizeof(T) == 4 ? T(8388608.0) : T(4503599627370496.0); // 2^23, 2^52
    for (T x : {T(0), -T(0), big, -big, std::nextafter(big, T(0)), -std::nextafter(big, T(0)), big * 4,
                std::numeric_limits<T>::max(), -std::numeric_limits<T>::infinity(),
                std::numeric_limits<T>::infinity(), std::numeric_limits<T>::quiet_NaN(),
                std::numeric_limits<T>::denorm_min(), -std::numeric_limits<T>::denorm_min(), T(-0.2)})
        expectSameAsLibrary(x);
}

TEST(Rounding, EdgeCasesMatchTheLibrary)
{
    edgeCases<float>();
    edgeCases<double>();
}

TEST(Rounding, SweepMatchesTheLibrary)
{
    // Every 997th float bit pattern (both signs, all magnitudes) ...
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 997)
        expectSameAsLibrary(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    // ... and values of the sizes the effect rounds: pixel coordinates and
    // channel values, with the fractions that matter.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> around(-5000.0, 5000.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = around(random);
        expectSameAsLibrary(x);
        expectSameAsLibrary(static_cast<float>(x));
        expectSameAsLibrary(std::floor(x) + 0.5);
    }
}

} // namespace

namespace {

void expectFmodSameAsLibrary(double x, double y)
{
    const double expected = std::fmod(x, y);
    const double actual = Linestra::exactFmod(x, y);
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << x << " " << y;
    else
        EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(expected))
            << std::hexfloat << x << " fmod " << y;
}

TEST(Remainder, MatchesTheLibrary)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double x : {0.0, -0.0, 1.0, -1.0, 300.0, 299.99999999999994, 600.0, -600.0, 1e-320, 5e15, 1e300, inf, -inf, nan})
        for (double y : {300.0, -300.0, 1.0, 0.1, 1e-310, 0.0, -0.0, inf, nan, 1e300})
            expectFmodSameAsLibrary(x, y);

    // Texture and path positions against texture sizes and path lengths.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> position(-1e5, 1e5);
    std::uniform_real_distribution<double> length(0.5, 5000.0);
    for (int i = 0; i < 300000; ++i) {
        const double y = length(random);
        const double x = position(random);
        expectFmodSameAsLibrary(x, y);
        expectFmodSameAsLibrary(static_cast<float>(x), static_cast<float>(y));
        expectFmodSameAsLibrary(x * 1e-3, y); // quotient below 1
        expectFmodSameAsLibrary(std::floor(x / y) * y, y); // exact multiples
    }
}

// The remainder by one tile taken from the remainder by two: the bits of
// exactFmod, the sign of a zero included, at and around whole tiles and
// for special values.
TEST(Remainder, FromTheRemainderByTwiceTheDivisor)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto expectSame = [](double x, double y) {
        const double expected = Linestra::exactFmod(x, y);
        const double actual = Linestra::exactFmodFromTwice(Linestra::exactFmod(x, 2.0 * y), x, y);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(actual)) << x << " " << y;
        else
            EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(expected))
                << std::hexfloat << x << " fmod " << y;
    };
    // The largest doubles too, whose double (2 y) overflows to infinity.
    const double largest = std::numeric_limits<double>::max();
    for (double y : {300.0, 1.0, 7.0, 1e-310, 1e300, 0x1p1023, largest, 0.0, -0.0, -300.0, inf, nan})
        for (double k : {0.0, 1.0, 2.0, 3.0, 4.0, 1e9, 3e16}) {
            for (double x : {k * y, std::nextafter(k * y, 0.0), std::nextafter(k * y, inf), k * y + 0.5 * y}) {
                expectSame(x, y);
                expectSame(-x, y);
            }
        }
    for (double x : {inf, -inf, nan, 0.0, -0.0})
        expectSame(x, 300.0);

    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> position(-1e5, 1e5);
    std::uniform_int_distribution<int> width(1, 4096);
    for (int i = 0; i < 300000; ++i) {
        const auto y = static_cast<double>(width(random));
        const auto x = static_cast<double>(static_cast<float>(position(random)));
        expectSame(x, y);
        expectSame(std::floor(x / y) * y, y);
    }
}

} // namespace
