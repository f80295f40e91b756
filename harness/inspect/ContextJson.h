// The render context as JSON, keyed by the names of its fields, for
// linestra-inspect and for tests that look at a whole context at once.
#pragma once

#include <nlohmann/json.hpp>

struct PFInfo;

namespace inspect {

// Every field of the context in record order. Numbers as stored (floats in
// their shortest decimal form, non-finite values as the strings "nan",
// "inf", "-inf"), flags as true/false, arrays summarised as
// {"length": entries} (null when not allocated), images as "set" or null.
// Reads the record only, never what its pointers designate, so it is safe
// on a context whose render has ended and left them dangling.
nlohmann::ordered_json ContextJson(const PFInfo& info);

} // namespace inspect
