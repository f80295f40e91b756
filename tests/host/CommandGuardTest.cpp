// Nothing thrown inside a command leaves the module: every kind of
// exception becomes an error code.
#include "host/CommandGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

TEST(CommandGuard, PassesTheCommandsResult)
{
    EXPECT_EQ(runGuarded([] { return PF_Err{PF_Err_NONE}; }), PF_Err_NONE);
    EXPECT_EQ(runGuarded([] { return PF_Err{PF_Interrupt_CANCEL}; }), PF_Interrupt_CANCEL);
}

TEST(CommandGuard, TurnsEveryExceptionIntoAnErrorCode)
{
    struct Case {
        const char* what;
        PF_Err (*command)();
        PF_Err expected;
    };
    const std::vector<Case> cases = {
        {"missing suite (scoped)", [] () -> PF_Err { throw PF_Err{A_Err_MISSING_SUITE}; }, A_Err_MISSING_SUITE},
        {"missing suite (handler)", [] () -> PF_Err { throw PF_Err{PF_Err_BAD_CALLBACK_PARAM}; },
         PF_Err_BAD_CALLBACK_PARAM},
        {"memory exhausted", [] () -> PF_Err { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY},
        {"array too long", [] () -> PF_Err {
             std::vector<int> v;
             v.reserve(v.max_size() + 1); // std::length_error
             return 0;
         },
         PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"standard exception", [] () -> PF_Err { throw std::runtime_error("broken"); },
         PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"other thrown value", [] () -> PF_Err { throw std::string("text"); }, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"other integer type", [] () -> PF_Err { throw 4LL; }, PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    for (const Case& c : cases) EXPECT_EQ(runGuarded(c.command), c.expected) << c.what;
}

TEST(CommandGuard, IsNoexcept)
{
    auto throwing = []() -> PF_Err { throw 1; };
    static_assert(noexcept(runGuarded(throwing)));
}
