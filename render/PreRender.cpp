// The smart pre-render pass: reads every parameter into a new render
// context, reports the output rectangle, lays out the coarse lines along the
// mask path and hands the context to the host as pre-render data.
#include "render/PreRender.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <optional>
#include <vector>

#include "geometry/Line.h"
#include "geometry/LineClipping.h"
#include "geometry/PortableMath.h"
#include "host/Params.h"
#include "host/SuiteHandler.h"
#include "host/SuiteScoper.h"
#include "pixels/DefaultTexture.h"
#include "render/MemoryBudget.h"
#include "render/PFInfo.h"
#include "render/RenderCommands.h"

using Linestra::DoublePoint;
using Linestra::Line;
using Linestra::LineSegmentIterator;

namespace {

constexpr float kToEdgeStrokeLength = 42500.0f;

void setRenderConstants(PFInfo* info, bool reducedScale)
{
    info->fadeCurve = 0.2f;
    info->maxLineLength = 0;
    info->useOwnerTables = true;
    info->areaSamplingEnabled = true;
    info->segLengthFrequency = 100;
    info->bucketSpacing = reducedScale ? 0.15 : 0.05;
    info->matchTolerance = reducedScale ? 0.15f : 0.05f;
    info->searchRadius = reducedScale ? 150 : 500;
    info->startGapLimit = 0.35f;
    info->endGapLimit = 0.35f;
    info->lineDensityFactor = 0.4f;
}

// Checks parameters out one at a time at the command's time, hands each
// definition to a reader and checks it straight back in: the host lends a
// checked-out parameter until it is checked in, and the pass keeps only the
// values. After the first error nothing more is checked out.
class ParamCheckout {
public:
    ParamCheckout(PF_InData* in_data, PF_Err& err) : in_data_(in_data), err_(err) {}

    template <typename Reader>
    void read(PF_ParamIndex index, Reader&& reader)
    {
        if (err_ != PF_Err_NONE)
            return;
        PF_ParamDef def;
        AEFX_CLR_STRUCT(def);
        err_ = PF_CHECKOUT_PARAM(in_data_, index, in_data_->current_time, in_data_->time_step,
                                 in_data_->time_scale, &def);
        if (err_ != PF_Err_NONE)
            return;
        reader(def);
        err_ = PF_CHECKIN_PARAM(in_data_, &def);
    }

private:
    PF_InData* in_data_;
    PF_Err& err_;
};

bool checked(const PF_ParamDef& def)
{
    return def.u.bd.value != 0;
}

// Texture Offset, an angle in 16.16 fixed degrees, as a fraction of a full
// turn in [0, 1).
float turnFraction(PF_Fixed angle)
{
    const double degrees = std::fmod(static_cast<double>(angle) / 65536.0, 360.0);
    float fraction = static_cast<float>(degrees * (1.0 / 360.0));
    if (fraction < 0.0f)
        fraction += 1.0f;
    return fraction;
}

// Parameter values that the context does not store as read.
struct RawParams {
    double strokeLength = 0.0;
    double expandContract = 0.0;
    A_long textureLayerHeight = 0;
};

// The first 22 checkouts, in the host-visible order of the pass.
void readParams(ParamCheckout& params, PFInfo* info, RawParams& raw)
{
    params.read(PARAM_PATH, [&](const PF_ParamDef& d) { info->pathId = d.u.path_d.path_id; });
    params.read(PARAM_COMPOSITE_ON_ORIGINAL,
                [&](const PF_ParamDef& d) { info->backgroundMode = checked(d) ? 2 : 3; });
    params.read(PARAM_TEXTURE_OFFSET, [&](const PF_ParamDef& d) { info->textureOffset = turnFraction(d.u.ad.value); });
    params.read(PARAM_MIRROR_Y, [&](const PF_ParamDef& d) { info->flipTextureVertically = !checked(d); });
    params.read(PARAM_MIRROR_X, [&](const PF_ParamDef& d) {
        info->flipTextureHorizontally = checked(d);
        info->directionSignMode = checked(d) ? 2 : 1;
    });
    params.read(PARAM_REPEAT_MIRRORED_Y, [&](const PF_ParamDef& d) { info->repeatMirroredY = checked(d); });
    params.read(PARAM_REPEAT_MIRRORED_X, [&](const PF_ParamDef& d) { info->repeatMirroredX = checked(d); });
    params.read(PARAM_TO_EDGE, [&](const PF_ParamDef& d) { info->toEdge = checked(d); });
    params.read(PARAM_SCALE_X_GRADIENT, [&](const PF_ParamDef& d) { info->scaleXGradient = checked(d); });
    params.read(PARAM_SCALE_X_START,
                [&](const PF_ParamDef& d) { info->scaleXStart = static_cast<float>(d.u.fs_d.value); });
    params.read(PARAM_SCALE_X_END, [&](const PF_ParamDef& d) { info->scaleXEnd = static_cast<float>(d.u.fs_d.value); });
    params.read(PARAM_SCALE_X, [&](const PF_ParamDef& d) { info->scaleX = static_cast<float>(d.u.fs_d.value); });
    params.read(PARAM_SCALE_Y, [&](const PF_ParamDef& d) { info->scaleY = static_cast<float>(d.u.fs_d.value); });
    params.read(PARAM_STROKE_LENGTH, [&](const PF_ParamDef& d) { raw.strokeLength = d.u.fs_d.value; });
    params.read(PARAM_TEXTURE_ORIGIN, [&](const PF_ParamDef& d) {
        info->originNearestToPoint = d.u.pd.value == TEXTURE_ORIGIN_NEAREST_TO_POINT;
    });
    params.read(PARAM_POINT, [&](const PF_ParamDef& d) {
        info->originPointX = static_cast<double>(d.u.td.x_value) / 65536.0;
        info->originPointY = static_cast<double>(d.u.td.y_value) / 65536.0;
    });
    params.read(PARAM_MIRROR_TILE_AT_EDGE, [&](const PF_ParamDef& d) { info->mirrorTileAtEdge = checked(d); });
    params.read(PARAM_PATH_EXPAND_CONTRACT, [&](const PF_ParamDef& d) { raw.expandContract = d.u.fs_d.value; });
    params.read(PARAM_TEXTURE_SOURCE, [&](const PF_ParamDef& d) {
        info->useOriginalFrame = d.u.pd.value == TEXTURE_SOURCE_ORIGINAL_FRAME;
    });
    params.read(PARAM_STOP_FADE_AT_EDGE, [&](const PF_ParamDef& d) { info->stopFadeAtEdge = checked(d); });
    params.read(PARAM_FADE_IN, [&](const PF_ParamDef& d) { info->fadeIn = static_cast<float>(d.u.fs_d.value); });
    params.read(PARAM_FADE_OUT, [&](const PF_ParamDef& d) { info->fadeOut = static_cast<float>(d.u.fs_d.value); });
}

// The frame size at render scale: ceil((size x numerator) / denominator) in float.
std::int32_t scaledSize(A_long size, const PF_RationalScale& scale)
{
    const float scaled =
        (static_cast<float>(size) * static_cast<float>(scale.num)) / static_cast<float>(scale.den);
    return static_cast<std::int32_t>(std::ceil(scaled));
}

// Derived from the parameters and the render scale (no host call).
void setRenderScaleFields(const PF_InData* in_data, PFInfo* info, const RawParams& raw)
{
    const float scale = static_cast<float>(in_data->downsample_x.num) / static_cast<float>(in_data->downsample_x.den);

    const float length =
        info->toEdge ? kToEdgeStrokeLength : static_cast<float>(raw.strokeLength * static_cast<double>(scale));
    if (length < 0.0f) {
        // Negative lengths run the lines back across the path; the texture
        // is turned over with them so that it keeps its side.
        info->strokeLength = -length;
        info->reverseLines = true;
        info->flipTextureHorizontally = !info->flipTextureHorizontally;
    } else {
        info->strokeLength = length;
        info->reverseLines = false;
    }

    info->width = scaledSize(in_data->width, in_data->downsample_x);
    info->height = scaledSize(in_data->height, in_data->downsample_y);
    info->diagonal = static_cast<std::int64_t>(
        Linestra::PortableMath::hypot(static_cast<double>(info->width), static_cast<double>(info->height)));
    info->startShift = static_cast<float>(-(static_cast<double>(scale) * raw.expandContract));

    setRenderConstants(info, scale < 1.0f);
}

// Where the pass is while it walks the path: the host's path and the
// segment being laid out.
struct PathWalk {
    PF_InData* in_data = nullptr;
    PF_OutData* out_data = nullptr;
    const PF_PathDataSuite1* pathData = nullptr;
    PF_PathOutlinePtr path = nullptr;
    DoublePoint origin{};             // top-left of the input's result rectangle
    PFInfo* info = nullptr;
    std::vector<LineSegmentIterator> walkingLines;
    std::vector<Line> pendingLines;   // layOutSegment's open gaps; one stack for every segment
    std::vector<double> segmentLengths;
    // The segment being laid out.
    A_long segment = 0;
    PF_PathSegPrepPtr prep = nullptr;
    bool prepared = false;            // prep still to be cleaned up
    double segmentBase = 0.0;         // path distance at the segment's start
    float segmentLength = 0.0f;       // its last position, as float: the length its lines record
    bool hostFailed = false;          // a path call answered an error
    std::uint64_t linesBuilt = 0;     // coarse lines built so far, for the abort question
    std::uint64_t budget = 0;         // memory budget of the coarse and walking lines, bytes
};

// Notes a path call that failed: no further path call follows it.
PF_Err hostCall(PathWalk& walk, PF_Err err)
{
    if (err != PF_Err_NONE)
        walk.hostFailed = true;
    return err;
}

// Coarse lines between two abort questions: a few milliseconds of path
// evaluations, so that a long path can be cancelled while it is laid out.
constexpr std::uint64_t kLinesPerAbortQuestion = 4096;

// Every kLinesPerAbortQuestion coarse lines, asks the host whether the user
// cancelled, and checks the memory the segment's coarse lines and the
// walking lines take against the budget.
PF_Err checkProgress(PathWalk& walk, std::size_t coarseLines)
{
    if (++walk.linesBuilt % kLinesPerAbortQuestion != 0)
        return PF_Err_NONE;
    // Every coarse line of the segment made so far counts at the size of a
    // line with two links, however few the layout keeps at a time, so that
    // the size at which a path is refused does not depend on how they are
    // stored.
    const std::uint64_t bytes = coarseLines * (sizeof(Line) + 2 * sizeof(void*)) +
                                walk.walkingLines.capacity() * sizeof(LineSegmentIterator);
    if (bytes > walk.budget)
        return reportOverMemoryBudget(walk.in_data, walk.out_data, "The lines along this mask path");
    // A cancel is the host's answer like any other error: no path call
    // follows it, and the host discards the path with the command.
    return hostCall(walk, PF_ABORT(walk.in_data));
}

// Evaluates the segment at `position` and builds the coarse line there.
PF_Err buildLine(PathWalk& walk, double position, std::optional<Line>& line)
{
    PF_FpLong x = 0.0, y = 0.0, dx = 0.0, dy = 0.0;
    const PF_Err err = hostCall(walk, walk.pathData->PF_PathEvalSegLengthDeriv1(
                                          walk.in_data->effect_ref, walk.path, &walk.prep, walk.segment, position,
                                          &x, &y, &dx, &dy));
    if (err != PF_Err_NONE)
        return err;
    const DoublePoint anchor{x - walk.origin.x, y - walk.origin.y};
    line.emplace(anchor, dx, dy, walk.info, position, walk.segmentBase + position, walk.prep,
                 static_cast<unsigned int>(walk.segment), walk.segmentLength);
    return PF_Err_NONE;
}

// Neighbouring coarse lines are close enough when both their starts and
// their visible ends lie within the gap limits.
bool needsLineBetween(const Line& p, const Line& q, const PFInfo* info)
{
    return Linestra::PortableMath::hypot(p.end.x - q.end.x, p.end.y - q.end.y) > info->endGapLimit ||
           Linestra::PortableMath::hypot(p.start.x - q.start.x, p.start.y - q.start.y) > info->startGapLimit;
}

// Lays out the segment whose length is `length`: lines at both ends, then
// lines halfway between neighbours that lie too far apart, always closing
// the left-hand gap first. Walking lines are appended in the order made.
PF_Err layOutSegment(PathWalk& walk, double length)
{
    PFInfo* info = walk.info;
    const double last = std::nextafter(length, length - 1.0);
    walk.segmentLength = static_cast<float>(last);

    std::optional<Line> first;
    std::optional<Line> second;
    PF_Err err = buildLine(walk, 0.0, first);
    if (err == PF_Err_NONE)
        err = buildLine(walk, last, second);
    if (err != PF_Err_NONE)
        return err;

    // The walking line is made before the frame test, so the Nearest To
    // Point search also sees end lines outside the frame.
    for (Line* end : {&*first, &*second}) {
        LineSegmentIterator walker(*end, info);
        if (Linestra::lineSegIsInFrame(end, info))
            walk.walkingLines.push_back(walker);
    }

    // Halving: a gap too wide gets a line at its middle, and the left-hand
    // gap is always closed first. `left` is the line left of the gap being
    // looked at; `pending` holds the right-hand ends of the open gaps, the
    // nearest last.
    std::size_t coarseLines = 2;
    Line left = *first;
    std::vector<Line>& pending = walk.pendingLines;
    pending.clear();
    pending.push_back(*second);
    while (!pending.empty()) {
        const Line& right = pending.back();
        const double middle = (left.segmentPosition + right.segmentPosition) / 2.0;
        // A pair whose midpoint can no longer be told from an end is as close
        // as it can get (the fan turns over where the derivative vanishes).
        if (!needsLineBetween(left, right, info) || middle == left.segmentPosition ||
            middle == right.segmentPosition) {
            left = right;
            pending.pop_back();
            continue;
        }
        err = checkProgress(walk, coarseLines);
        if (err != PF_Err_NONE)
            return err;
        std::optional<Line> between;
        err = buildLine(walk, middle, between);
        if (err != PF_Err_NONE)
            return err;
        ++coarseLines;
        Line& made = pending.emplace_back(*between);
        if (Linestra::lineSegIsInFrame(&made, info))
            walk.walkingLines.push_back(LineSegmentIterator(made, info));
    }
    return PF_Err_NONE;
}

// Every segment in path order. Stops at the first error.
PF_Err layOutPath(PathWalk& walk, A_long segmentCount)
{
    PFInfo* info = walk.info;
    PF_ProgPtr ref = walk.in_data->effect_ref;
    for (A_long i = 0; i < segmentCount; ++i) {
        walk.segment = i;
        walk.prep = nullptr;
        PF_Err err = hostCall(walk, walk.pathData->PF_PathPrepareSegLength(ref, walk.path, i,
                                                                           info->segLengthFrequency, &walk.prep));
        if (err != PF_Err_NONE)
            return err;
        walk.prepared = true;
        double length = 0.0;
        err = hostCall(walk, walk.pathData->PF_PathGetSegLength(ref, walk.path, i, &walk.prep, &length));
        if (err == PF_Err_NONE)
            err = layOutSegment(walk, length);
        if (err != PF_Err_NONE)
            return err;
        walk.segmentLengths.push_back(length);
        walk.prepared = false;
        err = hostCall(walk, walk.pathData->PF_PathCleanupSegLength(ref, walk.path, i, &walk.prep));
        if (err != PF_Err_NONE)
            return err;
        walk.segmentBase += length;
    }
    return PF_Err_NONE;
}

// The fields that follow from the whole path, and the arrays the context
// keeps.
PF_Err finishPathFields(PathWalk& walk, const PF_InData* in_data, const RawParams& raw)
{
    PFInfo* info = walk.info;
    PF_Err err = PF_Err_NONE;

    const std::size_t segmentCount = walk.segmentLengths.size();
    if (segmentCount > 0) {
        info->segmentLengths = new (std::nothrow) double[segmentCount];
        if (info->segmentLengths)
            std::copy(walk.segmentLengths.begin(), walk.segmentLengths.end(), info->segmentLengths);
        else
            err = PF_Err_OUT_OF_MEMORY;
    }
    info->segmentCount = info->segmentLengths ? static_cast<std::uint32_t>(segmentCount) : 0;
    info->pathLength = walk.segmentBase;
    info->textureOffsetDistance = static_cast<double>(info->textureOffset) * info->pathLength;
    info->areaSampleOriginalX = info->areaSampleTextureX = info->scaleX > 1.0f;
    if (raw.textureLayerHeight != 0) {
        info->textureHeight = static_cast<std::uint16_t>(raw.textureLayerHeight);
    } else {
        info->textureHeight = static_cast<std::uint16_t>(
            (kDefaultTextureHeight * static_cast<A_u_long>(in_data->downsample_y.num)) / in_data->downsample_y.den);
    }
    // From Scale Y as set, before the halving below.
    info->areaSampleTextureY =
        static_cast<double>(static_cast<float>(info->textureHeight) * info->scaleY) * (1.0 / info->pathLength) > 1.0;
    info->scaleXSampleCount = std::floor(info->scaleX);
    info->scaleXSampleStep = info->scaleX / info->scaleXSampleCount;
    if (info->repeatMirroredY)
        info->scaleY = info->scaleY * 0.5f;

    const std::size_t walkingCount = walk.walkingLines.size();
    if (walkingCount > 0) {
        info->iterators = new (std::nothrow) LineSegmentIterator[walkingCount];
        if (info->iterators)
            std::copy(walk.walkingLines.begin(), walk.walkingLines.end(), info->iterators);
        else if (err == PF_Err_NONE)
            err = PF_Err_OUT_OF_MEMORY;
    }
    info->iteratorCount = info->iterators ? walkingCount : 0;
    return err;
}

// The walking lines of the mask path: the path is checked out, walked
// segment by segment (layOutPath), its lengths kept in the render context
// (finishPathFields) and checked back in.
PF_Err layOutLines(PF_InData* in_data, PF_OutData* out_data, PFInfo* info, AEGP_SuiteHandler& suites,
                   const PF_CheckoutResult& input, const RawParams& raw)
{
    // Every suite the walk needs is acquired before the path is checked
    // out, so that a missing suite (thrown) cannot leave the path checked out.
    const PF_PathQuerySuite1* pathQuery = suites.PathQuerySuite1();
    const PF_PathDataSuite1* pathData = suites.PathDataSuite1();
    AEFX_SuiteScoper<PF_Iterate8Suite1> iterate8(in_data, kPFIterate8Suite, kPFIterate8SuiteVersion1, out_data);

    PathWalk walk;
    walk.in_data = in_data;
    walk.out_data = out_data;
    walk.budget = memoryBudgetBytes();
    walk.pathData = pathData;
    walk.info = info;
    walk.origin = DoublePoint{static_cast<double>(input.result_rect.left), static_cast<double>(input.result_rect.top)};

    PF_ProgPtr ref = in_data->effect_ref;
    PF_Err err = pathQuery->PF_CheckoutPath(ref, info->pathId, in_data->current_time, in_data->time_step,
                                            in_data->time_scale, &walk.path);
    if (err != PF_Err_NONE)
        return err; // nothing was checked out

    A_long segmentCount = 0;
    err = hostCall(walk, pathData->PF_PathNumSegments(ref, walk.path, &segmentCount));
    if (info->originNearestToPoint) {
        info->originBestDistance = static_cast<double>(info->diagonal * info->diagonal);
        info->originPathPosition = 0.12;
    }
    PF_Boolean open = 0;
    if (err == PF_Err_NONE)
        err = hostCall(walk, pathData->PF_PathIsOpen(ref, walk.path, &open));
    info->pathIsOpen = open != 0;

    if (err == PF_Err_NONE) {
        try {
            err = layOutPath(walk, segmentCount);
        } catch (const std::bad_alloc&) {
            err = PF_Err_OUT_OF_MEMORY;
        }
    }
    const PF_Err finishErr = finishPathFields(walk, in_data, raw);
    if (err == PF_Err_NONE)
        err = finishErr;

    // After a path call failed the host gets no further call: the path and
    // the segment preparation stay with it. When only the pass itself failed
    // (out of memory) they are given back.
    if (!walk.hostFailed) {
        if (walk.prepared) {
            const PF_Err cleanupErr = pathData->PF_PathCleanupSegLength(ref, walk.path, walk.segment, &walk.prep);
            if (err == PF_Err_NONE)
                err = cleanupErr;
        }
        const PF_Err checkinErr = pathQuery->PF_CheckinPath(ref, info->pathId, false, walk.path);
        if (err == PF_Err_NONE)
            err = checkinErr;
    }
    return err;
}

// Makes sure the context reaches the host however the pass ends (an error
// code or a thrown missing-suite error): the host frees it with
// DisposePreRenderData.
class ContextHandOver {
public:
    ContextHandOver(PF_PreRenderOutput* output, PFInfo* info) : output_(output), info_(info) {}
    ~ContextHandOver()
    {
        output_->pre_render_data = info_;
        output_->delete_pre_render_data_func = DisposePreRenderData;
    }
    ContextHandOver(const ContextHandOver&) = delete;
    ContextHandOver& operator=(const ContextHandOver&) = delete;

private:
    PF_PreRenderOutput* output_;
    PFInfo* info_;
};

} // namespace

void UnionLRect(const PF_LRect* src, PF_LRect* dst)
{
    const bool dstEmpty = dst->left >= dst->right || dst->top >= dst->bottom;
    const bool srcEmpty = src->left >= src->right || src->top >= src->bottom;
    if (dstEmpty) {
        *dst = *src;
    } else if (!srcEmpty) {
        dst->left = std::min(dst->left, src->left);
        dst->top = std::min(dst->top, src->top);
        dst->right = std::max(dst->right, src->right);
        dst->bottom = std::max(dst->bottom, src->bottom);
    }
}

PF_Err PreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra)
{
    PFInfo* info = NewPFInfo();
    if (!info)
        return PF_Err_OUT_OF_MEMORY;
    const ContextHandOver handOver(extra->output, info);

    // Every host call after the first error is skipped; the fields still get
    // the values read so far.
    PF_Err err = PF_Err_NONE;
    ParamCheckout params(in_data, err);
    RawParams raw;
    readParams(params, info, raw);
    setRenderScaleFields(in_data, info, raw);
    params.read(PARAM_TEXTURE_LAYER, [&](const PF_ParamDef& d) { raw.textureLayerHeight = d.u.ld.height; });

    std::optional<AEFX_SuiteScoper<PF_WorldSuite2>> worldSuite;
    if (err == PF_Err_NONE)
        worldSuite.emplace(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);

    // The input for the whole layer, whatever the host asks to be rendered.
    PF_RenderRequest request = extra->input->output_request;
    request.rect = PF_LRect{0, 0, in_data->width, in_data->height};
    PF_CheckoutResult input;
    AEFX_CLR_STRUCT(input);
    if (err == PF_Err_NONE)
        err = extra->cb->checkout_layer(in_data->effect_ref, PARAM_INPUT, 0, &request, in_data->current_time,
                                        in_data->time_step, in_data->time_scale, &input);
    UnionLRect(&input.max_result_rect, &extra->output->result_rect);
    UnionLRect(&input.max_result_rect, &extra->output->max_result_rect);
    extra->output->flags = PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    if (info->strokeLength > 0.0f && err == PF_Err_NONE)
        err = layOutLines(in_data, out_data, info, suites, input, raw);
    else
        info->iteratorCount = 0;
    return err;
}
