#include "harness/state/LayerBuffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace harness {

namespace {

template <typename Pixel>
struct Channel;
template <>
struct Channel<PF_Pixel> {
    using Type = A_u_char;
    static constexpr double white = 255.0;
    static constexpr bool integer = true;
};
template <>
struct Channel<PF_Pixel16> {
    using Type = A_u_short;
    static constexpr double white = 32768.0;
    static constexpr bool integer = true;
};
template <>
struct Channel<PF_PixelFloat> {
    using Type = float;
    // Kept for symmetry; clang sees no use of it among the conversions.
    [[maybe_unused]] static constexpr double white = 1.0;
    static constexpr bool integer = false;
};

// A value in [0, white] of the target format from a double, rounding half
// away from zero for integer formats.
template <typename Pixel>
typename Channel<Pixel>::Type Store(double value)
{
    using C = Channel<Pixel>;
    if constexpr (C::integer) {
        if (std::isnan(value))
            return 0;
        const double rounded = std::round(std::clamp(value, 0.0, C::white));
        return static_cast<typename C::Type>(rounded);
    } else {
        return static_cast<float>(value);
    }
}

template <typename From, typename To>
typename Channel<To>::Type ConvertChannel(typename Channel<From>::Type v)
{
    if constexpr (std::is_same_v<From, To>) {
        return v;
    } else if constexpr (std::is_same_v<To, PF_PixelFloat>) {
        // Single rounding: an exact integer divided in float.
        return static_cast<float>(v) / static_cast<float>(Channel<From>::white);
    } else if constexpr (std::is_same_v<From, PF_PixelFloat>) {
        return Store<To>(static_cast<double>(v) * Channel<To>::white);
    } else {
        return Store<To>(static_cast<double>(v) * Channel<To>::white / Channel<From>::white);
    }
}

template <typename From, typename To>
void ConvertPixels(const OwnedWorld& from, OwnedWorld& to)
{
    for (A_long y = 0; y < from.height(); ++y) {
        const From* s = from.row<From>(y);
        To* d = to.row<To>(y);
        for (A_long x = 0; x < from.width(); ++x) {
            d[x].alpha = ConvertChannel<From, To>(s[x].alpha);
            d[x].red = ConvertChannel<From, To>(s[x].red);
            d[x].green = ConvertChannel<From, To>(s[x].green);
            d[x].blue = ConvertChannel<From, To>(s[x].blue);
        }
    }
}

template <typename From>
void ConvertFrom(const OwnedWorld& from, OwnedWorld& to)
{
    switch (to.format()) {
    case PF_PixelFormat_ARGB32:
        ConvertPixels<From, PF_Pixel>(from, to);
        break;
    case PF_PixelFormat_ARGB64:
        ConvertPixels<From, PF_Pixel16>(from, to);
        break;
    default:
        ConvertPixels<From, PF_PixelFloat>(from, to);
        break;
    }
}

// Source pixels an output pixel covers along one axis, with their coverage
// in whole units of 1/n of a source pixel.
struct Cover {
    A_long source;
    std::int64_t weight;
};

std::vector<std::vector<Cover>> AxisCoverage(A_long sourceSize, A_long n, A_u_long d)
{
    const A_long size = ScaledSize(sourceSize, n, d);
    std::vector<std::vector<Cover>> axis(static_cast<std::size_t>(size));
    // In units of 1/n of a source pixel, output pixel i covers [i d, (i + 1) d)
    // and source pixel k covers [k n, (k + 1) n): every edge and overlap is a
    // whole number, so the weights are exact whatever the scale.
    const auto units = static_cast<std::int64_t>(n);
    const auto step = static_cast<std::int64_t>(d);
    const std::int64_t end = static_cast<std::int64_t>(sourceSize) * units;
    for (A_long i = 0; i < size; ++i) {
        const std::int64_t x0 = static_cast<std::int64_t>(i) * step;
        const std::int64_t x1 = std::min(x0 + step, end);
        for (std::int64_t k = x0 / units; k * units < x1; ++k) {
            const std::int64_t covered = std::min((k + 1) * units, x1) - std::max(k * units, x0);
            if (covered > 0)
                axis[static_cast<std::size_t>(i)].push_back({static_cast<A_long>(k), covered});
        }
    }
    return axis;
}

template <typename Pixel>
void AveragePixels(const OwnedWorld& from, OwnedWorld& to, const std::vector<std::vector<Cover>>& xs,
                   const std::vector<std::vector<Cover>>& ys)
{
    for (std::size_t j = 0; j < ys.size(); ++j) {
        Pixel* d = to.row<Pixel>(static_cast<A_long>(j));
        for (std::size_t i = 0; i < xs.size(); ++i) {
            // One sum per channel in double, rows top to bottom and left to
            // right, of value x whole-number weight; one division at the end.
            double a = 0, r = 0, g = 0, b = 0, total = 0;
            for (const Cover& cy : ys[j]) {
                const Pixel* s = from.row<Pixel>(cy.source);
                for (const Cover& cx : xs[i]) {
                    const auto w = static_cast<double>(cx.weight * cy.weight);
                    const Pixel& p = s[cx.source];
                    a += static_cast<double>(p.alpha) * w;
                    r += static_cast<double>(p.red) * w;
                    g += static_cast<double>(p.green) * w;
                    b += static_cast<double>(p.blue) * w;
                    total += w;
                }
            }
            d[i].alpha = Store<Pixel>(a / total);
            d[i].red = Store<Pixel>(r / total);
            d[i].green = Store<Pixel>(g / total);
            d[i].blue = Store<Pixel>(b / total);
        }
    }
}

} // namespace

A_long ScaledSize(A_long size, A_long n, A_u_long d)
{
    if (n <= 0 || d == 0)
        throw std::invalid_argument("render scale " + std::to_string(n) + "/" + std::to_string(d) +
                                    " must be a positive fraction");
    const std::int64_t scaled = (static_cast<std::int64_t>(size) * n + static_cast<std::int64_t>(d) - 1) /
                                static_cast<std::int64_t>(d);
    return static_cast<A_long>(scaled);
}

OwnedWorld ConvertWorld(const OwnedWorld& picture, PF_PixelFormat format)
{
    OwnedWorld out(picture.width(), picture.height(), format);
    switch (picture.format()) {
    case PF_PixelFormat_ARGB32:
        ConvertFrom<PF_Pixel>(picture, out);
        break;
    case PF_PixelFormat_ARGB64:
        ConvertFrom<PF_Pixel16>(picture, out);
        break;
    default:
        ConvertFrom<PF_PixelFloat>(picture, out);
        break;
    }
    return out;
}

OwnedWorld DownsampleWorld(const OwnedWorld& picture, A_long nx, A_u_long dx, A_long ny, A_u_long dy)
{
    const auto xs = AxisCoverage(picture.width(), nx, dx);
    const auto ys = AxisCoverage(picture.height(), ny, dy);
    OwnedWorld out(static_cast<A_long>(xs.size()), static_cast<A_long>(ys.size()), picture.format());
    switch (picture.format()) {
    case PF_PixelFormat_ARGB32:
        AveragePixels<PF_Pixel>(picture, out, xs, ys);
        break;
    case PF_PixelFormat_ARGB64:
        AveragePixels<PF_Pixel16>(picture, out, xs, ys);
        break;
    default:
        AveragePixels<PF_PixelFloat>(picture, out, xs, ys);
        break;
    }
    return out;
}

std::uint64_t HashPixels(const PF_EffectWorld& world, PF_PixelFormat format)
{
    // Four independent multiply-xor lanes over the visible bytes of every
    // row, eight bytes at a time, folded together at the end: a change of any
    // byte changes the hash with overwhelming likelihood, at memory speed.
    constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15ull;
    std::uint64_t lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                              0x082EFA98EC4E6C89ull};
    if (world.data == nullptr)
        return lanes[0];
    auto mix = [](std::uint64_t h, std::uint64_t word) {
        h ^= word;
        h *= kPrime;
        return h ^ (h >> 29);
    };
    const std::size_t rowBytes = static_cast<std::size_t>(world.width) * BytesPerPixel(format);
    for (A_long y = 0; y < world.height; ++y) {
        const auto* row = static_cast<const unsigned char*>(world.data) + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
        std::size_t i = 0;
        for (; i + 32 <= rowBytes; i += 32) {
            std::uint64_t words[4];
            std::memcpy(words, row + i, sizeof words);
            for (int k = 0; k < 4; ++k)
                lanes[k] = mix(lanes[k], words[k]);
        }
        for (; i < rowBytes; ++i)
            lanes[0] = mix(lanes[0], row[i]);
        lanes[1] = mix(lanes[1], static_cast<std::uint64_t>(y));
    }
    std::uint64_t hash = lanes[0];
    for (int k = 1; k < 4; ++k)
        hash = mix(hash, lanes[k]);
    return hash;
}

} // namespace harness
