// The transposition table: sizing and the evaluation cache's share, the
// allocation fall-back, the replacement rule, mate scores across plies, ages
// with Retain Hash, pinned entries and hashfull.
#include "search/tt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "board/board.h"
#include "board/board_helpers.h"
#include "search/search_state.h"
#include "shell/engine.h"
#include "core/settings.h"

namespace {

// Test allocator: records every request and refuses those above a limit.
std::size_t AllocLimit;
std::vector<std::size_t> AllocRequests;

void* LimitedAlloc(std::size_t bytes) {
  AllocRequests.push_back(bytes);
  return bytes > AllocLimit ? nullptr : std::calloc(bytes, 1);
}

void LimitAllocations(std::size_t limit) {
  AllocLimit = limit;
  AllocRequests.clear();
  TableAllocHook = LimitedAlloc;
}

constexpr std::size_t KB = 1024;
constexpr std::size_t BytesPerMainKB = 512;   // one side table's bytes per KB of main table

const Move E2E4 = MakeMoveWord(12, 28);
const Move G1F3 = MakeMoveWord(6, 21);
const Move E2E5 = MakeMoveWord(12, 36);   // not a move in the start position
const Move E7E5 = MakeMoveWord(52, 36);

// Keys with the same high word share a bucket.
void SetKey(uint32_t high, uint32_t low) { Pos.key = (uint64_t(high) << 32) | low; }

// Probes as a search that has seen a mate, unless told otherwise.
TableHit Probe(int side = White, int ply = 1, bool mateSeen = true) {
  RootResultFlags = mateSeen ? 0x2 : 0;
  TableHit hit;
  ProbeEntry(side, ply, &hit);
  return hit;
}

bool Present(uint32_t high, uint32_t low) {
  SetKey(high, low);
  return Probe().flags != 0;
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
    BoardReady();   // start position, White to move
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
  void RetainHash(bool on) {
    SearchFlags = on ? SearchFlags | FlagRetainHash : SearchFlags & ~FlagRetainHash;
  }
  uint16_t Age() const { return CurrentAge; }

  static inline long sizeBefore_, optionBefore_;
};

}  // namespace

// ---------------------------------------------------------------- sizing

TEST_F(Table, Hash16SplitsIntoMainTableAndEvalCache) {
  EXPECT_EQ(TableSizeKB, 16384);
  EXPECT_EQ(MainTableKB, 8192);
  EXPECT_EQ(EntryCount, 262144u);
  EXPECT_EQ(IndexMask, 262140u);
  EXPECT_EQ(IndexFold, 131072u);
  EXPECT_EQ(TableSizeKB - MainTableKB, 8192);   // the evaluation cache's share
  EXPECT_EQ(Options.hashSizeKB / 1024, 16);
}

TEST_F(Table, Hash1GivesHalfAMegabyteOfMainTable) {
  ASSERT_EQ(ResizeTable(1024), 1024);
  EXPECT_EQ(MainTableKB, 512);
  EXPECT_EQ(EntryCount, 16384u);
  EXPECT_EQ(IndexMask, 16380u);
  EXPECT_EQ(IndexFold, 8192u);
  EXPECT_EQ(TableSizeKB - MainTableKB, 512);
  EXPECT_EQ(Options.hashSizeKB, 1024);
}

TEST_F(Table, OddSizeGivesTheRestToTheMainTableAndFoldsHighIndexes) {
  // 5 MB: the cache takes half of 4096 KB, the main table the other 3072 KB.
  ASSERT_EQ(ResizeTable(5 * 1024), 5 * 1024);
  EXPECT_EQ(MainTableKB, 3072);
  EXPECT_EQ(EntryCount, 98304u);
  EXPECT_EQ(IndexMask, 131068u);
  EXPECT_EQ(IndexFold, 65536u);
  EXPECT_EQ(TableSizeKB - MainTableKB, 2048);
  // High words whose masked index lies beyond the table are folded back into it.
  const uint32_t highs[] = {0xFFFFFFFF, 131068, 98304, 98303, 65536, 0};
  for (uint32_t high : highs) {
    SetKey(high, 7);
    StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E4);
  }
  for (uint32_t high : highs) EXPECT_TRUE(Present(high, 7)) << high;
}

TEST_F(Table, ResizingToTheSameSizeKeepsTheEntries) {
  SetKey(1, 1);
  StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E4);
  EXPECT_EQ(ResizeTable(16384), 16384);
  EXPECT_TRUE(Present(1, 1));
}

TEST_F(Table, ResizingEmptiesEvenPinnedEntries) {
  SetKey(1, 1);
  StoreEntry(White, EntryPinned | BoundExact, 10, 70, 3, 1, E2E4);
  ASSERT_EQ(ResizeTable(1024), 1024);
  EXPECT_FALSE(Present(1, 1));
}

// ---------------------------------------------------------------- allocation fall-back

TEST_F(Table, FailedAllocationFallsBackToASizeThatFits) {
  // Side tables above 2 MB are refused: 16384 KB and 12288 KB (8192 KB of main
  // table each) fail, 8192 KB (4096 KB of main table) fits.
  LimitAllocations(2048 * KB);
  ResizeTable(0);
  EXPECT_EQ(ResizeTable(16384), 8192);
  const std::vector<std::size_t> expected = {4096 * KB, 4096 * KB, 2048 * KB, 2048 * KB};
  EXPECT_EQ(AllocRequests, expected);
  EXPECT_EQ(TableSizeKB, 8192);
  EXPECT_EQ(MainTableKB, 4096);
  EXPECT_EQ(EntryCount, 131072u);
  EXPECT_EQ(TableSizeKB - MainTableKB, 4096);
  EXPECT_EQ(Options.hashSizeKB, 8192);

  // The smaller table works.
  SetKey(0xABCDEF01, 5);
  StoreEntry(Black, Age() | BoundLower, -42, 0, 7, 1, E7E5);
  const TableHit hit = Probe(Black);
  EXPECT_EQ(hit.flags, Age() | BoundLower);
  EXPECT_EQ(hit.score, -42);
  EXPECT_EQ(hit.move, E7E5);
}

TEST_F(Table, FallBackTakesAQuarterOffThenHalvesInTurn) {
  // 3 MB: the power of two below it (2048 KB), then 1536 KB, then 1024 KB fits.
  LimitAllocations(256 * KB);
  ResizeTable(0);
  EXPECT_EQ(ResizeTable(3072), 1024);
  // Main tables of 2048, 1024, 1024 and 512 KB (the last one for both sides).
  const std::vector<std::size_t> expected = {2048 * BytesPerMainKB, 1024 * BytesPerMainKB, 1024 * BytesPerMainKB,
                                             512 * BytesPerMainKB, 512 * BytesPerMainKB};
  EXPECT_EQ(AllocRequests, expected);
}

TEST_F(Table, NoMemoryAtAllLeavesNoTableAndAWorkingEngine) {
  LimitAllocations(0);
  ResizeTable(0);
  EXPECT_EQ(ResizeTable(16384), 0);
  // Every size down to 1 KB was tried, each once: main tables of
  // 8192, 8192, 4096, 4096, ..., 2, 2, 1, 1 KB.
  std::vector<std::size_t> expected;
  for (std::size_t main = 8192; main >= 1; main /= 2) expected.insert(expected.end(), 2, main * BytesPerMainKB);
  EXPECT_EQ(AllocRequests, expected);
  EXPECT_EQ(TableSizeKB, 0);
  EXPECT_EQ(Options.hashSizeKB, 0);
  EXPECT_FALSE(TableExists());

  // Every table operation is skipped.
  SetKey(3, 3);
  StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E4);
  EXPECT_EQ(Probe().flags, 0);
  int score = 0, depth = 0;
  Move move = 1;
  EXPECT_EQ(ProbeRootEntry(White, &score, &depth, 1, &move), 0);
  EXPECT_EQ(move, 0);
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
  SetKey(3, 3);
  StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E4);
  EXPECT_EQ(Probe().move, E2E4);
}

// ---------------------------------------------------------------- store and replacement

TEST_F(Table, TheSideTablesAreSeparate) {
  SetKey(9, 9);
  StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E4);
  EXPECT_EQ(Probe(Black).flags, 0);
  EXPECT_EQ(Probe(White).flags, Age() | BoundExact);
}

TEST_F(Table, AShallowerStoreKeepsTheDeeperScoreAndMove) {
  SetKey(20, 1);
  StoreEntry(White, Age() | BoundExact, 100, 0, 8, 1, E2E4);
  StoreEntry(White, Age() | BoundLower, -50, 0, 4, 1, G1F3);
  TableHit hit = Probe();
  EXPECT_EQ(hit.flags, Age() | BoundExact);
  EXPECT_EQ(hit.depth, 8);
  EXPECT_EQ(hit.score, 100);
  EXPECT_EQ(hit.move, E2E4);

  // A deeper store replaces both.
  StoreEntry(White, Age() | BoundLower, -50, 0, 9, 1, G1F3);
  hit = Probe();
  EXPECT_EQ(hit.depth, 9);
  EXPECT_EQ(hit.score, -50);
  EXPECT_EQ(hit.move, G1F3);
}

TEST_F(Table, AStoreWithoutMoveKeepsTheStoredMove) {
  SetKey(20, 2);
  StoreEntry(White, Age() | BoundLower, 30, 0, 5, 1, E2E4);
  StoreEntry(White, Age() | BoundExact, 40, 0, 6, 1, 0);
  const TableHit hit = Probe();
  EXPECT_EQ(hit.score, 40);
  EXPECT_EQ(hit.move, E2E4);
}

TEST_F(Table, ExactReplacesLowerBoundAtEqualDepthButNotTheOtherWayRound) {
  SetKey(21, 1);
  StoreEntry(White, Age() | BoundLower, 60, 0, 6, 1, E2E4);
  StoreEntry(White, Age() | BoundExact, 20, 0, 6, 1, E2E4);
  TableHit hit = Probe();
  EXPECT_EQ(hit.flags & BoundMask, BoundExact);
  EXPECT_EQ(hit.score, 20);

  StoreEntry(White, Age() | BoundLower, 90, 0, 6, 1, E2E4);
  hit = Probe();
  EXPECT_EQ(hit.flags & BoundMask, BoundExact);
  EXPECT_EQ(hit.score, 20);
}

TEST_F(Table, AFullBucketLosesItsShallowestEntry) {
  for (uint32_t low = 1; low <= 4; ++low) {
    SetKey(22, low);
    StoreEntry(White, Age() | BoundExact, 0, 0, low == 3 ? 1 : 10, 1, 0);
  }
  SetKey(22, 5);
  StoreEntry(White, Age() | BoundExact, 0, 0, 10, 1, 0);
  EXPECT_TRUE(Present(22, 5));
  EXPECT_FALSE(Present(22, 3));
  EXPECT_TRUE(Present(22, 1) && Present(22, 2) && Present(22, 4));
}

TEST_F(Table, AMoveThatIsNotPseudoLegalMakesTheProbeMiss) {
  SetKey(23, 1);
  StoreEntry(White, Age() | BoundExact, 10, 0, 3, 1, E2E5);
  EXPECT_EQ(Probe().flags, 0);
  int score = 0, depth = 0;
  Move move = 1;
  EXPECT_EQ(ProbeRootEntry(White, &score, &depth, 1, &move), 0);
  EXPECT_EQ(move, 0);
}

// ---------------------------------------------------------------- mate scores

TEST_F(Table, MateInThreeStoredAtPlyFiveReadsBackAtPlySeven) {
  // Mate in 3 from a node at ply p: the mated side moves at ply p + 5.
  auto mateIn3 = [](int ply) { return MateValue + 1 - (ply + 5); };
  SetKey(30, 1);
  StoreEntry(White, Age() | BoundExact, mateIn3(5), 0, 6, 5, E2E4);
  TableHit hit = Probe(White, 7, true);
  EXPECT_EQ(hit.score, mateIn3(7));
  EXPECT_EQ(hit.flags & EntryMateScore, EntryMateScore);
  EXPECT_EQ(hit.depth, 6);

  // The losing side's view, by the same relative rule.
  SetKey(30, 2);
  StoreEntry(White, Age() | BoundExact, -mateIn3(5), 0, 6, 5, E2E4);
  EXPECT_EQ(Probe(White, 7, true).score, -mateIn3(7));
}

TEST_F(Table, AMateScoreReadsAsDepth62UntilTheSearchHasSeenAMate) {
  SetKey(31, 1);
  StoreEntry(White, Age() | BoundLower, MateValue - 9, 0, 4, 1, E2E4);
  EXPECT_EQ(Probe(White, 1, false).depth, MateDepthUnknown);
  EXPECT_EQ(Probe(White, 1, true).depth, 4);
}

// ---------------------------------------------------------------- ages and Retain Hash

TEST_F(Table, RetainHashOffIgnoresThePreviousSearchButReplacesItFirst) {
  RetainHash(false);
  SetKey(40, 1);
  StoreEntry(White, Age() | BoundExact, 10, 0, 20, 1, E2E4);     // deep, from the previous search
  SetKey(40, 2);
  StoreEntry(White, EntryPinned | BoundLower, 5, 99, 1, 1, E2E4);  // learned
  NewSearchAge();

  EXPECT_FALSE(Present(40, 1));
  EXPECT_TRUE(Present(40, 2));

  // Two shallow entries of this search fill the bucket; the old deep entry is still the victim.
  for (uint32_t low = 3; low <= 4; ++low) {
    SetKey(40, low);
    StoreEntry(White, Age(), 0, 0, 0, 1, 0);
  }
  SetKey(40, 5);
  StoreEntry(White, Age() | BoundExact, 0, 0, 2, 1, 0);
  RetainHash(true);
  EXPECT_FALSE(Present(40, 1));
  EXPECT_TRUE(Present(40, 2) && Present(40, 3) && Present(40, 4) && Present(40, 5));
}

TEST_F(Table, RetainHashOnUsesOldEntriesButNotOldMates) {
  RetainHash(true);
  SetKey(41, 1);
  StoreEntry(White, Age() | BoundExact, 10, 0, 5, 1, E2E4);
  SetKey(41, 2);
  StoreEntry(White, Age() | BoundExact, MateValue - 3, 0, 5, 1, E2E4);
  NewSearchAge();
  EntriesTouched = EntriesTouchedAtSearchStart;

  SetKey(41, 1);
  const TableHit hit = Probe();
  EXPECT_EQ(hit.flags, Age() | BoundExact);   // refreshed to this search
  EXPECT_EQ(hit.score, 10);
  EXPECT_EQ(EntriesTouched, EntriesTouchedAtSearchStart + 1);
  Probe();
  EXPECT_EQ(EntriesTouched, EntriesTouchedAtSearchStart + 1);   // once per age

  EXPECT_FALSE(Present(41, 2));
}

TEST_F(Table, AgesCycleFromOneToSeven) {
  CurrentAge = 6;
  NewSearchAge();
  EXPECT_EQ(CurrentAge, 7);
  NewSearchAge();
  EXPECT_EQ(CurrentAge, 1);
}

// ---------------------------------------------------------------- pinned entries

TEST_F(Table, SoftClearKeepsPinnedEntriesHardClearDoesNot) {
  SetKey(50, 1);
  StoreEntry(White, Age() | BoundExact, 10, 0, 5, 1, E2E4);
  SetKey(50, 2);
  StoreEntry(Black, EntryPinned | BoundUpper, -30, 70, 5, 1, E7E5);
  ClearTable(0);
  EXPECT_FALSE(Present(50, 1));
  SetKey(50, 2);
  EXPECT_EQ(Probe(Black).score, -30);
  ClearTable(1);
  EXPECT_EQ(Probe(Black).flags, 0);
}

TEST_F(Table, PinnedEntriesAreNoVictimsWhileAnotherEntryIsInTheBucket) {
  for (uint32_t low = 1; low <= 3; ++low) {
    SetKey(51, low);
    StoreEntry(White, EntryPinned | BoundUpper, 0, 64, 0, 1, 0);
  }
  SetKey(51, 4);
  StoreEntry(White, Age() | BoundExact, 0, 0, 40, 1, 0);
  for (uint32_t low = 5; low <= 7; ++low) {
    SetKey(51, low);
    StoreEntry(White, Age() | BoundExact, 0, 0, 1, 1, 0);
  }
  EXPECT_TRUE(Present(51, 1) && Present(51, 2) && Present(51, 3));
  EXPECT_FALSE(Present(51, 4) || Present(51, 5) || Present(51, 6));
  EXPECT_TRUE(Present(51, 7));

  // A bucket of pinned entries only gives up the one with the smallest flags.
  SetKey(51, 8);
  StoreEntry(White, EntryPinned | BoundExact, 0, 64, 9, 1, 0);
  SetKey(51, 9);
  StoreEntry(White, Age(), 0, 0, 0, 1, 0);
  EXPECT_TRUE(Present(51, 9));
  EXPECT_FALSE(Present(51, 1));
  EXPECT_TRUE(Present(51, 2) && Present(51, 3) && Present(51, 8));
}

TEST_F(Table, APinnedEntryKeepsItsMoveScoreAndFlagsAgainstDeeperStores) {
  SetKey(52, 1);
  StoreEntry(White, EntryPinned | BoundLower, 77, 90, 4, 1, E2E4);
  StoreEntry(White, Age() | BoundExact, -5, 0, 30, 1, G1F3);
  NewSearchAge();
  RetainHash(false);
  const TableHit hit = Probe();   // usable in a later search, Retain Hash or not
  EXPECT_EQ(hit.flags, EntryPinned | BoundLower);
  EXPECT_EQ(hit.score, 77);
  EXPECT_EQ(hit.depth, 4);
  EXPECT_EQ(hit.move, E2E4);
}

// ---------------------------------------------------------------- hashfull

TEST_F(Table, HashFullAfterAFreshStartCountsTheStartingThirtyOne) {
  NewSearchAge();
  EntriesTouched = EntriesTouchedAtSearchStart;
  EXPECT_EQ(HashFull(), 31 * 1000 / (8192 * 64));

  ASSERT_EQ(ResizeTable(16), 16);   // 8 KB of main table: 512 entries in both side tables
  EXPECT_EQ(HashFull(), 31 * 1000 / 512);
  SetKey(60, 1);
  StoreEntry(White, Age() | BoundExact, 0, 0, 1, 1, 0);
  EXPECT_EQ(HashFull(), 32 * 1000 / 512);
}
