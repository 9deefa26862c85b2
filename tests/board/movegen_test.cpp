// Move generation: the order and initial scores of the ordinary, evasion and quiescence lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "board_helpers.h"

namespace {

using Texts = std::vector<std::string>;

class MoveGen : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }

  // Score of a move in the ply-0 list, or -9999 when it is not there.
  static int ScoreOf(int count, Move m) {
    for (int i = 0; i < count; i++)
      if (MoveListBegin(0)[i].move == m) return MoveListBegin(0)[i].score;
    return -9999;
  }
  static bool Contains(const Texts& list, const std::string& m) {
    return std::find(list.begin(), list.end(), m) != list.end();
  }
};

TEST_F(MoveGen, StartPositionOrder) {
  int n = GenerateMoves(White, 0, 0);
  Texts expected;
  for (char file = 'a'; file <= 'h'; file++) {
    expected.push_back(std::string{file, '2', file, '3'});
    expected.push_back(std::string{file, '2', file, '4'});
  }
  // Knights in jump order -17, -10, +6, +15, +17, +10, -6, -15; the g1 knight has the higher slot.
  for (const char* m : {"g1f3", "g1h3", "b1a3", "b1c3"}) expected.push_back(m);
  EXPECT_EQ(ListText(n), expected);
  for (int i = 0; i < n; i++) EXPECT_EQ(MoveListBegin(0)[i].score, 0);
  EXPECT_EQ(Pos.moveListStart[1] - Pos.moveListStart[0], 20);
}

TEST_F(MoveGen, KingTakesOnlyUndefendedPieces) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/3n4/4K3 w - - 0 1"));
  int n = GenerateMoves(White, 0, 0);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(4, 11, KindCapture)), 416);
  ASSERT_TRUE(SetFen("4k3/8/8/b7/8/8/3n4/4K3 w - - 0 1"));  // the bishop on a5 defends d2
  n = GenerateMoves(White, 0, 0);
  for (const std::string& m : ListText(n)) EXPECT_NE(m, "e1d2");
}

TEST_F(MoveGen, CapturesMostValuableVictimFirstCheapestAttackerFirst) {
  ASSERT_TRUE(SetFen("4k3/8/7r/3q4/2P5/4N3/8/R3K3 b - - 0 1"));
  ASSERT_TRUE(Play("h6a6"));
  int n = GenerateMoves(White, 0, 0);
  ASSERT_GE(n, 3);
  EXPECT_EQ(ListText(3), (Texts{"c4d5", "e3d5", "a1a6"}));
  EXPECT_EQ(MoveListBegin(0)[0].move, MakeMoveWord(26, 35, KindCapture));
  EXPECT_EQ(MoveListBegin(0)[0].score, 1248);
  EXPECT_EQ(MoveListBegin(0)[1].score, 1248);
  EXPECT_EQ(MoveListBegin(0)[2].score, 640 + 100);  // the rook has just arrived on a6
}

TEST_F(MoveGen, KnightCheckIsCapturedOrEscaped) {
  ASSERT_TRUE(SetFen("4k3/8/8/6n1/8/8/8/4K2B b - - 0 1"));
  ASSERT_TRUE(Play("g5f3"));
  ASSERT_TRUE(Pos.InCheck());
  int info = -1;
  int n = GenerateEvasions(White, 0, 0, &info);
  // King moves in direction order E, N, W, S, NW, NE, SW, SE (d2 is covered by the knight).
  EXPECT_EQ(ListText(n), (Texts{"e1f1", "e1e2", "e1d1", "e1f2", "h1f3"}));
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(7, 21, KindCapture)), 416 + 100);
  EXPECT_EQ(info, 4);  // the checker is the piece that just moved
}

TEST_F(MoveGen, KingMayNotRetreatAlongTheCheckingLine) {
  ASSERT_TRUE(SetFen("4r2k/8/8/8/4K3/8/8/8 w - - 0 1"));
  int info = -1;
  int n = GenerateEvasions(White, 0, 0, &info);
  EXPECT_EQ(ListText(n), (Texts{"e4f4", "e4d4", "e4d5", "e4f5", "e4d3", "e4f3"}));
  EXPECT_EQ(info, 0x4000 | 6);

  // An adjacent undefended rook may be taken; stepping straight back is still refused.
  ASSERT_TRUE(SetFen("7k/8/8/4r3/4K3/8/8/8 w - - 0 1"));
  n = GenerateEvasions(White, 0, 0, &info);
  EXPECT_EQ(ListText(n), (Texts{"e4f4", "e4e5", "e4d4", "e4d3", "e4f3"}));
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(28, 36, KindCapture)), 640);

  // Defended, it may not.
  ASSERT_TRUE(SetFen("4r2k/8/8/4r3/4K3/8/8/8 w - - 0 1"));
  n = GenerateEvasions(White, 0, 0, &info);
  EXPECT_FALSE(Contains(ListText(n), "e4e5"));
  EXPECT_FALSE(Contains(ListText(n), "e4e3"));
}

TEST_F(MoveGen, DoubleCheckGivesOnlyKingMoves) {
  // Rook e8 and knight d3 both check; the bishop could take the knight but must not.
  ASSERT_TRUE(SetFen("4r2k/8/8/8/8/3n4/8/1B2K3 w - - 0 1"));
  int info = -1;
  int n = GenerateEvasions(White, 0, 0, &info);
  EXPECT_EQ(ListText(n), (Texts{"e1f1", "e1d1", "e1d2"}));
  EXPECT_EQ(info, 0x4000 | 0x2000 | 3);
}

TEST_F(MoveGen, CheckIsBlockedByPiecesAndPawnPushes) {
  // Bishop b4 checks along b4-c3-d2: the queen blocks on d2, the c-pawn on c3; the knight cannot help.
  ASSERT_TRUE(SetFen("4k3/8/8/8/1b6/8/2P5/3QK1N1 w - - 0 1"));
  int info = -1;
  int n = GenerateEvasions(White, 0, 0, &info);
  Texts list = ListText(n);
  for (const char* m : {"c2c3", "d1d2", "e1e2", "e1f2", "e1f1"}) EXPECT_TRUE(Contains(list, m)) << m;
  EXPECT_FALSE(Contains(list, "e1d2"));  // on the checking line
  EXPECT_FALSE(Contains(list, "g1f3"));  // does not meet the check
  EXPECT_EQ(info & 0xFF, 3);
}

TEST_F(MoveGen, PromotionsQueenKnightRookBishop) {
  ASSERT_TRUE(SetFen("1n5k/P7/8/8/8/8/8/4K3 w - - 0 1"));
  int n = GenerateMoves(White, 0, 0);
  ASSERT_GE(n, 8);
  EXPECT_EQ(ListText(8), (Texts{"a7b8q", "a7b8n", "a7b8r", "a7b8b", "a7a8q", "a7a8n", "a7a8r", "a7a8b"}));
  const int scores[8] = {1056 + 416, -480, -608, -832, 1056, -480, -608, -832};
  for (int i = 0; i < 8; i++) EXPECT_EQ(MoveListBegin(0)[i].score, scores[i]) << i;
  EXPECT_EQ(MoveListBegin(0)[5].move, MakeMoveWord(48, 56, KindPromoKnight));

  // With three knights on the board no fourth one is offered.
  ASSERT_TRUE(SetFen("7k/P7/8/8/8/8/8/NNN1K3 w - - 0 1"));
  n = GenerateMoves(White, 0, 0);
  ASSERT_GE(n, 3);
  EXPECT_EQ(ListText(3), (Texts{"a7a8q", "a7a8r", "a7a8b"}));
}

TEST_F(MoveGen, EnPassantAfterTheDoubleStep) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1"));
  ASSERT_TRUE(Play("e2e4"));
  EXPECT_EQ(Pos.epSquare, 20);
  int n = GenerateMoves(Black, 0, 0);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(27, 20, KindEnPassant)), 128);

  // The same capture answers the pawn's check.
  ASSERT_TRUE(SetFen("8/8/8/5k2/3p4/8/4P3/4K3 w - - 0 1"));
  ASSERT_TRUE(Play("e2e4"));
  ASSERT_TRUE(Pos.InCheck());
  int info = -1;
  n = GenerateEvasions(Black, 0, 0, &info);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(27, 20, KindEnPassant)), 128);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(37, 28, KindCapture)), 128 + 100);
  EXPECT_EQ(info & 0x4000, 0);
}

TEST_F(MoveGen, Chess960CastlingGoesToTheRookSquare) {
  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
  int n = GenerateMoves(White, 0, 0);
  Texts list = ListText(n);
  EXPECT_EQ(list[n - 2], "e1g1");
  EXPECT_EQ(list[n - 1], "e1c1");
  EXPECT_EQ(MoveListBegin(0)[n - 1].move, MakeMoveWord(4, 2, KindCastle));
  EXPECT_FALSE(Contains(list, "e1h1"));

  ASSERT_TRUE(SetFen("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1"));
  ASSERT_TRUE(Chess960Mode());
  n = GenerateMoves(White, 0, 0);
  list = ListText(n);
  EXPECT_EQ(list[n - 2], "e1h1");
  EXPECT_EQ(list[n - 1], "e1a1");
  EXPECT_EQ(MoveListBegin(0)[n - 2].move, MakeMoveWord(4, 7, KindCastle));
  EXPECT_FALSE(Contains(list, "e1g1"));
  EXPECT_FALSE(Contains(list, "e1c1"));
}

TEST_F(MoveGen, QuiescenceMovesByMode) {
  // Pawns b7 and g7 promote, g7 may also take the rook; c6 may step to the seventh rank;
  // the rook on a1 checks from a8 or e1.
  ASSERT_TRUE(SetFen("4k2r/1P4P1/2P5/8/8/8/8/R5K1 w - - 0 1"));
  int n = GenerateQuiescenceMoves(White, 0, 0);
  Texts list = ListText(n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(49, 57, KindPromoQueen)), 1120);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(54, 62, KindPromoQueen)), 1120);
  EXPECT_EQ(list.back(), "g7h8q");  // captures follow the pushes
  EXPECT_EQ(MoveListBegin(0)[2].score, 640 + 1120);

  n = GenerateQuiescenceMoves(White, 0, 6);
  list = ListText(n);
  EXPECT_EQ(n, 6);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(42, 50)), 1056);
  // Quiet checks come last, marked.
  EXPECT_EQ(MoveListBegin(0)[4].move, MakeMoveWord(0, 56) | CheckMark);
  EXPECT_EQ(MoveListBegin(0)[5].move, MakeMoveWord(0, 4) | CheckMark);
  EXPECT_EQ(MoveListBegin(0)[5].score, 0);

  n = GenerateQuiescenceMoves(White, 0, 2);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(42, 50)), -9999);
  EXPECT_EQ(ScoreOf(n, Move(MakeMoveWord(0, 56) | CheckMark)), 0);
}

TEST_F(MoveGen, QuiescenceCapturePromotesToQueenOnly) {
  ASSERT_TRUE(SetFen("1n5k/P7/8/8/8/8/8/4K3 w - - 0 1"));
  int n = GenerateQuiescenceMoves(White, 0, 0);
  EXPECT_EQ(ListText(n), (Texts{"a7a8q", "a7b8q"}));
  EXPECT_EQ(MoveListBegin(0)[1].score, 1120 + 416);
}

TEST_F(MoveGen, SeventhRankPushOnlyWhenUseful) {
  // c6-c7 would be blocked by the knight on c8 and attacks nothing there.
  ASSERT_TRUE(SetFen("2n1k3/8/2P5/8/8/8/8/4K3 w - - 0 1"));
  int n = GenerateQuiescenceMoves(White, 0, 6);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(42, 50)), -9999);
  // With a rook on b8 the pawn on c7 would attack it.
  ASSERT_TRUE(SetFen("1rn1k3/8/2P5/8/8/8/8/4K3 w - - 0 1"));
  n = GenerateQuiescenceMoves(White, 0, 6);
  EXPECT_EQ(ScoreOf(n, MakeMoveWord(42, 50)), 1056);
}

TEST_F(MoveGen, DiscoveredQuietChecksNeedAnUnthreatenedSlider) {
  // The knight on c6 stands between the bishop on b5 and the king on e8.
  ASSERT_TRUE(SetFen("4k3/8/2N5/1B6/8/8/8/4K3 w - - 0 1"));
  int n = GenerateQuiescenceMoves(White, 0, 2);
  Texts list = ListText(n);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (Texts{"c6a5", "c6a7", "c6b4", "c6b8", "c6d4", "c6d8", "c6e5", "c6e7"}));
  for (int i = 0; i < n; i++) EXPECT_NE(MoveListBegin(0)[i].move & CheckMark, 0);
  // A pawn on a6 threatens the bishop: only the capture of that pawn remains.
  ASSERT_TRUE(SetFen("4k3/8/p1N5/1B6/8/8/8/4K3 w - - 0 1"));
  ASSERT_NE(Pos.threatValue[33], 0);
  n = GenerateQuiescenceMoves(White, 0, 2);
  EXPECT_EQ(ListText(n), (Texts{"b5a6"}));
}

// Cross-checks of the generators against each other, against IsPseudoLegal and against the check
// flag that MakeMove records, on every position of the perft files and every position one move on.
class GeneratorAgreement : public MoveGen {
 protected:
  struct Tally {
    int positions = 0, inCheck = 0, quietChecks = 0;
  };

  static bool LeavesKingSafe(Move m) {
    int side = Pos.sideToMove;
    MakeMove(m);
    bool safe = Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts == 0;
    UnmakeMove();
    return safe;
  }

  static std::set<Move> Legal(int ply, int n) {
    std::set<Move> out;
    for (int i = 0; i < n; i++) {
      Move m = Move(MoveListBegin(ply)[i].move & ~CheckMark);
      if (LeavesKingSafe(m)) out.insert(m);
    }
    return out;
  }

  static void CheckNode(int ply, const std::string& where, Tally& tally) {
    const int side = Pos.sideToMove;
    tally.positions++;
    if (Pos.InCheck()) {
      tally.inCheck++;
      int info = 0;
      int ne = GenerateEvasions(side, ply, 0, &info);
      std::set<Move> evasions = Legal(ply, ne);
      if (info & 0x2000) {
        for (int i = 0; i < ne; i++) EXPECT_EQ(MoveFrom(MoveListBegin(ply)[i].move), Pos.kingSquare(side)) << where;
      }
      int nm = GenerateMoves(side, ply, 0);
      EXPECT_EQ(evasions, Legal(ply, nm)) << where;
      GenerateEvasions(side, ply, 0, &info);  // the evasions are the list to check below
    } else {
      GenerateMoves(side, ply, 0);
    }
    const int n = Pos.moveListStart[ply + 1] - Pos.moveListStart[ply];
    std::set<Move> distinct;
    int kingMoves = 0;
    for (int i = 0; i < n; i++) {
      distinct.insert(MoveListBegin(ply)[i].move);
      if (MoveFrom(MoveListBegin(ply)[i].move) == Pos.kingSquare(side)) kingMoves++;
    }
    EXPECT_EQ(int(distinct.size()), n) << where;
    if (Pos.InCheck()) {
      int info = 0;
      GenerateEvasions(side, ply, 0, &info);
      EXPECT_EQ(info & 0xFF, kingMoves) << where;
    }
    for (int i = 0; i < n; i++) {
      const Move m = MoveListBegin(ply)[i].move;
      Move completed = m;
      ASSERT_EQ(IsPseudoLegal(side, &completed), 1) << where << " " << Text(m);
      EXPECT_EQ(completed, m) << where << " " << Text(m);
      const Move kind = MoveKind(m);
      if (kind == KindCastle || kind == KindEnPassant || !LeavesKingSafe(m)) continue;
      MakeMove(m);
      bool checks = Pos.undoStack[Pos.undoTop - 1].checkFlag != 0;
      UnmakeMove();
      EXPECT_EQ(GivesCheck(m, side) != 0, checks) << where << " " << Text(m);
    }
    if (Pos.InCheck()) return;
    int nq = GenerateQuiescenceMoves(side, ply, 2);
    for (int i = 0; i < nq; i++) {
      const Move marked = MoveListBegin(ply)[i].move;
      if (!(marked & CheckMark)) continue;
      Move m = Move(marked & ~CheckMark), completed = m;
      ASSERT_EQ(IsPseudoLegal(side, &completed), 1) << where << " " << Text(m);
      EXPECT_EQ(completed, m) << where << " " << Text(m);
      if (!LeavesKingSafe(m)) continue;
      tally.quietChecks++;
      MakeMove(m);
      EXPECT_NE(Pos.undoStack[Pos.undoTop - 1].checkFlag, 0) << where << " " << Text(m);
      UnmakeMove();
    }
  }
};

TEST_F(GeneratorAgreement, PerftPositionsAndTheirChildren) {
  Tally tally;
  for (const char* file : {"perft.epd", "perft960.epd"}) {
    for (const std::string& line : ReadLines(file)) {
      std::string fen = line.substr(0, line.find(';'));
      ASSERT_TRUE(SetFen(fen)) << fen;
      CheckNode(0, fen, tally);
      const int side = Pos.sideToMove;
      int n = Pos.InCheck() ? GenerateEvasions(side, 0, 0, nullptr) : GenerateMoves(side, 0, 0);
      for (int i = 0; i < n; i++) {
        Move m = MoveListBegin(0)[i].move;
        if (!LeavesKingSafe(m)) continue;
        MakeMove(m);
        CheckNode(1, fen + " " + Text(m), tally);
        UnmakeMove();
        if (HasFatalFailure()) return;
      }
    }
  }
  RecordProperty("positions", tally.positions);
  EXPECT_GT(tally.positions, 5000);
  EXPECT_GT(tally.inCheck, 100);
  EXPECT_GT(tally.quietChecks, 500);
}

}  // namespace
