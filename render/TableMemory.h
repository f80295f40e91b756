// Memory for a render's large tables. The owner ranks of a 1080p frame are
// 16 MB and the fine line table of a long path can be larger; touched page
// by page, a 16 MB table costs four thousand page faults per frame, which on
// some machines (virtual ones above all) is tens of milliseconds. Where the
// system has 2 MB pages, these tables ask for them: eight faults instead.
#pragma once

#include <cstddef>

// A zero-filled block of at least `bytes` bytes for a table. On Linux,
// blocks of 2 MB and more are mapped from the system on their own, 2 MB
// aligned, asking for 2 MB pages; smaller ones (and every block elsewhere)
// come from calloc. Throws std::bad_alloc when the system has no memory.
void* allocateTable(std::size_t bytes);

// The table `block` of `oldBytes` (as asked of allocateTable or growTable)
// grown to `newBytes` (a smaller size leaves it as it is), its contents
// kept; the system moves a mapped block's pages rather than copying them,
// so the old and the new block never exist side by side. The bytes past
// oldBytes are not cleared. Throws std::bad_alloc (the block then stays as
// it was).
void* growTable(void* block, std::size_t oldBytes, std::size_t newBytes);

// Frees a table of `bytes` (as last asked); a null block is nothing.
void freeTable(void* block, std::size_t bytes);

// A zero-filled table of `bytes` bytes, freed when the object goes.
class ZeroedTable {
public:
    explicit ZeroedTable(std::size_t bytes) : data_(allocateTable(bytes)), bytes_(bytes) {}
    ZeroedTable(const ZeroedTable&) = delete;
    ZeroedTable& operator=(const ZeroedTable&) = delete;
    ~ZeroedTable() { freeTable(data_, bytes_); }

    void* data() const { return data_; }

private:
    void* data_;
    std::size_t bytes_;
};
