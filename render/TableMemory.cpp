#include "render/TableMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#define LINESTRA_LARGE_PAGES 1
#endif

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

#ifdef LINESTRA_LARGE_PAGES
// From one large page on, a table is mapped on its own: below that it
// would hold no 2 MB page.
constexpr std::size_t kMappedTableBytes = kLargePage;

bool isMapped(std::size_t bytes)
{
    return bytes >= kMappedTableBytes;
}

std::size_t roundUpToLargePage(std::size_t n)
{
    if (n > SIZE_MAX - 2 * kLargePage)
        throw std::bad_alloc();
    return (n + kLargePage - 1) & ~(kLargePage - 1);
}

// Maps `rounded` bytes (a multiple of 2 MB) starting on a large page: maps
// a large page more, then gives back the unaligned head and the tail.
void* mapAligned(std::size_t rounded)
{
    const std::size_t mappedBytes = rounded + kLargePage;
    void* mapped = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (base + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
    if (aligned > base)
        munmap(mapped, aligned - base);
    const std::uintptr_t end = base + mappedBytes;
    if (end > aligned + rounded)
        munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}
#endif

} // namespace

void* allocateTable(std::size_t bytes)
{
#ifdef LINESTRA_LARGE_PAGES
    if (isMapped(bytes))
        return mapAligned(roundUpToLargePage(bytes));
#endif
    void* block = std::calloc(bytes > 0 ? bytes : 1, 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void* growTable(void* block, std::size_t oldBytes, std::size_t newBytes)
{
    if (block == nullptr)
        return allocateTable(newBytes);
    if (newBytes <= oldBytes)
        return block; // tables only grow
#ifdef LINESTRA_LARGE_PAGES
    if (isMapped(newBytes)) {
        const std::size_t rounded = roundUpToLargePage(newBytes);
        if (!isMapped(oldBytes)) {
            // From calloc to a mapping of its own: the small block is copied.
            void* grown = mapAligned(rounded);
            std::memcpy(grown, block, oldBytes);
            std::free(block);
            return grown;
        }
        const std::size_t oldRounded = roundUpToLargePage(oldBytes);
        if (rounded == oldRounded)
            return block;
        void* grown = mremap(block, oldRounded, rounded, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED)
            throw std::bad_alloc();
        madvise(grown, rounded, MADV_HUGEPAGE);
        return grown;
    }
#endif
    void* grown = std::realloc(block, newBytes > 0 ? newBytes : 1);
    if (grown == nullptr)
        throw std::bad_alloc();
    return grown;
}

void freeTable(void* block, std::size_t bytes)
{
    if (block == nullptr)
        return;
#ifdef LINESTRA_LARGE_PAGES
    if (isMapped(bytes)) {
        munmap(block, roundUpToLargePage(bytes));
        return;
    }
#else
    (void)bytes;
#endif
    std::free(block);
}
