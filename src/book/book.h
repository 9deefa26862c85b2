// The opening book: the book file, the probe at the root of a timed search,
// the random generator shared with the root's random term, the window of
// plies in which the book and position learning count, and book learning.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/position.h"
#include "core/settings.h"

// ---- The book file
// Little-endian: an int32 record count, then 8-byte records sorted by bookKey
// (unsigned); the records of one position are adjacent.
struct BookRecord {
  uint32_t bookKey;   // the position key's low word, bit 0 replaced: 1 White to move, 0 Black
  uint16_t bookMove;  // bits 0-11 origin and destination as in Move; bits 12-14 static weight 0..7
  uint16_t bookInfo;  // bits 0-4 learned weight 0..31, bit 5 lost, bit 6 won, bits 8-15 check byte
};
constexpr int BookHeaderBytes = 4;
constexpr int BookRecordBytes = 8;
constexpr uint16_t BookMoveMask = 0x0FFF;
constexpr int BookStaticShift = 12;
constexpr int BookStaticMax = 7;
constexpr uint16_t BookLearnedMask = 0x1F;
constexpr int BookLearnedMax = 31;
constexpr uint16_t BookLostMark = 0x20;
constexpr uint16_t BookWonMark = 0x40;
constexpr int BookCheckShift = 8;

// Book Style values (bits 5-7 of the settings word).
constexpr int BookStyleWild = 1, BookStyleWide = 2, BookStyleVaried = 3, BookStyleTournament = 4;

// The book key of a position and its check byte (bits 8-15 of the key's high word).
inline uint32_t BookKey(uint64_t positionKey, int sideToMove) {
  return (uint32_t(positionKey) & ~1u) | (sideToMove == White ? 1u : 0u);
}
inline uint8_t BookCheckByte(uint64_t positionKey) { return uint8_t(positionKey >> 40); }
inline int StaticWeight(const BookRecord& r) { return (r.bookMove >> BookStaticShift) & BookStaticMax; }
inline int LearnedWeight(const BookRecord& r) { return r.bookInfo & BookLearnedMask; }
inline uint8_t RecordCheckByte(const BookRecord& r) { return uint8_t(r.bookInfo >> BookCheckShift); }

void EncodeBookRecord(const BookRecord& r, unsigned char* bytes);  // 8 bytes, little-endian
BookRecord DecodeBookRecord(const unsigned char* bytes);

// The open book file (null when none), and the window of records read from it.
extern FILE* BookStream;
constexpr int BookWindowSize = 40;
constexpr int BookWindowBefore = 20;  // records read before the one the binary search hits
extern BookRecord BookWindow[BookWindowSize];
extern int BookWindowStart;  // file index of BookWindow[0]
extern int BookWindowEnd;    // one past the last record loaded

// Opens the book at `path` read-write, else read-only (BookStatus bit 0), else
// not at all (bit 1); reads the record count into BookPositions and switches
// OwnBook on. A book whose count cannot be read is treated as not found:
// OwnBook off, BookPositions 0. Returns 1 on success.
int OpenBook(const char* path);
void CloseBook();
// Loads up to `count` records from file index `start` into the window; returns how many.
int ReadBookRecords(int start, int count);
// Writes record `r` in place at file index `index`; 0 when the book is
// read-only or the seek or write fails.
int WriteBookRecord(int index, const BookRecord& r);
// Binary search by single-record reads. Found: 1, the window holds the
// records around it, `first` is the window slot of the position's first record
// and `index` its file index. Not found: 0, `index` the insertion point, `first` -1.
int FindBookKey(uint32_t key, int* index, int* first);
// The book's move for the root position, `side` to move, or 0. `begin`..`end`
// are the generated root moves; the chosen entry gets CheckMark when the move
// checks. `searchFlags` is the search's settings snapshot (OwnBook, Book
// Style, Book Learning). Moves LearnBase up to the game ply on a book position.
Move ProbeBook(int side, uint32_t searchFlags, MoveEntry* begin, MoveEntry* end);

// ---- The book's random generator, shared with the random root term
extern uint32_t BookSeed;
uint32_t NextBookRandom();            // advances BookSeed and returns it; callers use its low bits
void SeedBookRandom(uint32_t ticks);  // at start-up; a tick count of 0 keeps the seed

// ---- The learning window: the game ply from which book and position learning count
extern int LearnBase;          // -1 after every set-up; the book consults up to LearnBase + 8
extern uint64_t LearnBaseKey;  // the position key when LearnBase was fixed at a game's first search
constexpr int BookPliesAfterBase = 8;
void ResetLearnWindow();  // after a set-up of the board
// The position command replays the game: before playing `m`, a move that
// repeats the engine's recorded book move for the next ply moves LearnBase
// past it; after a move, reaching the position of the game's first search
// puts LearnBase back where that search fixed it.
void LearnWindowBeforeMove(Move m);
void LearnWindowAfterMove();

// ---- Book learning (at the end of a game)
// result: 0 none, 1 draw, 2 White won, 3 Black won. `newestPly` is the last
// recorded ply of the game. Adjusts the learned weights and marks of the book
// moves the engine played; nothing under a strength limit or outside the
// Tournament style.
void LearnFromGame(int engineColour, int result, int newestPly);
// Applies learning code `code` (bits 0-7 delta + 64, bits 8-15 result class:
// 1 lost, 2 won) to the book record of `move` in the position (key32,
// keyHigh); returns the delta to pass to the same side's previous book move
// (0 when the move is not in the book).
int LearnBookMove(uint32_t key32, uint32_t keyHigh, uint16_t code, Move move);
constexpr int LearnClassLost = 1, LearnClassWon = 2;
