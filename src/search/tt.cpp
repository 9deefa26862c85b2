// Transposition table: sizing with fall-back, clearing, the bucket store with
// its replacement rule, the probes, ages and hashfull.
#include "search/tt.h"

#include "search/ordering.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board/board.h"
#include "eval/eval.h"
#include "search/search_state.h"
#include "core/platform.h"
#include "core/settings.h"

namespace {

constexpr int BucketSize = 4;
constexpr int ScoreBias = EntryScoreBias;
constexpr int MaxStoredDepth = 63;
constexpr int MaxAge = 7;
constexpr int EntriesPerKBPerSide = 32;   // 16-byte entries, two side tables per KB of main table
constexpr int IndexShift = 7;             // index span P = 2^(L2 + 7), L2 = floor(log2(MainTableKB - 1))
constexpr uint64_t LowHalf = 0xFFFFFFFFull;
constexpr uint32_t RootMateSeen = 0x2;     // RootResultFlags: the search has met a mate score

TableEntry* SideTable[2];   // White's and Black's table

uint16_t FlagsOf(uint64_t data) { return uint16_t(data); }
int AgeOf(uint16_t flags) { return flags & EntryAgeMask; }
int MoveDepthOf(uint64_t data) { return int(data >> 48); }
Move MoveOf(uint64_t data) { return Move(data >> 32); }

void Write(TableEntry& e, uint64_t data) {
  e.word1 = data;
  e.word0 = Pos.key ^ data;
}

bool Matches(const TableEntry& e) { return (e.word0 ^ e.word1) == Pos.key; }

TableEntry* BucketOf(int side, uint64_t key) {
  uint32_t index = uint32_t(key >> 32) & IndexMask;
  if (index >= EntryCount) index -= IndexFold;
  return SideTable[side] + index;
}

TableEntry* Bucket(int side) { return BucketOf(side, Pos.key); }

TableEntry* FindEntry(int side) {
  TableEntry* bucket = Bucket(side);
  for (int i = 0; i < BucketSize; ++i)
    if (Matches(bucket[i])) return &bucket[i];
  return nullptr;
}

// MakeMove's MoveKeyHook while a table exists: the bucket and the evaluation cache entry of the
// position just reached start loading (a hint to the processor; nothing changes).
void PrefetchEntries(int side, uint64_t key) {
  __builtin_prefetch(BucketOf(side, key));
  PrefetchEvalCache(side, key);
}

void* Allocate(std::size_t bytes) { return TableAllocHook ? TableAllocHook(bytes) : AllocateLargeTable(bytes); }

void FreeTables() {
  for (TableEntry*& table : SideTable) {
    std::free(table);
    table = nullptr;
  }
  TableSizeKB = MainTableKB = 0;
  MoveKeyHook = nullptr;
  EntryCount = IndexMask = IndexFold = 0;
}

int FloorLog2(long value) { return value > 0 ? std::bit_width(static_cast<unsigned long>(value)) - 1 : 0; }

// The evaluation cache's share of a hash budget: half of the largest power of two not above it.
long EvalCacheShare(long kilobytes) {
  int log = FloorLog2(kilobytes);
  return log > 0 ? 1L << (log - 1) : 0;
}

// Allocates both side tables for a budget of `kilobytes`; on success sets the
// geometry and sizes the evaluation cache.
bool TryAllocate(long kilobytes) {
  const long cacheKB = EvalCacheShare(kilobytes);
  const long mainKB = kilobytes - cacheKB;
  const uint32_t entries = uint32_t(mainKB * EntriesPerKBPerSide);
  const std::size_t bytes = std::size_t(entries) * sizeof(TableEntry);
  void* white = Allocate(bytes);
  void* black = white ? Allocate(bytes) : nullptr;
  if (!white || !black) {
    std::free(white);
    return false;
  }
  SideTable[White] = static_cast<TableEntry*>(white);
  SideTable[Black] = static_cast<TableEntry*>(black);

  const int log = mainKB > 1 ? FloorLog2(mainKB - 1) : 0;
  const uint64_t span = uint64_t(1) << (log + IndexShift);
  MainTableKB = mainKB;
  EntryCount = entries;
  IndexMask = uint32_t(span / 2 - 1) & ~uint32_t(BucketSize - 1);
  IndexFold = uint32_t(span / 4);
  ResizeEvalCache(cacheKB);
  MoveKeyHook = PrefetchEntries;
  return true;
}

// The request, then the largest power of two below it P, 3P/4, P/2, 3P/8, ...
// until something fits; 0 when nothing does.
long AllocateWithFallback(long kilobytes) {
  if (TryAllocate(kilobytes)) return kilobytes;
  long last = kilobytes;
  for (long power = 1L << FloorLog2(kilobytes); power > 0; power /= 2) {
    for (long size : {power, power * 3 / 4}) {
      if (size == 0 || size == last) continue;
      last = size;
      if (TryAllocate(size)) return size;
    }
  }
  return 0;
}

}  // namespace

uint8_t CurrentAge = 1;
uint32_t EntriesTouched;
long TableSizeKB;
long MainTableKB;
uint32_t EntryCount;
uint32_t IndexMask;
uint32_t IndexFold;
TableAllocFunction TableAllocHook;

void (*TableAllocatedHook)();

long ResizeTable(long kilobytes) {
  if (kilobytes == TableSizeKB) return TableSizeKB;

  // Step 1: give back the old memory first so that the new tables can use it.
  FreeTables();
  ResizeEvalCache(0);

  // Steps 2-3: split, allocate, fall back to smaller sizes.
  const long obtained = kilobytes > 0 ? AllocateWithFallback(kilobytes) : 0;
  TableSizeKB = obtained;
  Options.hashSizeKB = obtained;
  if (!obtained) return 0;

  // Step 4: a fresh table, then the learned positions.
  ClearTable(1);
  if ((SettingsFlags & FlagPositionLearning) && TableAllocatedHook) TableAllocatedHook();
  return obtained;
}

void ClearTable(int hard) {
  if (!TableExists()) return;
  for (TableEntry* table : SideTable)
    for (uint32_t i = 0; i < EntryCount; ++i)
      if (hard || !(FlagsOf(table[i].word1) & EntryPinned)) table[i].word1 = 0;
  // Move ordering starts afresh with the table; the history tables join here with the move ordering.
  std::memset(Pos.killers, 0, sizeof Pos.killers);
  ClearHistoryTables();
  ClearEvalCache();
}

void StoreEntry(int side, uint16_t flags, int score, int pinValue, int depth, int ply, Move move) {
  if (!TableExists()) return;

  // Step 1: mate scores are kept relative to this node.
  if (score > MateThreshold) {
    score += ply - 1;
    flags |= EntryMateScore;
  } else if (score < -MateThreshold) {
    score -= ply - 1;
    flags |= EntryMateScore;
  }

  // Step 2: the stored depth within its field, and the new data word.
  depth = depth < 0 ? 0 : depth > MaxStoredDepth ? MaxStoredDepth : depth;
  const uint16_t newFlags = uint16_t(flags | (depth << EntryDepthShift));
  const uint64_t scoreAndFlags = (uint64_t(uint16_t(score + ScoreBias)) << 16) | newFlags;

  // Step 3: the position is in the bucket already.
  TableEntry* bucket = Bucket(side);
  for (int i = 0; i < BucketSize; ++i) {
    TableEntry& e = bucket[i];
    if (!Matches(e)) continue;
    uint64_t data = e.word1;
    const uint16_t oldFlags = FlagsOf(data);
    // 3.1: only a deeper search replaces the move, and never a pinned entry's. A learned
    // position that takes over the entry (a learning store: pinned, without age bits) brings
    // its own move and learning age, which the learning file keeps with it. The search's own
    // re-store of a pinned node carries an age and must leave the learned move and age alone.
    if ((newFlags & EntryPinned) && AgeOf(newFlags) == 0 && newFlags >= oldFlags)
      data = (data & LowHalf) | (uint64_t(uint16_t(pinValue)) << 48) | (uint64_t(move) << 32);
    else if (move && depth > MoveDepthOf(data) && !(oldFlags & EntryPinned))
      data = (data & LowHalf) | (uint64_t(depth) << 48) | (uint64_t(move) << 32);
    // 3.2: a better stored result keeps its score and flags (pinned, then depth, then bound).
    if (newFlags >= oldFlags) {
      // 3.3: the same position: new score and flags, the older move kept.
      if (AgeOf(oldFlags) != CurrentAge) ++EntriesTouched;
      data = (data & ~LowHalf) | scoreAndFlags;
    }
    Write(e, data);
    return;
  }

  // Step 4: the victim is the first stale entry (not of this age, not pinned)
  // or a staler one with smaller flags; without any, the entry with the smallest flags.
  int victim = 0;
  uint16_t victimFlags = 0xFFFF;
  bool staleSeen = false;
  for (int i = 0; i < BucketSize; ++i) {
    const uint16_t f = FlagsOf(bucket[i].word1);
    const bool stale = AgeOf(f) != CurrentAge && !(f & EntryPinned);
    if (stale && !staleSeen) {
      staleSeen = true;
      victim = i;
      victimFlags = f;
    } else if ((stale || !staleSeen) && f < victimFlags) {
      victim = i;
      victimFlags = f;
    }
  }
  if (AgeOf(victimFlags) != CurrentAge) ++EntriesTouched;

  // Step 5: write the entry (a pinned entry keeps its learning age in the depth word).
  const int moveDepth = (newFlags & EntryPinned) ? pinValue : move ? depth : 0;
  Write(bucket[victim], (uint64_t(uint16_t(moveDepth)) << 48) | (uint64_t(move) << 32) | scoreAndFlags);
}

int ProbeEntry(int side, int ply, TableHit* hit) {
  hit->flags = 0;
  hit->move = 0;
  if (!TableExists()) return 0;

  // Step 1: the matching entry, if it holds anything.
  TableEntry* e = FindEntry(side);
  if (!e) return 0;
  uint64_t data = e->word1;
  uint16_t flags = FlagsOf(data);
  if (!flags) return 0;

  // Step 2: this search's entries, learned ones, and older ones when the table is retained (but not mates).
  const bool retain = (SearchFlags & FlagRetainHash) != 0;
  if (AgeOf(flags) != CurrentAge && !(flags & EntryPinned) && !(retain && !(flags & EntryMateScore))) return 0;

  // Step 3: a key collision must not bring in an impossible move.
  Move move = MoveOf(data);
  if (move && !IsPseudoLegal(side, &move)) return 0;

  // Step 4: unpack depth and score.
  int depth = (flags & EntryDepthMask) >> EntryDepthShift;
  int score = int((data >> 16) & 0xFFFF) - ScoreBias;

  // Step 5: an older entry in use belongs to this search from now on.
  if (AgeOf(flags) != CurrentAge && !(flags & EntryPinned)) {
    flags = uint16_t((flags & ~EntryAgeMask) | CurrentAge);
    Write(*e, (data & ~uint64_t(0xFFFF)) | flags);
    ++EntriesTouched;
  }

  // Step 6: mate scores back to the probing ply.
  if (score < -MateThreshold || score > MateThreshold) {
    score += score < 0 ? ply - 1 : 1 - ply;
    if (!(RootResultFlags & RootMateSeen)) depth = MateDepthUnknown;
  }

  // Step 7: hand the entry over.
  hit->flags = flags & ProbeFlagsMask;
  hit->score = score;
  hit->depth = depth;
  hit->move = move;
  return hit->flags;
}

int ProbeRootEntry(int side, int* score, int* depth, int ply, Move* move) {
  TableHit hit;
  ProbeEntry(side, ply, &hit);
  *move = hit.move;
  if (!hit.flags) return 0;
  *score = hit.score;
  *depth = hit.depth;
  return hit.flags;
}

const TableEntry* TableEntries(int side) { return SideTable[side & 1]; }

void NewSearchAge() { CurrentAge = CurrentAge >= MaxAge ? 1 : CurrentAge + 1; }

int HashFull() {
  if (MainTableKB == 0) return 0;
  return int(uint64_t(EntriesTouched) * 1000 / (uint64_t(MainTableKB) * 2 * EntriesPerKBPerSide));
}
