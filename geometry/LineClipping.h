// The frame test of a line, the pixel walk along a line, and the rotation
// the drawing pass uses to measure a pixel's distance from a line.
#pragma once

#include "geometry/Line.h"
#include "geometry/Points.h"

struct PFInfo;

namespace Linestra {

// Whether the segment (x0, y0)-(x1, y1) has a point in the closed rectangle
// left..right by bottom..top (bottom <= top). Slab test in float.
bool SegmentIntersectRectangle(float left, float bottom, float right, float top, float x0, float y0, float x1,
                               float y1);

// Whether the line's stroke segment (start to strokeEnd) touches the closed
// frame rectangle 0..width by 0..height.
bool lineSegIsInFrame(Line* line, PFInfo* info);

// y of (x, y) rotated about the origin by angle radians, in float:
// x * sin(angle) + y * cos(angle). The drawing pass computes the same with
// the sine and cosine of each fine line's angle taken once per line
// (FineLine::sinAngle, cosAngle; geometry/FineLineDistance.h).
float rotate_point_about_origin_return_y(float x, float y, float angle);

// Walks a line one pixel (one direction vector) at a time. Constructing one
// also takes part in the Nearest To Point search of the render context.
class LineSegmentIterator {
public:
    LineSegmentIterator() = default;
    LineSegmentIterator(Line line, PFInfo* info);

    // Advances pos by direction (float additions, rounding accumulates) and
    // returns the new position widened to double.
    DoublePoint next_pos()
    {
        pos += line.direction;
        return DoublePoint{static_cast<double>(pos.x), static_cast<double>(pos.y)};
    }

    // Puts pos back at the line's start.
    void reset() { pos = line.start; }

    FloatPoint pos;  // current point
    bool inFrame;    // copy of line.startInFrame
    Line line;       // the walked line
    PFInfo* info;    // render context, not owned
};

} // namespace Linestra
