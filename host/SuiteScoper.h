// AEFX_SuiteScoper<SuiteType>: one host suite held for the length of a block.
//
// Usage: create it where the suite is needed; it acquires the suite at once
// and releases it (same name and version) when it goes out of scope.
//
//     AEFX_SuiteScoper<PF_WorldSuite2> worlds(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);
//     worlds->PF_GetPixelFormat(world, &format);
//
// When the host refuses the suite, the scoper sets
// PF_OutFlag_DISPLAY_ERROR_MESSAGE in out_data->out_flags and writes the
// error text into out_data->return_msg (only when out_data is given), then
// throws 13 (A_Err_MISSING_SUITE) as a PF_Err; EffectMain returns it.
//
// The name and the error text are kept by pointer: pass string literals (or
// strings that outlive the scoper). Not shared between threads.
#pragma once

#include "HostAPI.h"

inline constexpr char kAEFXSuiteErrorText[] = "Not able to acquire AEFX Suite.";

template <typename SuiteType>
class AEFX_SuiteScoper {
public:
    AEFX_SuiteScoper(const PF_InData* in_data, const char* suiteName, A_long suiteVersion,
                     PF_OutData* out_data = nullptr, const char* errorText = kAEFXSuiteErrorText)
        : basicSuite_(in_data->pica_basicP), suiteName_(suiteName), suiteVersion_(suiteVersion)
    {
        const void* suite = nullptr;
        const SPErr err =
            basicSuite_ ? basicSuite_->AcquireSuite(suiteName_, suiteVersion_, &suite) : SPErr{A_Err_MISSING_SUITE};
        // A success without a suite is refused like an error: nothing could
        // be called through it (and there is nothing to release).
        if (err != kSPNoError || !suite) {
            if (out_data) {
                out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
                // The text is the format, as the host's formatting callback
                // is the only way to write the message buffer.
                in_data->utils->ansi.sprintf(out_data->return_msg, errorText);
            }
            throw PF_Err{A_Err_MISSING_SUITE};
        }
        suite_ = static_cast<const SuiteType*>(suite);
    }

    ~AEFX_SuiteScoper()
    {
        // Release errors are ignored.
        basicSuite_->ReleaseSuite(suiteName_, suiteVersion_);
    }

    AEFX_SuiteScoper(const AEFX_SuiteScoper&) = delete;
    AEFX_SuiteScoper& operator=(const AEFX_SuiteScoper&) = delete;

    const SuiteType* get() const { return suite_; }
    const SuiteType* operator->() const { return suite_; }

private:
    const SPBasicSuite* basicSuite_;
    const char* suiteName_;
    A_long suiteVersion_;
    const SuiteType* suite_ = nullptr;
};
