// A stand-in host with the probe module loaded through the system loader.
#pragma once

#include <memory>

#include "ProbeData.h"
#include "harness/state/Host.h"
#include "harness/state/LayerBuffers.h"
#include "harness/masks/MaskPath.h"

inline std::unique_ptr<harness::Host> MakeProbeHost(harness::HostOptions options = {})
{
    auto host = std::make_unique<harness::Host>(options);
    host->load(HARNESS_PROBE_MODULE);
    return host;
}

// A picture whose every channel differs from pixel to pixel.
inline harness::OwnedWorld TestPicture(A_long width, A_long height, PF_PixelFormat format = PF_PixelFormat_ARGB32)
{
    harness::OwnedWorld world(width, height, PF_PixelFormat_ARGB32);
    for (A_long y = 0; y < height; ++y)
        for (A_long x = 0; x < width; ++x) {
            PF_Pixel& p = world.row<PF_Pixel>(y)[x];
            p.alpha = static_cast<A_u_char>(255 - (x + y) % 7);
            p.red = static_cast<A_u_char>(x * 13 + y);
            p.green = static_cast<A_u_char>(y * 11 + x * 3);
            p.blue = static_cast<A_u_char>((x ^ y) * 5);
        }
    return format == PF_PixelFormat_ARGB32 ? world : harness::ConvertWorld(world, format);
}

// A closed triangle of straight edges.
inline harness::MaskPath Triangle()
{
    using harness::MaskVertex;
    return harness::MaskPath({MaskVertex{{10, 10}, {}, {}}, MaskVertex{{50, 10}, {}, {}}, MaskVertex{{10, 40}, {}, {}}},
                             true);
}

// Captures the probe's pre-render data (a copy) during renderFrame.
struct ProbeCapture {
    probe::ProbeData data{};
    bool seen = false;
    void attach(harness::Host& host)
    {
        host.onPreRenderData([this](void* d) {
            if (d != nullptr) {
                data = *static_cast<probe::ProbeData*>(d);
                seen = true;
            }
        });
    }
};
