// "PF Iterate8 Suite" version 1, "PF iterate16 Suite" version 2 and
// "PF iterateFloat Suite" version 2: the per-pixel iterate, with its rows
// split over the host's worker threads, and iterate_generic on the same
// workers. The origin and lookup-table variants are not provided.
#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <mutex>

#include "harness/state/HostState.h"
#include "harness/state/Text.h"
#include "harness/state/ThreadPool.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

template <typename Pixel>
struct PixelTraits;
template <>
struct PixelTraits<PF_Pixel> {
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB32;
    static constexpr const char* name = "iterate (8-bit)";
    using Function = PF_IteratePixel8Func;
};
template <>
struct PixelTraits<PF_Pixel16> {
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB64;
    static constexpr const char* name = "iterate (16-bit)";
    using Function = PF_IteratePixel16Func;
};
template <>
struct PixelTraits<PF_PixelFloat> {
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB128;
    static constexpr const char* name = "iterate (float)";
    using Function = PF_IteratePixelFloatFunc;
};

std::string WorldText(const PF_EffectWorld* w)
{
    return w == nullptr ? std::string("null") : std::to_string(w->width) + "x" + std::to_string(w->height);
}

// Whether `world` is a buffer the host knows in the format of Pixel; records
// a violation naming the problem otherwise.
template <typename Pixel>
bool CheckWorld(HostState& host, const PF_EffectWorld* world, const char* role)
{
    std::lock_guard lock(host.mutex);
    auto it = host.knownBuffers.find(world->data);
    if (it == host.knownBuffers.end()) {
        host.violation(std::string(PixelTraits<Pixel>::name) + ": the " + role + " is not a buffer of the host");
        return false;
    }
    if (it->second != PixelTraits<Pixel>::format) {
        host.violation(std::string(PixelTraits<Pixel>::name) + ": the " + role + " is in format " +
                       Hex(static_cast<std::uint32_t>(it->second)) + ", not in this suite's format");
        return false;
    }
    return true;
}

template <typename Pixel>
Pixel* PixelAt(const PF_EffectWorld* world, A_long x, A_long y)
{
    auto* row = static_cast<unsigned char*>(world->data) + static_cast<std::ptrdiff_t>(y) * world->rowbytes;
    return reinterpret_cast<Pixel*>(row) + x;
}

template <typename Pixel>
PF_Err Iterate(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
               const PF_Rect* area, void* refcon, typename PixelTraits<Pixel>::Function pixel,
               PF_EffectWorld* dst)
{
    HostState* host = in_data != nullptr ? HostFromRef(in_data->effect_ref) : nullptr;
    HostCall call(host, PixelTraits<Pixel>::name, CallKind::Plain);
    PF_Rect rect{};
    auto args = [&] {
        return "progress " + std::to_string(progress_base) + " to " + std::to_string(progress_final) + ", src " +
               WorldText(src) + ", area " + (area != nullptr ? RectText(*area) : std::string("null")) + ", dst " +
               WorldText(dst);
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (dst == nullptr || pixel == nullptr) {
        host->violation(std::string(PixelTraits<Pixel>::name) + " without a destination or a pixel function");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (!CheckWorld<Pixel>(*host, dst, "destination") || (src != nullptr && !CheckWorld<Pixel>(*host, src, "source")))
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    rect = area != nullptr ? *area : PF_Rect{0, 0, dst->width, dst->height};
    if (rect.left < 0 || rect.top < 0 || rect.right > dst->width || rect.bottom > dst->height ||
        (src != nullptr && (rect.right > src->width || rect.bottom > src->height))) {
        host->violation(std::string(PixelTraits<Pixel>::name) + ": area " + RectText(rect) +
                        " reaches beyond the buffers");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (host->cancelled())
        return call.finish(PF_Interrupt_CANCEL, args);

    const A_long rows = std::max<A_long>(rect.bottom - rect.top, 0);
    std::mutex errorMutex;
    A_long errorRow = std::numeric_limits<A_long>::max();
    PF_Err error = PF_Err_NONE;
    host->runParallel(
        rows,
        [&](int worker, std::int64_t r) {
            ThreadBinding binding(host, worker + 1);
            const A_long y = rect.top + static_cast<A_long>(r);
            PF_Err err = host->cancelled() ? PF_Interrupt_CANCEL : PF_Err_NONE;
            // The row's pixels are found from its start (without a source,
            // each pixel is its own input).
            Pixel* out = PixelAt<Pixel>(dst, 0, y);
            Pixel* in = src != nullptr ? PixelAt<Pixel>(src, 0, y) : out;
            for (A_long x = rect.left; err == PF_Err_NONE && x < rect.right; ++x)
                err = pixel(refcon, x, y, in + x, out + x);
            if (err != PF_Err_NONE) {
                std::lock_guard lock(errorMutex);
                if (y < errorRow) {
                    errorRow = y;
                    error = err;
                }
                return false;
            }
            return true;
        });
    return call.finish(error, args);
}

PF_Err IterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc function)
{
    HostState* host = CurrentHost();
    HostCall call(host, "iterate_generic", CallKind::Guarded);
    auto args = [&] { return "iterations=" + std::to_string(iterations); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (function == nullptr) {
        host->violation("iterate_generic without a function");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    std::function<void(A_long, A_long)> report;
    {
        std::lock_guard lock(host->mutex);
        report = host->iterationReport;
    }
    std::mutex errorMutex;
    std::int64_t errorIndex = std::numeric_limits<std::int64_t>::max();
    PF_Err error = PF_Err_NONE;
    std::atomic<A_long> done{0};
    host->runParallel(iterations, [&](int worker, std::int64_t i) {
        ThreadBinding binding(host, worker + 1);
        // Once the user has cancelled, no further iteration starts; the
        // call answers cancel.
        PF_Err err = host->userCancelled.load()
                         ? PF_Interrupt_CANCEL
                         : function(refcon, static_cast<A_long>(worker), static_cast<A_long>(i), iterations);
        // The progress display is the host's own work on a worker thread: an
        // exception there fails the iteration. The error reaches the effect
        // (and counts as the command's) when iterate_generic answers, not
        // while other workers still run the effect's function.
        if (err == PF_Err_NONE && report)
            err = CatchAtTheBoundary(
                [&] {
                    report(++done, iterations);
                    return PF_Err{PF_Err_NONE};
                },
                ThrownAnswer<PF_Err>, ThrownAnswerKind::Value, "iterate_generic");
        if (err != PF_Err_NONE) {
            std::lock_guard lock(errorMutex);
            if (i < errorIndex) {
                errorIndex = i;
                error = err;
            }
            return false;
        }
        return true;
    });
    return call.finish(error, args);
}

PF_Err Unsupported(PF_InData* in_data, const char* function)
{
    HostState* host = in_data != nullptr ? HostFromRef(in_data->effect_ref) : CurrentHost();
    HostCall call(host, function, CallKind::Plain);
    if (host == nullptr)
        return PF_Err_INVALID_CALLBACK;
    host->violation(std::string(function) + ": not provided by the stand-in host");
    return call.finish(PF_Err_INVALID_CALLBACK, [] { return std::string(); });
}

template <typename Pixel>
PF_Err IterateOrigin(PF_InData* in_data, A_long, A_long, PF_EffectWorld*, const PF_Rect*, const PF_Point*, void*,
                     typename PixelTraits<Pixel>::Function, PF_EffectWorld*)
{
    return Unsupported(in_data, "iterate_origin");
}

template <typename Pixel>
PF_Err IterateOriginNonClipSrc(PF_InData* in_data, A_long, A_long, PF_EffectWorld*, const PF_Rect*,
                               const PF_Point*, void*, typename PixelTraits<Pixel>::Function, PF_EffectWorld*)
{
    return Unsupported(in_data, "iterate_origin_non_clip_src");
}

PF_Err IterateLut(PF_InData* in_data, A_long, A_long, PF_EffectWorld*, const PF_Rect*, A_u_char*, A_u_char*,
                  A_u_char*, A_u_char*, PF_EffectWorld*)
{
    return Unsupported(in_data, "iterate_lut");
}

} // namespace

const PF_Iterate8Suite1& Iterate8Suite()
{
    static const PF_Iterate8Suite1 suite = {
        HostCallback<&Iterate<PF_Pixel>>, HostCallback<&IterateOrigin<PF_Pixel>>, HostCallback<&IterateLut>,
        HostCallback<&IterateOriginNonClipSrc<PF_Pixel>>, HostCallback<&IterateGeneric>};
    return suite;
}

const PF_iterate16Suite2& Iterate16Suite()
{
    static const PF_iterate16Suite2 suite = {HostCallback<&Iterate<PF_Pixel16>>,
                                             HostCallback<&IterateOrigin<PF_Pixel16>>,
                                             HostCallback<&IterateOriginNonClipSrc<PF_Pixel16>>};
    return suite;
}

const PF_iterateFloatSuite2& IterateFloatSuite()
{
    static const PF_iterateFloatSuite2 suite = {HostCallback<&Iterate<PF_PixelFloat>>,
                                                HostCallback<&IterateOrigin<PF_PixelFloat>>,
                                                HostCallback<&IterateOriginNonClipSrc<PF_PixelFloat>>};
    return suite;
}

} // namespace harness
