// Mask paths as the stand-in host evaluates them: vertices with tangent
// handles relative to the vertex, open or closed, each segment a cubic
// Bezier (or a straight edge when both of its handles are zero).
#pragma once

#include <array>
#include <cstddef>
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

// One segment made ready for many lookups by length: its arc length and a
// table of pieces of the parameter range, each short enough that one
// Gauss-Legendre rule measures it to well below the length tolerance. The
// table gives a close first guess for the Newton search of a point by
// length; it does not change any result beyond the stated tolerances.
class PreparedSegment {
public:
    PreparedSegment() = default;
    // `frequency` sizes the table (more pieces, fewer Newton steps).
    explicit PreparedSegment(const std::array<Vec2, 4>& controlPoints, int frequency = 0);

    // Both handles zero: the segment is the straight edge P0 to P3.
    bool isStraight() const { return straight_; }
    double length() const { return length_; }

    // Point and dB/dt at arc length s. A straight edge applies its formula
    // to any s; a curve clamps s to [0, length] (the end points exactly).
    PathSample evaluate(double s) const;
    // The same, with `pieceHint` as in parameterAt.
    PathSample evaluate(double s, std::size_t& pieceHint) const;

    // Bezier parameter t at arc length s (0 for a straight edge of length 0).
    double parameterAt(double s) const;
    // The same, looking first in the piece `pieceHint` names and the one
    // after it, and leaving there the piece that held s. A caller that asks
    // for lengths in order along the segment (an effect laying out lines)
    // keeps one hint per segment and skips most searches of the table; any
    // hint gives the same result, as the piece is found, not guessed.
    double parameterAt(double s, std::size_t& pieceHint) const;

    // Arc length at the start of each piece of the table, in order (empty
    // for a straight edge): where the lookup changes piece.
    std::vector<double> pieceStarts() const;

private:
    struct Piece {
        double t0, t1;         // parameter range
        double s0;             // arc length from the start of the segment to t0
        double length;         // arc length of the piece
        double speed0, speed1; // |dB/dt| at t0 and t1
    };
    double speed(double t) const;
    std::size_t pieceAt(double s, std::size_t hint) const;
    double pieceIntegral(double a, double b) const;
    void buildPieces(double a, double b, double whole, int depth, double scale);

    std::array<Vec2, 4> p_{};
    // dB/dt = c2 t^2 + c1 t + c0 (power form, used only for the speed)
    Vec2 c0_, c1_, c2_;
    bool straight_ = true;
    double length_ = 0;
    std::vector<Piece> pieces_;
};

class MaskPath {
public:
    MaskPath() = default;
    MaskPath(std::vector<MaskVertex> vertices, bool closed);

    bool isClosed() const { return closed_; }
    const std::vector<MaskVertex>& vertices() const { return vertices_; }

    // Open: n - 1 segments; closed: n; no vertex: 0.
    int segmentCount() const
    {
        const auto n = static_cast<int>(vertices_.size());
        if (n == 0)
            return 0;
        return closed_ ? n : n - 1;
    }

    // Control points P0..P3 of segment i.
    std::array<Vec2, 4> controlPoints(int segment) const;

    // Arc length of segment i: exact for straight edges, adaptive
    // Gauss-Legendre to 1e-12 relative error for curves.
    double segmentLength(int segment) const;

    // Point and derivative at arc length s along segment i.
    PathSample evaluate(int segment, double s) const;

    // Segment i ready for repeated lookups (see PreparedSegment).
    PreparedSegment prepare(int segment, int frequency = 0) const;

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
