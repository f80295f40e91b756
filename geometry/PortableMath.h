// The inexact functions of the C library that the effect needs (sine,
// cosine and arc tangent in single precision, hypot in single and double),
// computed from the basic arithmetic operations and the square root only.
// Those are exactly rounded by IEEE 754 on every platform the module is
// built for (with -ffp-contract=off), so the results are the same bit for
// bit on Linux, Windows and macOS (x86-64 and arm64), which the platforms'
// own libraries are not: they differ in the last bit for a fraction of a
// percent of arguments (see docs/platforms.md), enough to move pixels.
//
// Accuracy: the float functions are evaluated in double with a relative
// error below 1e-15 and rounded to float once, so they give the correctly
// rounded result except for arguments within about 1e-15 of a rounding
// boundary; hypot is within one unit in the last place.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace Linestra {

// Pi in single precision, as the effect's float geometry uses it (the fan
// angle of a line, the wrap of angles into one turn).
inline constexpr float kPi = 3.1415927f;

} // namespace Linestra

namespace Linestra::PortableMath {

namespace detail {

inline constexpr double kPiOver2 = 1.57079632679489661923;
inline constexpr double kPiOver4 = 0.78539816339744830962;
inline constexpr double kTwoOverPi = 0.63661977236758134308;
// pi / 2 split in three: the first two parts have their low bits zero, so
// k * part is exact for |k| < 2^20.
inline constexpr double kPiOver2Part1 = 1.57079632673412561417e+00; // 33 bits
inline constexpr double kPiOver2Part2 = 6.07710050630396597660e-11; // 33 bits
inline constexpr double kPiOver2Part3 = 2.02226624879595063154e-21;
// Beyond this the argument is first reduced modulo 2 pi (an exact
// operation on the double nearest to 2 pi, so only approximately the true
// reduction), so that k stays below 2^20.
inline constexpr double kLargeAngle = 1048576.0; // 2^20
inline constexpr double kTwoPi = 6.28318530717958647692;

// sin r and cos r for |r| <= pi / 4 by their Taylor series, in Horner form;
// the first omitted terms are below 1e-17 of the result.
inline double sinKernel(double r)
{
    const double z = r * r;
    double s = -1.0 / 1307674368000.0; // -1 / 15!
    s = s * z + 1.0 / 6227020800.0;   // 1 / 13!
    s = s * z - 1.0 / 39916800.0;     // 1 / 11!
    s = s * z + 1.0 / 362880.0;       // 1 / 9!
    s = s * z - 1.0 / 5040.0;         // 1 / 7!
    s = s * z + 1.0 / 120.0;          // 1 / 5!
    s = s * z - 1.0 / 6.0;            // 1 / 3!
    return r + r * z * s;
}

inline double cosKernel(double r)
{
    const double z = r * r;
    double c = 1.0 / 20922789888000.0; // 1 / 16!
    c = c * z - 1.0 / 87178291200.0;   // 1 / 14!
    c = c * z + 1.0 / 479001600.0;     // 1 / 12!
    c = c * z - 1.0 / 3628800.0;       // 1 / 10!
    c = c * z + 1.0 / 40320.0;         // 1 / 8!
    c = c * z - 1.0 / 720.0;           // 1 / 6!
    c = c * z + 1.0 / 24.0;            // 1 / 4!
    c = c * z - 0.5;                   // 1 / 2!
    return 1.0 + z * c;
}

// Below this sin x rounds to x and cos x to 1 (in float), and the signs of
// zeros are kept.
inline constexpr double kTinyAngle = 0x1p-27;

// y rounded to the nearest integer, ties to even, as std::nearbyint in the
// default rounding mode, for |y| <= 2^51, without a call into the C library
// (x86-64 before SSE4.1 has no rounding instruction): adding 1.5 * 2^52
// leaves no fraction bits, so the addition itself rounds. Zero comes out
// as +0, which the reduction below cannot tell from -0.
inline double roundToNearest(double y)
{
    constexpr double kShift = 0x1.8p52;
    return (y + kShift) - kShift;
}

// x reduced to r in [-pi/4, pi/4] with x = r + quadrant * pi / 2 (mod 2 pi).
inline double reduce(double x, int& quadrant)
{
    if (std::fabs(x) > kLargeAngle)
        x = std::fmod(x, kTwoPi);
    const double k = roundToNearest(x * kTwoOverPi);
    const double r = ((x - k * kPiOver2Part1) - k * kPiOver2Part2) - k * kPiOver2Part3;
    quadrant = static_cast<int>(static_cast<std::int64_t>(k) & 3);
    return r;
}

// atan w for |w| <= tan(pi / 16) (about 0.199) by its Taylor series; the
// first omitted term is below 1e-16 of the result.
inline double atanKernel(double w)
{
    const double z = w * w;
    double a = 1.0 / 23.0;
    a = a * z - 1.0 / 21.0;
    a = a * z + 1.0 / 19.0;
    a = a * z - 1.0 / 17.0;
    a = a * z + 1.0 / 15.0;
    a = a * z - 1.0 / 13.0;
    a = a * z + 1.0 / 11.0;
    a = a * z - 1.0 / 9.0;
    a = a * z + 1.0 / 7.0;
    a = a * z - 1.0 / 5.0;
    a = a * z + 1.0 / 3.0;
    return w - w * z * a;
}

} // namespace detail

// sin x and cos x from one reduction. Below kTinyAngle sin x is x (the
// sign of zero kept) and cos x is 1; infinities and not-a-number give
// not-a-number.
inline void sinCos(float x, float& sine, float& cosine)
{
    if (!std::isfinite(x)) {
        sine = x - x;
        cosine = x - x;
        return;
    }
    if (std::fabs(x) < static_cast<float>(detail::kTinyAngle)) {
        sine = x;
        cosine = 1.0f;
        return;
    }
    int quadrant = 0;
    const double r = detail::reduce(static_cast<double>(x), quadrant);
    const double s = detail::sinKernel(r);
    const double c = detail::cosKernel(r);
    switch (quadrant) {
    case 0: sine = static_cast<float>(s); cosine = static_cast<float>(c); break;
    case 1: sine = static_cast<float>(c); cosine = static_cast<float>(-s); break;
    case 2: sine = static_cast<float>(-s); cosine = static_cast<float>(-c); break;
    default: sine = static_cast<float>(-c); cosine = static_cast<float>(s); break;
    }
}

// One of the two, for callers that need only one (the effect itself takes
// both, once per line).
inline float sin(float x)
{
    float sine = 0.0f;
    float cosine = 0.0f;
    sinCos(x, sine, cosine);
    return sine;
}

inline float cos(float x)
{
    float sine = 0.0f;
    float cosine = 0.0f;
    sinCos(x, sine, cosine);
    return cosine;
}

inline float atan(float x)
{
    if (std::isnan(x))
        return x;
    const double t = std::fabs(static_cast<double>(x));
    // atan t = pi/2 - atan(1/t) above 1; then two halvings of the angle,
    // atan u = 2 atan(u / (1 + sqrt(1 + u^2))), bring u from [0, 1] to
    // [0, tan(pi / 16)].
    const bool inverted = t > 1.0;
    double u = inverted ? 1.0 / t : t;
    u = u / (1.0 + std::sqrt(1.0 + u * u));
    u = u / (1.0 + std::sqrt(1.0 + u * u));
    double a = 4.0 * detail::atanKernel(u);
    if (inverted)
        a = detail::kPiOver2 - a;
    return static_cast<float>(std::signbit(x) ? -a : a);
}

// sqrt(x^2 + y^2): the squares of floats are exact in double and the sum is
// rounded once.
inline float hypot(float x, float y)
{
    if (std::isinf(x) || std::isinf(y))
        return INFINITY;
    const double dx = static_cast<double>(x);
    const double dy = static_cast<double>(y);
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

// sqrt(x^2 + y^2) without overflow or underflow in the squares: the larger
// magnitude is scaled by a power of two (exact) when it is far from 1.
inline double hypot(double x, double y)
{
    if (std::isinf(x) || std::isinf(y))
        return std::numeric_limits<double>::infinity();
    if (std::isnan(x) || std::isnan(y))
        return x + y;
    double ax = std::fabs(x);
    double ay = std::fabs(y);
    if (ax < ay) {
        const double swap = ax;
        ax = ay;
        ay = swap;
    }
    if (ay == 0.0)
        return ax;
    double scale = 1.0;
    if (ax > 0x1p500) {
        scale = 0x1p600;
        ax *= 0x1p-600;
        ay *= 0x1p-600;
    } else if (ax < 0x1p-500) {
        scale = 0x1p-600;
        ax *= 0x1p600;
        ay *= 0x1p600;
    }
    return scale * std::sqrt(ax * ax + ay * ay);
}

} // namespace Linestra::PortableMath
