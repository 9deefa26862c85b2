// Compares two board records field by field, leaving out the scratch a make/unmake pair may change.
#pragma once

#include <cstring>
#include <string>
#include <utility>

#include "board/position.h"

template <class T>
bool Same(const T& x, const T& y) { return std::memcmp(&x, &y, sizeof x) == 0; }

// `withMoveScratch` false also leaves out threatSwingScaled and gainScaled (they describe the last move).
inline std::string FirstDifference(const Position& a, const Position& b, bool withMoveScratch = true) {
// clang-format off
#define FIELD(f) {#f, Same(a.f, b.f)}
  const std::pair<const char*, bool> fields[] = {
      FIELD(sideToMove), FIELD(pieceType), FIELD(colour), FIELD(pieceList), FIELD(usedSlots), FIELD(diagonalSliders),
      FIELD(orthogonalSliders), FIELD(allSliders), FIELD(pawnsOnRank), FIELD(undoTop), FIELD(ply),
      FIELD(lastIrreversiblePly),
      {"threatSwingScaled", !withMoveScratch || Same(a.threatSwingScaled, b.threatSwingScaled)},
      {"gainScaled", !withMoveScratch || Same(a.gainScaled, b.gainScaled)}, FIELD(key), FIELD(lastTo),
      FIELD(epSquare), FIELD(typeSlots), FIELD(materialSignature), FIELD(threatenedSlots), FIELD(slotBit),
      FIELD(threatValue), FIELD(pawnFiles), FIELD(threatSum), FIELD(material), FIELD(killers), FIELD(attackTable)};
#undef FIELD
  // clang-format on
  for (const auto& [name, same] : fields)
    if (!same) return name;
  for (int sq = 0; sq < 64; sq++)
    if (a.pieceType[sq] && a.moveCount[sq] != b.moveCount[sq]) return "moveCount[" + std::to_string(sq) + "]";
  return "";
}
