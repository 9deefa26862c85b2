// The transposition table: allocation fall-back, replacement, mate scores across plies, pinned entries.
#include "search/tt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>
#include <utility>

#include "board/board_helpers.h"
#include "core/settings.h"
#include "search/root.h"
#include "search/search_state.h"
#include "shell/engine.h"

namespace {

std::size_t AllocLimit;
void* LimitedAlloc(std::size_t bytes) { return bytes > AllocLimit ? nullptr : std::calloc(bytes, 1); }

const Move E2E4 = MakeMoveWord(12, 28), G1F3 = MakeMoveWord(6, 21), E7E5 = MakeMoveWord(52, 36);
const Move E2E5 = MakeMoveWord(12, 36);  // not a move in the start position

// Keys with the same high word share a bucket.
void SetKey(uint32_t high, uint32_t low) { Pos.key = (uint64_t(high) << 32) | low; }

void Store(uint32_t high, uint32_t low, uint16_t flags, int depth, int score = 0, Move move = 0, int pin = 0,
           int side = White) {
  SetKey(high, low);
  StoreEntry(side, flags, score, pin, depth, 1, move);
}

// Probes as a search that has seen a mate, unless told otherwise.
TableHit Probe(int side = White, int ply = 1, bool mateSeen = true) {
  RootResultFlags = mateSeen ? ResultMateSeen : 0;
  TableHit hit;
  ProbeEntry(side, ply, &hit);
  return hit;
}

// What a hit holds: flags, score, depth, move.
std::tuple<int, int, int, int> Fields(const TableHit& hit) { return {hit.flags, hit.score, hit.depth, hit.move}; }

// What a root probe finds: its result and move.
std::pair<int, Move> RootEntry(int side) {
  int score = 0, depth = 0;
  Move move = 1;
  return {ProbeRootEntry(side, &score, &depth, 1, &move), move};
}

bool Present(uint32_t high, uint32_t low, int side = White) {
  SetKey(high, low);
  return Probe(side).flags != 0;
}

class Table : public ::testing::Test {
 protected:
  // Other suites find the table and the option as they were.
  static void SetUpTestSuite() {
    sizeBefore_ = TableSizeKB;
    optionBefore_ = Options.hashSizeKB;
  }
  static void TearDownTestSuite() {
    TableAllocHook = nullptr;
    ResizeTable(sizeBefore_);
    Options.hashSizeKB = optionBefore_;
  }
  void SetUp() override {
    BoardReady();  // start position, White to move
    TableAllocHook = nullptr;
    ResizeTable(0);
    ASSERT_EQ(ResizeTable(16384), 16384);
    CurrentAge = 1;
    EntriesTouched = EntriesTouchedAtSearchStart;
    SearchFlags = SettingsFlags;
  }
  void TearDown() override {
    TableAllocHook = nullptr;
    RootResultFlags = 0;
    Pos.key = 0;
  }
  void RetainHash(bool on) { SearchFlags = on ? SearchFlags | FlagRetainHash : SearchFlags & ~FlagRetainHash; }
  uint16_t Age() const { return CurrentAge; }

  static inline long sizeBefore_, optionBefore_;
};

}  // namespace

TEST_F(Table, FailedAllocationFallsBackToASizeThatFits) {
  // The largest block granted, the size asked for and the size obtained (KB).
  const std::tuple<std::size_t, long, long> cases[] = {{2 << 20, 16384, 8192}, {256 << 10, 3072, 1024}, {0, 16384, 0}};
  TableAllocHook = LimitedAlloc;
  for (const auto& [limit, request, obtained] : cases) {
    AllocLimit = limit;
    ResizeTable(0);
    EXPECT_EQ(ResizeTable(request), obtained) << request;
    EXPECT_EQ(Options.hashSizeKB, obtained) << request;
    // The smaller table works; without one every operation is skipped.
    Store(0xABCDEF01, 5, Age() | BoundLower, 7, -42, E7E5, 0, Black);
    const TableHit hit = Probe(Black);
    EXPECT_EQ(hit.flags, obtained ? Age() | BoundLower : 0) << request;
    EXPECT_EQ(hit.move, obtained ? E7E5 : 0) << request;
  }
  EXPECT_FALSE(TableExists());
  EXPECT_EQ(RootEntry(Black), std::pair(0, Move(0)));
  ClearTable(0);
  ClearTable(1);
  EXPECT_EQ(HashFull(), 0);
  // The shell carries on: ucinewgame soft-clears nothing and answers.
  const int uciStarted = UciStarted;
  UciStarted = 2;
  EXPECT_EQ(DispatchCommand("ucinewgame"), 1);
  UciStarted = uciStarted;
  NewGameFlag = false;
  // Once memory is back, a new size gets a table.
  TableAllocHook = nullptr;
  EXPECT_EQ(ResizeTable(1024), 1024);
  Store(3, 3, Age() | BoundExact, 3, 10, E2E4);
  EXPECT_EQ(Probe().move, E2E4);
}

// Two stores at one key, and what a probe finds: the deeper result wins, an exact one at equal depth.
TEST_F(Table, TheDeeperStoreWinsAndAStoreWithoutMoveKeepsTheMove) {
  using Stored = std::tuple<uint16_t, int, int, Move>;  // bound, score, depth, move
  const std::tuple<Stored, Stored, Stored> cases[] = {  // first store, second store, found
      {{BoundExact, 100, 8, E2E4}, {BoundLower, -50, 4, G1F3}, {BoundExact, 100, 8, E2E4}},
      {{BoundExact, 100, 8, E2E4}, {BoundLower, -50, 9, G1F3}, {BoundLower, -50, 9, G1F3}},
      {{BoundLower, 30, 5, E2E4}, {BoundExact, 40, 6, 0}, {BoundExact, 40, 6, E2E4}},
      {{BoundLower, 60, 6, E2E4}, {BoundExact, 20, 6, E2E4}, {BoundExact, 20, 6, E2E4}},
  };
  uint32_t low = 0;
  for (const auto& [first, second, found] : cases) {
    ++low;
    for (const auto& [bound, score, depth, move] : {first, second}) Store(20, low, Age() | bound, depth, score, move);
    const auto& [bound, score, depth, move] = found;
    EXPECT_EQ(Fields(Probe()), std::tuple(Age() | bound, score, depth, move)) << low;
    EXPECT_EQ(Probe(Black).flags, 0) << low;  // the side tables are separate
  }
  // A stored move that is not pseudo-legal makes the probe miss.
  Store(23, 1, Age() | BoundExact, 3, 10, E2E5);
  EXPECT_EQ(Probe().flags, 0);
  EXPECT_EQ(RootEntry(White), std::pair(0, Move(0)));
}

TEST_F(Table, MateScoresAreKeptRelativeToTheNode) {
  // Mate in 3 from a node at ply p: the mated side moves at ply p + 5.
  auto mateIn3 = [](int ply) { return MateValue + 1 - (ply + 5); };
  SetKey(30, 1);
  StoreEntry(White, Age() | BoundExact, mateIn3(5), 0, 6, 5, E2E4);
  const TableHit hit = Probe(White, 7, true);
  EXPECT_EQ(std::tuple(hit.score, hit.flags & EntryMateScore, hit.depth), std::tuple(mateIn3(7), EntryMateScore, 6));
  SetKey(30, 2);  // the losing side's view
  StoreEntry(White, Age() | BoundExact, -mateIn3(5), 0, 6, 5, E2E4);
  EXPECT_EQ(Probe(White, 7, true).score, -mateIn3(7));
  // A mate score reads as depth 62 until the search has seen a mate.
  Store(31, 1, Age() | BoundLower, 4, MateValue - 9, E2E4);
  EXPECT_EQ(Probe(White, 1, false).depth, MateDepthUnknown);
  EXPECT_EQ(Probe(White, 1, true).depth, 4);
}

TEST_F(Table, PinnedEntriesSurviveSoftClearsAndReplacement) {
  Store(50, 1, Age() | BoundExact, 5, 10, E2E4);
  Store(50, 2, EntryPinned | BoundUpper, 5, -30, E7E5, 70, Black);
  ClearTable(0);
  EXPECT_FALSE(Present(50, 1));
  SetKey(50, 2);
  EXPECT_EQ(Probe(Black).score, -30);
  ClearTable(1);
  EXPECT_EQ(Probe(Black).flags, 0);

  // No victims while another entry is in the bucket.
  for (uint32_t low = 1; low <= 3; ++low) Store(51, low, EntryPinned | BoundUpper, 0, 0, 0, 64);
  Store(51, 4, Age() | BoundExact, 40);
  for (uint32_t low = 5; low <= 7; ++low) Store(51, low, Age() | BoundExact, 1);
  EXPECT_TRUE(Present(51, 1) && Present(51, 2) && Present(51, 3));
  EXPECT_FALSE(Present(51, 4) || Present(51, 5) || Present(51, 6));
  EXPECT_TRUE(Present(51, 7));

  // A pinned entry keeps its move, score and flags against deeper stores, in later searches too.
  Store(52, 1, EntryPinned | BoundLower, 4, 77, E2E4, 90);
  Store(52, 1, Age() | BoundExact, 30, -5, G1F3);
  NewSearchAge();
  RetainHash(false);
  EXPECT_EQ(Fields(Probe()), std::tuple(EntryPinned | BoundLower, 77, 4, E2E4));

  // The search re-storing a pinned node (its age, no move) keeps the learned move and learning age.
  Store(53, 1, EntryPinned | BoundUpper, 6, 12, G1F3, 90);
  Store(53, 1, Age() | EntryPinned | BoundExact, 8, 0, 0);
  SetKey(53, 1);
  EXPECT_EQ(Probe().move, G1F3);
  const TableEntry* entries = TableEntries(White);
  bool found = false;
  for (uint32_t i = 0; i < EntryCount; ++i)
    if ((entries[i].word1 >> 32 & 0xFFFF) == G1F3 && (entries[i].word1 & EntryPinned)) {
      EXPECT_EQ(entries[i].word1 >> 48, 90u);
      found = true;
    }
  EXPECT_TRUE(found);
}
