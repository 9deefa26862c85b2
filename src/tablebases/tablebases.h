// Endgame tablebases: the Nalimov tables of three to five men found in the directories of
// NalimovPath, a cache of decoded blocks, and the probe the evaluation calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/position.h"

// The largest number of men (kings included) of a table found: 3 to 5, 0 when none.
extern int tbMaxPieces;
// Successful probes; the search resets the count when it starts.
extern uint32_t TablebaseHits;

// Takes over the path (directories separated by "," or ";"; empty: the working directory) and
// the cache size in bytes. With `rescan` the directories are searched again; then the block
// cache is re-created (halving its size down to 1 MB when memory is short) and every material
// configuration is enabled again. Returns 1, or 0 when no cache could be had: probing is then
// off. A damaged table file ends the engine through the fatal-error routine.
int InitTablebases(int rescan, const char* path, long cacheBytes);
// Registers the files of the current path; returns the largest number of men found.
int ScanTablebases();
// The number of files registered by the last scan.
int TablebaseFileCount();

// Looks the position up with `side` to move: 1 with the result, 0 when the tables cannot
// answer. result 0: draw; n > 0: the side to move mates in n moves; n < 0: it is mated in -n
// moves; TablebaseMatedNow: it is checkmated on the board. A file that cannot be read turns
// its material configuration off until the next scan.
int ProbeTablebase(const Position& p, int side, int* result);
constexpr int TablebaseMatedNow = -32768;

// For tests: the allocator of the block cache, and the size of the cache allocated (0 none).
extern void* (*TablebaseAllocate)(size_t bytes);
long TablebaseCacheBytes();
