// One line of the fine line table as the drawing pass reads it: only what
// is read per pixel, kept compact (32 bytes), with the values that depend
// on the line alone (the sine and cosine of its fan angle) computed once
// when the table is built rather than for every pixel that tests the line.
#pragma once

#include "geometry/Points.h"

namespace Linestra {

class Line;

struct FineLine {
    FloatPoint start;     // first point of the line
    FloatPoint direction; // unit vector the line runs along
    float sinAngle;       // sine and cosine of fanAngle(direction)
    float cosAngle;
    float angleDelta;     // turning of the fan across the line's bucket
    float pathDistance;   // arc length from the start of the path to the anchor, in float
};

// The angle the drawing pass measures a line's fan by:
// (pi when the direction points left, else 0) - atan(dy / dx), in float.
float fanAngle(FloatPoint direction);

// The fine line of a built line; its fan angle's sine and cosine are left
// for measureFanAngle, which the render runs over the whole table on the
// host's threads.
FineLine makeCompactFineLine(const Line& line);

// Fills in the sine and cosine of the line's fan angle.
void measureFanAngle(FineLine& line);

} // namespace Linestra
