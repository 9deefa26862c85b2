// Shared helpers of the board tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"

void BoardReady();  // builds the static tables and the settings once, then sets up the start position
// A test that starts from BoardReady().
class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }
};
bool SetFen(const std::string& fen);  // sets up a FEN as the game position (true when accepted)
std::string Text(Move m);             // coordinate text
inline int SquareOf(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }  // "e4" -> 28
// The legal moves of the side to move, generated into the list of `ply` (evasions when in check).
std::vector<Move> LegalMoves(int ply);
// Parses a coordinate or SAN move for the game side, completes it and plays it into the game.
bool Play(const std::string& text);
// The non-empty lines of a file of the test data (tests/data).
std::vector<std::string> ReadLines(const std::string& name);
