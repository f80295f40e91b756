// Colouring one output pixel of one line: take the texture colour (the
// prepared texture or the input frame), fade it along the line by "Fade In"
// and "Fade Out", and composite it over what the output pixel holds.
//
// getAndOutputColor runs for every covered output pixel, on the drawing
// pass's worker threads: no allocation, no host suite, the output pixel
// reached by direct indexing through outputPitch. getAndOutputColor picks
// the per-format template getAndOutputColorT<T> from the render's format.
#pragma once

#include <cmath>
#include <cstdint>

#include "HostAPI.h"
#include "geometry/LineClipping.h"
#include "geometry/Points.h"
#include "geometry/Rounding.h"
#include "pixels/ChannelVectors.h"
#include "pixels/PixelTraits.h"
#include "pixels/TextureSampling.h"
#include "render/PFInfo.h"

// The fade multiplier of a pixel lineDistance pixels from its line's start.
// The fade runs over the visible length of `iterator`'s line under "Stop Fade
// At Edge" (the iterator is read only then and may be null otherwise), over
// the longest line under "To Edge", else over the stroke length. All in
// float; the result is not a number when the position along the fade is not
// (0 ÷ 0 for a fade length of 0 at the line's start).
inline float calculateAlphaMul(PFInfo* info, float lineDistance, const Linestra::LineSegmentIterator* iterator)
{
    float fadeLength;
    if (info->stopFadeAtEdge)
        fadeLength = static_cast<float>(iterator->line.visibleLength);
    else if (info->toEdge)
        fadeLength = static_cast<float>(info->maxLineLength);
    else
        fadeLength = info->strokeLength;

    const float t = lineDistance / fadeLength;
    const float u = 1.0f < t ? 1.0f : t; // a t that is not a number stays so

    const float fadeIn = info->fadeIn;
    const float curve = info->fadeCurve;
    float inMul;
    if (fadeIn == 0.0f) {
        inMul = 1.0f;
    } else if (fadeIn < 50.0f) {
        const float ramp = (u * 50.0f) / fadeIn;
        inMul = 1.0f < ramp ? 1.0f : ramp;
    } else {
        const float k = 0.02f * fadeIn - 1.0f;
        inMul = u < k ? 0.0f : (u - k) / ((2.0f - 0.02f * fadeIn) + k * curve);
    }

    const float fadeOut = info->fadeOut;
    if (fadeOut == 0.0f)
        return inMul;
    if (fadeOut < 50.0f) {
        const float ramp = (50.0f - 50.0f * u) / fadeOut;
        return (1.0f < ramp ? 1.0f : ramp) * inMul;
    }
    const float m = 2.0f - 0.02f * fadeOut;
    if (u > m)
        return 0.0f;
    const float tail = (1.0f - u / m) + (curve - 1.0f) * (0.02f * fadeOut - 1.0f);
    return (0.0f < tail ? tail : 0.0f) * inMul;
}

namespace composite_detail {

// The compositing of `source` over `*destination`, one channel at a time:
// the reference for draw_point_on_top, which does the same with the four
// channels side by side where SSE2 is at hand.
inline void overOneByOne(PF_Pixel* destination, PF_Pixel source)
{
    constexpr double toUnit = 1.0 / 255.0;
    const auto sa = static_cast<float>(static_cast<double>(source.alpha) * toUnit);
    const float keep = 1.0f - sa;
    auto unit = [&](A_u_char d) { return static_cast<float>(static_cast<double>(d) * toUnit); };
    auto colourTerm = [&](A_u_char c) {
        return static_cast<float>(static_cast<double>(static_cast<float>(c) * sa) * toUnit);
    };
    auto store = [](float v) {
        const float r = Linestra::roundHalfAway(v * 255.0f);
        return static_cast<A_u_char>(r < 0.0f ? 0.0f : (r > 255.0f ? 255.0f : r));
    };
    destination->alpha = store(sa + keep * unit(destination->alpha));
    destination->red = store(colourTerm(source.red) + keep * unit(destination->red));
    destination->green = store(colourTerm(source.green) + keep * unit(destination->green));
    destination->blue = store(colourTerm(source.blue) + keep * unit(destination->blue));
}

inline void overOneByOne(PF_Pixel16* destination, PF_Pixel16 source)
{
    constexpr double toUnit = 1.0 / 32768.0;
    const auto sa = static_cast<float>(static_cast<double>(source.alpha) * toUnit);
    const float sc = sa * (1.0f / 32768.0f);
    const float keep = 1.0f - sa;
    auto unit = [&](A_u_short d) { return static_cast<float>(static_cast<double>(d) * toUnit); };
    auto store = [](float v) {
        float r = Linestra::roundHalfAway(v * 32768.0f);
        r = r < 0.0f ? 0.0f : (r > 65535.0f ? 65535.0f : r);
        return static_cast<A_u_short>(r > 32768.0f ? 32768.0f : r);
    };
    destination->alpha = store(sa + keep * unit(destination->alpha));
    destination->red = store(static_cast<float>(source.red) * sc + keep * unit(destination->red));
    destination->green = store(static_cast<float>(source.green) * sc + keep * unit(destination->green));
    destination->blue = store(static_cast<float>(source.blue) * sc + keep * unit(destination->blue));
}

inline void overOneByOne(PF_PixelFloat* destination, PF_PixelFloat source)
{
    const float sa = source.alpha;
    const float keep = 1.0f - sa;
    destination->alpha = sa + keep * destination->alpha;
    destination->red = sa * source.red + keep * destination->red;
    destination->green = sa * source.green + keep * destination->green;
    destination->blue = sa * source.blue + keep * destination->blue;
}

#ifdef LINESTRA_SSE2_CHANNELS
// overOneByOne with the channels side by side. The alpha lane's term is the
// source alpha itself, the colour lanes' the colour weighted by it.
inline void overSideBySide(PF_Pixel* destination, PF_Pixel source)
{
    using namespace channel_vectors;
    constexpr double toUnit = 1.0 / 255.0;
    const auto sa = static_cast<float>(static_cast<double>(source.alpha) * toUnit);
    const __m128 keep = _mm_set1_ps(1.0f - sa);
    const __m128 unit = timesInDouble(channels(*destination), toUnit);
    const __m128 colourTerms = timesInDouble(_mm_mul_ps(channels(source), _mm_set1_ps(sa)), toUnit);
    const __m128 terms = _mm_move_ss(colourTerms, _mm_set_ss(sa));
    const __m128 sum = _mm_add_ps(terms, _mm_mul_ps(keep, unit));
    const __m128 rounded = roundedHalfAway(_mm_mul_ps(sum, _mm_set1_ps(255.0f)));
    *destination = pixel8(truncatedIntegers(rounded, 255.0f));
}

inline void overSideBySide(PF_Pixel16* destination, PF_Pixel16 source)
{
    using namespace channel_vectors;
    constexpr double toUnit = 1.0 / 32768.0;
    const auto sa = static_cast<float>(static_cast<double>(source.alpha) * toUnit);
    const float sc = sa * (1.0f / 32768.0f);
    const __m128 keep = _mm_set1_ps(1.0f - sa);
    const __m128 unit = timesInDouble(channels(*destination), toUnit);
    const __m128 colourTerms = _mm_mul_ps(channels(source), _mm_set1_ps(sc));
    const __m128 terms = _mm_move_ss(colourTerms, _mm_set_ss(sa));
    const __m128 sum = _mm_add_ps(terms, _mm_mul_ps(keep, unit));
    const __m128 rounded = roundedHalfAway(_mm_mul_ps(sum, _mm_set1_ps(32768.0f)));
    *destination = pixel16(truncatedIntegers(rounded, 32768.0f));
}

inline void overSideBySide(PF_PixelFloat* destination, PF_PixelFloat source)
{
    using namespace channel_vectors;
    const float sa = source.alpha;
    const __m128 keep = _mm_set1_ps(1.0f - sa);
    const __m128 src = channels(source);
    const __m128 terms = _mm_move_ss(_mm_mul_ps(_mm_set1_ps(sa), src), _mm_set_ss(sa));
    _mm_storeu_ps(&destination->alpha, _mm_add_ps(terms, _mm_mul_ps(keep, channels(*destination))));
}
#endif

} // namespace composite_detail

// Composites `source` over `*destination` in place. For the integer formats
// the source's alpha already holds the faded alpha; results are rounded half
// away from zero and clamped (8-bit 0..255, 16-bit 0..32768). Float is
// neither rounded nor clamped. Colour enters straight, weighted by the
// source alpha; the destination enters with weight 1 - source alpha.
template <typename T>
inline void draw_point_on_top(T* destination, T source)
{
#ifdef LINESTRA_SSE2_CHANNELS
    composite_detail::overSideBySide(destination, source);
#else
    composite_detail::overOneByOne(destination, source);
#endif
}

// Colours output pixel `pixel` for the line `lineIndex` (see getAndOutputColor
// for the arguments), in the pixel format of T. A pixel whose fade factor is
// not a number is left as it was.
template <typename T>
inline void getAndOutputColorT(PFInfo* info, std::uint32_t lineIndex, float pathDistance, Linestra::Int32Point pixel,
                               Linestra::FloatPoint lineOrigin, float directionX, float directionY, float lineDistance,
                               float pathSampleStep, float pathSampleCount)
{
    const Linestra::LineSegmentIterator* iterator = info->stopFadeAtEdge ? info->iterators + lineIndex : nullptr;
    const float fade = calculateAlphaMul(info, lineDistance, iterator);
    if (std::isnan(fade))
        return;

    T colour;
    if (!info->useOriginalFrame) {
        // "Scale X Gradient" has no effect on this source.
        colour = getTextureColor_SpecifiedLayer<T>(info, directionX, directionY, pathDistance, lineDistance,
                                                   pathSampleStep, pathSampleCount);
    } else {
        float scale;
        bool areaSample;
        float sampleCount;
        float sampleStep;
        if (info->scaleXGradient) {
            scale = info->scaleXStart +
                    (info->scaleXEnd - info->scaleXStart) * lineDistance / static_cast<float>(info->maxLineLength);
            areaSample = scale > 1.0f;
            sampleCount = std::floor(scale);
            sampleStep = 1.0f;
        } else {
            scale = info->scaleX;
            areaSample = info->areaSampleOriginalX;
            sampleCount = info->scaleXSampleCount;
            sampleStep = info->scaleXSampleStep;
        }
        Linestra::FloatPoint samplePoint;
        getOriginalFrameTextureCoordinates(info, lineOrigin, &samplePoint, scale * lineDistance, directionX,
                                           directionY);
        colour = getTextureColor_OriginalFrame<T>(info, samplePoint, directionX, directionY, areaSample, sampleCount,
                                                  sampleStep);
    }

    if constexpr (PixelTraits<T>::isInteger)
        colour.alpha = truncateChannel<T>(fade * static_cast<float>(colour.alpha));
    else
        colour.alpha = fade * colour.alpha;
    T* destination = static_cast<T*>(info->outputWorld->data) +
                     (pixel.x + pixel.y * static_cast<std::int32_t>(info->outputPitch));
    draw_point_on_top(destination, colour);
}

// Colours one output pixel of one line in the render's pixel format
// (info->pixelFormat; any other code writes nothing).
//   lineIndex        the line's walking line in info->iterators (read only
//                    for the fade under "Stop Fade At Edge")
//   pathDistance     distance along the path of the line's anchor
//   pixel            the output pixel; 0 <= x < width, 0 <= y < height
//   lineOrigin       the line's start point
//   directionX/Y     the line's unit direction as the drawing pass hands it on
//   lineDistance     distance from lineOrigin to the pixel's centre
//   pathSampleStep/Count  area sampling along the path (count >= 1)
void getAndOutputColor(PFInfo* info, std::uint32_t lineIndex, float pathDistance, Linestra::Int32Point pixel,
                       Linestra::FloatPoint lineOrigin, float directionX, float directionY, float lineDistance,
                       float pathSampleStep, float pathSampleCount);
