// Which of a king's neighbours a check covers. A neighbour is named by the direction bit
// 1 << d of the step from the king to it (0 E, 1 N, 2 W, 3 S, 4 NW, 5 NE, 6 SW, 7 SE). The
// masks are indexed by the line direction between the king and the checking square (0-7); the
// values describe a checker standing in direction d of the king (Direction(checkSquare, king)):
// a rook on the east neighbour covers the north-east, south-east and west neighbours (164).
// The move ordering and the quiescence mating-net test of the search and the king-safety term
// of the evaluation read them.
#pragma once

#include <cstdint>

// A distant check along a line: the two neighbours on that line.
constexpr uint8_t NarrowCheckMask[8] = {5, 10, 5, 10, 144, 96, 96, 144};
// A rook's contact check: the neighbours beside the rook and the one behind the king.
constexpr uint8_t WideCheckMask[8] = {164, 56, 81, 194, 0, 0, 0, 0};
// A queen two squares away.
constexpr uint8_t QueenDistanceTwoMask[8] = {165, 58, 85, 202, 144, 96, 96, 144};
// A queen's contact check, [blocked neighbours E, N, W, S as bits 0-3][direction]: a blocked
// orthogonal neighbour stops the queen's reach along the edge of the king's block.
constexpr uint8_t QueenContactMask[16][8] = {
    {174, 61, 91, 199, 230, 211, 188, 121}, {174, 61, 91, 199, 230, 83, 188, 89},
    {174, 61, 91, 199, 198, 195, 188, 121}, {174, 61, 91, 199, 198, 67, 188, 89},
    {174, 61, 91, 199, 166, 211, 172, 121}, {174, 61, 91, 199, 166, 83, 172, 89},
    {174, 61, 91, 199, 134, 195, 172, 121}, {174, 61, 91, 199, 134, 67, 172, 89},
    {174, 61, 91, 199, 230, 211, 60, 57},   {174, 61, 91, 199, 230, 83, 60, 25},
    {174, 61, 91, 199, 198, 195, 60, 57},   {174, 61, 91, 199, 198, 67, 60, 25},
    {174, 61, 91, 199, 166, 211, 44, 57},   {174, 61, 91, 199, 166, 83, 44, 25},
    {174, 61, 91, 199, 134, 195, 44, 57},   {174, 61, 91, 199, 134, 67, 44, 25},
};
