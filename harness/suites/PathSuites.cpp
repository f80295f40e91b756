// "PF Path Query Suite" version 1 and "PF Path Data Suite" version 1: the
// instance's mask at render scale, checked out and in, measured and
// evaluated segment by segment. Path id 0 (no mask chosen) checks out as a
// path of no segments. Every outline and segment preparation is a host
// object that the module's pointers are checked against before use.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

#include "harness/state/HostState.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

std::string Num(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The checks below run for every evaluation, many thousands of times a
// frame: each one's test is small enough to be inlined, and the report of a
// breach, which builds its text, is a function of its own, kept out of the
// way of the test.

[[gnu::cold, gnu::noinline]] PF_PathOutline* ReportBadOutline(HostState& host, PF_PathOutlinePtr pointer,
                                                               const char* function)
{
    if (!host.isPathHandle(pointer))
        host.violation(std::string(function) + " with a path the host did not hand out");
    else if (pointer->expired)
        host.violation(std::string(function) + " with a path checked out by an earlier command");
    else
        host.violation(std::string(function) + " with path " + std::to_string(pointer->id) +
                       " after it was checked in");
    return nullptr;
}

// The outline behind a module's pointer, or null after a violation naming
// what is wrong.
inline PF_PathOutline* Outline(HostState& host, PF_PathOutlinePtr pointer, const char* function)
{
    if (!host.isPathHandle(pointer) || pointer->expired || pointer->checkedIn) [[unlikely]]
        return ReportBadOutline(host, pointer, function);
    return pointer;
}

[[gnu::cold, gnu::noinline]] bool ReportSegmentOutOfRange(HostState& host, const PF_PathOutline& path,
                                                           A_long segment, const char* function)
{
    host.violation(std::string(function) + " of segment " + std::to_string(segment) + ", but path " +
                   std::to_string(path.id) + " has " + std::to_string(path.path.segmentCount()));
    return false;
}

inline bool SegmentInRange(HostState& host, const PF_PathOutline& path, A_long segment, const char* function)
{
    if (segment < 0 || segment >= path.path.segmentCount()) [[unlikely]]
        return ReportSegmentOutOfRange(host, path, segment, function);
    return true;
}

[[gnu::cold, gnu::noinline]] PF_PathSegPrep* ReportBadPrep(HostState& host, PF_PathSegPrepPtr pointer,
                                                            const PF_PathOutline& path, A_long segment,
                                                            const char* function)
{
    if (!host.isPathHandle(pointer))
        host.violation(std::string(function) + " with a segment preparation the host did not hand out");
    else if (pointer->cleanedUp)
        host.violation(std::string(function) + " with the preparation of segment " +
                       std::to_string(pointer->segment) + " after it was cleaned up");
    else
        host.violation(std::string(function) + " of segment " + std::to_string(segment) +
                       " with the preparation of segment " + std::to_string(pointer->segment) +
                       (pointer->path != &path ? " of another path" : ""));
    return nullptr;
}

// A preparation handed in for `segment` of `path`; null after a violation.
inline PF_PathSegPrep* Prep(HostState& host, PF_PathSegPrepPtr pointer, const PF_PathOutline& path, A_long segment,
                            const char* function)
{
    if (!host.isPathHandle(pointer) || pointer->cleanedUp || pointer->path != &path ||
        pointer->segment != segment) [[unlikely]]
        return ReportBadPrep(host, pointer, path, segment, function);
    return pointer;
}

double SegmentLength(PF_PathOutline& path, A_long segment)
{
    double& length = path.lengths[static_cast<std::size_t>(segment)];
    if (length < 0)
        length = path.path.segmentLength(segment);
    return length;
}

// ---- Path Query -------------------------------------------------------------

PF_Err NumPaths(PF_ProgPtr ref, A_long* count)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_NumPaths", CallKind::Guarded);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (count == nullptr) {
        host->violation("PF_NumPaths without a place for the answer");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, [] { return std::string(); });
    }
    *count = host->mask ? 1 : 0;
    return call.finish(PF_Err_NONE, [&] { return "-> " + std::to_string(*count); });
}

PF_Err PathInfo(PF_ProgPtr ref, A_long index, PF_PathID* id)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathInfo", CallKind::Guarded);
    auto args = [&] { return std::to_string(index); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (id == nullptr) {
        host->violation("PF_PathInfo without a place for the answer");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (index != 0 || !host->mask)
        return call.finish(PF_Err_INVALID_INDEX, args);
    *id = kMaskPathId;
    return call.finish(PF_Err_NONE, args);
}

PF_Err CheckoutPath(PF_ProgPtr ref, PF_PathID id, A_long what_time, A_long time_step, A_u_long time_scale,
                    PF_PathOutlinePtr* result)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_CheckoutPath", CallKind::Guarded);
    auto args = [&] {
        return "id=" + std::to_string(id) + ", time=" + std::to_string(what_time) + ", step=" +
               std::to_string(time_step) + ", scale=" + std::to_string(time_scale);
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (result == nullptr) {
        host->violation("PF_CheckoutPath without a place for the path");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *result = nullptr;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (time_scale == 0) {
        host->violation("PF_CheckoutPath with a time scale of 0");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    MaskPath path; // id 0: no mask chosen, no segments
    if (id != 0) {
        if (id != kMaskPathId || !host->mask)
            return call.finish(PF_Err_BAD_CALLBACK_PARAM, [&] { return args() + " (no such mask)"; });
        const Downsample ds = host->downsample();
        // A mask that cannot be scaled throws; the callback's barrier answers
        // PF_Err_INTERNAL_STRUCT_DAMAGED and names the reason.
        path = host->mask->scaled(static_cast<double>(ds.nx), static_cast<double>(ds.dx),
                                  static_cast<double>(ds.ny), static_cast<double>(ds.dy));
    }
    auto outline = std::make_unique<PF_PathOutline>();
    outline->magic = kPathMagic;
    outline->host = host;
    outline->id = id;
    outline->lengths.assign(static_cast<std::size_t>(path.segmentCount()), -1.0);
    outline->path = std::move(path);
    outline->command = host->command.name;
    // Owned first, then indexed, then handed over: memory running out on
    // the way leaves no record pointing at a freed outline.
    PF_PathOutline* const handle = outline.get();
    host->outlines.push_back(std::move(outline));
    host->pathHandles.insert(handle);
    host->command.paths.push_back(handle);
    *result = handle;
    return call.finish(PF_Err_NONE, args);
}

PF_Err CheckinPath(PF_ProgPtr ref, PF_PathID id, PF_Boolean changed, PF_PathOutlinePtr pointer)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_CheckinPath", CallKind::Guarded);
    auto args = [&] { return "id=" + std::to_string(id) + ", changed=" + std::to_string(changed); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_CheckinPath");
    if (path == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    if (path->id != id) {
        host->violation("PF_CheckinPath of id " + std::to_string(id) + " with the path of id " +
                        std::to_string(path->id));
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    for (PF_PathSegPrep* prep : host->command.preps)
        if (prep->path == path && !prep->cleanedUp)
            host->violation("path " + std::to_string(id) + " checked in while segment " +
                            std::to_string(prep->segment) + " is still prepared");
    path->checkedIn = true;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(PF_Err_NONE, args);
}

// ---- Path Data --------------------------------------------------------------

PF_Err PathIsOpen(PF_ProgPtr ref, PF_PathOutlinePtr pointer, PF_Boolean* open)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathIsOpen", CallKind::Guarded);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathIsOpen");
    if (path == nullptr || open == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, [] { return std::string(); });
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), [] { return std::string(); });
    *open = path->path.isClosed() ? 0 : 1;
    return call.finish(PF_Err_NONE, [&] { return "-> " + std::to_string(*open); });
}

PF_Err PathNumSegments(PF_ProgPtr ref, PF_PathOutlinePtr pointer, A_long* count)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathNumSegments", CallKind::Guarded);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathNumSegments");
    if (path == nullptr || count == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, [] { return std::string(); });
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), [] { return std::string(); });
    *count = path->path.segmentCount();
    return call.finish(PF_Err_NONE, [&] { return "-> " + std::to_string(*count); });
}

PF_Err PathVertexInfo(PF_ProgPtr ref, PF_PathOutlinePtr pointer, A_long which, PF_PathVertex* vertex)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathVertexInfo", CallKind::Guarded);
    auto args = [&] { return std::to_string(which); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathVertexInfo");
    if (path == nullptr || vertex == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    const auto& vertices = path->path.vertices();
    if (which < 0 || static_cast<std::size_t>(which) >= vertices.size()) {
        host->violation("PF_PathVertexInfo of vertex " + std::to_string(which) + ", but the path has " +
                        std::to_string(vertices.size()));
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    // Tangent ends as layer positions (vertex plus handle).
    const MaskVertex& v = vertices[static_cast<std::size_t>(which)];
    *vertex = {v.position.x,
               v.position.y,
               v.position.x + v.in.x,
               v.position.y + v.in.y,
               v.position.x + v.out.x,
               v.position.y + v.out.y};
    return call.finish(PF_Err_NONE, args);
}

PF_Err PathPrepareSegLength(PF_ProgPtr ref, PF_PathOutlinePtr pointer, A_long segment, A_long frequency,
                            PF_PathSegPrepPtr* result)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathPrepareSegLength", CallKind::Guarded);
    auto args = [&] { return "segment=" + std::to_string(segment) + ", frequency=" + std::to_string(frequency); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (result == nullptr) {
        host->violation("PF_PathPrepareSegLength without a place for the preparation");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *result = nullptr;
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathPrepareSegLength");
    if (path == nullptr || !SegmentInRange(*host, *path, segment, "PF_PathPrepareSegLength"))
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    auto prep = std::make_unique<PF_PathSegPrep>();
    prep->magic = kPrepMagic;
    prep->path = path;
    prep->segment = segment;
    prep->frequency = frequency;
    prep->prepared = path->path.prepare(segment, frequency);
    // Owned, indexed, handed over, as an outline above.
    PF_PathSegPrep* const handle = prep.get();
    host->preps.push_back(std::move(prep));
    host->pathHandles.insert(handle);
    host->command.preps.push_back(handle);
    *result = handle;
    return call.finish(PF_Err_NONE, args);
}

PF_Err PathGetSegLength(PF_ProgPtr ref, PF_PathOutlinePtr pointer, A_long segment, PF_PathSegPrepPtr* prepP,
                        PF_FpLong* length)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathGetSegLength", CallKind::Guarded);
    auto args = [&] { return "segment=" + std::to_string(segment); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathGetSegLength");
    if (path == nullptr || length == nullptr || !SegmentInRange(*host, *path, segment, "PF_PathGetSegLength"))
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    // The preparation is optional.
    if (prepP != nullptr && *prepP != nullptr) {
        PF_PathSegPrep* prep = Prep(*host, *prepP, *path, segment, "PF_PathGetSegLength");
        if (prep == nullptr)
            return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
        *length = prep->prepared.length();
    } else {
        *length = SegmentLength(*path, segment);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(PF_Err_NONE, [&] { return args() + " -> " + Num(*length); });
}

// A point (and derivative) of a path by length, for both evaluation calls;
// they hold host->mutex for the whole call.
PF_Err Evaluate(HostState* host, HostCall& call, const char* function, PF_PathOutlinePtr pointer,
                PF_PathSegPrepPtr* prepP, A_long segment, PF_FpLong length, PF_FpLong* x, PF_FpLong* y,
                PF_FpLong* dx, PF_FpLong* dy)
{
    auto args = [&] { return "segment=" + std::to_string(segment) + ", length=" + Num(length); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    PF_PathOutline* path = Outline(*host, pointer, function);
    if (path == nullptr || x == nullptr || y == nullptr || !SegmentInRange(*host, *path, segment, function))
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    if (std::isnan(length)) {
        host->violation(std::string(function) + " of segment " + std::to_string(segment) +
                        " at a length that is not a number");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    PathSample sample;
    if (prepP != nullptr && *prepP != nullptr) {
        PF_PathSegPrep* prep = Prep(*host, *prepP, *path, segment, function);
        if (prep == nullptr)
            return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
        sample = prep->prepared.evaluate(length, prep->pieceHint);
    } else {
        sample = path->path.evaluate(segment, length);
    }
    *x = sample.x;
    *y = sample.y;
    if (dx != nullptr && dy != nullptr) {
        *dx = sample.dx;
        *dy = sample.dy;
    }
    return call.finish(PF_Err_NONE, [&] {
        std::string text = args() + " -> (" + Num(sample.x) + ", " + Num(sample.y) + ")";
        if (dx != nullptr)
            text += " d(" + Num(sample.dx) + ", " + Num(sample.dy) + ")";
        return text;
    });
}

PF_Err PathEvalSegLength(PF_ProgPtr ref, PF_PathOutlinePtr pointer, PF_PathSegPrepPtr* prepP, A_long segment,
                         PF_FpLong length, PF_FpLong* x, PF_FpLong* y)
{
    HostState* host = HostFromRef(ref);
    // One lock for the whole call, under which the accounting runs too; the
    // evaluation relies on it (the preparation keeps where it last looked).
    HostCall call(host, "PF_PathEvalSegLength", CallKind::Guarded, HostCall::LockForTheCall{});
    return Evaluate(host, call, "PF_PathEvalSegLength", pointer, prepP, segment, length, x, y, nullptr, nullptr);
}

PF_Err PathEvalSegLengthDeriv1(PF_ProgPtr ref, PF_PathOutlinePtr pointer, PF_PathSegPrepPtr* prepP, A_long segment,
                               PF_FpLong length, PF_FpLong* x, PF_FpLong* y, PF_FpLong* dx, PF_FpLong* dy)
{
    HostState* host = HostFromRef(ref);
    // One lock for the whole call, as above.
    HostCall call(host, "PF_PathEvalSegLengthDeriv1", CallKind::Guarded, HostCall::LockForTheCall{});
    if (host != nullptr && (dx == nullptr || dy == nullptr)) {
        host->violation("PF_PathEvalSegLengthDeriv1 without places for the derivative");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, [] { return std::string(); });
    }
    return Evaluate(host, call, "PF_PathEvalSegLengthDeriv1", pointer, prepP, segment, length, x, y, dx, dy);
}

PF_Err PathCleanupSegLength(PF_ProgPtr ref, PF_PathOutlinePtr pointer, A_long segment, PF_PathSegPrepPtr* prepP)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathCleanupSegLength", CallKind::Guarded);
    auto args = [&] { return "segment=" + std::to_string(segment); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    PF_PathOutline* path = Outline(*host, pointer, "PF_PathCleanupSegLength");
    if (path == nullptr || prepP == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    PF_PathSegPrep* prep = Prep(*host, *prepP, *path, segment, "PF_PathCleanupSegLength");
    if (prep == nullptr)
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    prep->cleanedUp = true;
    *prepP = nullptr;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(PF_Err_NONE, args);
}

PF_Err PathIsInverted(PF_ProgPtr ref, PF_PathID id, PF_Boolean* inverted)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathIsInverted", CallKind::Guarded);
    if (host == nullptr || inverted == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *inverted = 0;
    return call.finish(PF_Err_NONE, [&] { return "id=" + std::to_string(id); });
}

PF_Err PathGetMaskMode(PF_ProgPtr ref, PF_PathID id, PF_MaskMode* mode)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathGetMaskMode", CallKind::Guarded);
    if (host == nullptr || mode == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *mode = 1; // "add": the only mode a scene gives
    return call.finish(PF_Err_NONE, [&] { return "id=" + std::to_string(id); });
}

PF_Err PathGetName(PF_ProgPtr ref, PF_PathID id, A_char* name)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_PathGetName", CallKind::Guarded);
    if (host == nullptr || name == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::snprintf(name, 32, "%s", id == 0 ? "None" : "Mask 1");
    return call.finish(PF_Err_NONE, [&] { return "id=" + std::to_string(id); });
}

} // namespace

const PF_PathQuerySuite1& PathQuerySuite()
{
    static const PF_PathQuerySuite1 suite = {HostCallback<&NumPaths>, HostCallback<&PathInfo>,
                                             HostCallback<&CheckoutPath>, HostCallback<&CheckinPath>};
    return suite;
}

const PF_PathDataSuite1& PathDataSuite()
{
    static const PF_PathDataSuite1 suite = {
        HostCallback<&PathIsOpen>,           HostCallback<&PathNumSegments>,
        HostCallback<&PathVertexInfo>,       HostCallback<&PathPrepareSegLength>,
        HostCallback<&PathGetSegLength>,     HostCallback<&PathEvalSegLength>,
        HostCallback<&PathEvalSegLengthDeriv1>, HostCallback<&PathCleanupSegLength>,
        HostCallback<&PathIsInverted>,       HostCallback<&PathGetMaskMode>,
        HostCallback<&PathGetName>};
    return suite;
}

} // namespace harness
