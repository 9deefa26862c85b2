// Small books written by the tests: records named by the moves that lead to
// their position and the book move in coordinate text.
#pragma once

#include <string>
#include <vector>

#include "book/book.h"

struct TestBookMove {
  std::string line;       // moves from the start position, blank-separated ("" = the start)
  std::string move;       // the book move, coordinate text
  int staticWeight;
  int learned;
  uint16_t marks = 0;     // BookWonMark, BookLostMark
};

// Builds the static tables once and sets up the start position with the default settings.
void BookTestReady();
// Sets up the start position and plays `line` into the game (false when a move fails).
bool PlayLine(const std::string& line);
// The record of one book move (the game position is left at the start position).
BookRecord MakeBookRecord(const TestBookMove& m);
// Writes the records sorted by key (the order within a key kept) and opens the book.
void WriteTestBook(const std::string& path, const std::vector<TestBookMove>& moves);
// Reads every record of a book file.
std::vector<BookRecord> ReadBookFile(const std::string& path);
// The bytes of a file.
std::string FileBytes(const std::string& path);
