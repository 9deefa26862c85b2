// Compares two board records field by field, leaving out the scratch fields that a
// make/unmake pair may leave changed: the move lists, the undo records above the top,
// threatSwing, lastGain, savedThreatSum, the changed-slot sets and move counts on empty squares.
#pragma once

#include <cstring>
#include <string>

#include "board/position.h"

// `withMoveScratch` false also leaves out threatSwingScaled and gainScaled, which describe
// the move that led to the position rather than the position itself.
inline std::string FirstDifference(const Position& a, const Position& b, bool withMoveScratch = true) {
#define CORVID_SAME(field) \
  if (std::memcmp(&a.field, &b.field, sizeof a.field) != 0) return #field;
  CORVID_SAME(sideToMove)
  CORVID_SAME(pieceType)
  CORVID_SAME(colour)
  CORVID_SAME(pieceList)
  CORVID_SAME(usedSlots)
  CORVID_SAME(diagonalSliders)
  CORVID_SAME(orthogonalSliders)
  CORVID_SAME(allSliders)
  CORVID_SAME(pawnsOnRank)
  CORVID_SAME(undoTop)
  CORVID_SAME(ply)
  CORVID_SAME(lastIrreversiblePly)
  if (withMoveScratch) {
    CORVID_SAME(threatSwingScaled)
    CORVID_SAME(gainScaled)
  }
  CORVID_SAME(key)
  CORVID_SAME(lastTo)
  CORVID_SAME(epSquare)
  CORVID_SAME(typeSlots)
  CORVID_SAME(materialSignature)
  CORVID_SAME(threatenedSlots)
  CORVID_SAME(slotBit)
  CORVID_SAME(threatValue)
  CORVID_SAME(pawnFiles)
  CORVID_SAME(threatSum)
  CORVID_SAME(material)
  CORVID_SAME(killers)
  CORVID_SAME(attackTable)
#undef CORVID_SAME
  for (int sq = 0; sq < 64; sq++) {
    if (a.pieceType[sq] && a.moveCount[sq] != b.moveCount[sq]) return "moveCount[" + std::to_string(sq) + "]";
  }
  return "";
}
