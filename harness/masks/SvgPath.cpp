// SVG path data turned into mask paths: every drawing command becomes cubic
// segments (lines as straight edges with zero handles, quadratics raised to
// cubics, elliptical arcs split into pieces of at most a quarter turn).
#include "harness/masks/MaskPath.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace harness {

namespace {

struct Cubic {
    Vec2 p0, p1, p2, p3;
};

struct Subpath {
    std::vector<Cubic> segments;
    bool closed = false;
};

Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 operator*(double k, Vec2 a) { return {k * a.x, k * a.y}; }

// Two points count as the same when they differ by rounding only (path data
// with relative commands accumulates it).
bool SamePoint(Vec2 a, Vec2 b)
{
    const double scale = std::max({1.0, std::fabs(a.x), std::fabs(a.y)});
    return std::fabs(a.x - b.x) <= 1e-9 * scale && std::fabs(a.y - b.y) <= 1e-9 * scale;
}

class SvgParser {
public:
    explicit SvgParser(const std::string& data) : data_(data) {}

    std::vector<Subpath> parse()
    {
        skipSpace();
        if (atEnd())
            throw std::runtime_error("path data is empty");
        if (data_[pos_] != 'M' && data_[pos_] != 'm')
            fail(std::string("it must begin with a move command (M or m), found '") + data_[pos_] + "'");
        char command = 0;
        while (true) {
            skipSpace();
            if (atEnd())
                break;
            const char c = data_[pos_];
            if (std::isalpha(static_cast<unsigned char>(c))) {
                command = c;
                ++pos_;
                runCommand(command, true);
            } else if (startsNumber()) {
                // Repeated arguments of the last command; after a move they
                // are lines.
                if (command == 'Z' || command == 'z')
                    fail("numbers after a close command (Z) need a command letter first");
                runCommand(command, false);
            } else {
                fail(std::string("unexpected character '") + c + "'");
            }
        }
        finishSubpath();
        return std::move(subpaths_);
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("path data: " + what + " at character " + std::to_string(pos_ + 1));
    }

    bool atEnd() const { return pos_ >= data_.size(); }

    void skipSpace()
    {
        while (!atEnd() && (data_[pos_] == ' ' || data_[pos_] == '\t' || data_[pos_] == '\n' || data_[pos_] == '\r' ||
                            data_[pos_] == '\f'))
            ++pos_;
    }

    // Whitespace, at most one comma, whitespace.
    void skipSeparator()
    {
        skipSpace();
        if (!atEnd() && data_[pos_] == ',') {
            ++pos_;
            skipSpace();
        }
    }

    bool startsNumber() const
    {
        if (atEnd())
            return false;
        const char c = data_[pos_];
        return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.';
    }

    double number()
    {
        skipSeparator();
        if (atEnd())
            fail("expected a number but the path data ends");
        const std::size_t start = pos_;
        std::size_t end = pos_;
        if (data_[end] == '+' || data_[end] == '-')
            ++end;
        bool digits = false;
        while (end < data_.size() && std::isdigit(static_cast<unsigned char>(data_[end]))) {
            ++end;
            digits = true;
        }
        if (end < data_.size() && data_[end] == '.') {
            ++end;
            while (end < data_.size() && std::isdigit(static_cast<unsigned char>(data_[end]))) {
                ++end;
                digits = true;
            }
        }
        if (!digits)
            fail(std::string("expected a number, found '") + data_[start] + "'");
        if (end < data_.size() && (data_[end] == 'e' || data_[end] == 'E')) {
            std::size_t exponent = end + 1;
            if (exponent < data_.size() && (data_[exponent] == '+' || data_[exponent] == '-'))
                ++exponent;
            if (exponent < data_.size() && std::isdigit(static_cast<unsigned char>(data_[exponent]))) {
                while (exponent < data_.size() && std::isdigit(static_cast<unsigned char>(data_[exponent])))
                    ++exponent;
                end = exponent;
            }
        }
        // from_chars does not take a leading '+'.
        const std::size_t first = data_[start] == '+' ? start + 1 : start;
        double value = 0;
        const auto result = std::from_chars(data_.data() + first, data_.data() + end, value);
        if (result.ec != std::errc() || result.ptr != data_.data() + end || !std::isfinite(value))
        {
            // A number of a million digits is not echoed whole.
            constexpr std::size_t kShown = 40;
            const std::string text = data_.substr(start, std::min(end - start, kShown));
            fail("number '" + text + (end - start > kShown ? "...' (" + std::to_string(end - start) + " characters)"
                                                           : std::string("'")) +
                 " is out of range");
        }
        pos_ = end;
        return value;
    }

    bool flag()
    {
        skipSeparator();
        if (atEnd() || (data_[pos_] != '0' && data_[pos_] != '1'))
            fail("expected an arc flag (0 or 1)");
        return data_[pos_++] == '1';
    }

    Vec2 point(bool relative)
    {
        const double x = number();
        const double y = number();
        return relative ? Vec2{current_.x + x, current_.y + y} : Vec2{x, y};
    }

    void addCubic(Vec2 p1, Vec2 p2, Vec2 p3)
    {
        if (!open_) {
            // Drawing after a close starts a new subpath at the closed one's
            // start.
            open_ = true;
            subpath_ = Subpath{};
        }
        subpath_.segments.push_back(Cubic{current_, p1, p2, p3});
        current_ = p3;
    }

    void addLine(Vec2 to) { addCubic(current_, to, to); }

    void finishSubpath()
    {
        if (open_ && !subpath_.segments.empty())
            subpaths_.push_back(std::move(subpath_));
        subpath_ = Subpath{};
        open_ = false;
    }

    void runCommand(char command, bool first)
    {
        const bool relative = std::islower(static_cast<unsigned char>(command)) != 0;
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(command)));
        // The control point that S and T reflect belongs to the previous
        // command only when that was of the same family.
        const char previous = previousKind_;
        previousKind_ = kind;
        switch (kind) {
        case 'M': {
            if (first) {
                // A relative move at the very start is absolute.
                const Vec2 to = point(relative && started_);
                finishSubpath();
                current_ = to;
                start_ = to;
                open_ = true;
                started_ = true;
            } else {
                addLine(point(relative));
            }
            break;
        }
        case 'Z': {
            if (open_) {
                subpath_.closed = true;
                current_ = start_;
                finishSubpath();
            }
            break;
        }
        case 'L':
            addLine(point(relative));
            break;
        case 'H': {
            const double x = number();
            addLine(Vec2{relative ? current_.x + x : x, current_.y});
            break;
        }
        case 'V': {
            const double y = number();
            addLine(Vec2{current_.x, relative ? current_.y + y : y});
            break;
        }
        case 'C': {
            const Vec2 p1 = point(relative);
            const Vec2 p2 = point(relative);
            const Vec2 p3 = point(relative);
            addCubic(p1, p2, p3);
            lastControl_ = p2;
            break;
        }
        case 'S': {
            const Vec2 p1 = previous == 'C' || previous == 'S' ? 2.0 * current_ - lastControl_ : current_;
            const Vec2 p2 = point(relative);
            const Vec2 p3 = point(relative);
            addCubic(p1, p2, p3);
            lastControl_ = p2;
            break;
        }
        case 'Q': {
            const Vec2 q = point(relative);
            const Vec2 p3 = point(relative);
            addQuadratic(q, p3);
            lastControl_ = q;
            break;
        }
        case 'T': {
            const Vec2 q = previous == 'Q' || previous == 'T' ? 2.0 * current_ - lastControl_ : current_;
            const Vec2 p3 = point(relative);
            addQuadratic(q, p3);
            lastControl_ = q;
            break;
        }
        case 'A': {
            const double rx = number();
            const double ry = number();
            const double rotation = number();
            const bool largeArc = flag();
            const bool sweep = flag();
            addArc(rx, ry, rotation, largeArc, sweep, point(relative));
            break;
        }
        default:
            --pos_;
            fail(std::string("unknown command '") + command + "'");
        }
    }

    // A quadratic with control point q raised to the cubic that draws it.
    void addQuadratic(Vec2 q, Vec2 p3)
    {
        const Vec2 p0 = current_;
        addCubic(p0 + (2.0 / 3.0) * (q - p0), p3 + (2.0 / 3.0) * (q - p3), p3);
    }

    // Elliptical arc from the current point to `to`, converted from endpoint
    // to centre form and drawn as cubics of at most a quarter turn each.
    void addArc(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, Vec2 to)
    {
        const Vec2 from = current_;
        if (from.x == to.x && from.y == to.y)
            return; // no arc at all
        rx = std::fabs(rx);
        ry = std::fabs(ry);
        if (rx == 0 || ry == 0) {
            addLine(to);
            return;
        }
        constexpr double pi = std::numbers::pi;
        const double phi = rotationDegrees * pi / 180.0;
        const double cosPhi = std::cos(phi);
        const double sinPhi = std::sin(phi);
        const double hx = (from.x - to.x) / 2;
        const double hy = (from.y - to.y) / 2;
        const double x1 = cosPhi * hx + sinPhi * hy;
        const double y1 = -sinPhi * hx + cosPhi * hy;
        // Radii too small to reach: scale them up just enough.
        const double lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
        if (lambda > 1) {
            if (std::isfinite(lambda)) {
                rx *= std::sqrt(lambda);
                ry *= std::sqrt(lambda);
            } else {
                // Radii so small that the squares above overflow: the same
                // factor without squaring.
                const double root = std::hypot(x1 / rx, y1 / ry);
                rx *= root;
                ry *= root;
            }
        }
        const double rx2 = rx * rx;
        const double ry2 = ry * ry;
        const double denominator = rx2 * y1 * y1 + ry2 * x1 * x1;
        double coefficient = std::sqrt(std::max(0.0, (rx2 * ry2 - denominator) / denominator));
        if (largeArc == sweep)
            coefficient = -coefficient;
        const double cx1 = coefficient * rx * y1 / ry;
        const double cy1 = -coefficient * ry * x1 / rx;
        const double cx = cosPhi * cx1 - sinPhi * cy1 + (from.x + to.x) / 2;
        const double cy = sinPhi * cx1 + cosPhi * cy1 + (from.y + to.y) / 2;

        const double theta1 = std::atan2((y1 - cy1) / ry, (x1 - cx1) / rx);
        const double theta2 = std::atan2((-y1 - cy1) / ry, (-x1 - cx1) / rx);
        double delta = theta2 - theta1;
        if (sweep && delta < 0)
            delta += 2 * pi;
        else if (!sweep && delta > 0)
            delta -= 2 * pi;

        if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(delta) || !std::isfinite(rx) ||
            !std::isfinite(ry))
            fail("the arc's radii and end points are too far apart in scale to draw it");
        const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(delta) / (pi / 2) - 1e-9)));
        const double step = delta / pieces;
        const double handle = 4.0 / 3.0 * std::tan(step / 4);
        const auto map = [&](double ux, double uy) {
            return Vec2{cx + rx * cosPhi * ux - ry * sinPhi * uy, cy + rx * sinPhi * ux + ry * cosPhi * uy};
        };
        for (int i = 0; i < pieces; ++i) {
            const double a = theta1 + step * i;
            const double b = i + 1 == pieces ? theta1 + delta : theta1 + step * (i + 1);
            const double ca = std::cos(a), sa = std::sin(a);
            const double cb = std::cos(b), sb = std::sin(b);
            const Vec2 p1 = map(ca - handle * sa, sa + handle * ca);
            const Vec2 p2 = map(cb + handle * sb, sb - handle * cb);
            const Vec2 p3 = i + 1 == pieces ? to : map(cb, sb);
            addCubic(p1, p2, p3);
        }
    }

    const std::string& data_;
    std::size_t pos_ = 0;
    std::vector<Subpath> subpaths_;
    Subpath subpath_;
    bool open_ = false;    // a subpath is being drawn
    bool started_ = false; // a move has been seen
    Vec2 current_;
    Vec2 start_;
    Vec2 lastControl_;
    char previousKind_ = 0;
};

// Vertices of one subpath: vertex i starts segment i. A closed subpath whose
// last segment ends on its first point does not repeat that point: the last
// vertex's incoming handle moves to vertex 0.
MaskPath ToMaskPath(const Subpath& subpath)
{
    const std::vector<Cubic>& segments = subpath.segments;
    std::vector<MaskVertex> vertices;
    vertices.reserve(segments.size() + 1);
    vertices.push_back(MaskVertex{segments.front().p0, Vec2{}, segments.front().p1 - segments.front().p0});
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Cubic& s = segments[i];
        MaskVertex v{s.p3, s.p2 - s.p3, Vec2{}};
        if (i + 1 < segments.size())
            v.out = segments[i + 1].p1 - segments[i + 1].p0;
        vertices.push_back(v);
    }
    if (subpath.closed && SamePoint(vertices.back().position, vertices.front().position)) {
        vertices.front().in = vertices.back().in;
        vertices.pop_back();
    }
    return MaskPath(std::move(vertices), subpath.closed);
}

} // namespace

MaskPath SvgPath(const std::string& data, int subpath)
{
    const std::vector<Subpath> subpaths = SvgParser(data).parse();
    const auto count = static_cast<int>(subpaths.size());
    if (count == 0)
        throw std::runtime_error("path data draws nothing (no subpath has a segment)");
    if (subpath < 0) {
        if (count > 1)
            throw std::runtime_error("path data has " + std::to_string(count) +
                                     " subpaths; choose one with \"subpath\" (0 to " + std::to_string(count - 1) + ")");
        subpath = 0;
    }
    if (subpath >= count)
        throw std::runtime_error("subpath " + std::to_string(subpath) + " does not exist: the path data has " +
                                 std::to_string(count) + (count == 1 ? " subpath" : " subpaths") + " (0 to " +
                                 std::to_string(count - 1) + ")");
    return ToMaskPath(subpaths[static_cast<std::size_t>(subpath)]);
}

} // namespace harness
