// The memory budget of one render's tables: the walking lines of the
// pre-render and the fine line table of the render grow with the length of
// the mask path, which a user can make as long as they like (a mask far
// outside the frame still has every line laid out along it). Past the
// budget the command ends with out of memory and a message the host shows,
// before the machine runs out of memory instead.
#pragma once

#include <cstdint>

#include "HostAPI.h"

// 1 GiB, or LINESTRA_MEMORY_BUDGET_MB megabytes when that environment
// variable holds a positive whole number.
std::uint64_t memoryBudgetBytes();

// Sets the display-error flag and the message (what went over the budget,
// and the budget) and returns PF_Err_OUT_OF_MEMORY.
PF_Err reportOverMemoryBudget(PF_InData* in_data, PF_OutData* out_data, const char* what);
