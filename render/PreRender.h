// Pieces of the pre-render pass (PreRender, declared in RenderCommands.h)
// that are useful on their own.
#pragma once

#include "HostAPI.h"

// Grows *dst to hold *src as well. An empty *dst (left >= right or
// top >= bottom) becomes a copy of *src; an empty *src leaves *dst alone.
void UnionLRect(const PF_LRect* src, PF_LRect* dst);
