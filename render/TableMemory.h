// Memory for a render's large tables. The owner ranks of a 1080p frame are
// 16 MB and the fine line table of a long path can be larger; touched page
// by page, a 16 MB table costs four thousand page faults per frame, which on
// some machines (virtual ones above all) is tens of milliseconds. Where the
// system has 2 MB pages, these tables ask for them: eight faults instead.
#pragma once

#include <cstddef>

// A zero-filled block of `bytes` bytes, freed when the object goes. Large
// blocks are mapped from the system in 2 MB-aligned pieces where it offers
// such pages; small ones come from calloc. Throws std::bad_alloc when the
// system has no memory.
class ZeroedTable {
public:
    explicit ZeroedTable(std::size_t bytes);
    ZeroedTable(const ZeroedTable&) = delete;
    ZeroedTable& operator=(const ZeroedTable&) = delete;
    ~ZeroedTable();

    void* data() const { return data_; }

private:
    void* data_ = nullptr;
    [[maybe_unused]] std::size_t bytes_ = 0; // as mapped, for a mapped block
};

// Asks the system for 2 MB pages on the 2 MB-aligned part of a block of
// `bytes` bytes at `block` that nothing has touched yet (a hint: nothing
// happens where the system has no such pages).
void adviseLargePages(void* block, std::size_t bytes);
