// The render pass: receives the render context of this frame back from the
// host, checks out the pixels, prepares the texture, paints the background,
// builds the fine line table and the ownership tables, runs the drawing pass
// on the host's threads, and releases everything it made.
//
// Host calls after the first error of the command are skipped, and the first
// error is the command's result. The memory the pass allocates, the input
// and texture layers it checks out and the texture images it makes are
// released on every path, errors, cancel and thrown codes included. The mask
// path and its segment preparations are released only while no error is
// pending: after an error the host discards them with the failed command.
#include "render/RenderCommands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "geometry/DrawingPass.h"
#include "geometry/LineClipping.h"
#include "host/DebugOutput.h"
#include "host/Params.h"
#include "host/SuiteHandler.h"
#include "host/SuiteScoper.h"
#include "pixels/Background.h"
#include "pixels/TexturePreparation.h"
#include "pixels/PixelTraits.h"
#include "render/FineLineTable.h"
#include "render/MemoryBudget.h"
#include "render/PFInfo.h"
#include "render/TableMemory.h"

namespace {

// Row stride in pixels of an image of the render's format; 0 for a format
// the effect does not draw.
std::uint16_t pixelPitch(const PF_EffectWorld& world, PF_PixelFormat format)
{
    const A_long bytesPerPixel = withPixelType(format, A_long{0}, []<typename Pixel>(std::type_identity<Pixel>) {
        return static_cast<A_long>(sizeof(Pixel));
    });
    if (bytesPerPixel == 0)
        return 0;
    return static_cast<std::uint16_t>(world.rowbytes / bytesPerPixel);
}

// Checks the input layer back in when the command ends, however it ends.
class InputCheckout {
public:
    InputCheckout(PF_InData* in_data, PF_SmartRenderExtra* extra) : in_data_(in_data), extra_(extra) {}
    InputCheckout(const InputCheckout&) = delete;
    InputCheckout& operator=(const InputCheckout&) = delete;
    ~InputCheckout()
    {
        if (!checkedIn_)
            extra_->cb->checkin_layer_pixels(in_data_->effect_ref, 0);
    }
    PF_Err checkIn()
    {
        checkedIn_ = true;
        return extra_->cb->checkin_layer_pixels(in_data_->effect_ref, 0);
    }

private:
    PF_InData* in_data_;
    PF_SmartRenderExtra* extra_;
    bool checkedIn_ = false;
};

// The Specified Layer parameter as checked out for this render; checked
// back in when the command ends.
class TextureLayerCheckout {
public:
    explicit TextureLayerCheckout(PF_InData* in_data) : in_data_(in_data) { AEFX_CLR_STRUCT(param_); }
    TextureLayerCheckout(const TextureLayerCheckout&) = delete;
    TextureLayerCheckout& operator=(const TextureLayerCheckout&) = delete;
    ~TextureLayerCheckout()
    {
        if (checkedOut_)
            PF_CHECKIN_PARAM(in_data_, &param_);
    }
    PF_Err checkOut()
    {
        const PF_Err err = PF_CHECKOUT_PARAM(in_data_, PARAM_TEXTURE_LAYER, in_data_->current_time,
                                             in_data_->time_step, in_data_->time_scale, &param_);
        checkedOut_ = (err == PF_Err_NONE);
        return err;
    }
    PF_LayerDef* layer() { return &param_.u.ld; }

private:
    PF_InData* in_data_;
    PF_ParamDef param_;
    bool checkedOut_ = false;
};

// Prepared segment handles of the checked-out path, one per segment. Like
// every path call, the clean-up is skipped once an error is pending: the
// host then discards the path with the failed command.
class SegmentPreparations {
public:
    SegmentPreparations(PF_InData* in_data, const PF_PathDataSuite1* pathData, PF_PathOutlinePtr path,
                        std::uint32_t count)
        : in_data_(in_data), pathData_(pathData), path_(path), handles_(count, nullptr)
    {
    }
    SegmentPreparations(const SegmentPreparations&) = delete;
    SegmentPreparations& operator=(const SegmentPreparations&) = delete;

    PF_Err prepare(std::uint32_t segment, A_long frequency)
    {
        return pathData_->PF_PathPrepareSegLength(in_data_->effect_ref, path_, static_cast<A_long>(segment),
                                                  frequency, &handles_[segment]);
    }
    // Cleans every prepared segment up while no error is pending; returns
    // the first error.
    PF_Err cleanUp(PF_Err err)
    {
        for (std::size_t i = 0; i < handles_.size() && !err; ++i) {
            if (handles_[i] != nullptr)
                err = pathData_->PF_PathCleanupSegLength(in_data_->effect_ref, path_, static_cast<A_long>(i),
                                                         &handles_[i]);
            handles_[i] = nullptr;
        }
        return err;
    }
    PF_PathSegPrepPtr* data() { return handles_.data(); }

private:
    PF_InData* in_data_;
    const PF_PathDataSuite1* pathData_;
    PF_PathOutlinePtr path_;
    std::vector<PF_PathSegPrepPtr> handles_;
};

// Line 0 of the fine line table: segment 0 evaluated at position 0 through
// a temporary preparation of its own.
PF_Err buildFirstFineLine(PFInfo* info, PF_InData* in_data, const PF_PathDataSuite1* pathData,
                          PF_PathOutlinePtr path, Linestra::Line* line)
{
    PF_PathSegPrepPtr handle = nullptr;
    PF_Err err = pathData->PF_PathPrepareSegLength(in_data->effect_ref, path, 0, info->segLengthFrequency, &handle);
    double x = 0, y = 0, dx = 0, dy = 0;
    if (!err)
        err = pathData->PF_PathEvalSegLengthDeriv1(in_data->effect_ref, path, &handle, 0, 0.0, &x, &y, &dx, &dy);
    if (!err)
        err = pathData->PF_PathCleanupSegLength(in_data->effect_ref, path, 0, &handle);
    if (!err) {
        *line = makeFineLine(info, x, y, dx, dy, 0.0);
        line->angleDelta = 0.0f; // line 0 opens the table: no turning before it
    }
    return err;
}

// Adds the seconds of its lifetime to a phase of info->phaseTimes, when a
// benchmark asked for them.
class PhaseClock {
public:
    PhaseClock(const PFInfo* info, double RenderPhaseTimes::*phase)
        : sink_(info->phaseTimes != nullptr ? &(info->phaseTimes->*phase) : nullptr)
    {
        if (sink_ != nullptr)
            start_ = std::chrono::steady_clock::now();
    }
    PhaseClock(const PhaseClock&) = delete;
    PhaseClock& operator=(const PhaseClock&) = delete;
    ~PhaseClock()
    {
        if (sink_ != nullptr)
            *sink_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    double* sink_;
    std::chrono::steady_clock::time_point start_{};
};

void reportLayoutTime(double seconds)
{
    const auto milliseconds = static_cast<long long>(seconds * 1000.0);
    OutputDebugString("Time spent on that literal one thing: " + std::to_string(milliseconds) + "ms.\n");
}

// Clears the render context's pointers to this command's tables however
// the command ends: the tables die with it, and nothing reads them after.
class ContextTablesScope {
public:
    explicit ContextTablesScope(PFInfo* info) : info_(info) {}
    ContextTablesScope(const ContextTablesScope&) = delete;
    ContextTablesScope& operator=(const ContextTablesScope&) = delete;
    ~ContextTablesScope()
    {
        info_->paintedMask = nullptr;
        info_->lines = nullptr;
        info_->bucketFirstLine = nullptr;
        info_->bucketLineCount = nullptr;
        info_->ownerRanks = nullptr;
        info_->segmentEnds = nullptr;
    }

private:
    PFInfo* info_;
};

// The rest of the fine line table after line 0: every segment prepared, the
// table built along the path, the preparations cleaned up and the lines'
// fan angles measured. info->segmentEnds points into segmentEnds.
PF_Err buildRestOfFineLineTable(PFInfo* info, PF_InData* in_data, PF_OutData* out_data,
                                const PF_PathDataSuite1* pathData, PF_PathOutlinePtr path,
                                const PF_Iterate8Suite1* iterate, const Linestra::Line& first,
                                std::vector<double>& segmentEnds, FineLineTable& table, PF_Err err)
{
    segmentEnds.assign(info->segmentCount, 0.0);
    SegmentPreparations preparations(in_data, pathData, path, info->segmentCount);
    for (std::uint32_t i = 0; i < info->segmentCount && !err; ++i)
        err = preparations.prepare(i, info->segLengthFrequency);
    segmentEnds[0] = info->segmentLengths[0];
    for (std::uint32_t i = 1; i < info->segmentCount; ++i)
        segmentEnds[i] = segmentEnds[i - 1] + info->segmentLengths[i];
    info->segmentEnds = segmentEnds.data();

    const PreparedPath prepared{in_data, pathData, path, preparations.data()};
    err = buildFineLineTable(info, in_data, out_data, prepared, table, first, err);
    err = preparations.cleanUp(err);
    if (!err)
        err = measureFanAngles(table.lines, iterate);
    return err;
}

// The owner of every output pixel that a line can reach, in a zero-filled
// table over the owner rectangle (memory the system hands out fresh costs
// nothing until a line first reaches its pixels, but the system zeroes each
// page on that first touch: a mask far smaller than the frame needs far
// fewer pages).
PF_Err runOwnershipPass(PFInfo* info, PF_InData* in_data, const PF_Iterate8Suite1* iterate,
                        std::optional<ZeroedTable>& ownerRanks)
{
    ownerRanks.emplace(setOwnerRectangle(info) * sizeof(OwnerRank));
    info->ownerRanks = static_cast<OwnerRank*>(ownerRanks->data());
    const PhaseClock clock(info, &RenderPhaseTimes::ownership);
    return runPixelOwnershipPass(info, in_data, iterate);
}

// The drawing pass by output rows on the host's threads.
PF_Err runDrawingPass(PFInfo* info, const PF_Iterate8Suite1* iterate)
{
    const PhaseClock clock(info, &RenderPhaseTimes::drawing);
    std::vector<std::int32_t> centres(info->iteratorCount);
    findCentreLines(info, centres.data());
    DrawingPass pass{info, centres.data(), candidateCount(info->searchRadius), onePathSampleEverywhere(info)};
    return iterate->iterate_generic(static_cast<A_long>(info->height), &pass, drawSubpixels_IterateFunc);
}

// Builds the fine line table and the ownership tables and runs the drawing
// pass. Entered with no error pending and at least one line of non-zero
// length; returns the command's pending error.
PF_Err drawLines(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, const PF_Iterate8Suite1* iterate)
{
    PF_Err err = PF_Err_NONE;
    const ContextTablesScope tablesScope(info);

    // Every bucket holds at least two lines: a path too long for the memory
    // budget is refused before anything is checked out or built.
    const double buckets = std::ceil(info->pathLength / info->bucketSpacing);
    if (buckets >= 4294967295.0 ||
        fineLineTableBytes(static_cast<std::uint64_t>(buckets), 2 * static_cast<std::uint64_t>(buckets) + 1) >
            memoryBudgetBytes())
        return reportOverMemoryBudget(in_data, out_data, "The fine line table of this mask path");

    info->outputPixelCount =
        static_cast<std::uint32_t>(info->outputWorld->width) * static_cast<std::uint32_t>(info->outputWorld->height);
    const std::size_t maskWords = (static_cast<std::size_t>(info->outputPixelCount) + 63) / 64;
    std::unique_ptr<PaintedMaskWord[]> paintedMask(new PaintedMaskWord[maskWords]);
    for (std::size_t w = 0; w < maskWords; ++w)
        paintedMask[w].store(0, std::memory_order_relaxed);

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    PF_PathOutlinePtr path = nullptr;
    err = suites.PathQuerySuite1()->PF_CheckoutPath(in_data->effect_ref, info->pathId, in_data->current_time,
                                                    in_data->time_step, in_data->time_scale, &path);
    if (err)
        return err;
    const PF_PathDataSuite1* pathData = suites.PathDataSuite1();

    // A path with no segment or no length can own no pixel; the drawing
    // pass would have nothing to read.
    if (info->segmentCount == 0)
        return suites.PathQuerySuite1()->PF_CheckinPath(in_data->effect_ref, info->pathId, false, path);

    std::optional<PhaseClock> tableClock(std::in_place, info, &RenderPhaseTimes::fineLineTable);
    FineLineTable table;
    const std::uint32_t reserve = fineLineBucketReserve(info);
    table.bucketFirstLine.reserve(reserve);
    table.bucketLineCount.reserve(reserve);
    // Every bucket holds at least two lines (the bucket spacing is at least
    // the match tolerance, with a fifth more): reserved up front, the table
    // is not copied as it grows in ordinary scenes.
    table.lines.reserve(2 * static_cast<std::size_t>(reserve) + 1);

    Linestra::Line first;
    err = buildFirstFineLine(info, in_data, pathData, path, &first);
    if (err)
        return err;
    table.lines.push_back(Linestra::makeCompactFineLine(first));
    err = PF_PROGRESS(in_data, 15, 100);

    std::vector<double> segmentEnds;
    err = buildRestOfFineLineTable(info, in_data, out_data, pathData, path, iterate, first, segmentEnds, table, err);
    tableClock.reset();

    reportLayoutTime(table.layoutSeconds);
    if (!err)
        err = PF_PROGRESS(in_data, 60, 100);

    std::optional<ZeroedTable> ownerRanks;
    if (!err && info->useOwnerTables)
        err = runOwnershipPass(info, in_data, iterate, ownerRanks);

    info->paintedMask = paintedMask.get();
    info->lines = table.lines.data();
    info->lineCount = static_cast<std::uint32_t>(table.lines.size());
    info->bucketCount = static_cast<std::uint32_t>(table.bucketLineCount.size());
    info->bucketFirstLine = table.bucketFirstLine.data();
    info->bucketLineCount = table.bucketLineCount.data();
    if (!err)
        err = PF_PROGRESS(in_data, 80, 100);

    if (!err)
        err = runDrawingPass(info, iterate);
    if (!err)
        err = suites.PathQuerySuite1()->PF_CheckinPath(in_data->effect_ref, info->pathId, false, path);

    if (info->renderObserver != nullptr)
        info->renderObserver(info, info->renderObserverContext);
    return err;
}

// The texture (the placeholder picture, or the texture layer flipped and
// mirrored as the controls ask) and the output's background, each after an
// abort question.
PF_Err prepareTextureAndBackground(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* texture)
{
    const PhaseClock clock(info, &RenderPhaseTimes::textureAndBackground);
    PF_Err err = PF_ABORT(in_data);
    if (!err)
        err = outputDefaultTextureForFormat(info, in_data, out_data, texture);
    if (!err) {
        err = PF_ABORT(in_data);
        if (!info->useOriginalFrame) {
            const PF_Err flipErr = flipAndMirrorTextureForFormat(info, in_data, out_data, texture);
            if (!err)
                err = flipErr;
        }
    }
    if (!err) {
        err = PF_ABORT(in_data);
        if (!err)
            err = drawBackgroundToOutput(info, in_data, out_data, static_cast<int>(info->pixelFormat));
    }
    return err;
}

// The render context's view of this frame's pixels.
void describeFrame(PFInfo* info, PF_PixelFormat format, PF_EffectWorld* input, PF_EffectWorld* output)
{
    info->pixelFormat = format;
    info->inputWorld = input;
    info->outputWorld = output;
    info->width = input->width;
    info->height = input->height;
    info->inputPitch = pixelPitch(*input, format);
    info->outputPitch = pixelPitch(*output, format);
}

} // namespace

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
{
    auto* info = static_cast<PFInfo*>(extra->input->pre_render_data);
    if (info == nullptr)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;

    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
    InputCheckout inputCheckout(in_data, extra);
    if (!err)
        err = extra->cb->checkout_output(in_data->effect_ref, &output);

    std::optional<AEFX_SuiteScoper<PF_WorldSuite2>> worldSuite;
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    if (!err) {
        worldSuite.emplace(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);
        err = (*worldSuite)->PF_GetPixelFormat(input, &format);
    }

    std::optional<AEFX_SuiteScoper<PF_Iterate8Suite1>> iterateSuite;
    TextureLayerCheckout textureLayer(in_data);
    PreparedTexture texture;
    if (!err) {
        err = PF_PROGRESS(in_data, 0, 100);
        iterateSuite.emplace(in_data, kPFIterate8Suite, kPFIterate8SuiteVersion1, out_data);

        describeFrame(info, format, input, output);

        if (!err)
            err = textureLayer.checkOut();
        info->textureWorld = textureLayer.layer();
        info->texturePitch = pixelPitch(*info->textureWorld, format);
        texture.begin(info);

        // A code thrown below (a missing suite) or memory running out ends
        // the work here, so that the texture images made so far are still
        // disposed and the input checked in.
        try {
            if (!err)
                err = prepareTextureAndBackground(info, in_data, out_data, &texture);

            // Lines, when any reaches the frame.
            if (!err && info->maxLineLength > 0)
                err = drawLines(info, in_data, out_data, iterateSuite->get());
        } catch (PF_Err thrown) {
            err = thrown;
        } catch (const std::bad_alloc&) {
            err = PF_Err_OUT_OF_MEMORY;
        }
    }

    // The images texture preparation made are disposed on every path, also
    // when no line reached the frame.
    if (worldSuite) {
        AEFX_SuiteScoper<PF_WorldSuite2> disposeSuite(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);
        const PF_Err disposeErr = texture.dispose(info, in_data, disposeSuite.get());
        if (!err)
            err = disposeErr;
        if (!err)
            err = PF_PROGRESS(in_data, 100, 100);
    }

    iterateSuite.reset();
    const PF_Err checkinErr = inputCheckout.checkIn();
    return err ? err : checkinErr;
}
