// Check masks: a checker in direction d of a king on e4 covers the neighbours it attacks past the king.
#include <gtest/gtest.h>

#include "board/check_masks.h"
#include "board/geometry.h"
#include "board_helpers.h"

namespace {

constexpr int King = 28;   // e4

uint8_t Covered(int type, int from, const bool* occupied) {
  uint8_t mask = 0;
  for (int n = 0; n < 8; n++) {
    const int target = Geo.nextSquare[n][King], d = Direction(target, from);
    if (target == from || d >= 8 || (type == Rook && !IsOrthogonal(d)) || (type == Bishop && !IsDiagonal(d))) continue;
    bool clear = true;
    for (int s = Geo.nextSquare[d][from]; s != target; s = Geo.nextSquare[d][s]) clear = clear && !occupied[s];
    if (clear) mask |= uint8_t(1u << n);
  }
  return mask;
}

TEST(CheckMasks, DescribeACheckerStandingInTheIndexedDirection) {
  BoardReady();
  const bool empty[64] = {};
  for (int d = 0; d < 8; d++) {
    const int one = Geo.nextSquare[d][King], two = Geo.nextSquare[d][one], three = Geo.nextSquare[d][two];
    EXPECT_EQ(NarrowCheckMask[d], Covered(IsOrthogonal(d) ? Rook : Bishop, three, empty)) << d;
    EXPECT_EQ(QueenDistanceTwoMask[d], Covered(Queen, two, empty)) << d;
    EXPECT_EQ(WideCheckMask[d], IsOrthogonal(d) ? Covered(Rook, one, empty) : 0) << d;
    for (int blocked = 0; blocked < 16; blocked++) {   // occupied E, N, W, S neighbours
      bool occupied[64] = {};
      for (int o = 0; o < 4; o++) occupied[Geo.nextSquare[o][King]] = blocked >> o & 1;
      EXPECT_EQ(QueenContactMask[blocked][d], Covered(Queen, one, occupied)) << d << " " << blocked;
    }
  }
}

}  // namespace
