#include "harness/state/World.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace harness {

std::size_t BytesPerPixel(PF_PixelFormat format)
{
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return sizeof(PF_Pixel);
    case PF_PixelFormat_ARGB64:
        return sizeof(PF_Pixel16);
    case PF_PixelFormat_ARGB128:
        return sizeof(PF_PixelFloat);
    default:
        return 0;
    }
}

A_long PaddedRowBytes(A_long width, PF_PixelFormat format)
{
    const auto packed = static_cast<std::size_t>(width) * BytesPerPixel(format);
    const std::size_t rounded = (packed + 63) / 64 * 64;
    return static_cast<A_long>(rounded + 64);
}

OwnedWorld::OwnedWorld(A_long width, A_long height, PF_PixelFormat format) : format_(format)
{
    if (width < 0 || height < 0)
        throw std::invalid_argument("world size must not be negative: " + std::to_string(width) + " x " +
                                    std::to_string(height));
    if (BytesPerPixel(format) == 0)
        throw std::invalid_argument("unknown pixel format code " + std::to_string(format));
    world_.width = width;
    world_.height = height;
    world_.rowbytes = PaddedRowBytes(width, format);
    storage_.assign(static_cast<std::size_t>(world_.rowbytes) * static_cast<std::size_t>(height) + 64, 0);
    world_.data = storage_.data();
    world_.extent_hint = PF_LRect{0, 0, width, height};
    world_.pix_aspect_ratio = PF_RationalScale{1, 1};
    world_.world_flags = PF_WorldFlag_WRITEABLE | (format == PF_PixelFormat_ARGB64 ? PF_WorldFlag_DEEP : 0);
}

OwnedWorld::OwnedWorld(const OwnedWorld& other)
    : world_(other.world_), format_(other.format_), storage_(other.storage_)
{
    world_.data = storage_.data();
}

OwnedWorld& OwnedWorld::operator=(const OwnedWorld& other)
{
    if (this != &other) {
        world_ = other.world_;
        format_ = other.format_;
        storage_ = other.storage_;
        world_.data = storage_.data();
    }
    return *this;
}

void OwnedWorld::fillBytes(unsigned char value)
{
    std::memset(storage_.data(), value, storage_.size());
}

} // namespace harness
