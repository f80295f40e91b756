// The buffers the host hands over for a render: a picture converted to the
// render's pixel format, and scaled down to the render's resolution by area
// averaging.
#pragma once

#include "HostAPI.h"
#include "harness/state/World.h"

namespace harness {

// Size at render scale: ceil(size * n / d), in 64-bit integers.
A_long ScaledSize(A_long size, A_long n, A_u_long d);

// The picture in another format. 8-bit to 16-bit: round(v * 32768 / 255);
// to float: v / 255 (16-bit: v / 32768); float to an integer format:
// round(v * white), clamped, not-a-number as 0; 16-bit to 8-bit
// round(v * 255 / 32768). Rounding is half away from zero.
OwnedWorld ConvertWorld(const OwnedWorld& picture, PF_PixelFormat format);

// The picture scaled to ceil(w * nx / dx) by ceil(h * ny / dy) pixels in its
// own format. Every output pixel is the average of the source pixels it
// covers, weighted by the covered area, per channel, in double; integer
// formats round half away from zero. Factors of 1/1 give a copy.
OwnedWorld DownsampleWorld(const OwnedWorld& picture, A_long nx, A_u_long dx, A_long ny, A_u_long dy);

// A 64-bit hash of the visible pixels (padding excluded), to notice writes
// into buffers an effect must only read.
std::uint64_t HashPixels(const PF_EffectWorld& world, PF_PixelFormat format);

} // namespace harness
