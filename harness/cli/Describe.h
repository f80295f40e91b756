// The text `linestra-render --describe` prints: the effect as the host sees
// it after set-up (registration, version, global flags, and every parameter
// with its type, disk ID, default, range and enabled state after a UI update
// with default values).
#pragma once

#include <string>

#include "harness/state/Host.h"

namespace harness {

// Sets the host up when it has not been (registration to UI update) and
// describes the effect. A failing set-up command is reported in the text.
std::string Describe(Host& host);

// Loads the module at `modulePath` in a fresh host as `applId` and describes
// it. Throws ModuleError when the module cannot be loaded.
std::string DescribeModule(const std::string& modulePath, A_long applId = kApplIdCompositor);

// "1.1" from the packed version; PackedVersionText gives every field.
std::string ShortVersion(A_u_long packed);
std::string PackedVersionText(A_u_long packed);

} // namespace harness
