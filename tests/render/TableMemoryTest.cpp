// The large tables' memory: zero-filled when new, and their contents kept
// as they grow, from small blocks to blocks of their own and between those.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "render/TableMemory.h"

namespace {

// Fills bytes [from, to) with a pattern of their index.
void fill(void* block, std::size_t from, std::size_t to)
{
    auto* bytes = static_cast<unsigned char*>(block);
    for (std::size_t i = from; i < to; ++i)
        bytes[i] = static_cast<unsigned char>(i * 131u + 7u);
}

// The first byte in [0, size) that does not hold the pattern, or size.
std::size_t firstWrongByte(const void* block, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != static_cast<unsigned char>(i * 131u + 7u))
            return i;
    return size;
}

TEST(TableMemory, NewTablesAreZero)
{
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{100}, std::size_t{3} << 20, std::size_t{17} << 20}) {
        const ZeroedTable table(bytes);
        ASSERT_NE(table.data(), nullptr);
        const auto* words = static_cast<const std::uint64_t*>(table.data());
        std::uint64_t any = 0;
        for (std::size_t i = 0; i < bytes / sizeof(std::uint64_t); ++i)
            any |= words[i];
        EXPECT_EQ(any, 0u) << bytes << " bytes";
    }
}

TEST(TableMemory, GrowingKeepsTheContents)
{
    // Small, small, then a block of its own, then larger ones (moved or
    // extended by the system), and a step within one large page.
    const std::size_t sizes[] = {1000, 300000, std::size_t{3} << 20, (std::size_t{3} << 20) + 4096,
                                 std::size_t{9} << 20, std::size_t{40} << 20};
    std::size_t size = 0;
    void* block = nullptr;
    for (const std::size_t next : sizes) {
        block = growTable(block, size, next);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(firstWrongByte(block, size), size) << "growing from " << size << " to " << next;
        fill(block, size, next);
        size = next;
    }
    EXPECT_EQ(firstWrongByte(block, size), size);
    freeTable(block, size);
    freeTable(nullptr, 0);
}

} // namespace
