// The entry points of the effect linked into the same program (the static
// library linestra_core), for tests that drive the effect in-process.
// Include only where linestra_core is linked.
#pragma once

#include "harness/protocol/ModuleLoader.h"
#include "host/EntryPoints.h"

namespace harness {

inline EntryPoints LinkedEffect()
{
    return EntryPoints{&::PluginDataEntryFunction, &::EffectMain};
}

} // namespace harness
