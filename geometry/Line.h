// One straight stroke line: it leaves the mask path at its anchor, runs at a
// right angle to the path's tangent, and is cut at the frame edge or at the
// stroke length. Built by the pre-render (coarse lines) and by the render's
// fine line table; a plain record copied by value.
#pragma once

#include <cstdint>

#include "HostAPI.h"
#include "geometry/Points.h"

struct PFInfo;

namespace Linestra {

class Line {
public:
    Line() = default;

    // Builds the line and raises info->maxLineLength when its visible length
    // is the longest so far in this render. Not thread-safe: it writes the
    // shared render context.
    Line(DoublePoint anchor, double tangentX, double tangentY, PFInfo* info, double segmentPosition,
         double pathPosition, PF_PathSegPrep* segPrep, unsigned int segmentIndex, float segmentLength);

    double tangentX;          // path derivative at the anchor, as the host returned it
    double tangentY;
    double slope;             // tangentX / tangentY
    FloatPoint direction;     // unit vector the line runs along
    double strokeLength;      // the context's strokeLength at construction
    double visibleLength;     // start to frame edge along direction, at most strokeLength
    double pathPosition;      // arc length from the start of the path to the anchor
    double segmentPosition;   // arc length from the start of the anchor's segment
    float segmentLength;      // length of the anchor's segment
    bool startInFrame;        // start lies strictly inside the frame
    FloatPoint start;         // first point of the line
    FloatPoint strokeEnd;     // start + strokeLength x direction
    FloatPoint end;           // start + visibleLength x direction
    float angleDelta;         // turning of the fan across this line's bucket (fine line table only)
    PF_PathSegPrep* segPrep;  // the prepared segment the anchor was evaluated on; stored only
    std::uint32_t segmentIndex;
};

} // namespace Linestra
