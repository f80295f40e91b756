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
