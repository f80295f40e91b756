// The render context: the one record through which the parts of a render
// speak to each other. The pre-render creates it zero-filled, fills it from
// the parameters and the mask path, and hands it to the host; the render
// command receives it back, completes it with its images and tables, and
// the host frees it through DisposePreRenderData.
//
// It is a plain record: values are stored in the form the per-pixel code
// uses (render-scaled pixels, 16-bit pitches, precomputed flags).
#pragma once

#include <atomic>
#include <cstdint>

#include "HostAPI.h"

namespace Linestra {
struct FineLine;
class LineSegmentIterator;
} // namespace Linestra

// One word of the painted-pixel bit vector; bits are set with an atomic or
// because neighbouring pixels of one word may be painted by different threads.
using PaintedMaskWord = std::atomic<std::uint64_t>;

// The owner of one output pixel, as a rank: the complement of
// (step << 32) | walking line, so that the larger rank is the smaller step,
// then the lower line, and 0 (the memory's initial zero) is no owner.
// Raised with an atomic maximum, which gives the same owners whatever the
// thread order.
using OwnerRank = std::uint64_t;
constexpr OwnerRank kNoOwner = 0;

struct PFInfo {
    PF_EffectWorld* inputWorld;         // 1  input layer checked out for this render
    PF_EffectWorld* outputWorld;        // 2  output image checked out for this render
    std::int32_t width;                 // 3  frame width in pixels
    std::int32_t height;                // 4  frame height in pixels
    float strokeLength;                 // 5  nominal line length, never negative; 42500 under To Edge
    std::uint16_t maxLineLength;        // 6  longest visible line length built so far, whole pixels
    std::uint16_t inputPitch;           // 7  input row stride in pixels
    std::uint16_t outputPitch;          // 8  output row stride in pixels
    bool toEdge;                        // 9
    double textureOffsetDistance;       // 10 textureOffset x pathLength
    bool reverseLines;                  // 11 render-scaled Stroke Length was negative
    bool useOriginalFrame;              // 12 Texture Source is Original Frame
    std::uint8_t directionSignMode;     // 13 2 when Mirror X is on, else 1
    std::uint8_t backgroundMode;        // 14 2: copy the input, 3: transparent
    PF_PathID pathId;                   // 15 the chosen mask
    bool mirrorTileAtEdge;              // 16
    bool areaSampleOriginalX;           // 17 scaleX > 1
    float startShift;                   // 18 -(render scale x Expand/Contract Path)
    bool scaleXGradient;                // 19
    float scaleX;                       // 20
    float scaleXStart;                  // 21
    float scaleXEnd;                    // 22
    float scaleY;                       // 23 halved when Repeat Mirrored Y is on
    bool repeatMirroredX;               // 24
    bool repeatMirroredY;               // 25
    bool stopFadeAtEdge;                // 26
    bool areaSamplingEnabled;           // 27 always 1
    bool areaSampleTextureX;            // 28 scaleX > 1
    bool areaSampleTextureY;            // 29 textureHeight x Scale Y / pathLength > 1
    bool useOwnerTables;                // 30 always 1
    bool flipTextureVertically;         // 31 Mirror Y is OFF
    bool flipTextureHorizontally;       // 32 Mirror X, inverted for a negative Stroke Length
    float startGapLimit;                // 33 0.35
    float endGapLimit;                  // 34 0.35
    float textureOffset;                // 35 fraction of a turn in [0, 1)
    float fadeCurve;                    // 36 0.2
    float fadeIn;                       // 37 percent
    float fadeOut;                      // 38 percent
    float scaleXSampleCount;            // 39 floor(scaleX)
    float scaleXSampleStep;             // 40 scaleX / floor(scaleX)
    std::uint32_t outputPixelCount;     // 41 output width x height
    std::int32_t segLengthFrequency;    // 42 100
    float lineDensityFactor;            // 43 0.4
    Linestra::LineSegmentIterator* iterators; // 44 walking lines, in the order the pre-render made them (owned)
    std::uint64_t iteratorCount;        // 45
    PF_LayerDef* textureWorld;          // 46 current texture image
    PF_EffectWorld* doubledTextureWorld; // 47 record made for Repeat Mirrored Y
    double pathLength;                  // 48 sum of all segment lengths
    std::uint16_t texturePitch;         // 49 texture row stride in pixels
    PaintedMaskWord* paintedMask;       // 50 one bit per output pixel (y x width + x)
    double bucketSpacing;               // 51 0.05, or 0.15 below full render scale
    double* segmentLengths;             // 52 per segment, in path order (owned)
    double* segmentEnds;                // 53 cumulative end distance per segment
    std::uint32_t segmentCount;         // 54
    bool pathIsOpen;                    // 55
    PF_PixelFormat pixelFormat;         // 56 format of the input image
    const Linestra::FineLine* lines;    // 57 the fine line table, compact
    std::uint32_t lineCount;            // 58
    std::uint32_t bucketCount;          // 59
    std::uint32_t* bucketFirstLine;     // 60
    std::uint32_t* bucketLineCount;     // 61
    OwnerRank* ownerRanks;              // 62 per pixel of the owner rectangle, row by row: its owner (DrawingPass.h)
    float matchTolerance;               // 64 0.05, or 0.15 below full render scale
    std::int32_t searchRadius;          // 65 500, or 150 below full render scale
    std::uint16_t textureHeight;        // 66 texture rows used for sampling counts
    bool originNearestToPoint;          // 67 Texture Origin is Nearest To Point
    double originPointX;                // 68 Point, pixels
    double originPointY;                // 69
    double originPathPosition;          // 70 path distance of the line start nearest to Point
    double originBestDistance;          // 71 distance of that start from Point
    std::int64_t diagonal;              // 72 hypot(width, height), truncated

    // The owner rectangle: the output pixels that ownerRanks covers, every
    // pixel that a step of a walking line can land on (setOwnerRectangle in
    // DrawingPass.h). Pixels outside it have no owner.
    std::int32_t ownerLeft;
    std::int32_t ownerTop;
    std::int32_t ownerWidth;
    std::int32_t ownerHeight;

    // Diagnostics for host-side tools (the inspection command, tests): when
    // set, called on the render thread after the drawing pass with every
    // table of the render still in place, just before they are freed. The
    // host never sets it; the effect only calls it.
    void (*renderObserver)(const PFInfo* info, void* context);
    void* renderObserverContext;
    // When set (by a benchmark), the render pass adds the seconds each of
    // its phases took.
    struct RenderPhaseTimes* phaseTimes;
};

// Seconds spent in the phases of one render pass.
struct RenderPhaseTimes {
    double textureAndBackground = 0.0; // texture preparation and background pass
    double fineLineTable = 0.0;        // path preparation and the fine line table
    double ownership = 0.0;            // pixel ownership pass
    double drawing = 0.0;              // drawing pass on the host's threads
};

// The owner rank of output pixel (x, y): kNoOwner outside the owner
// rectangle or without an ownership table.
inline OwnerRank ownerRankAt(const PFInfo& info, std::int32_t x, std::int32_t y)
{
    const std::int64_t column = static_cast<std::int64_t>(x) - info.ownerLeft;
    const std::int64_t row = static_cast<std::int64_t>(y) - info.ownerTop;
    if (info.ownerRanks == nullptr || column < 0 || row < 0 || column >= info.ownerWidth || row >= info.ownerHeight)
        return kNoOwner;
    return info.ownerRanks[row * info.ownerWidth + column];
}

// Allocates a zero-filled render context; null when memory is exhausted.
PFInfo* NewPFInfo() noexcept;

// The pre-render data delete function handed to the host: releases the
// walking lines and segment lengths the record owns, then the record.
// Does nothing for null.
void DisposePreRenderData(void* data);
