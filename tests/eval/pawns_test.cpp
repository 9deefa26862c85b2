// The pawn term: the support table, weak and passed pawns, Hyper-Modern Play, colour symmetry.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "eval_helpers.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "core/settings.h"

namespace {

class PawnTerm : public BoardTest {
 protected:
  void Prepare(const std::string& fen, bool hyperModern = false) {
    SettingsFlags = hyperModern ? SettingsFlags | FlagHyperModern : SettingsFlags & ~FlagHyperModern;
    ASSERT_TRUE(SetFen(fen)) << fen;
    PrepareEvaluationForSearch(Pos.sideToMove, 0);
    PrepareEvaluation();
  }
  int Score() {
    Pos.largestThreat[White] = Pos.largestThreat[Black] = Pos.secondThreat[White] = Pos.secondThreat[Black] = 0;
    return PawnStructure(Pos.sideToMove == White, Pos.sideToMove == Black);
  }
};

TEST(PawnSupport, TableFollowsItsRuleAtEveryIndex) {
  BoardReady();
  for (int index = 0; index < 1024; index++) {
    bool white[8] = {}, black[8] = {};   // by rank index
    for (int r = 1; r <= 5; r++) white[r] = index >> (r - 1) & 1;
    for (int r = 2; r <= 6; r++) black[r] = index >> (5 + r - 2) & 1;
    for (int k = 0; k < 4; k++) {
      bool whiteArrives = false, blackArrives = false;
      for (int from = 1; from <= k + 1; from++) {
        if (!white[from]) continue;
        bool free = true;
        for (int r = from + 1; r <= k + 1; r++) free = free && !black[r];
        whiteArrives = whiteArrives || free;
      }
      for (int from = k + 3; from <= 6; from++) {
        if (!black[from]) continue;
        bool free = true;
        for (int r = from - 1; r >= k + 3; r--) free = free && !white[r];
        blackArrives = blackArrives || free;
      }
      EXPECT_EQ(PawnSupportTable[index] >> (2 * k) & 3, whiteArrives) << index << " field " << k;
      EXPECT_EQ(PawnSupportTable[index] >> (8 + 2 * k) & 3, blackArrives) << index << " field " << k;
    }
  }
}

TEST_F(PawnTerm, SecondRankPawnIsWeakOnlyWithoutNeighbours) {
  const int d2 = SquareOf("d2");
  Prepare("4k3/2ppp3/8/8/8/8/2PPP3/4K3 w - - 0 1");
  Score();
  EXPECT_EQ(PawnValues[d2], PawnSquareTable[White][d2]);
  const int level = PawnValues[d2];
  Prepare("4k3/3p4/8/8/8/8/3P4/4K3 w - - 0 1");
  Score();
  EXPECT_EQ(level - PawnValues[d2], WeakPawnPenalty[d2] + IsolatedPenalty[3] + Pos.endgameHalf);
}

TEST_F(PawnTerm, PassedPawnOutsideTheSquareOfABareKing) {
  const int a4 = SquareOf("a4");
  Prepare("7k/R7/8/8/P7/8/8/K7 w - - 0 1");
  Score();
  const int bare = PawnValues[a4];
  Prepare("7k/R7/8/8/P7/8/8/K6n w - - 0 1");
  Score();
  ASSERT_EQ(Pos.Phase, 1);   // the scale leaves the bonus whole
  EXPECT_EQ(bare - PawnValues[a4], 160);
}

TEST_F(PawnTerm, HyperModernPlayChargesOnlyTheEnginesPawnMass) {
  const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR ";
  Prepare(start + "w KQkq - 0 1");
  EXPECT_EQ(Score(), 0);
  const int mass = pawnMass[White][0] + pawnMass[White][1];
  EXPECT_GT(mass, 0);   // still measured for the bishops
  Prepare(start + "w KQkq - 0 1", true);
  EXPECT_EQ(Score(), -(mass >> 1));
  Prepare(start + "b KQkq - 0 1", true);
  EXPECT_EQ(Score(), mass >> 1);
}

TEST_F(PawnTerm, MirroredPositionsScoreTheSameForTheOtherColour) {
  int positions = 0;
  for (const char* file : {"perft.epd", "wac.epd"}) {
    for (const std::string& fen : DataPositions(file)) {
      Prepare(fen);
      const int score = Score();
      const int threats[2] = {Pos.largestThreat[White], Pos.secondThreat[White]};
      Prepare(MirrorFen(fen));
      EXPECT_EQ(Score(), -score) << fen;
      EXPECT_EQ(Pos.largestThreat[Black], threats[0]) << fen;
      EXPECT_EQ(Pos.secondThreat[Black], threats[1]) << fen;
      positions++;
    }
  }
  EXPECT_EQ(positions, 627);
}

TEST_F(PawnTerm, PromotionSquareNobodyCanTakeOnIsTheLargestThreat) {
  Prepare("6k1/P7/8/8/8/8/8/K7 w - - 0 1");
  Score();
  EXPECT_GT(Pos.largestThreat[Black], 0);
  EXPECT_LT(Pos.largestThreat[Black], pieceValue[Queen] - pieceValue[Pawn]);
  Prepare("1r4k1/P7/8/8/8/8/8/K7 w - - 0 1");
  Score();
  EXPECT_EQ(Pos.largestThreat[Black], 0);
}

}  // namespace
