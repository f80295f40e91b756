// Pixel buffers the stand-in host owns and lends to the effect as
// PF_EffectWorld records: input layers, texture layers, outputs and the
// worlds an effect creates through the world suite.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "HostAPI.h"

namespace harness {

// Bytes per pixel of a format code; 0 for an unknown code.
std::size_t BytesPerPixel(PF_PixelFormat format);

// Row stride the host gives a buffer of `width` pixels: the packed size
// rounded up to a multiple of 64 bytes plus 64 more, so that code which
// confuses width and pitch reads the wrong pixels.
A_long PaddedRowBytes(A_long width, PF_PixelFormat format);

// A buffer and the PF_EffectWorld record that describes it.
class OwnedWorld {
public:
    OwnedWorld(A_long width, A_long height, PF_PixelFormat format);
    // Copies own their pixels: the record points into the copy's buffer.
    OwnedWorld(const OwnedWorld& other);
    OwnedWorld& operator=(const OwnedWorld& other);
    OwnedWorld(OwnedWorld&& other) noexcept = default;
    OwnedWorld& operator=(OwnedWorld&& other) noexcept = default;

    PF_EffectWorld& world() { return world_; }
    const PF_EffectWorld& world() const { return world_; }
    PF_PixelFormat format() const { return format_; }
    A_long width() const { return world_.width; }
    A_long height() const { return world_.height; }

    template <typename Pixel>
    Pixel* row(A_long y)
    {
        return reinterpret_cast<Pixel*>(static_cast<unsigned char*>(world_.data) +
                                        static_cast<std::ptrdiff_t>(y) * world_.rowbytes);
    }
    template <typename Pixel>
    const Pixel* row(A_long y) const
    {
        return reinterpret_cast<const Pixel*>(static_cast<const unsigned char*>(world_.data) +
                                              static_cast<std::ptrdiff_t>(y) * world_.rowbytes);
    }

    // Fills every byte, padding included, with `value`.
    void fillBytes(unsigned char value);

private:
    PF_EffectWorld world_{};
    PF_PixelFormat format_;
    std::vector<unsigned char> storage_;
};

// Worlds kept for reuse (disposed worlds, earlier frames' output images): a
// new 1080p image costs thousands of page faults, a kept one only its
// clearing. `spares` holds unique or shared pointers, oldest first.

// Takes the oldest kept world of that size and format that `usable`
// accepts out of `spares`; null when there is none.
template <typename Pointer, typename Usable>
Pointer TakeSpareWorld(std::vector<Pointer>& spares, A_long width, A_long height, PF_PixelFormat format,
                       Usable&& usable)
{
    for (auto spare = spares.begin(); spare != spares.end(); ++spare) {
        if ((*spare)->width() == width && (*spare)->height() == height && (*spare)->format() == format &&
            usable(*spare)) {
            Pointer world = std::move(*spare);
            spares.erase(spare);
            return world;
        }
    }
    return nullptr;
}

// Keeps `world` in `spares`, which hold at most `most`: the oldest goes.
template <typename Pointer>
void KeepSpareWorld(std::vector<Pointer>& spares, Pointer world, std::size_t most)
{
    spares.push_back(std::move(world));
    if (spares.size() > most)
        spares.erase(spares.begin());
}

} // namespace harness
