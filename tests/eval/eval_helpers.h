// Shared helpers of the evaluation tests.
#pragma once

#include <string>
#include <vector>

// The position with the board turned over and the colours exchanged (ranks mirrored, pieces and
// castling letters swapped, the other side to move, the en-passant rank mirrored).
std::string MirrorFen(const std::string& fen);
// The first four FEN fields of every line of a test data file (tests/data), with "0 1" added.
std::vector<std::string> DataPositions(const std::string& file);
// Square index of a name such as "e4".
int SquareOf(const char* name);
