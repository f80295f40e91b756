// AEGP_SuiteHandler: lazy access to the host's function suites for the
// length of one command.
//
// Usage: build one on the stack at the start of a command and ask it for
// suites as needed; each suite is acquired from the basic suite on first use
// and every acquired suite is released when the handler goes out of scope,
// also when an error code is thrown through it.
//
//     AEGP_SuiteHandler suites(in_data->pica_basicP);   // throws 516 if null
//     suites.ParamUtilsSuite3()->PF_UpdateParamUI(in_data->effect_ref, index, &def);
//
// A suite that cannot be acquired throws the error code 516
// (PF_Err_BAD_CALLBACK_PARAM) as a PF_Err; EffectMain returns it to the host.
// Not shared between threads: every command builds its own.
#pragma once

#include "HostAPI.h"

class AEGP_SuiteHandler {
public:
    explicit AEGP_SuiteHandler(const SPBasicSuite* basicSuite);
    ~AEGP_SuiteHandler();

    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    // "PF Param Utils Suite" version 3.
    const PF_ParamUtilsSuite3* ParamUtilsSuite3() const;
    // "PF Path Query Suite" version 1.
    const PF_PathQuerySuite1* PathQuerySuite1() const;
    // "PF Path Data Suite" version 1.
    const PF_PathDataSuite1* PathDataSuite1() const;

    // Throws 516 (PF_Err_BAD_CALLBACK_PARAM) as a PF_Err.
    [[noreturn]] void MissingSuiteError() const;

    // Forwards to the basic suite's ReleaseSuite and returns its result.
    SPErr ReleaseSuite(const char* name, A_long version);

private:
    // Acquires the suite if not cached yet and caches it; throws 516 when
    // the host refuses or hands over no suite.
    const void* LoadSuite(const void*& cached, const char* name, A_long version) const;
    // Releases every cached suite; errors are ignored.
    void ReleaseAllSuites() noexcept;

    const SPBasicSuite* basicSuite_;
    mutable const void* paramUtilsSuite3_ = nullptr;
    mutable const void* pathQuerySuite1_ = nullptr;
    mutable const void* pathDataSuite1_ = nullptr;
};
