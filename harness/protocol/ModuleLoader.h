// Loading an effect module: through the system loader (dlopen, or
// LoadLibrary on Windows) by path, or in-process from two function pointers
// so that tests can drive the effect's static library directly.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostAPI.h"

namespace harness {

// The module's two exported entry points.
struct EntryPoints {
    PF_PluginDataEntryFunctionPtr pluginDataEntry = nullptr;
    PF_EffectMainPtr effectMain = nullptr;
};

// A module that cannot be loaded or lacks an entry point; the message names
// the path and, for a missing entry, the symbol.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Module {
public:
    // Loads the module at `path` and resolves "PluginDataEntryFunction" and
    // "EffectMain". On Windows it also reads the module's property list,
    // resource "PIPL" 16000 in English (United States), through the system's
    // resource functions, as the host does before it calls anything; a module
    // without it is refused. Throws ModuleError.
    static Module Load(const std::string& path);
    // Wraps entry points already in the process; both must be set.
    static Module InProcess(EntryPoints entry, std::string label = "in-process effect");

    Module(Module&&) noexcept;
    Module& operator=(Module&&) noexcept;
    ~Module(); // unloads a loaded module

    const EntryPoints& entryPoints() const { return entry_; }
    // The path it was loaded from, or the label given.
    const std::string& label() const { return label_; }
    bool viaSystemLoader() const { return handle_ != nullptr; }
    // The property list's bytes as the module's resource holds them (Windows
    // form, little-endian); empty where modules carry none in a resource
    // (Linux) and for an in-process effect.
    const std::vector<std::uint8_t>& propertyList() const { return propertyList_; }

private:
    Module() = default;
    void unload() noexcept;

    EntryPoints entry_{};
    std::string label_;
    void* handle_ = nullptr;
    std::vector<std::uint8_t> propertyList_;
};

// Names of the two exports.
inline constexpr const char* kPluginDataEntryName = "PluginDataEntryFunction";
inline constexpr const char* kEffectMainName = "EffectMain";
// Where a Windows module keeps its property list.
inline constexpr const char* kPropertyListResourceType = "PIPL";
inline constexpr int kPropertyListResourceId = 16000;
inline constexpr int kPropertyListResourceLanguage = 1033; // English (United States)

} // namespace harness
