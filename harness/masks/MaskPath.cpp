#include "harness/masks/MaskPath.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <limits>
#include <stdexcept>
#include <string>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LINESTRA_HOST_SSE2 1
#endif

namespace harness {

namespace {

// Gauss-Legendre rule of 8 points on [-1, 1]: nodes and weights found once
// by Newton's method on the Legendre polynomial, in long double.
constexpr int kRulePoints = 8;
static_assert(kRulePoints % 2 == 0, "the speeds are taken two at a time");

struct GaussLegendreRule {
    std::array<double, kRulePoints> node{};
    std::array<double, kRulePoints> weight{};
};

GaussLegendreRule MakeRule()
{
    GaussLegendreRule rule;
    constexpr long double pi = std::numbers::pi_v<long double>;
    for (int i = 0; i < kRulePoints; ++i) {
        long double x = std::cos(pi * (static_cast<long double>(i) + 0.75L) /
                                 (static_cast<long double>(kRulePoints) + 0.5L));
        long double derivative = 1;
        for (int iteration = 0; iteration < 100; ++iteration) {
            long double p0 = 1, p1 = x;
            for (int k = 2; k <= kRulePoints; ++k) {
                const long double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = kRulePoints * (x * p1 - p0) / (x * x - 1);
            const long double step = p1 / derivative;
            x -= step;
            if (std::fabs(step) < 1e-19L)
                break;
        }
        rule.node[static_cast<std::size_t>(i)] = static_cast<double>(x);
        rule.weight[static_cast<std::size_t>(i)] = static_cast<double>(2 / ((1 - x * x) * derivative * derivative));
    }
    return rule;
}

const GaussLegendreRule& Rule()
{
    static const GaussLegendreRule rule = MakeRule();
    return rule;
}

// A piece is accepted when one rule and the sum of the rule on its two halves
// agree to this fraction of the segment's length per unit of parameter, or to
// the absolute floor (which bounds the work near a cusp, where the speed has
// a kink). Summed over all pieces the error stays far below 1e-12 relative.
// A third bound is absolute, in pixels per unit of parameter: it decides only
// for segments shorter than a thousandth of a pixel (where it still keeps the
// error below 1e-12 of a segment of a thousandth of a pixel), and ends the
// work on segments so small that the squared speeds lose their precision
// (1e-159 pixels long, say), where the relative test would never pass and
// the pieces would multiply to the depth bound.
constexpr double kPieceTolerancePerParameter = 1e-13;
constexpr double kPieceToleranceFloor = 1e-15;
constexpr double kPieceToleranceAbsolute = 1e-16;
constexpr int kMaxPieceDepth = 48;

bool IsFinite(const Vec2& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y);
}

} // namespace

// ---------------------------------------------------------------------------
// PreparedSegment
// ---------------------------------------------------------------------------

PreparedSegment::PreparedSegment(const std::array<Vec2, 4>& controlPoints, int frequency) : p_(controlPoints)
{
    const Vec2& p0 = p_[0];
    const Vec2& p1 = p_[1];
    const Vec2& p2 = p_[2];
    const Vec2& p3 = p_[3];
    straight_ = p1.x == p0.x && p1.y == p0.y && p2.x == p3.x && p2.y == p3.y;
    if (straight_) {
        length_ = std::hypot(p3.x - p0.x, p3.y - p0.y);
        return;
    }

    // dB/dt = 3 (1-t)^2 a + 6 (1-t) t b + 3 t^2 c with a = P1-P0, b = P2-P1,
    // c = P3-P2, in power form for the speed.
    const Vec2 a{p1.x - p0.x, p1.y - p0.y};
    const Vec2 b{p2.x - p1.x, p2.y - p1.y};
    const Vec2 c{p3.x - p2.x, p3.y - p2.y};
    c0_ = {3 * a.x, 3 * a.y};
    c1_ = {6 * (b.x - a.x), 6 * (b.y - a.y)};
    c2_ = {3 * (a.x - 2 * b.x + c.x), 3 * (a.y - 2 * b.y + c.y)};

    const int initialPieces = std::clamp(frequency, 16, 1024);
    double rough = 0;
    std::vector<double> wholes(static_cast<std::size_t>(initialPieces));
    for (int i = 0; i < initialPieces; ++i) {
        const double t0 = static_cast<double>(i) / initialPieces;
        const double t1 = static_cast<double>(i + 1) / initialPieces;
        wholes[static_cast<std::size_t>(i)] = pieceIntegral(t0, t1);
        rough += wholes[static_cast<std::size_t>(i)];
    }
    if (!std::isfinite(rough) || !(rough > 0)) {
        // Coordinates too large or too small to measure: one piece, the
        // length as the rule gives it.
        length_ = rough;
        pieces_.push_back(Piece{0, 1, 0, rough, speed(0), speed(1)});
        return;
    }
    pieces_.reserve(static_cast<std::size_t>(initialPieces) * 2);
    for (int i = 0; i < initialPieces; ++i) {
        const double t0 = static_cast<double>(i) / initialPieces;
        const double t1 = static_cast<double>(i + 1) / initialPieces;
        buildPieces(t0, t1, wholes[static_cast<std::size_t>(i)], 0, rough);
    }
    double sum = 0;
    for (Piece& piece : pieces_) {
        piece.s0 = sum;
        sum += piece.length;
    }
    length_ = sum;
}

double PreparedSegment::speed(double t) const
{
    const double x = (c2_.x * t + c1_.x) * t + c0_.x;
    const double y = (c2_.y * t + c1_.y) * t + c0_.y;
    // sqrt rather than hypot: several times faster, and coordinates of
    // pixels are nowhere near overflow.
    return std::sqrt(x * x + y * y);
}

double PreparedSegment::pieceIntegral(double a, double b) const
{
    const GaussLegendreRule& rule = Rule();
    const double mid = 0.5 * (a + b);
    const double half = 0.5 * (b - a);
    // The speeds at the nodes, two at a time where SSE2 is at hand: each lane
    // does speed()'s operations in speed()'s order (no fused multiply-add;
    // the packed square root is correctly rounded like the scalar one), so
    // the values are the same bits. Only the sum runs in node order.
    alignas(16) std::array<double, kRulePoints> speeds;
#ifdef LINESTRA_HOST_SSE2
    const __m128d vmid = _mm_set1_pd(mid);
    const __m128d vhalf = _mm_set1_pd(half);
    const __m128d c0x = _mm_set1_pd(c0_.x), c1x = _mm_set1_pd(c1_.x), c2x = _mm_set1_pd(c2_.x);
    const __m128d c0y = _mm_set1_pd(c0_.y), c1y = _mm_set1_pd(c1_.y), c2y = _mm_set1_pd(c2_.y);
    for (std::size_t k = 0; k < speeds.size(); k += 2) {
        const __m128d t = _mm_add_pd(vmid, _mm_mul_pd(vhalf, _mm_loadu_pd(&rule.node[k])));
        const __m128d x = _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(c2x, t), c1x), t), c0x);
        const __m128d y = _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(c2y, t), c1y), t), c0y);
        _mm_store_pd(&speeds[k], _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y))));
    }
#else
    for (std::size_t k = 0; k < speeds.size(); ++k)
        speeds[k] = speed(mid + half * rule.node[k]);
#endif
    double sum = 0;
    for (std::size_t k = 0; k < speeds.size(); ++k)
        sum += rule.weight[k] * speeds[k];
    return sum * half;
}

void PreparedSegment::buildPieces(double a, double b, double whole, int depth, double scale)
{
    const double mid = 0.5 * (a + b);
    const double left = pieceIntegral(a, mid);
    const double right = pieceIntegral(mid, b);
    const double tolerance = std::max(scale * std::max(kPieceTolerancePerParameter * (b - a), kPieceToleranceFloor),
                                      kPieceToleranceAbsolute * (b - a));
    if (std::fabs(whole - (left + right)) <= tolerance || depth >= kMaxPieceDepth || !(mid > a && mid < b)) {
        // The piece keeps the single rule's value, so that a lookup inside it
        // (which integrates from its start with the same rule) ends exactly
        // at its length.
        pieces_.push_back(Piece{a, b, 0, whole, speed(a), speed(b)});
        return;
    }
    buildPieces(a, mid, left, depth + 1, scale);
    buildPieces(mid, b, right, depth + 1, scale);
}

// The piece holding s: the last one starting at or before it (the table's
// starts never decrease). The hint and the piece after it are checked by that
// very rule before the table is searched, so the answer does not depend on
// the hint.
std::size_t PreparedSegment::pieceAt(double s, std::size_t hint) const
{
    const std::size_t count = pieces_.size();
    for (std::size_t k = hint; k < count && k <= hint + 1; ++k)
        if (pieces_[k].s0 <= s && (k + 1 == count || s < pieces_[k + 1].s0))
            return k;
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), s,
                               [](double value, const Piece& piece) { return value < piece.s0; });
    return static_cast<std::size_t>((it == pieces_.begin() ? it : it - 1) - pieces_.begin());
}

std::vector<double> PreparedSegment::pieceStarts() const
{
    std::vector<double> starts;
    starts.reserve(pieces_.size());
    for (const Piece& piece : pieces_)
        starts.push_back(piece.s0);
    return starts;
}

double PreparedSegment::parameterAt(double s) const
{
    std::size_t hint = 0;
    return parameterAt(s, hint);
}

double PreparedSegment::parameterAt(double s, std::size_t& pieceHint) const
{
    if (straight_)
        return length_ > 0 ? s / length_ : 0;
    if (std::isnan(s))
        return s;
    if (!(s > 0))
        return 0;
    if (!(s < length_))
        return 1;

    pieceHint = pieceAt(s, pieceHint);
    const Piece& piece = pieces_[pieceHint];
    const double target = std::clamp(s - piece.s0, 0.0, piece.length);
    const double width = piece.t1 - piece.t0;
    if (!(piece.length > 0))
        return piece.t0;

    // First guess: cubic Hermite interpolation of t(s) with slopes 1/speed
    // at the ends; linear where an end's speed is (nearly) zero.
    const double u = target / piece.length;
    double guess = u;
    const double m0 = piece.length / (width * piece.speed0);
    const double m1 = piece.length / (width * piece.speed1);
    if (std::isfinite(m0) && std::isfinite(m1) && m0 < 4 && m1 < 4) {
        const double u2 = u * u;
        const double u3 = u2 * u;
        guess = (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) + (u3 - u2) * m1;
        guess = std::clamp(guess, 0.0, 1.0);
    }

    // Newton's method on arclength(t0, t) - target, kept inside a bracket
    // that bisection shrinks whenever a step would leave it.
    const double tolerance = std::max(1e-11, 1e-15 * length_);
    double lo = piece.t0;
    double hi = piece.t1;
    double t = piece.t0 + width * guess;
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double f = pieceIntegral(piece.t0, t) - target;
        if (std::fabs(f) <= tolerance)
            break;
        if (f < 0)
            lo = t;
        else
            hi = t;
        const double slope = speed(t);
        double next = t - f / slope;
        if (!(next > lo && next < hi))
            next = 0.5 * (lo + hi);
        if (next == t || !(hi > lo))
            break;
        t = next;
    }
    return t;
}

PathSample PreparedSegment::evaluate(double s) const
{
    std::size_t hint = 0;
    return evaluate(s, hint);
}

PathSample PreparedSegment::evaluate(double s, std::size_t& pieceHint) const
{
    const Vec2& p0 = p_[0];
    const Vec2& p3 = p_[3];
    if (straight_) {
        const double dx = p3.x - p0.x;
        const double dy = p3.y - p0.y;
        if (length_ == 0)
            return PathSample{p0.x, p0.y, 0, 0};
        return PathSample{p0.x + dx * (s / length_), p0.y + dy * (s / length_), dx, dy};
    }
    if (std::isnan(s)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return PathSample{nan, nan, nan, nan};
    }

    const double t = parameterAt(s, pieceHint);
    const Vec2& p1 = p_[1];
    const Vec2& p2 = p_[2];
    const double mt = 1 - t;
    const double b0 = mt * mt * mt;
    const double b1 = 3 * mt * mt * t;
    const double b2 = 3 * mt * t * t;
    const double b3 = t * t * t;
    PathSample sample;
    sample.x = b0 * p0.x + b1 * p1.x + b2 * p2.x + b3 * p3.x;
    sample.y = b0 * p0.y + b1 * p1.y + b2 * p2.y + b3 * p3.y;
    const double d0 = 3 * mt * mt;
    const double d1 = 6 * mt * t;
    const double d2 = 3 * t * t;
    sample.dx = d0 * (p1.x - p0.x) + d1 * (p2.x - p1.x) + d2 * (p3.x - p2.x);
    sample.dy = d0 * (p1.y - p0.y) + d1 * (p2.y - p1.y) + d2 * (p3.y - p2.y);
    return sample;
}

// ---------------------------------------------------------------------------
// MaskPath
// ---------------------------------------------------------------------------

MaskPath::MaskPath(std::vector<MaskVertex> vertices, bool closed) : vertices_(std::move(vertices)), closed_(closed)
{
    for (std::size_t i = 0; i < vertices_.size(); ++i) {
        const MaskVertex& v = vertices_[i];
        if (!IsFinite(v.position) || !IsFinite(v.in) || !IsFinite(v.out))
            throw std::invalid_argument("mask vertex " + std::to_string(i) +
                                        " has a coordinate that is not a finite number");
    }
}

std::array<Vec2, 4> MaskPath::controlPoints(int segment) const
{
    if (segment < 0 || segment >= segmentCount())
        throw std::out_of_range("mask segment " + std::to_string(segment) + " does not exist (the path has " +
                                std::to_string(segmentCount()) + " segments)");
    const auto i = static_cast<std::size_t>(segment);
    const MaskVertex& from = vertices_[i];
    const MaskVertex& to = vertices_[(i + 1) % vertices_.size()];
    return {from.position,
            Vec2{from.position.x + from.out.x, from.position.y + from.out.y},
            Vec2{to.position.x + to.in.x, to.position.y + to.in.y},
            to.position};
}

double MaskPath::segmentLength(int segment) const
{
    return PreparedSegment(controlPoints(segment)).length();
}

PathSample MaskPath::evaluate(int segment, double s) const
{
    return PreparedSegment(controlPoints(segment)).evaluate(s);
}

PreparedSegment MaskPath::prepare(int segment, int frequency) const
{
    return PreparedSegment(controlPoints(segment), frequency);
}

namespace {

// (c x n) / d in double. Where c x n would overflow though the scaled
// coordinate need not (a coordinate near the largest double at a scale such
// as 2/4), (c / d) x n instead; every other coordinate keeps the bits of
// (c x n) / d.
double ScaledCoordinate(double c, double n, double d)
{
    const double product = c * n;
    return std::isfinite(product) || !std::isfinite(c) ? product / d : c / d * n;
}

Vec2 ScaledPoint(const Vec2& v, double nx, double dx, double ny, double dy)
{
    return Vec2{ScaledCoordinate(v.x, nx, dx), ScaledCoordinate(v.y, ny, dy)};
}

} // namespace

MaskPath MaskPath::scaled(double nx, double dx, double ny, double dy) const
{
    std::vector<MaskVertex> out = vertices_;
    for (MaskVertex& v : out) {
        v.position = ScaledPoint(v.position, nx, dx, ny, dy);
        v.in = ScaledPoint(v.in, nx, dx, ny, dy);
        v.out = ScaledPoint(v.out, nx, dx, ny, dy);
    }
    return MaskPath(std::move(out), closed_);
}

MaskPath MaskPath::transformed(const std::array<double, 6>& m) const
{
    const auto linear = [&m](const Vec2& v) { return Vec2{m[0] * v.x + m[2] * v.y, m[1] * v.x + m[3] * v.y}; };
    std::vector<MaskVertex> out = vertices_;
    for (MaskVertex& v : out) {
        const Vec2 p = linear(v.position);
        v.position = {p.x + m[4], p.y + m[5]};
        v.in = linear(v.in);
        v.out = linear(v.out);
    }
    return MaskPath(std::move(out), closed_);
}

} // namespace harness
