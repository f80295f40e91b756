// The barrier between the host's callbacks and the module that calls them.
// Not for use outside harness/.
//
// The module calls the host through plain C function pointers, and a host
// written in C never throws. Ours is C++: building a record, a trace line or
// a new image can run out of memory, and a mask can hold values no
// arithmetic survives. Such an exception must not unwind through the
// module's frames (on Windows the module and the host may not even share an
// unwinder), so every function the host hands the module is wrapped:
//
//     suite.PF_NewWorld = HostCallback<&NewWorld>;
//
// The wrapped call answers PF_Err_OUT_OF_MEMORY for memory running out and
// PF_Err_INTERNAL_STRUCT_DAMAGED for any other exception, records the reason
// against the running command (FrameResult::hostFaults) and counts as the
// command's first error, as any error the host answers does.
#pragma once

#include <exception>
#include <limits>
#include <new>
#include <type_traits>

#include "HostAPI.h"

namespace harness {

// Records that the callback in flight on this thread threw, with `reason`,
// as an answer of `err`. Never throws.
void CallbackThrew(PF_Err err, const char* reason) noexcept;

// The answer for a callback that threw: the error code, or not-a-number for
// the maths callbacks, whose results are not error codes.
template <typename Result>
Result ThrownAnswer(PF_Err err) noexcept
{
    if constexpr (std::is_floating_point_v<Result>) {
        return std::numeric_limits<Result>::quiet_NaN();
    } else {
        static_assert(std::is_same_v<Result, PF_Err>, "a callback answers an error code or a number");
        return err;
    }
}

// Runs `body` and returns what it returns. An exception it throws is
// recorded (CallbackThrew) and `answer(err)` is returned instead.
template <typename Body, typename Answer>
auto CatchAtTheBoundary(Body&& body, Answer&& answer) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        CallbackThrew(PF_Err_OUT_OF_MEMORY, "out of memory");
        return answer(PF_Err_OUT_OF_MEMORY);
    } catch (const std::exception& e) {
        CallbackThrew(PF_Err_INTERNAL_STRUCT_DAMAGED, e.what());
        return answer(PF_Err_INTERNAL_STRUCT_DAMAGED);
    } catch (...) {
        CallbackThrew(PF_Err_INTERNAL_STRUCT_DAMAGED, "an exception of unknown type");
        return answer(PF_Err_INTERNAL_STRUCT_DAMAGED);
    }
}

template <auto Function>
struct CallbackBarrier;

template <typename Result, typename... Args, Result (*Function)(Args...)>
struct CallbackBarrier<Function> {
    static Result call(Args... args) noexcept
    {
        return CatchAtTheBoundary([&] { return Function(args...); }, ThrownAnswer<Result>);
    }
};

// `Function` as the module receives it: the same signature, never throwing.
template <auto Function>
inline constexpr auto HostCallback = &CallbackBarrier<Function>::call;

} // namespace harness
