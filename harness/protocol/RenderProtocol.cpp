// The smart-render protocol: the buffers of a frame, the pre-render layer
// checkout, the render's pixel checkouts, and one frame from pre-render to
// the deletion of the pre-render data.
#include <stdexcept>

#include "harness/state/HostState.h"
#include "harness/state/Text.h"
#include "harness/state/LayerBuffers.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

bool Empty(const PF_LRect& r)
{
    return r.left >= r.right || r.top >= r.bottom;
}

PF_LRect Intersect(const PF_LRect& a, const PF_LRect& b)
{
    PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return Empty(r) ? PF_LRect{0, 0, 0, 0} : r;
}

bool Contains(const PF_LRect& outer, const PF_LRect& inner)
{
    return Empty(inner) || (inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                            inner.bottom <= outer.bottom);
}

// A picture as the render receives it: in the render's format, scaled down.
// Made once per format and scale and kept with the picture (a few at most).
RenderedPicture RenderBuffer(const PictureInput& picture, PF_PixelFormat format, const Downsample& ds,
                             const std::string& what, bool hash)
{
    const auto key = std::make_tuple(format, ds.nx, ds.dx, ds.ny, ds.dy);
    if (auto it = picture.rendered.find(key); it != picture.rendered.end())
        return it->second;

    OwnedWorld full = picture.source(format);
    if (full.width() != picture.width || full.height() != picture.height)
        throw std::runtime_error(what + " came out " + std::to_string(full.width()) + " x " +
                                 std::to_string(full.height()) + " pixels instead of " +
                                 std::to_string(picture.width) + " x " + std::to_string(picture.height));
    if (full.format() != format)
        full = ConvertWorld(full, format);
    RenderedPicture rendered;
    if (ds.nx == static_cast<A_long>(ds.dx) && ds.ny == static_cast<A_long>(ds.dy))
        rendered.buffer = std::make_shared<OwnedWorld>(std::move(full));
    else
        rendered.buffer = std::make_shared<OwnedWorld>(DownsampleWorld(full, ds.nx, ds.dx, ds.ny, ds.dy));
    if (hash)
        rendered.hash = HashPixels(rendered.buffer->world(), format);

    constexpr std::size_t kKeptBuffers = 4;
    if (picture.rendered.size() >= kKeptBuffers)
        picture.rendered.clear();
    picture.rendered.emplace(key, rendered);
    return rendered;
}

// Forgets every buffer made from the frame's pictures (after the effect
// wrote into one of them, so that the next frame starts from the picture).
void ForgetRenderedPictures(HostState& host)
{
    if (host.input)
        host.input->rendered.clear();
    for (auto& [index, picture] : host.layerPictures)
        if (picture)
            picture->rendered.clear();
}

// ---- pre-render callbacks --------------------------------------------------

PF_Err CheckoutLayer(PF_ProgPtr ref, PF_ParamIndex index, A_long checkoutId, const PF_RenderRequest* request,
                     A_long what_time, A_long time_step, A_u_long time_scale, PF_CheckoutResult* result)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkout_layer", CallKind::Plain);
    auto args = [&] {
        return "index=" + std::to_string(index) + ", id=" + std::to_string(checkoutId) + ", rect=" +
               (request != nullptr ? RectText(request->rect) : std::string("null")) +
               ", time=" + std::to_string(what_time) + ", step=" + std::to_string(time_step) +
               ", scale=" + std::to_string(time_scale);
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (host->command.cmd != PF_Cmd_SMART_PRE_RENDER) {
        host->violation("checkout_layer outside SMART_PRE_RENDER");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (request == nullptr || result == nullptr) {
        host->violation("checkout_layer without a request or a place for the result");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (index < 0 || index >= host->params.count() || host->params.def(index).param_type != PF_Param_LAYER) {
        host->violation("checkout_layer of parameter " + std::to_string(index) + ", which is not a layer");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (host->frame.checkouts.count(checkoutId) != 0) {
        host->violation("checkout_layer reuses checkout id " + std::to_string(checkoutId));
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);

    std::shared_ptr<OwnedWorld> buffer = host->layerBuffer(index);
    PF_CheckoutResult out{};
    out.par = {1, 1};
    if (buffer) {
        const PF_LRect bounds{0, 0, buffer->width(), buffer->height()};
        out.result_rect = Intersect(request->rect, bounds);
        out.max_result_rect = bounds;
        const PictureInput* picture = index == 0 ? &*host->input : &*host->layerPictures[index];
        out.ref_width = picture->width;
        out.ref_height = picture->height;
    }
    *result = out;

    LayerCheckout checkout;
    checkout.index = index;
    checkout.checkoutId = checkoutId;
    checkout.request = *request;
    checkout.time = what_time;
    checkout.timeStep = time_step;
    checkout.timeScale = time_scale;
    checkout.result = out;
    host->frame.checkouts[checkoutId] = checkout;
    return call.finish(PF_Err_NONE, [&] {
        return args() + " -> result " + RectText(out.result_rect) + ", max " + RectText(out.max_result_rect);
    });
}

PF_Err GuidMixIn(PF_ProgPtr ref, A_u_long size, const void* buffer)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "GuidMixInPtr", CallKind::Plain);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (buffer == nullptr && size != 0)
        host->violation("GuidMixInPtr of " + std::to_string(size) + " bytes without a buffer");
    return call.finish(PF_Err_NONE, [&] { return std::to_string(size) + " bytes"; });
}

// ---- render callbacks ------------------------------------------------------

PF_Err CheckoutLayerPixels(PF_ProgPtr ref, A_long checkoutId, PF_EffectWorld** pixels)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkout_layer_pixels", CallKind::Plain);
    auto args = [&] { return "id=" + std::to_string(checkoutId); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (pixels == nullptr) {
        host->violation("checkout_layer_pixels without a place for the pixels");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *pixels = nullptr;
    if (host->command.cmd != PF_Cmd_SMART_RENDER) {
        host->violation("checkout_layer_pixels outside SMART_RENDER");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    auto it = host->frame.checkouts.find(checkoutId);
    if (it == host->frame.checkouts.end()) {
        host->violation("checkout_layer_pixels of id " + std::to_string(checkoutId) +
                        ", which the pre-render did not check out");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (it->second.pixelsCheckedOut && !it->second.pixelsCheckedIn)
        host->violation("checkout_layer_pixels of id " + std::to_string(checkoutId) + " twice");
    // A failed checkout until it succeeds, also when the host's own work
    // below throws (answered with an error at the callback's barrier): the
    // effect may check it in all the same.
    host->frame.failedPixelCheckouts.insert(checkoutId);
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    PF_EffectWorld* record = nullptr;
    if (std::shared_ptr<OwnedWorld> buffer = host->layerBuffer(it->second.index)) {
        auto owned = std::make_unique<PF_EffectWorld>(buffer->world());
        record = owned.get();
        host->frame.pixelRecords[checkoutId] = std::move(owned);
    }
    host->frame.failedPixelCheckouts.erase(checkoutId);
    it->second.pixelsCheckedOut = true;
    it->second.pixelsCheckedIn = false;
    *pixels = record;
    return call.finish(PF_Err_NONE, [&] {
        return args() + (*pixels != nullptr ? " -> " + std::to_string((*pixels)->width) + "x" +
                                                  std::to_string((*pixels)->height) + ", rowbytes " +
                                                  std::to_string((*pixels)->rowbytes)
                                            : std::string(" -> null (no layer)"));
    });
}

PF_Err CheckinLayerPixels(PF_ProgPtr ref, A_long checkoutId)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkin_layer_pixels", CallKind::Plain);
    auto args = [&] { return "id=" + std::to_string(checkoutId); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    auto it = host->frame.checkouts.find(checkoutId);
    // Checking in after a failed checkout is harmless: nothing is held.
    if (host->frame.failedPixelCheckouts.erase(checkoutId) != 0)
        return call.finish(PF_Err_NONE, [&] { return args() + " (after a failed checkout)"; });
    if (it == host->frame.checkouts.end() || !it->second.pixelsCheckedOut || it->second.pixelsCheckedIn) {
        host->violation("checkin_layer_pixels of id " + std::to_string(checkoutId) +
                        ", whose pixels are not checked out");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    it->second.pixelsCheckedIn = true;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(PF_Err_NONE, args);
}

PF_Err CheckoutOutput(PF_ProgPtr ref, PF_EffectWorld** output)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "checkout_output", CallKind::Plain);
    auto args = [] { return std::string(); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (output == nullptr) {
        host->violation("checkout_output without a place for the output");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *output = nullptr;
    if (host->command.cmd != PF_Cmd_SMART_RENDER) {
        host->violation("checkout_output outside SMART_RENDER");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    host->frame.outputRecord = std::make_unique<PF_EffectWorld>(host->frame.output->world());
    *output = host->frame.outputRecord.get();
    return call.finish(PF_Err_NONE, [&] {
        return "-> " + std::to_string((*output)->width) + "x" + std::to_string((*output)->height) + ", rowbytes " +
               std::to_string((*output)->rowbytes);
    });
}

void FrameViolation(HostState& host, FrameResult& result, const std::string& command, const std::string& what)
{
    std::lock_guard lock(host.mutex);
    const Violation v{command, what};
    host.allViolations.push_back(v);
    result.violations.push_back(v);
}

int BitDepthOf(PF_PixelFormat format)
{
    return format == PF_PixelFormat_ARGB32 ? 8 : format == PF_PixelFormat_ARGB64 ? 16 : 32;
}

} // namespace

PF_PreRenderCallbacks PreRenderCallbacks()
{
    return {HostCallback<&CheckoutLayer>, HostCallback<&GuidMixIn>};
}

PF_SmartRenderCallbacks SmartRenderCallbacks()
{
    return {HostCallback<&CheckoutLayerPixels>, HostCallback<&CheckinLayerPixels>, HostCallback<&CheckoutOutput>};
}

void HostState::registerBuffer(const PF_EffectWorld& world, PF_PixelFormat format)
{
    std::lock_guard lock(mutex);
    knownBuffers[world.data] = format;
}

void HostState::forgetBuffer(const void* data)
{
    std::lock_guard lock(mutex);
    knownBuffers.erase(data);
}

void HostState::prepareFrame(const FrameRequest& request)
{
    const PF_PixelFormat format = PixelFormatForBitDepth(request.bitDepth);
    const Downsample& ds = request.downsample;
    if (ds.nx <= 0 || ds.dx == 0 || ds.ny <= 0 || ds.dy == 0)
        throw std::invalid_argument("the downsample factors must be positive fractions");
    if (!FitsHostTime(request.time, options.fps))
        throw std::out_of_range(TimeRangeText(request.time, options.fps));
    std::lock_guard lock(mutex);
    if (command.active)
        throw std::logic_error("a frame cannot be set up while " + command.name + " runs");
    // The previous frame's buffers and path objects are gone.
    if (frame.input)
        forgetBuffer(frame.input->world().data);
    if (frame.output)
        forgetBuffer(frame.output->world().data);
    for (auto& [index, buffer] : frame.layers)
        if (buffer)
            forgetBuffer(buffer->world().data);
    outlines.clear();
    preps.clear();
    pathHandles.clear();
    recentPathHandles = {};

    // The previous frames' output images are used again when nobody else
    // holds them (a caller may still hold the last frame's) and the size and
    // format are the same: cleared, one is as new. Three are kept.
    constexpr std::size_t kSpareOutputs = 3;
    if (frame.output)
        KeepSpareWorld(spareOutputs, std::move(frame.output), kSpareOutputs);
    frame = FrameState{};
    frame.request = request;
    frame.format = format;
    // Without an input picture (low-level use) the layer is empty.
    const A_long layerWidth = input ? input->width : 0;
    const A_long layerHeight = input ? input->height : 0;
    frame.width = ScaledSize(layerWidth, ds.nx, ds.dx);
    frame.height = ScaledSize(layerHeight, ds.ny, ds.dy);
    if (input) {
        const RenderedPicture rendered = RenderBuffer(*input, format, ds, "the input picture", options.checks);
        frame.input = rendered.buffer;
        registerBuffer(frame.input->world(), format);
        if (options.checks)
            frame.readOnlyHashes[frame.input->world().data] = rendered.hash;
    }
    frame.output = TakeSpareWorld(spareOutputs, frame.width, frame.height, format,
                                  [](const std::shared_ptr<OwnedWorld>& spare) { return spare.use_count() == 1; });
    if (frame.output) {
        frame.output->fillBytes(options.poisonUnwrittenPixels ? 0xCD : 0x00);
    } else {
        frame.output = std::make_shared<OwnedWorld>(frame.width, frame.height, format);
        if (options.poisonUnwrittenPixels)
            frame.output->fillBytes(0xCD);
    }
    registerBuffer(frame.output->world(), format);

    inData.width = layerWidth;
    inData.height = layerHeight;
    inData.extent_hint = {0, 0, frame.width, frame.height};
    inData.output_origin_x = 0;
    inData.output_origin_y = 0;
    inData.downsample_x = {ds.nx, ds.dx};
    inData.downsample_y = {ds.ny, ds.dy};
    setTime(request.time);
    frameReady = true;
}

std::shared_ptr<OwnedWorld> HostState::layerBuffer(int index)
{
    std::lock_guard lock(mutex);
    if (index == 0)
        return frame.input;
    if (auto it = frame.layers.find(index); it != frame.layers.end())
        return it->second;
    std::shared_ptr<OwnedWorld> buffer;
    auto picture = layerPictures.find(index);
    if (picture != layerPictures.end() && picture->second) {
        const RenderedPicture rendered =
            RenderBuffer(*picture->second, frame.format, frame.request.downsample, params.label(index), options.checks);
        buffer = rendered.buffer;
        registerBuffer(buffer->world(), frame.format);
        if (options.checks)
            frame.readOnlyHashes[buffer->world().data] = rendered.hash;
    }
    frame.layers[index] = buffer;
    return buffer;
}

namespace {

// The frame's request: the whole frame, all four channels, the frame's depth.
PF_PreRenderInput FrameRequestRecord(const HostState& host)
{
    PF_PreRenderInput preInput{};
    preInput.output_request.rect = {0, 0, host.frame.width, host.frame.height};
    preInput.output_request.field = 0;
    preInput.output_request.channel_mask = 0x0F; // alpha, red, green, blue
    preInput.bitdepth = static_cast<short>(BitDepthOf(host.frame.format));
    return preInput;
}

// PF_Cmd_SMART_PRE_RENDER and the checks of what it hands back.
void RunPreRender(HostState& host, PF_PreRenderInput& request, PF_PreRenderOutput& preOutput, FrameResult& result)
{
    PF_PreRenderCallbacks preCallbacks = PreRenderCallbacks();
    PF_PreRenderExtra preExtra{&request, &preOutput, &preCallbacks};
    result.preRenderErr = RunCommand(host, PF_Cmd_SMART_PRE_RENDER, &preExtra);
    result.preRenderOutput = preOutput;
    if (preOutput.pre_render_data != nullptr && preOutput.delete_pre_render_data_func == nullptr)
        FrameViolation(host, result, "SMART_PRE_RENDER", "pre-render data handed over without a delete function");
    if (result.preRenderErr == PF_Err_NONE && !Contains(preOutput.max_result_rect, preOutput.result_rect))
        FrameViolation(host, result, "SMART_PRE_RENDER",
                       "the result rectangle " + RectText(preOutput.result_rect) +
                           " is not inside the largest result rectangle " + RectText(preOutput.max_result_rect));
    if (host.preRenderInspector)
        host.preRenderInspector(preOutput.pre_render_data);
}

// PF_Cmd_SMART_RENDER with the request as the pre-render left it and the
// pre-render's data, and the check that every checked-out layer was checked
// back in.
void RunSmartRender(HostState& host, const PF_PreRenderInput& request, void* data, FrameResult& result)
{
    PF_SmartRenderInput renderInput{};
    renderInput.output_request = request.output_request;
    renderInput.bitdepth = request.bitdepth;
    renderInput.pre_render_data = data;
    PF_SmartRenderCallbacks renderCallbacks = SmartRenderCallbacks();
    PF_SmartRenderExtra renderExtra{&renderInput, &renderCallbacks};
    result.renderErr = RunCommand(host, PF_Cmd_SMART_RENDER, &renderExtra);
    result.renderSent = true;
    for (const auto& [id, checkout] : host.frame.checkouts)
        if (checkout.pixelsCheckedOut && !checkout.pixelsCheckedIn)
            FrameViolation(host, result, "SMART_RENDER",
                           "pixels of checkout id " + std::to_string(id) + " checked out and not checked in");
    if (host.renderedInspector)
        host.renderedInspector(data);
}

// The host owns the pre-render data once handed over and frees it exactly
// once, through the module's delete function.
void DeletePreRenderData(HostState& host, const PF_PreRenderOutput& preOutput, FrameResult& result)
{
    if (preOutput.delete_pre_render_data_func == nullptr)
        return;
    ThreadBinding binding(&host, 0);
    try {
        preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
    } catch (...) {
        FrameViolation(host, result, "(delete pre-render data)", "an exception crossed the module boundary");
    }
    result.deleteCalls = 1;
}

// The input and layer pixels the effect may only read, compared with their
// hashes from before the frame.
void CheckReadOnlyPixels(HostState& host, FrameResult& result)
{
    for (const auto& [buffer, hash] : host.frame.readOnlyHashes) {
        const bool isInput = host.frame.input && buffer == host.frame.input->world().data;
        PF_EffectWorld world{};
        PF_PixelFormat format = host.frame.format;
        if (isInput) {
            world = host.frame.input->world();
        } else {
            for (const auto& [index, layer] : host.frame.layers)
                if (layer && layer->world().data == buffer)
                    world = layer->world();
        }
        if (world.data != nullptr && HashPixels(world, format) != hash) {
            ForgetRenderedPictures(host);
            FrameViolation(host, result, "(frame)",
                           std::string("the effect wrote into the pixels of ") +
                               (isInput ? "the input layer" : "a layer parameter") + ", which it may only read");
        }
    }
}

// What the frame's commands reported, its checkouts, output and trace.
void CollectFrameRecords(HostState& host, std::size_t firstCommand, std::uint64_t firstTrace, FrameResult& result)
{
    std::lock_guard lock(host.mutex);
    for (std::size_t i = firstCommand; i < host.commands.size(); ++i) {
        const CommandReport& report = host.commands[i];
        result.violations.insert(result.violations.end(), report.violations.begin(), report.violations.end());
        result.hostFaults.insert(result.hostFaults.end(), report.hostFaults.begin(), report.hostFaults.end());
        result.returnMsg = report.returnMsg;
        result.outFlags = report.outFlags;
    }
    for (const auto& [id, checkout] : host.frame.checkouts)
        result.layerCheckouts.push_back(checkout);
    result.output = host.frame.output;
    result.progress = host.frame.progress;
    result.abortQuestions = host.frame.abortQuestions;
    if (host.trace.enabled())
        result.trace = host.trace.since(firstTrace);
}

} // namespace

FrameResult RenderFrame(HostState& host, const FrameRequest& request)
{
    if (!host.input)
        throw std::logic_error("no input picture: call setInput before rendering");
    host.prepareFrame(request);
    if (!host.options.checks) {
        // Without the checks only this frame's commands are kept.
        std::lock_guard lock(host.mutex);
        host.commands.clear();
    }
    FrameResult result;
    const std::uint64_t firstTrace = host.trace.nextSequence();
    const std::size_t firstCommand = host.commands.size();
    result.currentTime = host.inData.current_time;
    result.timeStep = host.inData.time_step;
    result.timeScale = host.inData.time_scale;

    PF_PreRenderInput frameRequest = FrameRequestRecord(host);
    PF_PreRenderOutput preOutput{};
    RunPreRender(host, frameRequest, preOutput, result);
    if (result.preRenderErr == PF_Err_NONE && request.smartRender)
        RunSmartRender(host, frameRequest, preOutput.pre_render_data, result);
    DeletePreRenderData(host, preOutput, result);
    CheckReadOnlyPixels(host, result);
    CollectFrameRecords(host, firstCommand, firstTrace, result);
    return result;
}

} // namespace harness
