#include "render/FineLineTable.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <new>
#include <type_traits>

#include "geometry/PathLookup.h"
#include "geometry/PortableMath.h"
#include "render/MemoryBudget.h"
#include "render/PFInfo.h"
#include "render/TableMemory.h"

namespace {

constexpr float kTwoPi = 2.0f * Linestra::kPi;
constexpr std::uint32_t kMaxLinesPerBucket = 40000;

} // namespace

namespace {

constexpr std::size_t kFanAngleChunk = 4096;

struct FanAngleChunks {
    Linestra::FineLine* lines;
    std::size_t count;
};

bool sameBits(Linestra::FloatPoint a, Linestra::FloatPoint b)
{
    return std::bit_cast<std::uint32_t>(a.x) == std::bit_cast<std::uint32_t>(b.x) &&
           std::bit_cast<std::uint32_t>(a.y) == std::bit_cast<std::uint32_t>(b.y);
}

PF_Err measureFanAngles_IterateFunc(void* refcon, A_long /*thread_index*/, A_long i, A_long /*iterations*/)
{
    const auto* chunks = static_cast<const FanAngleChunks*>(refcon);
    const std::size_t first = static_cast<std::size_t>(i) * kFanAngleChunk;
    const std::size_t last = std::min(first + kFanAngleChunk, chunks->count);
    // A line whose direction has the same bits as the one before it (a
    // repeated line, see buildFineLineTable) has the same fan angle.
    Linestra::FineLine* lines = chunks->lines;
    for (std::size_t n = first; n < last; ++n) {
        if (n > first && sameBits(lines[n].direction, lines[n - 1].direction)) {
            lines[n].sinAngle = lines[n - 1].sinAngle;
            lines[n].cosAngle = lines[n - 1].cosAngle;
        } else {
            Linestra::measureFanAngle(lines[n]);
        }
    }
    return PF_Err_NONE;
}

} // namespace

PF_Err measureFanAngles(FineLineStore& lines, const PF_Iterate8Suite1* iterate)
{
    FanAngleChunks chunks{lines.data(), lines.size()};
    const std::size_t count = (lines.size() + kFanAngleChunk - 1) / kFanAngleChunk;
    return iterate->iterate_generic(static_cast<A_long>(count), &chunks, measureFanAngles_IterateFunc);
}

void FineLineStore::reserve(std::size_t capacity)
{
    static_assert(std::is_trivially_copyable_v<Linestra::FineLine>, "lines are moved with their block");
    if (capacity <= capacity_)
        return;
    if (capacity > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(Linestra::FineLine))
        throw std::bad_alloc();
    lines_ = static_cast<Linestra::FineLine*>(growTable(lines_, capacity_ * sizeof(Linestra::FineLine),
                                                        capacity * sizeof(Linestra::FineLine)));
    capacity_ = capacity;
}

FineLineStore::~FineLineStore()
{
    freeTable(lines_, capacity_ * sizeof(Linestra::FineLine));
}

PF_Err PreparedPath::evaluate(std::uint32_t segment, double position, double* x, double* y, double* dx,
                              double* dy) const
{
    PF_PathSegPrepPtr handle = segmentPreps[segment];
    return pathData->PF_PathEvalSegLengthDeriv1(in_data->effect_ref, path, &handle, static_cast<A_long>(segment),
                                                position, x, y, dx, dy);
}

std::uint32_t fineLineBucketReserve(const PFInfo* info)
{
    const double m = std::ceil(info->pathLength / info->bucketSpacing);
    if (!(m > 0.0))
        return 0u;
    return m < 4294967295.0 ? static_cast<std::uint32_t>(m) : 4294967295u;
}

float fineLineAngle(Linestra::FloatPoint direction)
{
    float a = Linestra::fanAngle(direction);
    if (a < 0.0f)
        a += kTwoPi;
    return a;
}

std::uint32_t fineLinesPerBucket(const PFInfo* info, float angleDelta)
{
    float turning = static_cast<float>(info->maxLineLength) * 1.4142135f * std::fabs(angleDelta) /
                    info->matchTolerance;
    if (std::isnan(turning))
        turning = 0.0f;
    const double n = std::ceil((static_cast<double>(turning) +
                                info->bucketSpacing / static_cast<double>(info->matchTolerance)) *
                               1.2);
    if (!(n < static_cast<double>(kMaxLinesPerBucket)))
        return kMaxLinesPerBucket;
    return static_cast<std::uint32_t>(n);
}

Linestra::Line makeFineLine(PFInfo* info, double x, double y, double dx, double dy, double distance)
{
    const Linestra::DoublePoint anchor{x - static_cast<double>(info->inputWorld->origin_x),
                                       y - static_cast<double>(info->inputWorld->origin_y)};
    return Linestra::Line(anchor, dx, dy, info, 0.0, distance, nullptr, 0u, 0.0f);
}

std::uint64_t fineLineTableBytes(std::uint64_t buckets, std::uint64_t lines)
{
    return buckets * 2 * sizeof(std::uint32_t) + lines * sizeof(Linestra::FineLine);
}

PF_Err buildFineLineTable(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, const PreparedPath& path,
                          FineLineTable& table, const Linestra::Line& first, PF_Err err)
{
    using Clock = std::chrono::steady_clock;

    const double s = info->bucketSpacing;
    const std::uint32_t m = fineLineBucketReserve(info);
    const std::uint64_t budget = memoryBudgetBytes();
    unsigned int segmentHint = 0;
    Clock::duration layoutTime{};
    struct SegmentLookup {
        double distance;
        double position;
        unsigned int segment;
    };
    std::vector<SegmentLookup> lookups; // one bucket's, reused

    // Where the path was evaluated for the previous bucket's boundary line,
    // the last line in the table when the next bucket starts: the next
    // bucket's first interior line lies at the same distance.
    struct Boundary {
        unsigned int segment = 0;
        double position = 0.0;
        bool known = false;
    };
    Boundary previous;
    // The line at `distance`, found at (segment, position) by the lookup:
    // the host's evaluation of the path there, and the line built from it
    // (an empty line when the host reports an error in `evalErr`).
    auto lineAt = [&](unsigned int segment, double position, double distance, PF_Err& evalErr) {
        double x = 0, y = 0, dx = 0, dy = 0;
        evalErr = path.evaluate(segment, position, &x, &y, &dx, &dy);
        return evalErr ? Linestra::Line{} : makeFineLine(info, x, y, dx, dy, distance);
    };
    float previousAngle = fineLineAngle(first.direction);
    for (std::uint32_t i = 1; i <= m && !err; ++i) {
        err = PF_ABORT(in_data);
        if (err)
            break;
        if (i % 20 == 0) {
            const auto percent = static_cast<A_long>(15.0f + 45.0f * static_cast<float>(i) /
                                                                 static_cast<float>(m - 1));
            err = PF_PROGRESS(in_data, percent, 100);
            if (err)
                break;
        }

        if (fineLineTableBytes(m, table.lines.size()) > budget) {
            err = reportOverMemoryBudget(in_data, out_data, "The fine line table of this mask path");
            break;
        }

        // The new bucket starts at the previous boundary line.
        table.bucketFirstLine.push_back(static_cast<std::uint32_t>(table.lines.size() - 1));

        const double d = static_cast<double>(i) * s;
        if (d >= info->pathLength)
            break;

        double boundaryPosition = 0.0;
        getIPathSegAndPosAlongPathSeg_ClampedToEnd(info, static_cast<float>(d), &segmentHint, &boundaryPosition);
        const unsigned int boundarySegment = segmentHint;
        Linestra::Line boundary = lineAt(boundarySegment, boundaryPosition, d, err);
        if (err)
            break;

        const float boundaryAngle = fineLineAngle(boundary.direction);
        const float delta = boundaryAngle - previousAngle;
        const std::uint32_t n = fineLinesPerBucket(info, delta);

        // The bucket's segment lookups first, timed as one (a clock read
        // per line cost more than the lookup), then the host's evaluations.
        // The lookups run in the same order from the same hint as one by
        // one, so they find the same segments.
        const double reciprocal = 1.0 / static_cast<double>(n);
        lookups.resize(n > 0 ? n - 1 : 0);
        const auto started = Clock::now();
        for (std::uint32_t k = 0; k + 1 < n; ++k) {
            SegmentLookup& lookup = lookups[k];
            lookup.distance = static_cast<double>(k) * s * reciprocal + static_cast<double>(i - 1) * s;
            getIPathSegAndPosAlongPathSeg_ClampedToEnd(info, static_cast<float>(lookup.distance), &segmentHint,
                                                       &lookup.position);
            lookup.segment = segmentHint;
        }
        layoutTime += Clock::now() - started;

        for (std::uint32_t k = 0; k + 1 < n; ++k) {
            const SegmentLookup& lookup = lookups[k];
            // Where a lookup found the same segment and position as the line
            // just before it in the table, the host's evaluation (a function
            // of segment and position) and the line built from it would be
            // that line's, so they are taken from there; only the distance
            // along the path and the bucket's turning are the line's own.
            // Building it again could not raise maxLineLength either: the
            // line before it already did, with the same length. Two cases:
            // the first interior line lies at the previous boundary's
            // distance (0 x spacing added to it), and a bucket whose fan
            // turns far holds so many lines that neighbouring distances
            // round to the same float for the lookup (32,000 lines within
            // 0.05 px some 1,000 px along the path have about 800 distinct
            // ones). Exactly at a segment's end, two lookups of the same
            // distance that come from different sides can land on different
            // segments (the end of one, the start of the next); such a line
            // is built.
            const bool sameAsPrevious =
                k == 0 ? previous.known && lookup.segment == previous.segment && lookup.position == previous.position
                       : lookup.segment == lookups[k - 1].segment && lookup.position == lookups[k - 1].position;
            if (sameAsPrevious) {
                Linestra::FineLine repeated = table.lines.back();
                repeated.angleDelta = delta;
                repeated.pathDistance = static_cast<float>(lookup.distance);
                table.lines.push_back(repeated);
                continue;
            }
            Linestra::Line line = lineAt(lookup.segment, lookup.position, lookup.distance, err);
            if (err)
                break;
            line.angleDelta = delta;
            table.lines.push_back(Linestra::makeCompactFineLine(line));
        }
        if (err)
            break;

        table.bucketLineCount.push_back(n);
        boundary.angleDelta = delta;
        table.lines.push_back(Linestra::makeCompactFineLine(boundary));
        previous = Boundary{boundarySegment, boundaryPosition, true};
        previousAngle = boundaryAngle;
    }

    table.layoutSeconds += std::chrono::duration<double>(layoutTime).count();
    return err;
}
