// The boundary between the host and the effect's C++ code: runs a command
// and turns anything thrown out of it into the host's error code, so that
// no exception ever leaves the module.
//
//   a thrown PF_Err (a missing suite: 13 or 516) -> that code
//   std::bad_alloc                               -> PF_Err_OUT_OF_MEMORY (4)
//   any other exception                          -> PF_Err_INTERNAL_STRUCT_DAMAGED (512)
#pragma once

#include <new>
#include <utility>

#include "HostAPI.h"

template <typename Command>
PF_Err runGuarded(Command&& command) noexcept
{
    try {
        return std::forward<Command>(command)();
    } catch (PF_Err err) {
        return err;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
