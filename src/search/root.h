// The root search, inside the search subsystem: the root-move list, one
// iteration over it, and the two orders it is kept in between iterations.
#pragma once

#include <cstdint>

#include "core/types.h"

// Root search constants.
constexpr int RootWindowMargin = 32;           // aspiration: a quarter pawn each side of the last score
constexpr int DepthOneWindowMargin = 192;      // the lower edge of the null windows at depth 1
constexpr int MaxRootResearches = 3;
constexpr int RootLineLimit = 62;              // longest root line, table extension included
constexpr int FiftyMoveLimit = 99;             // plies since the last irreversible move
constexpr int MateInOneScore = MateValue - 1;  // the root side mates with its move

// Root move flags beyond search_state.h.
constexpr uint16_t KindCheckmateGiven = 0x500;
constexpr uint16_t KindRepetitionTest = 0xC00;
constexpr uint16_t KindRepetitionCount = 0xA00;
constexpr uint16_t KindFiftyMoves = 0xB00;

// RootResultFlags bits.
constexpr uint32_t ResultBeingMated = 0x1;
constexpr uint32_t ResultMateSeen = 0x2;
constexpr uint32_t ResultGameOver = 0x80;
constexpr uint32_t ResultCheckmated = 0x580;   // game over, kind checkmate
constexpr uint32_t ResultStalemate = 0xC80;    // game over, kind stalemate

// Builds the root list from the moves already generated at ply 1 (the first
// `count` entries of the ply's list) for the side to move: legal moves only,
// settled ones scored, the others with a static score; sorted by score.
void PrepareRootMoves(int count);
// One iteration at `depth`; returns the best score (the first move's when stopped).
int SearchRoot(int depth);
// Moves the root move at `index` up to where it belongs, updates the time
// bonus and limit and reports; returns its new index.
int PromoteRootMove(int index);
void SortRootMovesByScore();
void SortRootMovesByNodes();
