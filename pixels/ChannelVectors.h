// A pixel's four channels (alpha, red, green, blue, in memory order) in one
// SSE2 register of floats, for the per-pixel steps that treat every channel
// alike: the bilinear blend of texture reads and compositing. Each lane does
// exactly the operations, in the same order and precision, that the
// one-channel-at-a-time form does (the compilers contract nothing, and the
// conversions are the same IEEE conversions), so the results are the same
// bits; tests compare the two. Without SSE2 (other processors) the
// one-channel forms are used.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "HostAPI.h"
#include "geometry/Rounding.h"
#include "pixels/PixelTraits.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LINESTRA_SSE2_CHANNELS 1
#endif

#ifdef LINESTRA_SSE2_CHANNELS

namespace channel_vectors {

// The channels as whole numbers, one per 32-bit lane.
inline __m128i channelIntegers(const PF_Pixel& p)
{
    std::int32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero), zero);
}

inline __m128i channelIntegers(const PF_Pixel16& p)
{
    std::int64_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&bits)), _mm_setzero_si128());
}

// The channels as floats (each channel value converts exactly).
inline __m128 channels(const PF_Pixel& p)
{
    return _mm_cvtepi32_ps(channelIntegers(p));
}

inline __m128 channels(const PF_Pixel16& p)
{
    return _mm_cvtepi32_ps(channelIntegers(p));
}

inline __m128 channels(const PF_PixelFloat& p)
{
    return _mm_loadu_ps(&p.alpha);
}

// Whole numbers 0 .. 65535 (one per 32-bit lane) as the four channels of an
// 8-bit or 16-bit pixel; 8-bit values are at most 255.
inline PF_Pixel pixel8(__m128i whole)
{
    const __m128i words = _mm_packs_epi32(whole, whole);
    const std::int32_t bits = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    PF_Pixel p;
    std::memcpy(&p, &bits, sizeof p);
    return p;
}

inline PF_Pixel16 pixel16(__m128i whole)
{
    // Moved down by 32768 the values fit a signed 16-bit lane exactly, and
    // flipping the top bit moves them back up.
    const __m128i shifted = _mm_sub_epi32(whole, _mm_set1_epi32(32768));
    const __m128i words = _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16(-32768));
    PF_Pixel16 p;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&p), words);
    return p;
}

// Truncates each lane toward zero into 0 .. typeMax, as truncateChannel
// does: not a number and anything not above 0 give 0, typeMax and above
// give typeMax. (maxps hands back its second operand when the first is not
// a number.)
inline __m128i truncatedIntegers(__m128 v, float typeMax)
{
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(typeMax));
    return _mm_cvttps_epi32(clamped);
}

// Four channels as a pixel of type T: 8-bit and 16-bit truncate and clamp
// each channel into 0 .. typeMax as truncatePixel does; float keeps them.
template <typename T>
inline T truncatedPixel(__m128 v)
{
    if constexpr (std::is_same_v<T, PF_Pixel>) {
        return pixel8(truncatedIntegers(v, PixelTraits<T>::typeMax));
    } else if constexpr (std::is_same_v<T, PF_Pixel16>) {
        return pixel16(truncatedIntegers(v, PixelTraits<T>::typeMax));
    } else {
        T out;
        _mm_storeu_ps(&out.alpha, v);
        return out;
    }
}

// Rounds each lane to a whole number, halves away from zero, as
// Linestra::roundHalfAway does, except that a zero result may lose its
// sign: for values about to become integer channels, where -0 and 0 are
// the same. Lanes of magnitude 2^23 and above (and not a number) are
// already whole and come back unchanged.
inline __m128 roundedHalfAway(__m128 x)
{
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), x);
    const __m128 small = _mm_cmplt_ps(magnitude, _mm_set1_ps(Linestra::detail::RoundingTraits<float>::kWholeFrom));
    const __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
    const __m128 fraction = _mm_sub_ps(x, whole);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 up = _mm_and_ps(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f)), one);
    const __m128 down = _mm_and_ps(_mm_cmple_ps(fraction, _mm_set1_ps(-0.5f)), one);
    const __m128 rounded = _mm_sub_ps(_mm_add_ps(whole, up), down);
    return _mm_or_ps(_mm_and_ps(small, rounded), _mm_andnot_ps(small, x));
}

// Each float lane widened to double, multiplied by `factor` in double and
// rounded back to float: static_cast<float>(static_cast<double>(v) * factor)
// per lane.
inline __m128 timesInDouble(__m128 v, double factor)
{
    const __m128d f = _mm_set1_pd(factor);
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(v), f));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(v, v)), f));
    return _mm_movelh_ps(low, high);
}

} // namespace channel_vectors

#endif
