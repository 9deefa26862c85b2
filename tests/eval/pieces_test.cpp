// The piece term: rooks on open, half-open and closed files, connected, on the seventh and
// shut in by their own king; the bishop pair by the number of pawns; bishops' mobility.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "eval_helpers.h"

namespace {

// Sets the position up as a search would and returns each colour's piece term (pawn structure
// first: the bishops read its pawn mass).
void PieceTerms(const std::string& fen, int terms[2]) {
  ASSERT_TRUE(SetFen(fen)) << fen;
  PrepareEvaluationForSearch(Pos.sideToMove, 0);
  PrepareEvaluation();
  UpdatePhase();
  PawnStructure(Pos.sideToMove == White, Pos.sideToMove == Black);
  PieceScore(terms);
}

struct RookCase {
  const char* name;
  const char* fen;
  std::vector<const char*> rooks;   // White's rooks
  const char* queen;                // White's queen, if any
  int expected;                     // beyond the rooks' square-table values and endgameHalf each
};

TEST(PieceTerm, RookFilesRanksMobilityAndTheTrappedRook) {
  BoardReady();
  const std::vector<RookCase> cases = {
      // Alone on an open file, nothing on its lines: open file 22 and RookMobility[14] = 22.
      {"open file", "7k/8/8/8/R7/8/8/7K w - - 0 1", {"a4"}, nullptr, 22 + 22},
      // An enemy pawn on the file: half-open 12; a5 and a3-a1 and the rank: 11 squares, 19.
      {"half-open file", "7k/8/p7/8/R7/8/8/7K w - - 0 1", {"a4"}, nullptr, 12 + 19},
      // Behind its own pawn: no file bonus; a5-a8 and the rank: 11 squares.
      {"closed file", "7k/8/8/8/R7/P7/8/7K w - - 0 1", {"a4"}, nullptr, 19},
      // Connected on the first rank: 7 each; the other rook is counted and passed: 13 squares each.
      {"connected", "7k/8/8/8/8/8/8/R3R2K w - - 0 1", {"a1", "e1"}, nullptr, 2 * (22 + 7 + 21)},
      // On the seventh with the king on the eighth: the rank before the king (4 x 6), the seventh
      // (12 + endgameHalf, added below), open file, 14 squares.
      {"seventh rank", "6k1/R7/8/8/8/8/8/7K w - - 0 1", {"a7"}, nullptr, 24 + 12 + 22 + 22},
      // Shut in on h1 by the king that left e1 (Phase above 3): RookMobility[0] - 38.
      {"trapped", "r2q2k1/8/8/8/8/Q7/6PP/6KR w - - 0 1", {"h1"}, "a3", -5 - 38},
      // The same with Phase 3 or less (no queens): only the mobility.
      {"not trapped late", "r5k1/8/8/8/8/8/6PP/6KR w - - 0 1", {"h1"}, nullptr, -5},
  };
  for (const RookCase& c : cases) {
    int terms[2];
    PieceTerms(c.fen, terms);
    int base = 0;
    for (const char* r : c.rooks) base += RookSquareTable[White][SquareOf(r)] + Pos.endgameHalf;
    if (c.queen) base += QueenSquareTable[White][SquareOf(c.queen)];
    int expected = c.expected;
    if (std::string(c.name) == "seventh rank") expected += Pos.endgameHalf;
    EXPECT_EQ(terms[White] - base, expected) << c.name << " (Phase " << Pos.Phase << ")";
  }
}

// The bishop pair: with both bishops the piece term exceeds the two single-bishop terms by
// 2 x (22 - average pawn count).
TEST(PieceTerm, BishopPairByThePawnCount) {
  BoardReady();
  struct PairCase {
    const char* pawns;   // the ranks 7 to 2 of the FEN, the same pawns for both positions
    int perBishop;
  } cases[] = {
      {"pppppppp/8/8/8/8/PPPPPPPP", 14},   // the opening count: 8 pawns each
      {"pppp4/8/8/8/8/PPPP4", 18},
      {"8/8/8/8/8/8", 22},
  };
  for (const PairCase& c : cases) {
    int both[2], c1[2], f1[2];
    PieceTerms(std::string("4k3/") + c.pawns + "/2B1KB2 w - - 0 1", both);
    PieceTerms(std::string("4k3/") + c.pawns + "/2B1K3 w - - 0 1", c1);
    PieceTerms(std::string("4k3/") + c.pawns + "/4KB2 w - - 0 1", f1);
    EXPECT_EQ(both[White] - c1[White] - f1[White], 2 * c.perBishop) << c.pawns;
  }
}

struct BishopCase {
  const char* name;
  const char* fen;
  const char* bishop;
  int colour;
  int expected;
};

TEST(PieceTerm, BishopMobilityDiagonalsAndTheWayBack) {
  BoardReady();
  // Expected: BishopDirections[free directions] + BishopMobility[empty squares] + the rest.
  const std::vector<BishopCase> cases = {
      // Free in the centre: 4 directions, 13 squares.
      {"centre", "4k3/8/8/8/3B4/8/8/4K3 w - - 0 1", "d4", White, 4 + 22},
      // Its own b2 pawn ahead on the second rank: -3, and -12 when a pawn blocks it; the first
      // rank has no way back: BishopBlockedPenalty[0] = 2 for the engine's bishop.
      {"own pawn ahead", "7k/8/8/8/8/8/1P6/2B4K w - - 0 1", "c1", White, -4 + 8 - 3 - 2},
      {"own pawn blocked", "7k/8/8/8/8/1p6/1P6/2B4K w - - 0 1", "c1", White, -4 + 8 - 12 - 2},
      // The opponent's bishop (Black's, White to move) pays half: 1.
      {"opponent's first rank", "2b4k/8/8/8/8/8/8/7K w - - 0 1", "c8", Black, 0 + 12 - 1},
      // Deep in enemy land: the g6 pawn, defended by f7, with f5 empty behind it (-2), blocks the
      // only way back: BishopBlockedPenalty[6] = 164, halved for the opponent's bishop.
      {"no way back", "6k1/5p1B/6p1/8/8/8/8/K7 b - - 0 1", "h7", White, -12 - 8 - 2 - 82},
      // An x-ray through an own knight onto the enemy rook: 4 + 7.
      {"x-ray target", "r6k/8/8/8/8/8/6N1/4K2B w - - 0 1", "h1", White, -12 - 8 + 4 + 7 - 2},
  };
  for (const BishopCase& c : cases) {
    ASSERT_TRUE(SetFen(c.fen)) << c.fen;
    PrepareEvaluationForSearch(Pos.sideToMove, 0);
    PrepareEvaluation();
    EXPECT_EQ(BishopScore(SquareOf(c.bishop), c.colour), c.expected) << c.name;
  }
}

}  // namespace
