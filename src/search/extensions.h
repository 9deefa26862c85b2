// Search extensions: how much an interior node's remaining depth grows, in 1/32 ply.
#pragma once

#include "core/types.h"

constexpr int ExtensionUnitsPerPly = 32;

// Before ComputeExtension (after the evaluation): the table move corrects the threat
// accumulator of the position. A capture of an unattacked piece that the table says gains
// (tableScore - eval > 0) takes that gain, at most the victim's value, / 32 off the
// accumulator; a table move that neither captures nor checks drops a negative accumulator.
void AdjustAccumulatorForTableMove(Move tableMove, int tableScore, int eval);

// The extension of the node at `ply` (reached by the move on top of the undo stack), at most
// one ply (32). It may come out negative when the node keeps a negative threat accumulator:
// a fractional reduction. It also halves the accumulator and the gain field in the position
// when Combinations is off, and cleans the accumulator.
//   nodeFlags: the search's node flags (0x100 PV node); tableFlags: the flags of the table
//   entry (0x20 mate threat); lower/upper: the node's estimates of its score.
int ComputeExtension(int ply, int nodeFlags, int eval, int alpha, int beta, int tableFlags, Move tableMove, int lower,
                     int upper);

// Adds an extension to the node's budget and turns whole plies into depth. The budget stays
// in 0..31: a negative budget borrows a ply from the depth.
inline void AddExtension(int extension, int& depth, int& budget) {
  budget += extension;
  depth += budget >> 5;  // arithmetic shift: floor division by 32
  budget &= ExtensionUnitsPerPly - 1;
}
