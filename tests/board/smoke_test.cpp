#include <gtest/gtest.h>
#include "board/board.h"
TEST(Smoke, Links) { EXPECT_EQ(Pos.sideToMove, 0); }
