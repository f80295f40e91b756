// The two passes that turn the lines of a render into painted pixels.
//
// The ownership pass walks every walking line on the render thread and
// records, per output pixel, the visit (smallest step, then lowest line)
// that reaches it first. The drawing pass then runs once per walking line on
// the host's threads; on every pixel a line owns it finds the fine line
// through the pixel and hands the pixel to colour output. Every pixel has
// one owner, so no two calls write the same output pixel and no lock is
// taken; only the painted-pixel bits are shared (set with an atomic or).
#pragma once

#include <cstdint>

#include "HostAPI.h"

struct PFInfo;

namespace Linestra {
class Line;
}

// Fills info->ownerStep and info->ownerIterator (already filled with 99999
// and -1) by walking every walking line maxLineLength steps, then resets
// every iterator. Asks the host's abort callback before each line it walks
// and returns the first error.
PF_Err runPixelOwnershipPass(PFInfo* info, PF_InData* in_data);

// Index in the fine line table of the line at bucket coordinate v (a path
// distance in bucket units): bucket floor(v), fraction v - floor(v).
std::int32_t lookUpFineLine(const PFInfo* info, double v);

// Host iterate_generic callback: draws walking line i. Always returns 0.
PF_Err drawSubpixels_IterateFunc(void* refcon, A_long thread_index, A_long i, A_long iterations);

// Candidate offsets from the centre line, in search order, for a search
// radius: 0, -1, +2, -3, +4, ... Returns the number of candidates.
std::int32_t candidateCount(std::int32_t searchRadius);
inline std::int32_t candidateOffset(std::int32_t j)
{
    return (j & 1) ? -j : j;
}
