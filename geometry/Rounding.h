// Rounding half away from zero, exactly as std::round, without a call into
// the C library: the effect rounds once or more for every pixel it walks
// or paints, and on x86-64 without SSE4.1 std::round is a library call.
#pragma once

#include <cmath>
#include <cstdint>

namespace Linestra {

// std::round for floats. Floats of magnitude 2^23 and above (and
// infinities and not-a-number) are already whole and come back unchanged;
// below that, truncation through int32 and the difference are exact.
inline float roundHalfAway(float x)
{
    if (!(std::fabs(x) < 8388608.0f))
        return x;
    const auto whole = static_cast<float>(static_cast<std::int32_t>(x));
    const float fraction = x - whole;
    float r = whole;
    if (fraction >= 0.5f)
        r = whole + 1.0f;
    else if (fraction <= -0.5f)
        r = whole - 1.0f;
    return std::copysign(r, x); // a zero result keeps x's sign, as std::round
}

// std::round for doubles, the same way with a bound of 2^52 and int64.
inline double roundHalfAway(double x)
{
    if (!(std::fabs(x) < 4503599627370496.0))
        return x;
    const auto whole = static_cast<double>(static_cast<std::int64_t>(x));
    const double fraction = x - whole;
    double r = whole;
    if (fraction >= 0.5)
        r = whole + 1.0;
    else if (fraction <= -0.5)
        r = whole - 1.0;
    return std::copysign(r, x);
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

} // namespace Linestra
