// Mask paths as the stand-in host evaluates them: vertices with tangent
// handles relative to the vertex, open or closed, each segment a cubic
// Bezier (or a straight edge when both of its handles are zero).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace harness {

struct Vec2 {
    double x = 0;
    double y = 0;
};

struct MaskVertex {
    Vec2 position;
    Vec2 in;   // handle towards the previous vertex, relative to position
    Vec2 out;  // handle towards the next vertex, relative to position
};

// One evaluated point: position and first derivative dB/dt (not normalised).
struct PathSample {
    double x = 0, y = 0, dx = 0, dy = 0;
};

class MaskPath {
public:
    MaskPath() = default;
    MaskPath(std::vector<MaskVertex> vertices, bool closed);

    bool isClosed() const { return closed_; }
    const std::vector<MaskVertex>& vertices() const { return vertices_; }

    // Open: n - 1 segments; closed: n; no vertex: 0.
    int segmentCount() const;

    // Control points P0..P3 of segment i.
    std::array<Vec2, 4> controlPoints(int segment) const;

    // Arc length of segment i: exact for straight edges, adaptive
    // Gauss-Legendre to 1e-12 relative error for curves.
    double segmentLength(int segment) const;

    // Point and derivative at arc length s along segment i.
    PathSample evaluate(int segment, double s) const;

    // Every coordinate and handle multiplied per axis, before any
    // measurement (render scale: x * nx / dx, y * ny / dy in double).
    MaskPath scaled(double nx, double dx, double ny, double dy) const;

    // SVG affine matrix [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f;
    // handles take the linear part only.
    MaskPath transformed(const std::array<double, 6>& m) const;

private:
    std::vector<MaskVertex> vertices_;
    bool closed_ = true;
};

// Shapes as scene files give them. Circles and ellipses start at the top
// vertex and run clockwise on screen with handles of 0.5522847498 x radius;
// a rectangle [x, y, w, h] runs top-left, top-right, bottom-right,
// bottom-left.
MaskPath PolygonPath(const std::vector<Vec2>& points, bool closed);
MaskPath EllipsePath(double cx, double cy, double rx, double ry);
MaskPath RectanglePath(double x, double y, double w, double h);

// SVG path data: absolute and relative commands, H/V, C/S, Q/T (raised to
// cubics), A (converted to cubics), Z. With several subpaths `subpath`
// (0-based) chooses one; -1 means "the only one" and throws, naming the
// count, when there are several. Throws std::runtime_error on bad data,
// naming the position.
MaskPath SvgPath(const std::string& data, int subpath = -1);

} // namespace harness
