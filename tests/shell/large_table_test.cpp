// Large table memory: zero-filled, 2 MiB aligned from 2 MiB on, impossible sizes refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/platform.h"

namespace {

constexpr std::size_t MiB = std::size_t(1) << 20;

TEST(LargeTable, ZeroFilledAndAlignedBySize) {
  // The size, and whether the block is 2 MiB aligned.
  const std::pair<std::size_t, bool> cases[] = {
      {16, false}, {2 * MiB - 16, false}, {2 * MiB, true}, {2 * MiB + 16, true}, {5 * MiB + 16, true}};
  for (const auto& [bytes, hugeAligned] : cases) {
    // Dirty memory handed back first, so that a reused block would show if it were not cleared.
    void* dirty = AllocateLargeTable(bytes);
    ASSERT_NE(dirty, nullptr) << bytes;
    std::memset(dirty, 0xA5, bytes);
    std::free(dirty);
    auto* memory = static_cast<unsigned char*>(AllocateLargeTable(bytes));
    ASSERT_NE(memory, nullptr) << bytes;
    EXPECT_EQ(std::count(memory, memory + bytes, 0), std::ptrdiff_t(bytes)) << bytes;
    EXPECT_TRUE(!hugeAligned || reinterpret_cast<std::uintptr_t>(memory) % (2 * MiB) == 0) << bytes;
    memory[bytes - 1] = 1;  // the last byte belongs to the table
    std::free(memory);
  }
  EXPECT_EQ(AllocateLargeTable(SIZE_MAX), nullptr);  // impossible sizes are refused
  EXPECT_EQ(AllocateLargeTable(SIZE_MAX - MiB), nullptr);
}

}  // namespace
