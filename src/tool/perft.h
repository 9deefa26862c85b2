// Perft: leaf counts of the legal move tree, for checking the move generator and make/unmake.
#pragma once

#include <cstdint>

uint64_t Perft(int depth, int ply = 0);
// Sets up a FEN for perft; Shredder-style castling letters select the Chess960 castling mode.
bool SetupPerftPosition(const char* fen);
