#include "harness/protocol/ModuleLoader.h"

#include <cstring>
#include <filesystem>
#include <utility>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace harness {

namespace {

#if defined(_WIN32)
std::string LastLoaderError()
{
    const DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = text != nullptr ? text : ("error " + std::to_string(code));
    if (text != nullptr)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

void* OpenLibrary(const std::string& path)
{
    // A relative name is the file in the current folder, never one the
    // system's search finds elsewhere: the loader searches for any name that
    // is not a full path.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return reinterpret_cast<void*>(LoadLibraryW(ec ? std::filesystem::path(path).c_str() : full.c_str()));
}

void* FindSymbol(void* handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle)
{
    FreeLibrary(static_cast<HMODULE>(handle));
}

// The property list resource, found, loaded and locked through the system's
// resource functions; empty when the module has none.
std::vector<std::uint8_t> ReadPropertyListResource(void* handle)
{
    const auto module = static_cast<HMODULE>(handle);
    HRSRC found = FindResourceExA(module, kPropertyListResourceType, MAKEINTRESOURCEA(kPropertyListResourceId),
                                  static_cast<WORD>(kPropertyListResourceLanguage));
    if (found == nullptr)
        return {};
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}
#else
std::string LastLoaderError()
{
    const char* text = dlerror();
    return text != nullptr ? text : "unknown loader error";
}

void* OpenLibrary(const std::string& path)
{
    // RTLD_LOCAL: the module's symbols stay its own, as in the real host. A
    // bare file name is the file in the current folder, never a library of
    // that name the loader's search finds elsewhere.
    const bool bare = path.find('/') == std::string::npos;
    return dlopen((bare ? "./" + path : path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(void* handle, const char* name)
{
    dlerror();
    return dlsym(handle, name);
}

void CloseLibrary(void* handle)
{
    dlclose(handle);
}
#endif

// Object pointers from the loader become function pointers through memcpy,
// which every supported compiler accepts without a cast warning.
template <typename Function>
Function ToFunction(void* symbol)
{
    Function function = nullptr;
    static_assert(sizeof(function) == sizeof(symbol));
    std::memcpy(&function, &symbol, sizeof(function));
    return function;
}

} // namespace

Module Module::Load(const std::string& path)
{
    Module module;
    module.label_ = path;
    module.handle_ = OpenLibrary(path);
    if (module.handle_ == nullptr)
        throw ModuleError("cannot load the effect module '" + path + "': " + LastLoaderError());

    void* entry = FindSymbol(module.handle_, kPluginDataEntryName);
    if (entry == nullptr)
        throw ModuleError("the effect module '" + path + "' does not export '" + kPluginDataEntryName + "'");
    void* main = FindSymbol(module.handle_, kEffectMainName);
    if (main == nullptr)
        throw ModuleError("the effect module '" + path + "' does not export '" + kEffectMainName + "'");

#if defined(_WIN32)
    module.propertyList_ = ReadPropertyListResource(module.handle_);
    if (module.propertyList_.empty())
        throw ModuleError("the effect module '" + path + "' has no property list: resource " +
                          kPropertyListResourceType + " " + std::to_string(kPropertyListResourceId) + " in language " +
                          std::to_string(kPropertyListResourceLanguage) + " is missing or empty");
#endif

    module.entry_.pluginDataEntry = ToFunction<PF_PluginDataEntryFunctionPtr>(entry);
    module.entry_.effectMain = ToFunction<PF_EffectMainPtr>(main);
    return module;
}

Module Module::InProcess(EntryPoints entry, std::string label)
{
    if (entry.pluginDataEntry == nullptr)
        throw ModuleError("the in-process effect '" + label + "' has no '" + kPluginDataEntryName + "'");
    if (entry.effectMain == nullptr)
        throw ModuleError("the in-process effect '" + label + "' has no '" + kEffectMainName + "'");
    Module module;
    module.entry_ = entry;
    module.label_ = std::move(label);
    return module;
}

Module::Module(Module&& other) noexcept
    : entry_(other.entry_), label_(std::move(other.label_)), handle_(std::exchange(other.handle_, nullptr)),
      propertyList_(std::move(other.propertyList_))
{
    other.entry_ = {};
}

Module& Module::operator=(Module&& other) noexcept
{
    if (this != &other) {
        unload();
        entry_ = std::exchange(other.entry_, {});
        label_ = std::move(other.label_);
        handle_ = std::exchange(other.handle_, nullptr);
        propertyList_ = std::move(other.propertyList_);
    }
    return *this;
}

Module::~Module()
{
    unload();
}

void Module::unload() noexcept
{
    if (handle_ != nullptr) {
        CloseLibrary(handle_);
        handle_ = nullptr;
    }
    entry_ = {};
}

} // namespace harness
