// Small value types of the line geometry: positions and directions in
// single precision, anchors and walk positions in double, pixels in int32.
#pragma once

#include <cstdint>

namespace Linestra {

struct FloatPoint {
    float x;
    float y;

    FloatPoint& operator+=(const FloatPoint& other)
    {
        x += other.x;
        y += other.y;
        return *this;
    }
};

struct DoublePoint {
    double x;
    double y;

    // Widens each float component to double before adding it.
    DoublePoint& operator+=(const FloatPoint& other)
    {
        x += static_cast<double>(other.x);
        y += static_cast<double>(other.y);
        return *this;
    }
};

struct Int32Point {
    std::int32_t x;
    std::int32_t y;
};

} // namespace Linestra
