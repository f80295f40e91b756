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
    EXPECT_EQ(harness::HostCallback<&ThrowsRuntimeError>(1), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(harness::HostCallback<&ThrowsBadAlloc>(1), PF_Err_OUT_OF_MEMORY);
    const harness::CommandReport report = host.endCommand(PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(report.hostFaults, (std::vector<std::string>{"test.runtime_error: the record is damaged",
                                                           "test.bad_alloc: out of memory"}));
    EXPECT_EQ(host.command.firstErrorCall, "test.runtime_error") << "the first error answered";
}

} // namespace
