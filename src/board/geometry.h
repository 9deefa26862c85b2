// Static geometry of the board: direction codes, neighbour squares, target and ray lists.
#pragma once

#include <cstdint>

// Direction codes: 0 E, 1 N, 2 W, 3 S, 4 NW, 5 NE, 6 SW, 7 SE, 8-15 knight jumps, 16 no line.
constexpr int NoDirection = 16;
constexpr int DirectionStep[16] = {1, 8, -1, -8, 7, 9, -9, -7, -17, -10, 6, 15, 17, 10, -6, -15};
constexpr int OppositeDirection[17] = {2, 3, 0, 1, 7, 6, 5, 4, 12, 13, 14, 15, 8, 9, 10, 11, 16};
constexpr uint8_t OffBoard = 255;
constexpr uint8_t EndOfList = 255;

inline bool IsOrthogonal(int d) { return d < 4; }
inline bool IsDiagonal(int d) { return d >= 4 && d < 8; }
inline bool IsLine(int d) { return d < 8; }

struct Geometry {
  uint8_t direction[64][64];     // [a][b]: code of the step leading from b toward a
  uint8_t nextSquare[17][64];    // one step from a square, OffBoard beyond the edge
  uint8_t adjacent[64][64];
  uint8_t knightTargets[64][9];  // ended by EndOfList
  uint8_t kingTargets[64][9];
  uint8_t pawnTargets[2][64][3]; // squares a pawn of a colour attacks
  // Per piece type (bishop, rook, queen) the rays from each square one after another,
  // with a parallel skip list: squares left in the current ray.
  uint8_t rays[7][64][32];
  uint8_t raySkip[7][64][32];
  uint8_t rayDirection[7][64][32];
  uint8_t shade[64];             // 1 for dark squares
  uint8_t highBit[256];
  uint8_t lowBit[256];
};

extern Geometry Geo;

// Piece-kind mask of `counts` that attack along a direction, and the piece types (as 1 << type) moving along it.
constexpr uint16_t DirectionCountsMask[17] = {0x3E, 0x3E, 0x3E, 0x3E, 0xCE, 0xCE, 0xCE, 0xCE,
                                              0x300, 0x300, 0x300, 0x300, 0x300, 0x300, 0x300, 0x300, 0};
constexpr uint8_t DirectionTypeMask[17] = {0x30, 0x30, 0x30, 0x30, 0x28, 0x28, 0x28, 0x28,
                                           0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0};

void InitGeometry();

inline int Direction(int a, int b) { return Geo.direction[a][b]; }

// Index of the highest / lowest set bit of a non-zero slot set.
inline int HighestSlot(uint32_t set) { return 31 - __builtin_clz(set); }
inline int LowestSlot(uint32_t set) { return __builtin_ctz(set); }
