// "PF World Suite" version 2: new worlds with padded row strides, their
// disposal, and the pixel format of any buffer the host knows. Every world
// created in a command must be disposed in it.
#include "harness/state/HostState.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

std::string FormatName(PF_PixelFormat format)
{
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return "ARGB32";
    case PF_PixelFormat_ARGB64:
        return "ARGB64";
    case PF_PixelFormat_ARGB128:
        return "ARGB128";
    default:
        return Hex(static_cast<std::uint32_t>(format));
    }
}

// Larger worlds are refused as out of memory rather than attempted.
constexpr double kLargestWorldBytes = 4.0 * 1024 * 1024 * 1024;

// Disposed worlds kept for later PF_NewWorld calls.
constexpr std::size_t kSpareWorlds = 4;

PF_Err NewWorld(PF_ProgPtr ref, A_long width, A_long height, PF_Boolean clear, PF_PixelFormat format,
                PF_EffectWorld* world)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_NewWorld", CallKind::Plain);
    auto args = [&] {
        return std::to_string(width) + ", " + std::to_string(height) + ", clear=" + std::to_string(clear) + ", " +
               FormatName(format);
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (world == nullptr) {
        host->violation("PF_NewWorld without a record to fill");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *world = PF_EffectWorld{};
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    if (width < 0 || height < 0 || BytesPerPixel(format) == 0) {
        host->violation("PF_NewWorld of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels in format " + FormatName(format));
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (static_cast<double>(PaddedRowBytes(width, format)) * static_cast<double>(height) > kLargestWorldBytes)
        return call.finish(PF_Err_OUT_OF_MEMORY, args);

    const unsigned char fill = !clear && host->options.poisonUnwrittenPixels ? 0xCD : 0x00;
    std::unique_ptr<OwnedWorld> owned;
    {
        std::lock_guard lock(host->mutex);
        owned = TakeSpareWorld(host->spareWorlds, width, height, format, [](const auto&) { return true; });
    }
    if (owned) {
        owned->fillBytes(fill); // as new: cleared, or poisoned
    } else {
        owned = std::make_unique<OwnedWorld>(width, height, format); // cleared
        if (fill != 0x00)
            owned->fillBytes(fill);
    }
    const PF_EffectWorld made = owned->world();
    std::lock_guard lock(host->mutex);
    const void* data = made.data;
    // Owned, indexed, handed over: memory running out on the way never
    // hands the effect a world the host has freed.
    host->createdWorlds[data] = std::move(owned);
    try {
        host->knownBuffers[data] = format;
        if (host->command.active)
            host->command.worlds.insert(data);
    } catch (...) {
        host->knownBuffers.erase(data);
        host->createdWorlds.erase(data); // not handed over: freed now
        throw;
    }
    *world = made;
    return call.finish(PF_Err_NONE, args);
}

PF_Err DisposeWorld(PF_ProgPtr ref, PF_EffectWorld* world)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_DisposeWorld", CallKind::Plain);
    auto args = [&] {
        return world != nullptr ? std::to_string(world->width) + " x " + std::to_string(world->height)
                                : std::string("(null)");
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (world == nullptr) {
        host->violation("PF_DisposeWorld without a world");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    std::lock_guard lock(host->mutex);
    auto it = host->createdWorlds.find(world->data);
    if (it == host->createdWorlds.end()) {
        host->violation("PF_DisposeWorld of a world the world suite did not create (or disposed already)");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    const std::string text = args();
    host->knownBuffers.erase(world->data);
    host->command.worlds.erase(world->data);
    KeepSpareWorld(host->spareWorlds, std::move(it->second), kSpareWorlds);
    host->createdWorlds.erase(it);
    *world = PF_EffectWorld{};
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), [&] { return text; });
    return call.finish(PF_Err_NONE, [&] { return text; });
}

PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format)
{
    HostState* host = CurrentHost();
    HostCall call(host, "PF_GetPixelFormat", CallKind::Plain);
    auto args = [&] {
        return world != nullptr ? std::to_string(world->width) + " x " + std::to_string(world->height)
                                : std::string("(null)");
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (world == nullptr || format == nullptr) {
        host->violation("PF_GetPixelFormat without a world or a place for the answer");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    std::lock_guard lock(host->mutex);
    auto it = host->knownBuffers.find(world->data);
    if (it == host->knownBuffers.end()) {
        host->violation("PF_GetPixelFormat of a world the host does not know");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    *format = it->second;
    return call.finish(PF_Err_NONE, [&] { return args() + " -> " + FormatName(it->second); });
}

} // namespace

const PF_WorldSuite2& WorldSuite()
{
    static const PF_WorldSuite2 suite = {HostCallback<&NewWorld>, HostCallback<&DisposeWorld>,
                                         HostCallback<&GetPixelFormat>};
    return suite;
}

} // namespace harness
