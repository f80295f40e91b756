// Rounding half away from zero, exactly as std::round, without a call into
// the C library: the effect rounds once or more for every pixel it walks
// or paints, and on x86-64 without SSE4.1 std::round is a library call.
#pragma once

#include <cmath>
#include <cstdint>

namespace Linestra {

namespace detail {

// The whole-number bound of a floating type (2^23 for float, 2^52 for
// double) and the integer type that holds every number below it.
template <typename T>
struct RoundingTraits;
template <>
struct RoundingTraits<float> {
    static constexpr float kWholeFrom = 8388608.0f;
    using Integer = std::int32_t;
};
template <>
struct RoundingTraits<double> {
    static constexpr double kWholeFrom = 4503599627370496.0;
    using Integer = std::int64_t;
};

} // namespace detail

// std::round for floats and doubles. Numbers of magnitude 2^23 (float) or
// 2^52 (double) and above, infinities and not-a-number are already whole
// and come back unchanged; below that, truncation through an integer and
// the difference are exact.
template <typename T>
inline T roundHalfAway(T x)
{
    using Traits = detail::RoundingTraits<T>;
    if (!(std::fabs(x) < Traits::kWholeFrom))
        return x;
    const auto whole = static_cast<T>(static_cast<typename Traits::Integer>(x));
    const T fraction = x - whole;
    T r = whole;
    if (fraction >= T(0.5))
        r = whole + T(1);
    else if (fraction <= T(-0.5))
        r = whole - T(1);
    return std::copysign(r, x); // a zero result keeps x's sign, as std::round
}

} // namespace Linestra

namespace Linestra {

// std::fmod for doubles, exactly: the remainder of x by y is always a
// double, and long division by y scaled by powers of two finds it with
// subtractions that are exact (each subtracts d from r with d <= r < 2d).
// The effect takes remainders of texture positions by texture and path
// lengths for every pixel, where the quotient is small and this takes a
// few steps; large quotients and special values go to the library.
inline double exactFmod(double x, double y)
{
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    if (!(ax < ay)) {
        // Not finite, y zero or not a number, or a quotient of 2^24 or more.
        if (!(ay > 0.0) || !(ax < ay * 16777216.0) || !(ay < 1e300))
            return std::fmod(x, y);
    } else {
        return x; // includes a zero x, whose sign the result keeps
    }
    double d = ay;
    while (d + d <= ax)
        d += d;
    double r = ax;
    for (;;) {
        if (r >= d)
            r -= d;
        if (d == ay)
            break;
        d *= 0.5;
    }
    return std::copysign(r, x);
}

// exactFmod(x, y) from `twice` = exactFmod(x, 2 y), without a second long
// division: where |twice| is below y it is the remainder itself, and where
// it is from y up to 2 y, taking one y off is exact (y <= |twice| < 2 y).
// The remainder keeps the sign of x, zero included. Anything else (not a
// number, infinities, a y that is not positive) takes the general way.
inline double exactFmodFromTwice(double twice, double x, double y)
{
    const double magnitude = std::fabs(twice);
    if (magnitude < y)
        return twice;
    if (magnitude < y + y)
        return std::copysign(magnitude - y, x);
    return exactFmod(x, y);
}

} // namespace Linestra
