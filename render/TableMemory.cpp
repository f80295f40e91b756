#include "render/TableMemory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#define LINESTRA_LARGE_PAGES 1
#endif

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// Below this a table is left to calloc: the few faults it saves are not
// worth a mapping of its own.
constexpr std::size_t kMappedTableBytes = 2 * kLargePage;

std::uintptr_t roundUpToLargePage(std::uintptr_t n)
{
    return (n + kLargePage - 1) & ~(kLargePage - 1);
}

} // namespace

ZeroedTable::ZeroedTable(std::size_t bytes) : bytes_(bytes)
{
#ifdef LINESTRA_LARGE_PAGES
    if (bytes >= kMappedTableBytes) {
        if (bytes > SIZE_MAX - 2 * kLargePage)
            throw std::bad_alloc();
        // Map a large page more than needed, then give back the unaligned
        // head and the tail: what stays starts on a large page.
        const std::size_t rounded = roundUpToLargePage(bytes);
        const std::size_t mappedBytes = rounded + kLargePage;
        void* mapped = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const auto base = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = roundUpToLargePage(base);
        if (aligned > base)
            munmap(mapped, aligned - base);
        const std::uintptr_t end = base + mappedBytes;
        if (end > aligned + rounded)
            munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
        data_ = reinterpret_cast<void*>(aligned);
        bytes_ = rounded;
        madvise(data_, rounded, MADV_HUGEPAGE);
        return;
    }
#endif
    data_ = std::calloc(bytes > 0 ? bytes : 1, 1);
    if (data_ == nullptr)
        throw std::bad_alloc();
}

ZeroedTable::~ZeroedTable()
{
#ifdef LINESTRA_LARGE_PAGES
    if (bytes_ >= kMappedTableBytes) {
        munmap(data_, bytes_);
        return;
    }
#endif
    std::free(data_);
}

void adviseLargePages(void* block, std::size_t bytes)
{
#ifdef LINESTRA_LARGE_PAGES
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = roundUpToLargePage(start);
    const std::uintptr_t last = (start + bytes) & ~(kLargePage - 1);
    if (bytes >= kMappedTableBytes && last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}
