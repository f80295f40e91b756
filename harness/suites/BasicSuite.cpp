// The basic suite: function suites by exact name and version, counted per
// command so that every acquisition must be matched by a release; memory
// blocks.
#include <cstdlib>
#include <cstring>

#include "harness/state/HostState.h"
#include "harness/state/Text.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

std::string SuiteArgs(const char* name, int32_t version)
{
    return Concat({name != nullptr ? Concat({"\"", name, "\""}) : std::string("(null)"), ", ", std::to_string(version)});
}

SPErr AcquireSuite(const char* name, int32_t version, const void** suite)
{
    HostState* host = CurrentHost();
    HostCall call(host, "AcquireSuite", CallKind::Plain);
    auto args = [&] { return SuiteArgs(name, version); };
    if (suite != nullptr)
        *suite = nullptr;
    if (host == nullptr)
        return kSuiteNotFoundError;
    if (name == nullptr || suite == nullptr) {
        host->violation("AcquireSuite without a name or a place for the suite");
        return call.finish(kSuiteNotFoundError, args);
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);

    std::lock_guard lock(host->mutex);
    const auto key = std::make_pair(std::string(name), static_cast<int>(version));
    if (auto w = host->withdrawn.find(key); w != host->withdrawn.end()) {
        if (w->second == Host::Withdrawal::NullWithSuccess)
            return call.finish(kSPNoError, [&] { return args() + " (withdrawn: null suite)"; });
        return call.finish(kSuiteNotFoundError, [&] { return args() + " (withdrawn)"; });
    }
    const void* table = FindSuite(key.first, key.second, host->options.applId);
    if (table == nullptr)
        return call.finish(kSuiteNotFoundError, args);
    // Counted in both places before it is handed over, so that memory
    // running out in between never leaves a suite counted as leaked.
    int& outstanding = host->outstandingSuites[key];
    if (host->command.active)
        ++host->command.suites[key];
    ++outstanding;
    *suite = table;
    return call.finish(kSPNoError, args);
}

SPErr ReleaseSuite(const char* name, int32_t version)
{
    HostState* host = CurrentHost();
    HostCall call(host, "ReleaseSuite", CallKind::Plain);
    auto args = [&] { return SuiteArgs(name, version); };
    if (host == nullptr)
        return kSuiteNotFoundError;
    if (name == nullptr) {
        host->violation("ReleaseSuite without a name");
        return call.finish(kSuiteNotFoundError, args);
    }
    std::lock_guard lock(host->mutex);
    const auto key = std::make_pair(std::string(name), static_cast<int>(version));
    int& outstanding = host->outstandingSuites[key];
    if (outstanding <= 0) {
        host->violation("suite '" + key.first + "' version " + std::to_string(key.second) +
                        " released but not acquired");
        return call.finish(kSuiteNotFoundError, args);
    }
    --outstanding;
    if (host->command.active) {
        int& inCommand = host->command.suites[key];
        if (inCommand <= 0)
            host->violation("suite '" + key.first + "' version " + std::to_string(key.second) +
                            " released in another command than the one that acquired it");
        --inCommand;
    }
    if (call.injected() != PF_Err_NONE)
        return call.finish(call.injected(), args);
    return call.finish(kSPNoError, args);
}

SPBoolean IsEqual(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

SPErr AllocateBlock(size_t size, void** block)
{
    HostState* host = CurrentHost();
    HostCall call(host, "AllocateBlock", CallKind::Plain);
    auto args = [&] { return std::to_string(size); };
    if (block == nullptr || host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *block = std::malloc(size == 0 ? 1 : size);
    if (*block == nullptr)
        return call.finish(PF_Err_OUT_OF_MEMORY, args);
    std::lock_guard lock(host->mutex);
    host->blocks.insert(*block);
    return call.finish(kSPNoError, args);
}

SPErr FreeBlock(void* block)
{
    HostState* host = CurrentHost();
    HostCall call(host, "FreeBlock", CallKind::Plain);
    auto args = [] { return std::string(); };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (host->blocks.erase(block) == 0) {
        host->violation("FreeBlock of a block the host did not allocate");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    std::free(block);
    return call.finish(kSPNoError, args);
}

SPErr ReallocateBlock(void* block, size_t size, void** newBlock)
{
    HostState* host = CurrentHost();
    HostCall call(host, "ReallocateBlock", CallKind::Plain);
    auto args = [&] { return std::to_string(size); };
    if (host == nullptr || newBlock == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    if (block != nullptr && host->blocks.count(block) == 0) {
        host->violation("ReallocateBlock of a block the host did not allocate");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    void* moved = std::realloc(block, size == 0 ? 1 : size);
    if (moved == nullptr)
        return call.finish(PF_Err_OUT_OF_MEMORY, args);
    host->blocks.erase(block);
    host->blocks.insert(moved);
    *newBlock = moved;
    return call.finish(kSPNoError, args);
}

SPErr Undefined()
{
    HostState* host = CurrentHost();
    if (host != nullptr)
        host->violation("the basic suite's Undefined entry was called");
    return kSuiteNotFoundError;
}

} // namespace

void FillBasicSuite(SPBasicSuite& basic)
{
    basic.AcquireSuite = HostCallback<&AcquireSuite>;
    basic.ReleaseSuite = HostCallback<&ReleaseSuite>;
    basic.IsEqual = &IsEqual;
    basic.AllocateBlock = HostCallback<&AllocateBlock>;
    basic.FreeBlock = HostCallback<&FreeBlock>;
    basic.ReallocateBlock = HostCallback<&ReallocateBlock>;
    basic.Undefined = HostCallback<&Undefined>;
}

const void* FindSuite(const std::string& name, int version, A_long applId)
{
    if (name == kPFParamUtilsSuite && version == kPFParamUtilsSuiteVersion3)
        return &ParamUtilsSuite();
    // The pixel-format suite belongs to the editor host.
    if (name == kPFPixelFormatSuite && version == kPFPixelFormatSuiteVersion1 && applId == kApplIdEditor)
        return &PixelFormatSuite();
    if (name == kPFPathQuerySuite && version == kPFPathQuerySuiteVersion1)
        return &PathQuerySuite();
    if (name == kPFPathDataSuite && version == kPFPathDataSuiteVersion1)
        return &PathDataSuite();
    if (name == kPFWorldSuite && version == kPFWorldSuiteVersion2)
        return &WorldSuite();
    if (name == kPFIterate8Suite && version == kPFIterate8SuiteVersion1)
        return &Iterate8Suite();
    if (name == kPFIterate16Suite && version == kPFIterate16SuiteVersion2)
        return &Iterate16Suite();
    if (name == kPFIterateFloatSuite && version == kPFIterateFloatSuiteVersion2)
        return &IterateFloatSuite();
    return nullptr;
}

} // namespace harness
