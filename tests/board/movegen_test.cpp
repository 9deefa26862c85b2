// Move generation: the generators cross-checked on the perft positions.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "board_helpers.h"

namespace {

using MoveGen = BoardTest;

// The evasion generator's information word: these bits and the number of king moves in the low byte.
constexpr int DoubleCheck = 0x2000, KingMoveCount = 0xFF;

// The generators against each other, IsPseudoLegal and MakeMove's check flag on perft positions and children.
class GeneratorAgreement : public MoveGen {
 protected:
  int positions = 0, inCheckNodes = 0, quietChecks = 0;

  static bool LeavesKingSafe(Move m) {
    const int side = Pos.sideToMove;
    MakeMove(m);
    const bool safe = Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts == 0;
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

  void CheckNode(int ply, const std::string& where) {
    const int side = Pos.sideToMove;
    const bool inCheck = Pos.InCheck();
    positions++;
    inCheckNodes += inCheck;
    // In check the evasions are exactly the legal moves of the full list, king moves only in a double check.
    const std::set<Move> legal = inCheck ? Legal(ply, GenerateMoves(side, ply, 0)) : std::set<Move>{};
    int info = 0;
    const int n = inCheck ? GenerateEvasions(side, ply, 0, &info) : GenerateMoves(side, ply, 0);
    EXPECT_TRUE(!inCheck || Legal(ply, n) == legal) << where;
    std::set<Move> distinct;
    int kingMoves = 0;
    for (int i = 0; i < n; i++) {
      const Move m = MoveListBegin(ply)[i].move;
      distinct.insert(m);
      kingMoves += MoveFrom(m) == Pos.kingSquare(side);
      Move completed = m;
      ASSERT_EQ(IsPseudoLegal(side, &completed), 1) << where << " " << Text(m);
      EXPECT_EQ(completed, m) << where << " " << Text(m);
      const Move kind = MoveKind(m);
      if (kind == KindCastle || kind == KindEnPassant || !LeavesKingSafe(m)) continue;
      const bool givesCheck = GivesCheck(m, side) != 0;
      MakeMove(m);
      EXPECT_EQ(givesCheck, (Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordInCheck) != 0) << where << " " << Text(m);
      UnmakeMove();
    }
    EXPECT_EQ(int(distinct.size()), n) << where;
    EXPECT_EQ(info & KingMoveCount, inCheck ? kingMoves : 0) << where;
    EXPECT_TRUE(!(info & DoubleCheck) || kingMoves == n) << where;
    if (inCheck) return;
    int nq = GenerateQuiescenceMoves(side, ply, 2);
    for (int i = 0; i < nq; i++) {
      const Move marked = MoveListBegin(ply)[i].move;
      if (!(marked & CheckMark)) continue;
      Move m = Move(marked & ~CheckMark), completed = m;
      ASSERT_EQ(IsPseudoLegal(side, &completed), 1) << where << " " << Text(m);
      EXPECT_EQ(completed, m) << where << " " << Text(m);
      if (!LeavesKingSafe(m)) continue;
      quietChecks++;
      MakeMove(m);
      EXPECT_NE(Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordInCheck, 0) << where << " " << Text(m);
      UnmakeMove();
    }
  }
};

TEST_F(GeneratorAgreement, PerftPositionsAndTheirChildren) {
  for (const char* file : {"perft.epd", "perft960.epd"}) {
    for (const std::string& line : ReadLines(file)) {
      std::string fen = line.substr(0, line.find(';'));
      ASSERT_TRUE(SetFen(fen)) << fen;
      CheckNode(0, fen);
      for (Move m : LegalMoves(0)) {
        MakeMove(m);
        CheckNode(1, fen + " " + Text(m));
        UnmakeMove();
        if (HasFatalFailure()) return;
      }
    }
  }
  RecordProperty("positions", positions);
  EXPECT_GT(positions, 5000);
  EXPECT_GT(inCheckNodes, 100);
  EXPECT_GT(quietChecks, 500);
}

}  // namespace
