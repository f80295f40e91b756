// Conversions between the channel values of image files (8-bit, 16-bit,
// float) and the stand-in host's pixel buffers, shared by both image-file
// back ends (OpenImageIO and the portable one).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "HostAPI.h"
#include "harness/state/World.h"

namespace harness::imageconversions {

// alphaChannel for a file of red and green channels and no alpha.
constexpr int kNoAlphaChannel = -2;

// A file's channels (grey, grey + alpha, RGB, RGB + alpha, ...) as RGBA,
// appended to `rgba`. alphaChannel is the index of the alpha channel; -1
// when the file does not name one (then a file of two channels is grey and
// alpha), or kNoAlphaChannel for two channels that are red and green (blue
// 0). Pixels without alpha get `opaque`. Both image back ends read through
// it.
template <typename T>
void AppendRGBA(std::vector<T>& rgba, const std::vector<T>& data, std::size_t pixels, int channels, int alphaChannel,
                T opaque)
{
    const std::size_t first = rgba.size();
    rgba.resize(first + pixels * 4);
    const auto n = static_cast<std::size_t>(channels);
    if (alphaChannel == -1 && channels == 2)
        alphaChannel = 1;
    const bool redGreen = channels == 2 && alphaChannel != 1;
    for (std::size_t i = 0; i < pixels; ++i) {
        const T* src = data.data() + i * n;
        T* dst = rgba.data() + first + i * 4;
        if (redGreen) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = T{};
        } else if (channels < 3) {
            dst[0] = dst[1] = dst[2] = src[0];
        } else {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
        dst[3] = alphaChannel >= 0 && alphaChannel < channels && (channels < 3 || alphaChannel >= 3)
                     ? src[static_cast<std::size_t>(alphaChannel)]
                     : opaque;
    }
}

// ---------------------------------------------------------------------------
// Channel conversions from a file's values to a buffer's
// ---------------------------------------------------------------------------

template <typename Pixel>
struct Channel;
template <>
struct Channel<PF_Pixel> {
    using Type = A_u_char;
};
template <>
struct Channel<PF_Pixel16> {
    using Type = A_u_short;
};
template <>
struct Channel<PF_PixelFloat> {
    using Type = PF_FpShort;
};

template <typename Out>
Out From8(unsigned char v);
template <>
inline A_u_char From8<A_u_char>(unsigned char v)
{
    return v;
}
template <>
inline A_u_short From8<A_u_short>(unsigned char v)
{
    // round(v * 32768 / 255); the quotient is never exactly half-way.
    return static_cast<A_u_short>((static_cast<unsigned>(v) * 32768u + 127u) / 255u);
}
template <>
inline PF_FpShort From8<PF_FpShort>(unsigned char v)
{
    return static_cast<float>(v) / 255.0f;
}

template <typename Out>
Out From16(unsigned short v);
template <>
inline A_u_char From16<A_u_char>(unsigned short v)
{
    // round(v * 255 / 65535) = round(v / 257); never exactly half-way.
    return static_cast<A_u_char>((static_cast<unsigned>(v) + 128u) / 257u);
}
template <>
inline A_u_short From16<A_u_short>(unsigned short v)
{
    // round(v * 32768 / 65535); never exactly half-way.
    return static_cast<A_u_short>((static_cast<std::uint64_t>(v) * 32768u + 32767u) / 65535u);
}
template <>
inline PF_FpShort From16<PF_FpShort>(unsigned short v)
{
    return static_cast<float>(v) / 65535.0f;
}

inline double Clamp01(float v)
{
    // Not-a-number counts as 0.
    return v > 0 ? (v < 1 ? static_cast<double>(v) : 1.0) : 0.0;
}

template <typename Out>
Out FromFloat(float v);
template <>
inline A_u_char FromFloat<A_u_char>(float v)
{
    return static_cast<A_u_char>(std::round(Clamp01(v) * 255.0));
}
template <>
inline A_u_short FromFloat<A_u_short>(float v)
{
    return static_cast<A_u_short>(std::round(Clamp01(v) * 32768.0));
}
template <>
inline PF_FpShort FromFloat<PF_FpShort>(float v)
{
    return v;
}

template <typename In, typename Out>
Out ConvertChannel(In v)
{
    if constexpr (std::is_same_v<In, unsigned char>)
        return From8<Out>(v);
    else if constexpr (std::is_same_v<In, unsigned short>)
        return From16<Out>(v);
    else
        return FromFloat<Out>(v);
}

template <typename Pixel, typename In>
void FillFromRGBA(OwnedWorld& world, const std::vector<In>& rgba)
{
    using Out = typename Channel<Pixel>::Type;
    const auto width = static_cast<std::size_t>(world.width());
    for (A_long y = 0; y < world.height(); ++y) {
        Pixel* row = world.row<Pixel>(y);
        const In* src = rgba.data() + static_cast<std::size_t>(y) * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
            row[x].red = ConvertChannel<In, Out>(src[4 * x + 0]);
            row[x].green = ConvertChannel<In, Out>(src[4 * x + 1]);
            row[x].blue = ConvertChannel<In, Out>(src[4 * x + 2]);
            row[x].alpha = ConvertChannel<In, Out>(src[4 * x + 3]);
        }
    }
}

template <typename In>
OwnedWorld WorldFromRGBA(A_long width, A_long height, const std::vector<In>& rgba, PF_PixelFormat format)
{
    OwnedWorld world(width, height, format);
    switch (format) {
    case PF_PixelFormat_ARGB32:
        FillFromRGBA<PF_Pixel>(world, rgba);
        break;
    case PF_PixelFormat_ARGB64:
        FillFromRGBA<PF_Pixel16>(world, rgba);
        break;
    default:
        FillFromRGBA<PF_PixelFloat>(world, rgba);
        break;
    }
    return world;
}
// ---------------------------------------------------------------------------
// From a buffer to a file's values
// ---------------------------------------------------------------------------

template <typename Pixel, typename Out, typename Convert>
std::vector<Out> PackRGBA(const OwnedWorld& world, int channels, Convert convert)
{
    const auto width = static_cast<std::size_t>(world.width());
    const auto n = static_cast<std::size_t>(channels);
    std::vector<Out> data(width * static_cast<std::size_t>(world.height()) * n);
    for (A_long y = 0; y < world.height(); ++y) {
        const Pixel* row = world.row<Pixel>(y);
        Out* dst = data.data() + static_cast<std::size_t>(y) * width * n;
        for (std::size_t x = 0; x < width; ++x) {
            dst[x * n + 0] = convert(row[x].red);
            dst[x * n + 1] = convert(row[x].green);
            dst[x * n + 2] = convert(row[x].blue);
            if (n == 4)
                dst[x * n + 3] = convert(row[x].alpha);
        }
    }
    return data;
}

inline unsigned short To16BitFile(A_u_short v)
{
    // round(v * 65535 / 32768), half-way up; values above white clamp.
    const std::uint32_t clamped = std::min<std::uint32_t>(v, 32768u);
    return static_cast<unsigned short>((clamped * 65535u + 16384u) / 32768u);
}

} // namespace harness::imageconversions
