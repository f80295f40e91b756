// Helpers for the pixel tests: pixels given in the units of the format
// (0..255, 0..32768 or float), images backed by harness worlds (padded
// rows), and a render context pointed at them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "harness/state/World.h"
#include "pixels/PixelTraits.h"
#include "render/PFInfo.h"

namespace pixeltest {

using Formats = ::testing::Types<PF_Pixel, PF_Pixel16, PF_PixelFloat>;

struct FormatName {
    template <typename T>
    static std::string GetName(int)
    {
        if constexpr (std::is_same_v<T, PF_Pixel>)
            return "8bit";
        else if constexpr (std::is_same_v<T, PF_Pixel16>)
            return "16bit";
        else
            return "float";
    }
};

// White of the format (255, 32768, 1.0).
template <typename T>
constexpr float white()
{
    if constexpr (PixelTraits<T>::isInteger)
        return PixelTraits<T>::white;
    else
        return 1.0f;
}

// A pixel whose channels are fractions of white, stored as the format would
// (integer formats truncate).
template <typename T>
T fraction(float alpha, float red, float green, float blue)
{
    using C = typename PixelTraits<T>::Channel;
    const float w = white<T>();
    return T{static_cast<C>(alpha * w), static_cast<C>(red * w), static_cast<C>(green * w), static_cast<C>(blue * w)};
}

template <typename T>
FloatChannels channels(const T& p)
{
    return toFloatChannels(p);
}

inline bool sameChannels(const FloatChannels& a, const FloatChannels& b)
{
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

template <typename T>
::testing::AssertionResult pixelEq(const T& actual, const T& expected)
{
    const FloatChannels a = toFloatChannels(actual);
    const FloatChannels e = toFloatChannels(expected);
    if (sameChannels(a, e))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << a.alpha << ", " << a.red << ", " << a.green << ", " << a.blue
                                         << "), expected (" << e.alpha << ", " << e.red << ", " << e.green << ", "
                                         << e.blue << ")";
}

// An image of the format of T whose rows are padded past its width.
template <typename T>
harness::OwnedWorld makeWorld(A_long width, A_long height)
{
    return harness::OwnedWorld(width, height, PixelTraits<T>::format);
}

template <typename T>
T& at(harness::OwnedWorld& world, A_long x, A_long y)
{
    return world.row<T>(y)[x];
}

template <typename T>
std::uint16_t pitchOf(const harness::OwnedWorld& world)
{
    return static_cast<std::uint16_t>(world.world().rowbytes / static_cast<A_long>(sizeof(T)));
}

// A render context with area sampling switched on (as the pre-render
// always does) and neutral scales.
inline PFInfo baseInfo()
{
    PFInfo info{};
    info.areaSamplingEnabled = true;
    info.scaleX = 1.0f;
    info.scaleY = 1.0f;
    info.scaleXSampleCount = 1.0f;
    info.scaleXSampleStep = 1.0f;
    info.fadeCurve = 0.2f;
    info.strokeLength = 100.0f;
    return info;
}

} // namespace pixeltest
