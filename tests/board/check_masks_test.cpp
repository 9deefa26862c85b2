// The check masks against the board: a checker standing in direction d of the king covers the
// neighbours it attacks (the king itself does not shield the square behind it; a piece on a
// neighbour is attacked but stops the line beyond it).
#include <gtest/gtest.h>

#include "board/check_masks.h"
#include "board_helpers.h"
#include "board/geometry.h"

namespace {

constexpr int KingSquare = 28;   // e4: every neighbour and every line of length 3 is on the board

// The neighbours (direction bits) that a `type` on `from` attacks with the king gone from e4,
// `occupied` holding the squares that stop a line; the checker's own square is left out.
uint8_t Covered(int type, int from, const bool* occupied) {
  uint8_t mask = 0;
  for (int n = 0; n < 8; n++) {
    const int target = Geo.nextSquare[n][KingSquare];
    if (target == from) continue;
    const int d = Direction(target, from);
    if (d >= 8) continue;
    const bool moves = type == Queen || (type == Rook && IsOrthogonal(d)) || (type == Bishop && IsDiagonal(d));
    if (!moves) continue;
    bool clear = true;
    for (int s = Geo.nextSquare[d][from]; s != target; s = Geo.nextSquare[d][s]) clear = clear && !occupied[s];
    if (clear) mask |= uint8_t(1u << n);
  }
  return mask;
}

// The checking square `distance` steps from the king in direction d.
int CheckSquare(int d, int distance) {
  int s = KingSquare;
  for (int i = 0; i < distance; i++) s = Geo.nextSquare[d][s];
  return s;
}

TEST(CheckMasks, DescribeACheckerStandingInTheIndexedDirection) {
  BoardReady();
  const bool empty[64] = {};
  for (int d = 0; d < 8; d++) {
    const int slider = IsOrthogonal(d) ? Rook : Bishop;
    // A distant check along the line covers the line's two neighbours (the near one included).
    uint8_t distant = Covered(slider, CheckSquare(d, 3), empty);
    EXPECT_EQ(NarrowCheckMask[d], distant) << "direction " << d;
    EXPECT_EQ(QueenDistanceTwoMask[d], Covered(Queen, CheckSquare(d, 2), empty)) << "direction " << d;
    if (IsOrthogonal(d)) {
      EXPECT_EQ(WideCheckMask[d], Covered(Rook, CheckSquare(d, 1), empty)) << "direction " << d;
    }
    // A queen's contact check, with the orthogonal neighbours of `blocked` occupied.
    for (int blocked = 0; blocked < 16; blocked++) {
      bool occupied[64] = {};
      for (int o = 0; o < 4; o++)
        if (blocked >> o & 1) occupied[Geo.nextSquare[o][KingSquare]] = true;
      EXPECT_EQ(QueenContactMask[blocked][d], Covered(Queen, CheckSquare(d, 1), occupied))
          << "direction " << d << " blocked " << blocked;
    }
  }
}

}  // namespace
