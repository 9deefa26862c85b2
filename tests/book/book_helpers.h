// Small books written by the tests, records named by the line that leads to them and the book move.
#pragma once

#include <string>
#include <vector>

#include "book/book.h"
#include "shell/engine_process.h"

struct TestBookMove {
  std::string line;  // moves from the start position, blank-separated ("" = the start)
  std::string move;  // the book move, coordinate text
  int staticWeight;
  int learned;
  // XORed into the info word: BookWonMark, BookLostMark, or 1 << BookCheckShift (another position's record).
  uint16_t marks = 0;
};

// The start position with the default settings, no strength limit, AutoSave PGN on, no game record or autosave file.
void BookTestReady();
// Sets up the start position (or a FEN) and plays `line` into the game (false when a move fails).
bool PlayLine(const std::string& line, const std::string& fen = "");
// Writes the records sorted by key and opens the book; the game is left at the start position.
void WriteTestBook(const std::string& path, const std::vector<TestBookMove>& moves);
// The record of `move` after `line` in a book file (bookKey 0 when there is none).
BookRecord RecordIn(const std::string& path, const std::string& line, const std::string& move);
std::string BookHeader(uint32_t count);  // the little-endian record count that opens a book file
