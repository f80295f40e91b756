// The two passes that turn the lines of a render into painted pixels.
//
// The ownership pass walks every walking line, on the host's threads, and
// records per output pixel the visit (smallest step, then lowest line) that
// reaches it first, with an atomic maximum of its rank, so the owners do
// not depend on the threads. The drawing pass then runs once per output row
// on the host's threads; on every owned pixel it finds the fine line through
// the pixel near its owner line and hands the pixel to colour output. Every
// pixel has one owner and is written by its own drawing only, so no lock is
// taken; only the painted-pixel bits share words (set with an atomic or).
#pragma once

#include <cstddef>
#include <cstdint>

#include "HostAPI.h"
#include "render/PFInfo.h"

struct PFInfo;

namespace Linestra {
class Line;
}

// Owner ranks (see OwnerRank): larger for a smaller step, then a lower
// walking line; kNoOwner (render/PFInfo.h) is below every visit.
constexpr OwnerRank ownerRank(std::uint32_t step, std::uint32_t walkingLine)
{
    return ~((std::uint64_t{step} << 32) | walkingLine);
}
constexpr std::uint32_t ownerStepOf(OwnerRank rank)
{
    return static_cast<std::uint32_t>(~rank >> 32);
}
constexpr std::uint32_t ownerLineOf(OwnerRank rank)
{
    return static_cast<std::uint32_t>(~rank);
}

// Sets the owner rectangle (PFInfo::ownerLeft and the fields after it) to
// the frame's pixels that a step of some walking line can land on, and
// returns its pixel count, the size of the ownership table: each line's
// steps, from its start to maxLineLength steps along it, widened by what
// the float walk's rounding can add up to and by a pixel more, and clipped
// to the frame. Width and height are 0 when no line can land. Lines the
// walk passes over (at an open path's ends, or whose start or direction is
// not finite) do not count.
std::size_t setOwnerRectangle(PFInfo* info);

// Fills info->ownerRanks (over the owner rectangle, already zero: no owner)
// with the rank of the smallest (step, walking line) that reaches each
// pixel, walking every walking line maxLineLength steps. The lines are
// walked on the host's threads through `iterate` in chunks of about the
// same work; the host's abort callback is asked on this thread before each
// chunk. Returns the first error.
PF_Err runPixelOwnershipPass(PFInfo* info, PF_InData* in_data, const PF_Iterate8Suite1* iterate);

// The walking lines of one ownership chunk: the walking lines are cut into
// regions of regionLines neighbouring lines along the path, and the chunk
// walks lines runFirst to runFirst + runLines - 1 of every region.
struct OwnershipChunk {
    PFInfo* info;
    std::uint64_t regionLines;
    std::uint64_t runFirst;
    std::uint64_t runLines;
};

// Host iterate_generic callback of the ownership pass (refcon is an
// OwnershipChunk): walks the chunk's run of region i. Always returns 0.
PF_Err claimPixels_IterateFunc(void* refcon, A_long thread_index, A_long region, A_long iterations);

// Index in the fine line table of the line at bucket coordinate v (a path
// distance in bucket units): bucket floor(v), fraction v - floor(v).
std::int32_t lookUpFineLine(const PFInfo* info, double v);

// What the drawing pass reads besides the render context: per walking line,
// the fine line its candidate search starts from (-1: the line draws
// nothing), settled once per line rather than per pixel.
struct DrawingPass {
    PFInfo* info;
    const std::int32_t* centres;
    std::int32_t candidates;    // candidateCount(info->searchRadius)
    bool onePathSample = false; // onePathSampleEverywhere(info)
};

// Area sampling along the path for a pixel `lineDistance` from the start of
// a fine line whose bucket turns by `angleDelta`: the texels the pixel spans
// along the path give the samples' step and count (one sample, step 1, below
// two texels). lineDistance is a distance: 0 or more, or not a number
// (onePathSampleEverywhere relies on it).
void pathSampling(const PFInfo* info, float angleDelta, float lineDistance, float* step, float* count);

// Whether every pixel of the render takes one texture sample along the path
// (step 1, count 1), so that the drawing pass need not measure the span of
// each pixel: the texture is not area-sampled along the path, or no pixel
// can span two texture rows along it.
bool onePathSampleEverywhere(const PFInfo* info);

// The centre fine line of every walking line, for DrawingPass::centres.
void findCentreLines(const PFInfo* info, std::int32_t* centres);

// Host iterate_generic callback (refcon: a DrawingPass): draws the owned
// pixels of output row i, each from the walking line that owns it. Every
// pixel has one owner and a pixel's drawing reads and writes only that pixel
// (and its painted bit), so rows can be drawn in any order and on any
// thread. Always returns 0.
PF_Err drawSubpixels_IterateFunc(void* refcon, A_long thread_index, A_long i, A_long iterations);

// Candidate offsets from the centre line, in search order, for a search
// radius: 0, -1, +2, -3, +4, ... Returns the number of candidates.
std::int32_t candidateCount(std::int32_t searchRadius);
inline std::int32_t candidateOffset(std::int32_t j)
{
    return (j & 1) ? -j : j;
}

// Whether every candidate of a search around `centre` lies inside a table
// of lineCount lines, so that no index wraps round or falls outside it:
// true for every search but those near the ends of the table.
bool searchIsInterior(std::int32_t lineCount, std::int32_t centre, std::int32_t candidates);

// Candidates first .. first + 3 of a search around `centre` (`candidates`
// in all) in a table of lineCount lines: their line indices go to
// index[0..3], and valid[k] says whether candidate first + k exists (within
// the count and the table; on a closed path an index beyond either end
// wraps round once). A candidate that does not exist gets index 0, a
// harmless stand-in. `interior` is searchIsInterior for this search, which
// spares the checks against the table's ends.
void candidateGroup(std::int32_t lineCount, bool pathIsOpen, bool interior, std::int32_t centre,
                    std::int32_t candidates, std::int32_t first, std::int32_t* index, bool* valid);
