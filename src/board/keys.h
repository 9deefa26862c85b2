// The position key tables.
#pragma once

#include <cstdint>

extern const uint64_t pieceKey[12 * 64];
// Writable: a Chess960 set-up copies the corner keys onto the castling-rook squares.
extern uint32_t castleEpKey[64];

inline uint64_t PieceKey(int type, int colour, int sq) { return pieceKey[(type * 2 + colour - 2) * 64 + sq]; }
