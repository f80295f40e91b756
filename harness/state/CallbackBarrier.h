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
// command's first error, as any error the host answers does. The callbacks
// whose result is not an error code answer a value instead (the maths ones
// not-a-number, ansi.sprintf -1, ansi.strcpy its destination).
#pragma once

#include <exception>
#include <limits>
#include <new>
#include <type_traits>

#include "HostAPI.h"

namespace harness {

// The function of the callback running on this thread, as its HostCall names
// it on entry (null until then): which callback an exception came from.
inline thread_local const char* tCallInFlight = nullptr;

// How a callback that threw answers the module.
enum class ThrownAnswerKind {
    ErrorCode, // an error code: the command's first error, as any error the host answers
    Value,     // a value (not-a-number, -1, the destination), or an error answered
               // later by the callback itself: recorded, not yet an error code
};

// Records that `function` threw, with `reason`, answered with `err` (or
// with a value). Never throws.
void CallbackThrew(const char* function, PF_Err err, const char* reason, ThrownAnswerKind kind) noexcept;

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
// recorded (CallbackThrew, naming the HostCall made inside `body`, else
// `name`) and `answer(err)` is returned instead. The name of an enclosing
// barrier on the same thread is restored on the way out.
template <typename Body, typename Answer>
auto CatchAtTheBoundary(Body&& body, Answer&& answer, ThrownAnswerKind kind, const char* name = nullptr) noexcept
    -> decltype(body())
{
    struct KeepOuterName {
        const char* outer = tCallInFlight;
        ~KeepOuterName() { tCallInFlight = outer; }
    } keep;
    tCallInFlight = name;
    auto failed = [&](PF_Err err, const char* reason) {
        CallbackThrew(tCallInFlight != nullptr ? tCallInFlight : "a callback", err, reason, kind);
        return answer(err);
    };
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failed(PF_Err_OUT_OF_MEMORY, "out of memory");
    } catch (const std::exception& e) {
        return failed(PF_Err_INTERNAL_STRUCT_DAMAGED, e.what());
    } catch (...) {
        return failed(PF_Err_INTERNAL_STRUCT_DAMAGED, "an exception of unknown type");
    }
}

template <auto Function>
struct CallbackBarrier;

template <typename Result, typename... Args, Result (*Function)(Args...)>
struct CallbackBarrier<Function> {
    static Result call(Args... args) noexcept
    {
        constexpr ThrownAnswerKind kind =
            std::is_floating_point_v<Result> ? ThrownAnswerKind::Value : ThrownAnswerKind::ErrorCode;
        return CatchAtTheBoundary([&] { return Function(args...); }, ThrownAnswer<Result>, kind);
    }
};

// `Function` as the module receives it: the same signature, never throwing.
template <auto Function>
inline constexpr auto HostCallback = &CallbackBarrier<Function>::call;

} // namespace harness
