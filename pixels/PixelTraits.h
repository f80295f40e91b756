// What the per-pixel templates need to know about each of the three pixel
// types: the format code, the channel type, and how a channel value computed
// in float becomes a stored channel.
#pragma once

#include <cstdint>
#include <type_traits>

#include "HostAPI.h"

template <typename Pixel>
struct PixelTraits;

template <>
struct PixelTraits<PF_Pixel> {
    using Channel = A_u_char;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB32;
    static constexpr bool isInteger = true;
    static constexpr float typeMax = 255.0f;   // largest value the channel type holds
    static constexpr float white = 255.0f;     // full intensity
};

template <>
struct PixelTraits<PF_Pixel16> {
    using Channel = A_u_short;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB64;
    static constexpr bool isInteger = true;
    static constexpr float typeMax = 65535.0f;
    static constexpr float white = 32768.0f;
};

template <>
struct PixelTraits<PF_PixelFloat> {
    using Channel = PF_FpShort;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB128;
    static constexpr bool isInteger = false;
};

// A pixel's four channels in float, for blends and sums.
struct FloatChannels {
    float alpha, red, green, blue;
};

template <typename Pixel>
inline FloatChannels toFloatChannels(const Pixel& p)
{
    return FloatChannels{static_cast<float>(p.alpha), static_cast<float>(p.red), static_cast<float>(p.green),
                         static_cast<float>(p.blue)};
}

// A channel value read from an image (blend or average) as the stored type:
// integer formats truncate toward zero and clamp to the type's range (a
// value that is not a number gives 0); float keeps the value.
template <typename Pixel>
inline typename PixelTraits<Pixel>::Channel truncateChannel(float value)
{
    using Traits = PixelTraits<Pixel>;
    if constexpr (Traits::isInteger) {
        if (!(value > 0.0f))
            return 0;
        if (value >= Traits::typeMax)
            return static_cast<typename Traits::Channel>(Traits::typeMax);
        return static_cast<typename Traits::Channel>(value);
    } else {
        return value;
    }
}

template <typename Pixel>
inline Pixel truncatePixel(const FloatChannels& c)
{
    Pixel p;
    p.alpha = truncateChannel<Pixel>(c.alpha);
    p.red = truncateChannel<Pixel>(c.red);
    p.green = truncateChannel<Pixel>(c.green);
    p.blue = truncateChannel<Pixel>(c.blue);
    return p;
}

// The one place a pixel format code becomes a pixel type: calls
// visit(std::type_identity<Pixel>{}) for the 8-bit, 16-bit or float pixel of
// `format` and returns its result; a format the effect does not draw returns
// `otherwise` without calling it.
template <typename Result, typename Visit>
inline Result withPixelType(PF_PixelFormat format, Result otherwise, Visit&& visit)
{
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return visit(std::type_identity<PF_Pixel>{});
    case PF_PixelFormat_ARGB64:
        return visit(std::type_identity<PF_Pixel16>{});
    case PF_PixelFormat_ARGB128:
        return visit(std::type_identity<PF_PixelFloat>{});
    default:
        return otherwise;
    }
}
