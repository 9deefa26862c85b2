// Large table memory: zero-filled, 2 MiB aligned from 2 MiB on, impossible sizes refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/platform.h"

namespace {

constexpr std::size_t MiB = std::size_t(1) << 20;

TEST(LargeTable, ZeroFilledAndAlignedBySize) {
  struct Case {
    std::size_t bytes;
    bool hugeAligned;
  };
  const Case cases[] = {
      {16, false}, {64 * 1024, false}, {2 * MiB - 16, false}, {2 * MiB, true}, {2 * MiB + 16, true}, {5 * MiB + 16, true},
  };
  for (const Case& c : cases) {
    // Dirty memory handed back first, so that a reused block would show if it were not cleared.
    void* dirty = AllocateLargeTable(c.bytes);
    ASSERT_NE(dirty, nullptr) << c.bytes;
    std::memset(dirty, 0xA5, c.bytes);
    std::free(dirty);

    auto* memory = static_cast<unsigned char*>(AllocateLargeTable(c.bytes));
    ASSERT_NE(memory, nullptr) << c.bytes;
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < c.bytes; ++i) nonZero += memory[i] != 0;
    EXPECT_EQ(nonZero, 0u) << c.bytes;
    if (c.hugeAligned) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % (2 * MiB), 0u) << c.bytes;
    }
    memory[c.bytes - 1] = 1;   // the last byte belongs to the table
    std::free(memory);
  }
}

TEST(LargeTable, ImpossibleSizeIsRefused) {
  EXPECT_EQ(AllocateLargeTable(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocateLargeTable(SIZE_MAX - MiB), nullptr);
}

}  // namespace
