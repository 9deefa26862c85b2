// Position learning: the learning file and its exchange with the transposition
// table. The positions in which the search changed its mind sharply are pinned
// into the table (LearnFromSearch, search/search.h); here they are collected
// into the learning file and read back whenever a table is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/types.h"
#include "search/tt.h"

// ---- The learning file, in the working directory. Little-endian: the magic
// word, then at most LearnMaxRecords records of 16 bytes.
constexpr const char* LearnFileName = "Corvid11.2SP.lrn";
constexpr uint32_t LearnMagic = 0x4A85F354;
constexpr int LearnMagicBytes = 4;
constexpr int LearnRecordBytes = 16;
constexpr int LearnMaxRecords = 4096;
constexpr uint16_t LearnSideBit = 0x4000;   // flags word: 0 White's table, 1 Black's

struct LearnRecord {
  uint64_t key;     // position key (low word at offset 0, high word at 4)
  Move move;        // the best move
  int16_t score;    // internal units; a mate score relative to its node
  uint16_t age;     // learning age: game ply - draft + 64 (+ 144 from a FEN); the entry's move-depth word
  uint16_t flags;   // the entry's flags: age, mate, bound, draft (bits 8-13), LearnSideBit, EntryPinned
};
void EncodeLearnRecord(const LearnRecord& r, uint8_t* bytes);   // 16 bytes
LearnRecord DecodeLearnRecord(const uint8_t* bytes);
inline int LearnSide(const LearnRecord& r) { return (r.flags & LearnSideBit) ? Black : White; }
inline int LearnDraft(const LearnRecord& r) { return (r.flags & EntryDepthMask) >> EntryDepthShift; }

// ---- Learning state (LearnDirty, the table holding unsaved learned positions, is the search's)
extern int LearnCount;   // records read or collected by the last load or save
// The learning buffer: the file's records while it is merged and written; the engine's 64 KB work buffer.
extern uint8_t LearnBuffer[LearnMaxRecords * LearnRecordBytes];

// ---- Operations
// Reads the learning file into the table as pinned entries, each in the table
// of its side; a missing file or a wrong magic loads nothing. Runs after every
// table allocation while Position Learning is on and when it is switched on.
// Clears LearnDirty.
void LoadLearning();
// Merges the table's pinned entries into the file's records and writes the file
// (when it has any record). The file is replaced as a whole: a failed or
// interrupted write leaves the old file. Clears LearnDirty.
void SaveLearning();
// Adds one pinned entry of `side`'s table to the learning buffer: in place of the
// record of the same position and side, else appended, else (4096 records) in
// place of the record with the largest learning age among those not younger
// than the entry; when every record is younger the entry is dropped.
void MergeLearnedEntry(int side, const TableEntry& entry);
// At shut-down: saves when Position Learning is on and something is unsaved.
void FinishLearning();

// ---- Test hook: the learning file is written through this (std::fwrite when null).
using LearnWriteFunction = std::size_t (*)(const void* data, std::size_t bytes, FILE* stream);
extern LearnWriteFunction LearnWriteHook;
