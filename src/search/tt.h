// Transposition table: search results by position, one table per side to move
// (the position key has no side-to-move component). Operations work on the
// key of the global board, Pos.key; with no table allocated every operation
// does nothing and every probe misses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

// ---- EntryFlags: the low 16 bits of an entry's data word
constexpr uint16_t EntryAgeMask = 0x0007;     // 1..7; 0 only in empty and pinned entries
constexpr uint16_t EntryMateScore = 0x0010;   // the score is a mate score stored relative to the node
constexpr uint16_t EntryMateThreat = 0x0020;  // mate threat or single reply at this node
constexpr uint16_t BoundUpper = 0x0040;
constexpr uint16_t BoundLower = 0x0080;
constexpr uint16_t BoundExact = 0x00C0;
constexpr uint16_t BoundMask = 0x00C0;
constexpr int EntryDepthShift = 8;            // bits 8-13: stored depth 0..63
constexpr uint16_t EntryDepthMask = 0x3F00;
constexpr uint16_t EntryPinned = 0x8000;      // learned entry: survives soft clears and replacement
constexpr uint16_t ProbeFlagsMask = 0x80FF;   // what a probe returns of the flags

constexpr uint32_t EntriesTouchedAtSearchStart = 31;
constexpr int MateDepthUnknown = 62;          // stored depth read for a mate score before a mate was seen

// ---- Table state
extern uint8_t CurrentAge;          // 1..7, one step per search
extern uint32_t EntriesTouched;     // entries written or refreshed in the current age (hashfull)
extern long TableSizeKB;            // main table plus evaluation cache; 0 = no table
extern long MainTableKB;            // both side tables together
extern uint32_t EntryCount;         // entries per side table
extern uint32_t IndexMask;          // applied to the key's high word; bucket aligned
extern uint32_t IndexFold;          // subtracted from an index at or beyond EntryCount

inline bool TableExists() { return TableSizeKB != 0; }

// One entry: word0 = key XOR word1; word1 holds the data: bits 0-15 EntryFlags,
// 16-31 score + EntryScoreBias, 32-47 move, 48-63 move depth (or pin value).
struct TableEntry {
  uint64_t word0;
  uint64_t word1;
};
constexpr int EntryScoreBias = 16384;

// ---- What a probe found
struct TableHit {
  uint16_t flags;   // EntryFlags AND ProbeFlagsMask; 0 = miss
  int score;        // mate scores converted to the probing ply
  int depth;        // stored depth
  Move move;        // pseudo-legal in the probed position, or 0
};

// ---- Operations
// Re-creates the tables for `kilobytes` (main table plus evaluation cache),
// settling on a smaller size when memory is short; returns the KB obtained
// (0 = no table). A request equal to TableSizeKB changes nothing.
long ResizeTable(long kilobytes);
// While a table exists, MakeMove's MoveKeyHook starts loading the bucket and the evaluation
// cache entry of the new position, so that the next node's probes do not wait for memory.
// Runs after every allocation of a fresh table while Position Learning is on: the shell installs
// the loader of the learned positions here.
extern void (*TableAllocatedHook)();

// hard != 0 empties every entry; a soft clear keeps pinned entries. Both reset
// the killers and the evaluation cache.
void ClearTable(int hard);

// Stores for `side` at Pos.key. `flags` carry age | bound | EntryMateThreat |
// EntryPinned as needed; the store adds the depth and the mate mark. `pinValue`
// is kept in place of the move depth when the entry is pinned.
void StoreEntry(int side, uint16_t flags, int score, int pinValue, int depth, int ply, Move move);

// The interior search's probe: a stored move that is not pseudo-legal for
// `side` discards the whole entry. Mate entries read as depth
// MateDepthUnknown until the search has seen a mate (RootResultFlags 0x2).
// Returns hit->flags.
int ProbeEntry(int side, int ply, TableHit* hit);

// The root's probe: the same, with the results in the out parameters; a miss
// gives move 0. Returns EntryFlags AND ProbeFlagsMask, 0 = miss.
int ProbeRootEntry(int side, int* score, int* depth, int ply, Move* move);

// The EntryCount entries of a side's table (null without a table), for the
// learning code that collects the pinned entries.
const TableEntry* TableEntries(int side);

void NewSearchAge();                // CurrentAge: 1 after 7, else + 1
int HashFull();                     // per mille of entries touched in this age

// ---- Test hook: every table allocation goes through this (zero-filled
// memory, nullptr on failure; released with std::free). Null = AllocateLargeTable.
using TableAllocFunction = void* (*)(std::size_t bytes);
extern TableAllocFunction TableAllocHook;
