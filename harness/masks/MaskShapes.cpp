// Polygons, ellipses and rectangles as mask paths.
#include "harness/masks/MaskPath.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace harness {

namespace {

// Handle length of a quarter ellipse drawn as one cubic, as a fraction of the
// radius.
constexpr double kQuarterHandle = 0.5522847498;

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

} // namespace

MaskPath PolygonPath(const std::vector<Vec2>& points, bool closed)
{
    std::vector<MaskVertex> vertices;
    vertices.reserve(points.size());
    for (const Vec2& p : points)
        vertices.push_back(MaskVertex{p, Vec2{}, Vec2{}});
    return MaskPath(std::move(vertices), closed);
}

MaskPath EllipsePath(double cx, double cy, double rx, double ry)
{
    if (!(rx > 0) || !(ry > 0))
        throw std::invalid_argument("an ellipse needs radii greater than 0, not " + Number(rx) + " and " + Number(ry));
    const double hx = kQuarterHandle * rx;
    const double hy = kQuarterHandle * ry;
    // Top, right, bottom, left: clockwise on screen, where y points down.
    std::vector<MaskVertex> vertices{
        MaskVertex{Vec2{cx, cy - ry}, Vec2{-hx, 0}, Vec2{hx, 0}},
        MaskVertex{Vec2{cx + rx, cy}, Vec2{0, -hy}, Vec2{0, hy}},
        MaskVertex{Vec2{cx, cy + ry}, Vec2{hx, 0}, Vec2{-hx, 0}},
        MaskVertex{Vec2{cx - rx, cy}, Vec2{0, hy}, Vec2{0, -hy}},
    };
    return MaskPath(std::move(vertices), true);
}

MaskPath RectanglePath(double x, double y, double w, double h)
{
    if (!(w > 0) || !(h > 0))
        throw std::invalid_argument("a rectangle needs a width and a height greater than 0, not " + Number(w) + " and " +
                                    Number(h));
    return PolygonPath({Vec2{x, y}, Vec2{x + w, y}, Vec2{x + w, y + h}, Vec2{x, y + h}}, true);
}

} // namespace harness
