#include "render/PFInfo.h"

#include <cstdlib>
#include <new>

#include "geometry/LineClipping.h"

PFInfo* NewPFInfo() noexcept
{
    // Value-initialisation clears every field: null pointers, false flags,
    // zero counts.
    return new (std::nothrow) PFInfo{};
}

void DisposePreRenderData(void* data)
{
    if (data == nullptr)
        return;
    auto* info = static_cast<PFInfo*>(data);
    delete[] info->iterators;
    delete[] info->segmentLengths;
    delete info;
}
