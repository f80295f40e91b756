// "PF Pixel Format Suite" version 1, offered only as the editor host
// ('PrMr'): records which pixel formats the effect declares.
#include "harness/state/HostState.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

PF_Err AddSupportedPixelFormat(PF_ProgPtr ref, PrPixelFormat format)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "AddSupportedPixelFormat", CallKind::Plain);
    auto args = [&] { return Hex(format); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    std::lock_guard lock(host->mutex);
    if (host->command.cmd != PF_Cmd_GLOBAL_SETUP)
        host->violation("AddSupportedPixelFormat outside GLOBAL_SETUP");
    host->pixelFormatCalls.push_back({false, format});
    return call.finish(PF_Err_NONE, args);
}

PF_Err ClearSupportedPixelFormats(PF_ProgPtr ref)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "ClearSupportedPixelFormats", CallKind::Plain);
    auto args = [] { return std::string(); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    std::lock_guard lock(host->mutex);
    if (host->command.cmd != PF_Cmd_GLOBAL_SETUP)
        host->violation("ClearSupportedPixelFormats outside GLOBAL_SETUP");
    host->pixelFormatCalls.push_back({true, 0});
    return call.finish(PF_Err_NONE, args);
}

PF_Err Unsupported(HostState* host, const char* function)
{
    HostCall call(host, function, CallKind::Plain);
    if (host == nullptr)
        return PF_Err_INVALID_CALLBACK;
    host->violation(std::string(function) + ": not provided by the stand-in host");
    return call.finish(PF_Err_INVALID_CALLBACK, [] { return std::string(); });
}

PF_Err NewWorldOfPixelFormat(PF_ProgPtr ref, A_u_long, A_u_long, PF_NewWorldFlags, PrPixelFormat, PF_EffectWorld*)
{
    return Unsupported(HostFromRef(ref), "NewWorldOfPixelFormat");
}

PF_Err DisposeWorld(PF_ProgPtr ref, PF_EffectWorld*)
{
    return Unsupported(HostFromRef(ref), "DisposeWorld");
}

PF_Err GetPixelFormat(PF_EffectWorld*, PrPixelFormat*)
{
    return Unsupported(CurrentHost(), "GetPixelFormat");
}

} // namespace

const PF_PixelFormatSuite1& PixelFormatSuite()
{
    static const PF_PixelFormatSuite1 suite = [] {
        PF_PixelFormatSuite1 s{};
        s.AddSupportedPixelFormat = HostCallback<&AddSupportedPixelFormat>;
        s.ClearSupportedPixelFormats = HostCallback<&ClearSupportedPixelFormats>;
        s.NewWorldOfPixelFormat = HostCallback<&NewWorldOfPixelFormat>;
        s.DisposeWorld = HostCallback<&DisposeWorld>;
        s.GetPixelFormat = HostCallback<&GetPixelFormat>;
        return s;
    }();
    return suite;
}

} // namespace harness
