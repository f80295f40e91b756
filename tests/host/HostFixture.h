// A stand-in host with the effect of this build linked in.
#pragma once

#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"

#include <memory>

inline std::unique_ptr<harness::Host> makeHost(A_long applId = harness::kApplIdCompositor, bool trace = false)
{
    harness::HostOptions options;
    options.applId = applId;
    options.trace = trace;
    auto host = std::make_unique<harness::Host>(options);
    host->load(harness::LinkedEffect());
    return host;
}
