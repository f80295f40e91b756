// What a callback that throws inside the host answers: an error code (or
// not-a-number) in place of the exception, and the call named against the
// running command.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "harness/state/CallbackBarrier.h"
#include "harness/state/HostState.h"

namespace {

PF_Err ThrowsBadAlloc(int)
{
    harness::HostCall call(nullptr, "test.bad_alloc", harness::CallKind::Plain);
    throw std::bad_alloc();
}

PF_Err ThrowsRuntimeError(int)
{
    harness::HostCall call(nullptr, "test.runtime_error", harness::CallKind::Plain);
    throw std::runtime_error("the record is damaged");
}

PF_Err ThrowsAnInt()
{
    throw 7;
}

double ThrowsInMaths(double)
{
    harness::HostCall call(nullptr, "test.sin", harness::CallKind::Plain);
    throw std::runtime_error("no room for the trace line");
}

PF_Err Answers(int value)
{
    return value;
}

TEST(CallbackBarrier, AnswersAnExceptionWithAnErrorCode)
{
    EXPECT_EQ(harness::HostCallback<&Answers>(42), 42);
    EXPECT_EQ(harness::HostCallback<&ThrowsBadAlloc>(1), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(harness::HostCallback<&ThrowsRuntimeError>(1), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(harness::HostCallback<&ThrowsAnInt>(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(std::isnan(harness::HostCallback<&ThrowsInMaths>(2.0)));
    static_assert(noexcept(harness::HostCallback<&ThrowsBadAlloc>(1)));
}

TEST(CallbackBarrier, NamesTheCallAgainstTheRunningCommand)
{
    harness::HostState host{harness::HostOptions{}};
    harness::ThreadBinding binding(&host, 0);
    host.beginCommand(PF_Cmd_SMART_RENDER);
    // A value answer (not-a-number) is no error of the command: a guarded
    // call after it is allowed.
    EXPECT_TRUE(std::isnan(harness::HostCallback<&ThrowsInMaths>(2.0)));
    { harness::HostCall guarded(&host, "test.guarded", harness::CallKind::Guarded); }
    EXPECT_TRUE(host.command.violations.empty()) << harness::Describe(host.command.violations);

    EXPECT_EQ(harness::HostCallback<&ThrowsRuntimeError>(1), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(harness::HostCallback<&ThrowsBadAlloc>(1), PF_Err_OUT_OF_MEMORY);
    // Thrown before any HostCall of its own: not named after the call before.
    EXPECT_EQ(harness::HostCallback<&ThrowsAnInt>(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    const harness::CommandReport report = host.endCommand(PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(report.hostFaults, (std::vector<std::string>{
                                     "test.sin: no room for the trace line",
                                     "test.runtime_error: the record is damaged", "test.bad_alloc: out of memory",
                                     "a callback: an exception of unknown type"}));
    EXPECT_EQ(host.command.firstErrorCall, "test.runtime_error") << "the first error code answered";
}

} // namespace
