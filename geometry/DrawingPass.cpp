#include "geometry/DrawingPass.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

#include "geometry/FineLine.h"
#include "geometry/FineLineDistance.h"
#include "geometry/LineClipping.h"
#include "geometry/Rounding.h"
#include "pixels/ColourOutput.h"
#include "render/PFInfo.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LINESTRA_SSE2_WALK 1
#endif

namespace {

using Linestra::FineLine;
using Linestra::FloatPoint;
using Linestra::Int32Point;
using Linestra::Line;

constexpr float kNoCandidate = 9999.0f;

bool isPainted(const PFInfo* info, std::uint32_t p)
{
    return (info->paintedMask[p >> 6].load(std::memory_order_relaxed) >> (p & 63u)) & 1u;
}

void markPainted(PFInfo* info, std::uint32_t p)
{
    info->paintedMask[p >> 6].fetch_or(std::uint64_t{1} << (p & 63u), std::memory_order_relaxed);
}

// Index of the line at the texture-offset-shifted path position, or -1 when
// it falls outside the table. `reciprocal` chooses how the distance is
// scaled to buckets: multiplied by 1 / bucketSpacing, or divided by it.
std::int32_t shiftedLineIndex(const PFInfo* info, float pathDistance, bool reciprocal)
{
    const auto shifted = static_cast<float>(
        Linestra::exactFmod(static_cast<double>(pathDistance) + info->textureOffsetDistance, info->pathLength));
    const double v = reciprocal ? static_cast<double>(shifted) * (1.0 / info->bucketSpacing)
                                : static_cast<double>(shifted) / info->bucketSpacing;
    std::int32_t m = lookUpFineLine(info, v);
    const auto count = static_cast<std::int32_t>(info->lineCount);
    if (m >= count && !info->pathIsOpen)
        m -= count;
    return (m >= 0 && m < count) ? m : -1;
}

// Texels of the texture that one output pixel spans along the path, from
// the density of fine lines at `lineDistance` from the start of a line whose
// bucket turns by `angleDelta`.
float pathSpan(const PFInfo* info, float angleDelta, float lineDistance)
{
    const double density =
        (info->bucketSpacing / static_cast<double>(info->matchTolerance) +
         static_cast<double>(lineDistance * 1.4142135f * std::fabs(angleDelta) / info->matchTolerance)) *
        static_cast<double>(info->lineDensityFactor);
    const auto perDensity =
        static_cast<float>(static_cast<double>(static_cast<float>(info->textureHeight) * info->scaleY) / density);
    return static_cast<float>(static_cast<double>(perDensity) / info->pathLength);
}

} // namespace

void pathSampling(const PFInfo* info, float angleDelta, float lineDistance, float* step, float* count)
{
    const float k = pathSpan(info, angleDelta, lineDistance);
    if (!(k >= 1.0f)) { // below 1, or not a number
        *count = 1.0f;
        *step = 1.0f;
        return;
    }
    const float whole = std::floor(k);
    *step = (whole == 1.0f) ? 1.0f : k / whole;
    // A path far shorter than the texture is tall (times Scale Y) makes one
    // pixel span the texture along the path many times over; the samples,
    // about a texel apart, then go round the texture again and again
    // (millions of times for a mask a fraction of a pixel long). One round,
    // a sample per texture row, is all the texture can resolve: the count
    // stops there, at the same step.
    const float rows = info->textureHeight > 0 ? static_cast<float>(info->textureHeight) : 1.0f;
    *count = std::min(whole, rows);
}

namespace {

// Paints the pixel from `candidate`, or from the line at the shifted path
// position when a texture offset is set. False when that line falls
// outside the table (the pixel is then not painted).
bool paintFromLine(const DrawingPass& pass, std::uint32_t walkingLine, const FineLine& candidate, Int32Point pixel,
                   float lineDistance, bool reciprocalLookup)
{
    PFInfo* info = pass.info;
    const float pathDistance = candidate.pathDistance;
    const FineLine* drawn = &candidate;
    if (info->textureOffset != 0.0f) {
        const std::int32_t m = shiftedLineIndex(info, pathDistance, reciprocalLookup);
        if (m < 0)
            return false;
        drawn = &info->lines[m];
    }
    float directionX = drawn->direction.x;
    float directionY = drawn->direction.y;
    if (info->directionSignMode == 2) {
        directionX = -directionX;
        directionY = -directionY;
    }
    float step = 1.0f;
    float count = 1.0f;
    if (!pass.onePathSample)
        pathSampling(info, candidate.angleDelta, lineDistance, &step, &count);
    getAndOutputColor(info, walkingLine, pathDistance, pixel, drawn->start, directionX, directionY, lineDistance,
                      step, count);
    return true;
}

// candidateGroup for a pixel's search through the render's table.
void candidatesOf(const PFInfo* info, bool interior, std::int32_t centre, std::int32_t candidates,
                  std::int32_t first, std::int32_t* index, bool* valid)
{
    candidateGroup(static_cast<std::int32_t>(info->lineCount), info->pathIsOpen, interior, centre, candidates, first,
                   index, valid);
}

// No candidate within the tolerance could paint the pixel: the first
// nearest one paints it, when it is not painted yet. Candidates are
// measured four at a time; the four results are then taken in search order.
// `interior` as for drawOwnedPixel's search, which this one repeats.
void drawFromNearestCandidate(const DrawingPass& pass, std::uint32_t walkingLine, std::int32_t centre,
                              bool interior, Int32Point pixel, std::uint32_t p)
{
    PFInfo* info = pass.info;
    const std::int32_t candidates = pass.candidates;
    float bestDistance = kNoCandidate;
    std::int32_t best = -1;
    for (std::int32_t first = 0; first < candidates; first += Linestra::kDistanceLanes) {
        std::int32_t index[Linestra::kDistanceLanes];
        bool valid[Linestra::kDistanceLanes];
        candidatesOf(info, interior, centre, candidates, first, index, valid);
        float r[Linestra::kDistanceLanes];
        float e[Linestra::kDistanceLanes];
        Linestra::candidateDistances(info->lines, index, pixel, r, e);
        for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
            if (valid[k] && e[k] < bestDistance) {
                bestDistance = e[k];
                best = index[k];
            }
        }
    }
    if (best >= 0 && bestDistance != kNoCandidate && !isPainted(info, p)) {
        const FineLine& line = info->lines[best];
        if (paintFromLine(pass, walkingLine, line, pixel, Linestra::distanceToStart(line, pixel), false))
            markPainted(info, p);
    }
}

// Finds the fine line through one owned pixel and paints the pixel from it:
// the first candidate, in search order, within the match tolerance whose
// line can paint it; otherwise the first nearest candidate, when the pixel
// is not painted yet. A quick test four candidates at a time passes over
// the lines that cannot be within the tolerance; the rest are measured
// exactly, one by one in search order.
void drawOwnedPixel(const DrawingPass& pass, std::uint32_t walkingLine, std::int32_t centre, Int32Point pixel,
                    std::uint32_t p)
{
    PFInfo* info = pass.info;
    const std::int32_t candidates = pass.candidates;
    const float tolerance = info->matchTolerance;
    const bool interior = searchIsInterior(static_cast<std::int32_t>(info->lineCount), centre, candidates);
    for (std::int32_t first = 0; first < candidates; first += Linestra::kDistanceLanes) {
        std::int32_t index[Linestra::kDistanceLanes];
        bool valid[Linestra::kDistanceLanes];
        candidatesOf(info, interior, centre, candidates, first, index, valid);
        const int reach = Linestra::candidatesWithinReach(info->lines, index, pixel, tolerance);
        for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
            if (!valid[k] || ((reach >> k) & 1) == 0)
                continue;
            const FineLine& line = info->lines[index[k]];
            const float r = Linestra::distanceToStart(line, pixel);
            const float e = Linestra::perpendicularDistance(line, pixel, r);
            if (e <= tolerance && paintFromLine(pass, walkingLine, line, pixel, r, true)) {
                markPainted(info, p);
                return;
            }
        }
    }
    drawFromNearestCandidate(pass, walkingLine, centre, interior, pixel, p);
}

} // namespace

bool searchIsInterior(std::int32_t lineCount, std::int32_t centre, std::int32_t candidates)
{
    // The offsets run from -(candidates - 1) to candidates - 2.
    return centre >= candidates &&
           static_cast<std::int64_t>(centre) + candidates < static_cast<std::int64_t>(lineCount);
}

void candidateGroup(std::int32_t lineCount, bool pathIsOpen, bool interior, std::int32_t centre,
                    std::int32_t candidates, std::int32_t first, std::int32_t* index, bool* valid)
{
    for (int k = 0; k < Linestra::kDistanceLanes; ++k) {
        const std::int32_t j = first + k;
        std::int32_t n = centre + candidateOffset(j);
        if (interior) {
            valid[k] = j < candidates;
        } else {
            if (!pathIsOpen) {
                if (n < 0)
                    n += lineCount;
                else if (n >= lineCount)
                    n -= lineCount;
            }
            valid[k] = j < candidates && n >= 0 && n < lineCount;
        }
        index[k] = valid[k] ? n : 0; // line 0 always exists: a harmless stand-in
    }
}

bool onePathSampleEverywhere(const PFInfo* info)
{
    // Only the Specified Layer's texture, area-sampled along the path, reads
    // the samples along the path.
    if (info->useOriginalFrame || !info->areaSamplingEnabled || !info->areaSampleTextureY)
        return true;
    // pathSpan falls as the density of lines, its denominator, grows, and
    // the density is at least its value with no turning (lineDistance x
    // |angleDelta| adds a term that is 0 or more, or not a number). With
    // every factor positive and finite, each rounding step keeps that
    // order, so no pixel's span is above the span with no turning. Below 2
    // texels a span gives one sample (step 1), as does not a number.
    const auto finitePositive = [](double v) { return v > 0.0 && v < std::numeric_limits<double>::infinity(); };
    const auto rows = static_cast<double>(static_cast<float>(info->textureHeight) * info->scaleY);
    if (!finitePositive(info->bucketSpacing) || !finitePositive(static_cast<double>(info->matchTolerance)) ||
        !finitePositive(static_cast<double>(info->lineDensityFactor)) || !finitePositive(rows) ||
        !finitePositive(info->pathLength))
        return false;
    return pathSpan(info, 0.0f, 0.0f) < 2.0f;
}

std::int32_t candidateCount(std::int32_t searchRadius)
{
    std::int32_t j = 0;
    while (!(j >= 2 && (j & 1) == 0 && j >= searchRadius))
        ++j;
    return j;
}

std::int32_t lookUpFineLine(const PFInfo* info, double v)
{
    if (info->bucketCount == 0)
        return 0; // a path shorter than one bucket: its table holds line 0 only
    const double whole = std::floor(v);
    std::int64_t b = static_cast<std::int64_t>(whole);
    if (b >= static_cast<std::int64_t>(info->bucketCount))
        b = static_cast<std::int64_t>(info->bucketCount) - 1;
    if (b < 0)
        b = 0;
    const auto f = static_cast<float>(v - whole);
    const float offset = Linestra::roundHalfAway(f * static_cast<float>(info->bucketLineCount[b]));
    return static_cast<std::int32_t>(offset + static_cast<float>(info->bucketFirstLine[b]));
}

namespace {

// Whether walking line u paints nothing: lines within one pixel of either
// end of an open path.
bool skippedAtOpenEnd(const PFInfo* info, const Line& line)
{
    return info->pathIsOpen && (line.pathPosition <= 1.0 || line.pathPosition >= info->pathLength - 1.0);
}

// Calls visit(step, pixel, index) for every step of the walk along `line`
// that lands in the owner rectangle, `index` being the pixel's place in the
// ownership table. The walk adds the direction to the start in float, one
// step at a time, exactly as LineSegmentIterator::next_pos does, and rounds
// each position half away from zero to a pixel; a position outside the
// rectangle (which holds every pixel of the frame a step can land on), or
// not a number, is passed over. (next_pos widens the position to double:
// rounding the float or its exact widening gives the same whole number, and
// the rectangle's sides are whole numbers a float holds exactly.)
template <typename Visit>
void walkLine(const PFInfo* info, const Line& line, Visit&& visit)
{
    FloatPoint pos = line.start;
    const auto steps = static_cast<std::int32_t>(info->maxLineLength);
    const auto left = static_cast<float>(info->ownerLeft);
    const auto top = static_cast<float>(info->ownerTop);
    const auto right = static_cast<float>(info->ownerLeft + info->ownerWidth);
    const auto bottom = static_cast<float>(info->ownerTop + info->ownerHeight);
    for (std::int32_t s = 0; s < steps; ++s) {
        pos += line.direction;
        const float px = Linestra::roundHalfAway(pos.x);
        const float py = Linestra::roundHalfAway(pos.y);
        if (!(px >= left && py >= top && px < right && py < bottom))
            continue;
        const Int32Point pixel{static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)};
        const std::uint32_t index =
            static_cast<std::uint32_t>(pixel.y - info->ownerTop) * static_cast<std::uint32_t>(info->ownerWidth) +
            static_cast<std::uint32_t>(pixel.x - info->ownerLeft);
        visit(s, pixel, index);
    }
}

// Raises a pixel's owner rank to `rank` when that is larger.
void claimOwner(OwnerRank& slot, OwnerRank rank)
{
    std::atomic_ref<OwnerRank> owner(slot);
    OwnerRank current = owner.load(std::memory_order_relaxed);
    while (rank > current && !owner.compare_exchange_weak(current, rank, std::memory_order_relaxed)) {
    }
}

#ifdef LINESTRA_SSE2_WALK
// Up to four walking lines side by side, a lane each; lanes past the last
// line start at not-a-number.
struct FourLines {
    alignas(16) float startX[4];
    alignas(16) float startY[4];
    alignas(16) float directionX[4];
    alignas(16) float directionY[4];
    std::uint32_t owner[4];
};

// Walks up to four lines side by side, step by step, with SSE2, claiming
// every pixel a step lands on: per lane the same float additions as
// walkLine, and the same pixels. A position lands in the owner rectangle
// when it lies in (left - 0.5, right - 0.5) and (top - 0.5, bottom - 0.5),
// which not-a-number never does; no step comes within half a pixel of a
// side of the rectangle that is not a side of the frame (the rectangle's
// margin), and on the frame's sides that test is exactly the rounding into
// the frame. Inside, truncation and the exact fraction give the rounded
// pixel as roundHalfAway does.
// Unused lanes start at not-a-number and never land. The order of the
// claims differs from one line after another, which the ranks' maximum
// does not see.
void claimFourLines(PFInfo* info, const FourLines& lines)
{
    __m128 x = _mm_load_ps(lines.startX);
    __m128 y = _mm_load_ps(lines.startY);
    const __m128 dx = _mm_load_ps(lines.directionX);
    const __m128 dy = _mm_load_ps(lines.directionY);
    const auto width = static_cast<std::uint32_t>(info->ownerWidth);
    const __m128i left = _mm_set1_epi32(info->ownerLeft);
    const __m128i top = _mm_set1_epi32(info->ownerTop);
    const __m128 lowX = _mm_set1_ps(static_cast<float>(info->ownerLeft) - 0.5f);
    const __m128 lowY = _mm_set1_ps(static_cast<float>(info->ownerTop) - 0.5f);
    const __m128 highX = _mm_set1_ps(static_cast<float>(info->ownerLeft + info->ownerWidth) - 0.5f);
    const __m128 highY = _mm_set1_ps(static_cast<float>(info->ownerTop + info->ownerHeight) - 0.5f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 minusHalf = _mm_set1_ps(-0.5f);
    OwnerRank* ranks = info->ownerRanks;
    const auto steps = static_cast<std::int32_t>(info->maxLineLength);
    for (std::int32_t s = 0; s < steps; ++s) {
        x = _mm_add_ps(x, dx);
        y = _mm_add_ps(y, dy);
        const __m128 inside = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(x, lowX), _mm_cmplt_ps(x, highX)),
                                         _mm_and_ps(_mm_cmpgt_ps(y, lowY), _mm_cmplt_ps(y, highY)));
        auto landed = static_cast<unsigned>(_mm_movemask_ps(inside));
        if (landed == 0)
            continue;
        auto rounded = [&](__m128 v) {
            const __m128i whole = _mm_cvttps_epi32(v);
            const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
            // A comparison that holds is -1: subtracting it adds one.
            const __m128i up = _mm_sub_epi32(whole, _mm_castps_si128(_mm_cmpge_ps(fraction, half)));
            return _mm_add_epi32(up, _mm_castps_si128(_mm_cmple_ps(fraction, minusHalf)));
        };
        // The pixel's column and row in the owner rectangle.
        alignas(16) std::int32_t px[4];
        alignas(16) std::int32_t py[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(px), _mm_sub_epi32(rounded(x), left));
        _mm_store_si128(reinterpret_cast<__m128i*>(py), _mm_sub_epi32(rounded(y), top));
        while (landed != 0) {
            const int k = std::countr_zero(landed);
            landed &= landed - 1;
            const std::uint32_t p = static_cast<std::uint32_t>(py[k]) * width + static_cast<std::uint32_t>(px[k]);
            claimOwner(ranks[p], ownerRank(static_cast<std::uint32_t>(s), lines.owner[k]));
        }
    }
}
#endif

// Claims the pixels of walking lines first to last - 1.
void claimLines(PFInfo* info, std::uint64_t first, std::uint64_t last)
{
#ifdef LINESTRA_SSE2_WALK
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::uint64_t u = first;
    while (u < last) {
        FourLines lines{{nan, nan, nan, nan}, {nan, nan, nan, nan}, {}, {}, {}};
        int lanes = 0;
        for (; u < last && lanes < 4; ++u) {
            const Line& line = info->iterators[u].line;
            if (skippedAtOpenEnd(info, line))
                continue;
            lines.owner[lanes] = static_cast<std::uint32_t>(u);
            lines.startX[lanes] = line.start.x;
            lines.startY[lanes] = line.start.y;
            lines.directionX[lanes] = line.direction.x;
            lines.directionY[lanes] = line.direction.y;
            ++lanes;
        }
        if (lanes > 0)
            claimFourLines(info, lines);
    }
#else
    for (std::uint64_t u = first; u < last; ++u) {
        const Line& line = info->iterators[u].line;
        if (skippedAtOpenEnd(info, line))
            continue;
        const auto owner = static_cast<std::uint32_t>(u);
        walkLine(info, line, [&](std::int32_t s, Int32Point, std::uint32_t p) {
            claimOwner(info->ownerRanks[p], ownerRank(static_cast<std::uint32_t>(s), owner));
        });
    }
#endif
}

// Steps walked per ownership chunk: a few milliseconds of work, so that a
// cancel is answered promptly, and few enough chunks that handing each to
// the host's threads costs little.
constexpr std::uint64_t kOwnershipChunkSteps = 1u << 20;

// Neighbouring walking lines reach the same pixels, and two threads raising
// ranks in the same cache lines slow each other more than they gain. The
// lines are therefore cut into this many regions along the path, and a
// chunk walks one run of neighbouring lines in each region, one region per
// call: calls that run at the same time work far apart.
constexpr std::uint64_t kOwnershipRegions = 8;

} // namespace

PF_Err claimPixels_IterateFunc(void* refcon, A_long /*thread_index*/, A_long region, A_long /*iterations*/)
{
    const auto* chunk = static_cast<const OwnershipChunk*>(refcon);
    PFInfo* info = chunk->info;
    const std::uint64_t regionFirst = static_cast<std::uint64_t>(region) * chunk->regionLines;
    const std::uint64_t regionEnd = std::min(regionFirst + chunk->regionLines, info->iteratorCount);
    const std::uint64_t first = std::min(regionFirst + chunk->runFirst, regionEnd);
    const std::uint64_t last = std::min(first + chunk->runLines, regionEnd);
    claimLines(info, first, last);
    return PF_Err_NONE;
}

std::size_t setOwnerRectangle(PFInfo* info)
{
    // The float walk's position after s steps differs from start + s x
    // direction by at most s roundings, each at most 2^-24 of the position's
    // magnitude (plus 2^-150 where it is tiny). Along a line the magnitude
    // is largest at an end, so with `reach` the larger magnitude at the ends,
    // the drift stays below steps x (reach + drift + 1) x 2^-24, which for at
    // most 65,535 steps is below steps x (reach + 1) x 2^-23. A pixel more
    // on each side covers rounding to the pixel and keeps every step half a
    // pixel or more inside a side that is not the frame's.
    const double steps = static_cast<double>(info->maxLineLength);
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    for (std::uint64_t u = 0; u < info->iteratorCount; ++u) {
        const Line& line = info->iterators[u].line;
        if (skippedAtOpenEnd(info, line))
            continue;
        const auto x0 = static_cast<double>(line.start.x);
        const auto y0 = static_cast<double>(line.start.y);
        const double x1 = x0 + steps * static_cast<double>(line.direction.x);
        const double y1 = y0 + steps * static_cast<double>(line.direction.y);
        // Not finite: a walk that never lands (a part that is not finite
        // stays so step after step).
        if (!std::isfinite(x1) || !std::isfinite(y1))
            continue;
        const double reach = std::max(std::max(std::fabs(x0), std::fabs(x1)), std::max(std::fabs(y0), std::fabs(y1)));
        const double margin = steps * (reach + 1.0) * 0x1p-23 + 1.0;
        left = std::min(left, std::min(x0, x1) - margin);
        right = std::max(right, std::max(x0, x1) + margin);
        top = std::min(top, std::min(y0, y1) - margin);
        bottom = std::max(bottom, std::max(y0, y1) + margin);
    }
    // Clipped to the frame's pixels, in whole pixels.
    const auto clip = [](double v, std::int32_t size) {
        return static_cast<std::int32_t>(std::clamp(v, 0.0, static_cast<double>(size)));
    };
    const std::int32_t x0 = clip(std::floor(left), info->width);
    const std::int32_t x1 = clip(std::ceil(right) + 1.0, info->width);
    const std::int32_t y0 = clip(std::floor(top), info->height);
    const std::int32_t y1 = clip(std::ceil(bottom) + 1.0, info->height);
    const bool empty = info->maxLineLength == 0 || x1 <= x0 || y1 <= y0;
    info->ownerLeft = empty ? 0 : x0;
    info->ownerTop = empty ? 0 : y0;
    info->ownerWidth = empty ? 0 : x1 - x0;
    info->ownerHeight = empty ? 0 : y1 - y0;
    return static_cast<std::size_t>(info->ownerWidth) * static_cast<std::size_t>(info->ownerHeight);
}

PF_Err runPixelOwnershipPass(PFInfo* info, PF_InData* in_data, const PF_Iterate8Suite1* iterate)
{
    const std::uint64_t lines = info->iteratorCount;
    const std::uint64_t steps = info->maxLineLength > 0 ? info->maxLineLength : 1u;
    const std::uint64_t linesPerChunk = std::max<std::uint64_t>(1, kOwnershipChunkSteps / steps);
    const std::uint64_t regionLines = (lines + kOwnershipRegions - 1) / kOwnershipRegions;
    const std::uint64_t regions = regionLines > 0 ? (lines + regionLines - 1) / regionLines : 0;
    const std::uint64_t runLines = std::max<std::uint64_t>(1, linesPerChunk / kOwnershipRegions);
    PF_Err err = PF_Err_NONE;
    for (std::uint64_t runFirst = 0; runFirst < regionLines && !err; runFirst += runLines) {
        err = PF_ABORT(in_data);
        if (err)
            break;
        OwnershipChunk chunk{info, regionLines, runFirst, runLines};
        err = iterate->iterate_generic(static_cast<A_long>(regions), &chunk, claimPixels_IterateFunc);
    }
    return err;
}

void findCentreLines(const PFInfo* info, std::int32_t* centres)
{
    for (std::uint64_t u = 0; u < info->iteratorCount; ++u) {
        const auto pathPosition = static_cast<float>(info->iterators[u].line.pathPosition);
        const bool onPath = pathPosition >= 0.0f && static_cast<double>(pathPosition) < info->pathLength;
        centres[u] = onPath ? lookUpFineLine(info, static_cast<double>(pathPosition) / info->bucketSpacing) : -1;
    }
}

PF_Err drawSubpixels_IterateFunc(void* refcon, A_long /*thread_index*/, A_long row, A_long /*iterations*/)
{
    const auto* pass = static_cast<const DrawingPass*>(refcon);
    PFInfo* info = pass != nullptr ? pass->info : nullptr;
    if (info == nullptr || info->maxLineLength == 0 || info->searchRadius < 1)
        return PF_Err_NONE;
    // Only the owner rectangle's pixels have owners.
    const std::int32_t ownerRow = static_cast<std::int32_t>(row) - info->ownerTop;
    if (ownerRow < 0 || ownerRow >= info->ownerHeight)
        return PF_Err_NONE;
    const auto width = static_cast<std::uint32_t>(info->width);
    const std::uint32_t rowStart = static_cast<std::uint32_t>(row) * width;
    const auto left = static_cast<std::uint32_t>(info->ownerLeft);
    const auto columns = static_cast<std::uint32_t>(info->ownerWidth);
    // The ownership pass has finished: the ranks are only read now.
    const OwnerRank* ranks = info->ownerRanks + static_cast<std::size_t>(ownerRow) * columns;
    for (std::uint32_t column = 0; column < columns; ++column) {
        const OwnerRank rank = ranks[column];
        if (rank == kNoOwner)
            continue;
        const std::uint32_t x = left + column;
        const std::uint32_t walkingLine = ownerLineOf(rank);
        const std::int32_t centre = pass->centres[walkingLine];
        if (centre >= 0)
            drawOwnedPixel(*pass, walkingLine, centre,
                           Int32Point{static_cast<std::int32_t>(x), static_cast<std::int32_t>(row)}, rowStart + x);
    }
    return PF_Err_NONE;
}
