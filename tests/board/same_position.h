// Compares two board records field by field, leaving out the scratch fields that a
// make/unmake pair may leave changed: the move lists, the undo records above the top,
// threatSwing, lastGain, savedThreatSum, the changed-slot sets and move counts on empty squares.
#pragma once

#include <cstring>
#include <string>
#include <utility>

#include "board/position.h"

template <class T>
bool Same(const T& x, const T& y) {
  return std::memcmp(&x, &y, sizeof x) == 0;
}

// `withMoveScratch` false also leaves out threatSwingScaled and gainScaled, which describe
// the move that led to the position rather than the position itself.
inline std::string FirstDifference(const Position& a, const Position& b, bool withMoveScratch = true) {
  const std::pair<const char*, bool> fields[] = {
      {"sideToMove", Same(a.sideToMove, b.sideToMove)},
      {"pieceType", Same(a.pieceType, b.pieceType)},
      {"colour", Same(a.colour, b.colour)},
      {"pieceList", Same(a.pieceList, b.pieceList)},
      {"usedSlots", Same(a.usedSlots, b.usedSlots)},
      {"diagonalSliders", Same(a.diagonalSliders, b.diagonalSliders)},
      {"orthogonalSliders", Same(a.orthogonalSliders, b.orthogonalSliders)},
      {"allSliders", Same(a.allSliders, b.allSliders)},
      {"pawnsOnRank", Same(a.pawnsOnRank, b.pawnsOnRank)},
      {"undoTop", Same(a.undoTop, b.undoTop)},
      {"ply", Same(a.ply, b.ply)},
      {"lastIrreversiblePly", Same(a.lastIrreversiblePly, b.lastIrreversiblePly)},
      {"threatSwingScaled", !withMoveScratch || Same(a.threatSwingScaled, b.threatSwingScaled)},
      {"gainScaled", !withMoveScratch || Same(a.gainScaled, b.gainScaled)},
      {"key", Same(a.key, b.key)},
      {"lastTo", Same(a.lastTo, b.lastTo)},
      {"epSquare", Same(a.epSquare, b.epSquare)},
      {"typeSlots", Same(a.typeSlots, b.typeSlots)},
      {"materialSignature", Same(a.materialSignature, b.materialSignature)},
      {"threatenedSlots", Same(a.threatenedSlots, b.threatenedSlots)},
      {"slotBit", Same(a.slotBit, b.slotBit)},
      {"threatValue", Same(a.threatValue, b.threatValue)},
      {"pawnFiles", Same(a.pawnFiles, b.pawnFiles)},
      {"threatSum", Same(a.threatSum, b.threatSum)},
      {"material", Same(a.material, b.material)},
      {"killers", Same(a.killers, b.killers)},
      {"attackTable", Same(a.attackTable, b.attackTable)},
  };
  for (const auto& [name, same] : fields)
    if (!same) return name;
  for (int sq = 0; sq < 64; sq++) {
    if (a.pieceType[sq] && a.moveCount[sq] != b.moveCount[sq]) return "moveCount[" + std::to_string(sq) + "]";
  }
  return "";
}
