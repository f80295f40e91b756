// Reading texture colours for one output pixel of a line: the bilinear
// reader with edge clamping, the texture column and row with tiling and
// mirrored repeats, the Specified Layer colour with area sampling, and the
// Original Frame position (with bouncing at the frame edges) and colour.
//
// Everything here runs per covered output pixel on the drawing pass's
// worker threads: it allocates nothing, calls no host suite, reads only the
// render context and the input and texture images, and keeps no state.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "HostAPI.h"
#include "geometry/Points.h"
#include "geometry/Rounding.h"
#include "pixels/ChannelVectors.h"
#include "pixels/PixelTraits.h"
#include "render/PFInfo.h"

namespace sampling_detail {

// The sum of the texture reads of an average, in float from 0, one
// channel at a time, and the average as a pixel (truncated as truncatePixel
// does).
template <typename T>
class ChannelSumOneByOne {
public:
    void add(const T& pixel)
    {
        const FloatChannels c = toFloatChannels(pixel);
        sum_.alpha += c.alpha;
        sum_.red += c.red;
        sum_.green += c.green;
        sum_.blue += c.blue;
    }
    T dividedBy(float divisor) const
    {
        return truncatePixel<T>(
            FloatChannels{sum_.alpha / divisor, sum_.red / divisor, sum_.green / divisor, sum_.blue / divisor});
    }
    T scaledBy(float scale) const
    {
        return truncatePixel<T>(
            FloatChannels{sum_.alpha * scale, sum_.red * scale, sum_.green * scale, sum_.blue * scale});
    }

private:
    FloatChannels sum_{0.0f, 0.0f, 0.0f, 0.0f};
};

#ifdef LINESTRA_SSE2_CHANNELS
// ChannelSumOneByOne with the four channels side by side: the same sums,
// quotients and products per channel, the same bits.
template <typename T>
class ChannelSumSideBySide {
public:
    void add(const T& pixel) { sum_ = _mm_add_ps(sum_, channel_vectors::channels(pixel)); }
    T dividedBy(float divisor) const
    {
        return channel_vectors::truncatedPixel<T>(_mm_div_ps(sum_, _mm_set1_ps(divisor)));
    }
    T scaledBy(float scale) const { return channel_vectors::truncatedPixel<T>(_mm_mul_ps(sum_, _mm_set1_ps(scale))); }

private:
    __m128 sum_ = _mm_setzero_ps();
};

template <typename T>
using ChannelSum = ChannelSumSideBySide<T>;
#else
template <typename T>
using ChannelSum = ChannelSumOneByOne<T>;
#endif

// Advances an averaging loop's counter; false when the step no longer moves
// it (a step of 0 or not a number, or a counter so large that adding the
// step changes nothing), which would otherwise never end the loop.
inline bool advance(float& counter, float step)
{
    const float next = counter + step;
    if (!(next > counter))
        return false;
    counter = next;
    return true;
}

// Distance, in units of the direction, from (px, py) to the frame edge that
// lies ahead in each axis; a ratio that is not a number is passed over
// (both not a number: the result is not a number).
inline float distanceToEdge(float px, float py, float dx, float dy, float width, float height)
{
    const float tX = std::fabs((dx > 0.0f ? width - px : px) / dx);
    const float tY = std::fabs((dy > 0.0f ? height - py : py) / dy);
    if (std::isnan(tX))
        return tY;
    if (std::isnan(tY))
        return tX;
    return tY < tX ? tY : tX;
}

// The bilinear blend of a pixel p, its right neighbour pr, the pixel below
// pl and the one below right pd at the fraction (fx, fy), in float, one
// channel at a time; integer formats truncate the result.
template <typename T>
inline T blendFourOneByOne(const T& p, const T& pr, const T& pl, const T& pd, float fx, float fy)
{
    const FloatChannels c = toFloatChannels(p);
    const FloatChannels cr = toFloatChannels(pr);
    const FloatChannels cl = toFloatChannels(pl);
    const FloatChannels cd = toFloatChannels(pd);
    const float gx = 1.0f - fx;
    const float gy = 1.0f - fy;
    auto blend = [&](float a, float ar, float al, float ad) {
        const float top = a * gx + ar * fx;
        const float bottom = al * gx + ad * fx;
        return top * gy + bottom * fy;
    };
    return truncatePixel<T>(FloatChannels{blend(c.alpha, cr.alpha, cl.alpha, cd.alpha),
                                          blend(c.red, cr.red, cl.red, cd.red),
                                          blend(c.green, cr.green, cl.green, cd.green),
                                          blend(c.blue, cr.blue, cl.blue, cd.blue)});
}

#ifdef LINESTRA_SSE2_CHANNELS
// blendFourOneByOne with the four channels side by side: the same products
// and sums per channel, the same bits.
template <typename T>
inline T blendFour(const T& p, const T& pr, const T& pl, const T& pd, float fx, float fy)
{
    using namespace channel_vectors;
    const __m128 gx = _mm_set1_ps(1.0f - fx);
    const __m128 gy = _mm_set1_ps(1.0f - fy);
    const __m128 fxv = _mm_set1_ps(fx);
    const __m128 fyv = _mm_set1_ps(fy);
    const __m128 top = _mm_add_ps(_mm_mul_ps(channels(p), gx), _mm_mul_ps(channels(pr), fxv));
    const __m128 bottom = _mm_add_ps(_mm_mul_ps(channels(pl), gx), _mm_mul_ps(channels(pd), fxv));
    return channel_vectors::truncatedPixel<T>(_mm_add_ps(_mm_mul_ps(top, gy), _mm_mul_ps(bottom, fyv)));
}
#endif

} // namespace sampling_detail

// Bilinear read of `world` at (x, y). Coordinates are clamped to the image
// (one that is not a number reads the last column or row); on the last
// column or row the missing neighbour is the pixel itself. The blend runs in
// float; integer formats truncate the result. An empty image reads as
// transparent black.
template <typename T>
inline T get_pixel_at_point_on_effectworld(PF_LayerDef* world, int pitch, float x, float y)
{
    const std::int32_t w = world->width;
    const std::int32_t h = world->height;
    if (w <= 0 || h <= 0)
        return T{};
    const float lastX = static_cast<float>(w - 1);
    const float lastY = static_cast<float>(h - 1);
    float cx = lastX;
    if (!std::isnan(x)) {
        cx = x < lastX ? x : lastX;
        cx = cx > 0.0f ? cx : 0.0f;
    }
    float cy = lastY;
    if (!std::isnan(y)) {
        cy = y < lastY ? y : lastY;
        cy = cy > 0.0f ? cy : 0.0f;
    }
    const auto ix = static_cast<std::int32_t>(cx);
    const auto iy = static_cast<std::int32_t>(cy);
    const float fx = cx - static_cast<float>(ix);
    const float fy = cy - static_cast<float>(iy);

    const T* pixels = static_cast<const T*>(world->data);
    const std::int32_t i = ix + iy * pitch;
    const std::int32_t right = ix == w - 1 ? 0 : 1;
    const std::int32_t down = iy == h - 1 ? 0 : pitch;
#ifdef LINESTRA_SSE2_CHANNELS
    return sampling_detail::blendFour(pixels[i], pixels[i + right], pixels[i + down], pixels[i + down + right], fx, fy);
#else
    return sampling_detail::blendFourOneByOne(pixels[i], pixels[i + right], pixels[i + down], pixels[i + down + right],
                                              fx, fy);
#endif
}

// Texture column for the point `lineDistance` pixels along a line, moved by
// `xOffset` texels: "Scale X" tiles per texture width, every second tile
// running backwards under "Repeat Mirrored X".
inline float getTextureCoordinateX(PFInfo* info, float lineDistance, float xOffset)
{
    const float w = static_cast<float>(info->textureWorld->width);
    const float x = info->scaleX * lineDistance + xOffset;
    const auto wide = static_cast<double>(w);
    if (!info->repeatMirroredX)
        return static_cast<float>(Linestra::exactFmod(static_cast<double>(x), wide));
    // The remainder by two tiles says whether this tile runs backwards, and
    // gives the remainder by one tile.
    const double twoTiles = Linestra::exactFmod(static_cast<double>(x), 2.0 * wide);
    float tx = static_cast<float>(Linestra::exactFmodFromTwice(twoTiles, static_cast<double>(x), wide));
    if (twoTiles >= wide) {
        const float e = w <= lineDistance ? 1.0f : 0.0f;
        tx = (w - 1.0f) - (tx + e);
    }
    return tx;
}

// Texture row for a line leaving the path `pathDistance` pixels from its
// start, moved by `yOffset` texels: "Scale Y" repeats per path length,
// shifted by "Texture Offset", anchored at the start of the path or at the
// line start nearest to "Point". The two anchors add their terms in
// different orders; each is kept as it is.
inline float getTextureCoordinateY(PFInfo* info, float pathDistance, float yOffset)
{
    const double pathLength = info->pathLength;
    const double h = static_cast<double>(info->textureWorld->height);
    const auto d = static_cast<float>(static_cast<double>(yOffset) * pathLength / h);
    const float s = info->scaleY * pathDistance;
    double v;
    if (info->originNearestToPoint) {
        v = ((static_cast<double>(s + d) + info->textureOffsetDistance) -
             static_cast<double>(info->scaleY) * info->originPathPosition) +
            static_cast<double>(std::ceil(info->scaleY)) * pathLength;
    } else {
        v = (static_cast<double>(d) + info->textureOffsetDistance) + static_cast<double>(s);
    }
    return static_cast<float>(Linestra::exactFmod(v, pathLength) * h / pathLength);
}

// The "Specified Layer" colour of one pixel: a single read of the tiled
// texture, or the average of reads spread along the path (pathSampleCount
// samples pathSampleStep texels apart), along the line (scaleXSampleCount
// samples scaleXSampleStep texels apart), or both. The divisor is the
// sample count. directionX and directionY are not used.
template <typename T>
inline T getTextureColor_SpecifiedLayer(PFInfo* info, float directionX, float directionY, float pathDistance,
                                        float lineDistance, float pathSampleStep, float pathSampleCount)
{
    static_cast<void>(directionX);
    static_cast<void>(directionY);
    PF_LayerDef* texture = info->textureWorld;
    const int pitch = info->texturePitch;
    const bool alongLine = info->areaSampleTextureX;
    const bool alongPath = info->areaSampleTextureY;
    if (!info->areaSamplingEnabled || (!alongLine && !alongPath)) {
        return get_pixel_at_point_on_effectworld<T>(texture, pitch, getTextureCoordinateX(info, lineDistance, 0.0f),
                                                    getTextureCoordinateY(info, pathDistance, 0.0f));
    }

    sampling_detail::ChannelSum<T> sum;
    float divisor;
    if (!alongLine) {
        const float column = getTextureCoordinateX(info, lineDistance, 0.0f);
        float k = 0.0f;
        while (k < pathSampleCount) {
            sum.add(get_pixel_at_point_on_effectworld<T>(texture, pitch, column,
                                                         getTextureCoordinateY(info, pathDistance, k)));
            if (!sampling_detail::advance(k, pathSampleStep))
                break;
        }
        divisor = pathSampleCount;
    } else if (!alongPath) {
        const float row = getTextureCoordinateY(info, pathDistance, 0.0f);
        float j = 0.0f;
        while (j < info->scaleXSampleCount) {
            sum.add(get_pixel_at_point_on_effectworld<T>(texture, pitch, getTextureCoordinateX(info, lineDistance, j),
                                                         row));
            if (!sampling_detail::advance(j, info->scaleXSampleStep))
                break;
        }
        divisor = info->scaleXSampleCount;
    } else {
        float k = 0.0f;
        while (k < pathSampleCount) {
            const float row = getTextureCoordinateY(info, pathDistance, k);
            float j = 0.0f;
            while (j < info->scaleXSampleCount) {
                sum.add(get_pixel_at_point_on_effectworld<T>(texture, pitch,
                                                             getTextureCoordinateX(info, lineDistance, j), row));
                if (!sampling_detail::advance(j, info->scaleXSampleStep))
                    break;
            }
            if (!sampling_detail::advance(k, pathSampleStep))
                break;
        }
        divisor = info->scaleXSampleCount * pathSampleCount;
    }
    return sum.dividedBy(divisor);
}

// Writes into `result` the frame position `length` pixels from `origin`
// along (directionX, directionY). Under "Mirror Tile At Edge" a walk that
// reaches a frame edge turns back the way it came (the whole direction is
// reversed) as often as needed.
inline void getOriginalFrameTextureCoordinates(PFInfo* info, Linestra::FloatPoint origin, Linestra::FloatPoint* result,
                                               float length, float directionX, float directionY)
{
    float px = origin.x;
    float py = origin.y;
    float dx = directionX;
    float dy = directionY;
    float remaining = length;
    if (info->mirrorTileAtEdge) {
        const auto w = static_cast<float>(info->width);
        const auto h = static_cast<float>(info->height);
        float t = sampling_detail::distanceToEdge(px, py, dx, dy, w, h);
        if (t < remaining) {
            // A walk that makes no progress twice in a row (a frame without
            // width or height, or a remaining distance too large for a step
            // to change it) stops bouncing rather than loop for ever.
            int stalls = 0;
            do {
                px += t * dx;
                py += t * dy;
                const float before = remaining;
                remaining -= t;
                dx = -dx;
                dy = -dy;
                t = sampling_detail::distanceToEdge(px, py, dx, dy, w, h);
                stalls = remaining < before ? 0 : stalls + 1;
            } while (remaining > t && stalls < 2);
        }
    }
    *result = Linestra::FloatPoint{px + remaining * dx, py + remaining * dy};
}

// Moves `point` one sample step (stepX, stepY). Under "Mirror Tile At Edge" a
// step that would cross the frame edge lands as far inside the edge as it
// would have gone beyond it; the step itself is not reversed.
inline void getOriginalFrameTextureCoordinates_AreaSampling(PFInfo* info, Linestra::FloatPoint* point, float stepX,
                                                            float stepY)
{
    if (info->mirrorTileAtEdge) {
        const float t = sampling_detail::distanceToEdge(point->x, point->y, stepX, stepY,
                                                        static_cast<float>(info->width),
                                                        static_cast<float>(info->height));
        if (t <= 1.0f) {
            const float f = 2.0f * t - 1.0f;
            point->x += f * stepX;
            point->y += f * stepY;
            return;
        }
    }
    point->x += stepX;
    point->y += stepY;
}

// The "Original Frame" colour at `point`: one read of the input frame, or,
// with area sampling, the average of sampleCount samples sampleStep apart
// starting at `point` and walking (stepX, stepY) per sample.
template <typename T>
inline T getTextureColor_OriginalFrame(PFInfo* info, Linestra::FloatPoint point, float stepX, float stepY,
                                       bool areaSample, float sampleCount, float sampleStep)
{
    PF_LayerDef* input = info->inputWorld;
    const int pitch = info->inputPitch;
    if (!info->areaSamplingEnabled || !areaSample)
        return get_pixel_at_point_on_effectworld<T>(input, pitch, point.x, point.y);

    sampling_detail::ChannelSum<T> sum;
    if (sampleCount > 0.0f) {
        float k = 0.0f;
        do {
            sum.add(get_pixel_at_point_on_effectworld<T>(input, pitch, point.x, point.y));
            getOriginalFrameTextureCoordinates_AreaSampling(info, &point, stepX, stepY);
        } while (sampling_detail::advance(k, sampleStep) && k < sampleCount);
    }
    return sum.scaledBy(1.0f / sampleCount);
}
