// Move generation: the order and initial scores of the ordinary, evasion and quiescence lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board_helpers.h"

namespace {

using Texts = std::vector<std::string>;

class MoveGen : public ::testing::Test {
 protected:
  void SetUp() override { BoardReady(); }
};

enum Generator { Moves, Evasions, Quiescence };

// The evasion generator's information word: these bits and the number of king moves in the low byte.
constexpr int CheckerNotLastMoved = 0x4000, DoubleCheck = 0x2000, KingMoveCount = 0xFF;

// Sets up the FEN, plays the game moves, and generates the ply-0 list; answers its length.
int Generate(const char* fen, const char* game, Generator generator, int mode, int* checkInfo = nullptr) {
  EXPECT_TRUE(SetFen(fen)) << fen;
  std::istringstream in(game);
  for (std::string m; in >> m;) EXPECT_TRUE(Play(m)) << m;
  const int side = Pos.sideToMove;
  return generator == Moves      ? GenerateMoves(side, 0, mode)
         : generator == Evasions ? GenerateEvasions(side, 0, mode, checkInfo)
                                 : GenerateQuiescenceMoves(side, 0, mode);
}

const char* const Promotions = "1n5k/P7/8/8/8/8/8/4K3 w - - 0 1";
const char* const QuiescenceMix = "4k2r/1P4P1/2P5/8/8/8/8/R5K1 w - - 0 1";  // promotions, a push to the 7th, checks

// The moves a generator lists, in order ("...": and more after them).
TEST_F(MoveGen, ListOrder) {
  const struct {
    const char* fen;
    const char* game;
    Generator generator;
    int mode;
    const char* moves;
  } cases[] = {
      // Pawns by file, then knights in jump order -17, -10, +6, +15, +17, +10, -6, -15 from the higher slot.
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "", Moves, 0,
       "a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 g1f3 g1h3 b1a3 b1c3"},
      // Captures: the most valuable victim first, the cheapest attacker first.
      {"4k3/8/7r/3q4/2P5/4N3/8/R3K3 b - - 0 1", "h6a6", Moves, 0, "c4d5 e3d5 a1a6 ..."},
      // Promotions queen, knight, rook, bishop; no fourth knight.
      {Promotions, "", Moves, 0, "a7b8q a7b8n a7b8r a7b8b a7a8q a7a8n a7a8r a7a8b ..."},
      {"7k/P7/8/8/8/8/8/NNN1K3 w - - 0 1", "", Moves, 0, "a7a8q a7a8r a7a8b ..."},
      // King moves E, N, W, S, NW, NE, SW, SE; not along the checking line, nor onto a defended piece.
      {"4k3/8/8/6n1/8/8/8/4K2B b - - 0 1", "g5f3", Evasions, 0, "e1f1 e1e2 e1d1 e1f2 h1f3"},
      {"4r2k/8/8/8/4K3/8/8/8 w - - 0 1", "", Evasions, 0, "e4f4 e4d4 e4d5 e4f5 e4d3 e4f3"},
      {"7k/8/8/4r3/4K3/8/8/8 w - - 0 1", "", Evasions, 0, "e4f4 e4e5 e4d4 e4d3 e4f3"},
      {"4r2k/8/8/8/8/3n4/8/1B2K3 w - - 0 1", "", Evasions, 0, "e1f1 e1d1 e1d2"},  // double check: king moves only
      // Quiescence: pushes before captures, quiet checks last; a capture promotes to a queen only.
      {QuiescenceMix, "", Quiescence, 0, "b7b8q g7g8q g7h8q"},
      {QuiescenceMix, "", Quiescence, 6, "c6c7 b7b8q g7g8q g7h8q a1a8 a1e1"},
      {Promotions, "", Quiescence, 0, "a7a8q a7b8q"},
      {"4k3/8/p1N5/1B6/8/8/8/4K3 w - - 0 1", "", Quiescence, 2, "b5a6"},  // a threatened slider uncovers nothing
  };
  for (const auto& c : cases) {
    const int n = Generate(c.fen, c.game, c.generator, c.mode);
    std::string listed;
    for (const std::string& m : ListText(n)) listed += (listed.empty() ? "" : " ") + m;
    const std::string expected = c.moves;
    if (expected.ends_with(" ...")) listed = listed.substr(0, expected.size() - 4) + " ...";
    EXPECT_EQ(listed, expected) << c.fen;
  }
}

// Which captures and pushes a list holds, and the rules behind their initial scores (Missing: not listed).
TEST_F(MoveGen, InitialScores) {
  constexpr int Missing = -9999;
  const struct {
    const char* fen;
    const char* game;
    Generator generator;
    int mode;
    Move move;
    int score;
  } cases[] = {
      {"4k3/8/8/8/8/8/3n4/4K3 w - - 0 1", "", Moves, 0, MakeMoveWord(4, 11, KindCapture), 416},       // undefended
      {"4k3/8/8/b7/8/8/3n4/4K3 w - - 0 1", "", Moves, 0, MakeMoveWord(4, 11, KindCapture), Missing},  // defended
      // The same capture answers the pawn's check, as does the king's capture of the pawn.
      {"8/8/8/5k2/3p4/8/4P3/4K3 w - - 0 1", "e2e4", Evasions, 0, MakeMoveWord(27, 20, KindEnPassant), 128},
      {"8/8/8/5k2/3p4/8/4P3/4K3 w - - 0 1", "e2e4", Evasions, 0, MakeMoveWord(37, 28, KindCapture), 128 + 100},
      {QuiescenceMix, "", Quiescence, 2, MakeMoveWord(42, 50), Missing},  // pushes to the 7th from mode 6 on
      // A push to the 7th only where it attacks something or is not blocked.
      {"2n1k3/8/2P5/8/8/8/8/4K3 w - - 0 1", "", Quiescence, 6, MakeMoveWord(42, 50), Missing},
      {"1rn1k3/8/2P5/8/8/8/8/4K3 w - - 0 1", "", Quiescence, 6, MakeMoveWord(42, 50), 1056},
  };
  for (const auto& c : cases) {
    const int n = Generate(c.fen, c.game, c.generator, c.mode);
    int score = Missing;
    for (int i = 0; i < n; i++)
      if (MoveListBegin(0)[i].move == c.move) score = MoveListBegin(0)[i].score;
    EXPECT_EQ(score, c.score) << c.fen << " " << Text(c.move) << " mode " << c.mode;
  }
}

TEST_F(MoveGen, EvasionInformation) {
  const struct {
    const char* fen;
    const char* game;
    int info;
  } cases[] = {
      {"4k3/8/8/6n1/8/8/8/4K2B b - - 0 1", "g5f3", 4},
      {"4r2k/8/8/8/4K3/8/8/8 w - - 0 1", "", CheckerNotLastMoved | 6},
      {"4r2k/8/8/8/8/3n4/8/1B2K3 w - - 0 1", "", CheckerNotLastMoved | DoubleCheck | 3},
      {"8/8/8/5k2/3p4/8/4P3/4K3 w - - 0 1", "e2e4", 8},
      {"4k3/8/8/8/1b6/8/2P5/3QK1N1 w - - 0 1", "", CheckerNotLastMoved | 3},
  };
  for (const auto& c : cases) {
    int info = -1;
    Generate(c.fen, c.game, Evasions, 0, &info);
    EXPECT_EQ(info, c.info) << c.fen;
  }
  // A check blocked by pieces and pawn pushes; the knight cannot help.
  const int n = Generate("4k3/8/8/8/1b6/8/2P5/3QK1N1 w - - 0 1", "", Evasions, 0);
  std::set<std::string> list;
  for (const std::string& m : ListText(n)) list.insert(m);
  EXPECT_EQ(list, (std::set<std::string>{"c2c3", "d1d2", "e1e2", "e1f2", "e1f1"}));
}

TEST_F(MoveGen, CastlingInChess960GoesToTheRookSquare) {
  int n = Generate("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "", Moves, 0);
  EXPECT_EQ(ListText(n)[n - 2], "e1g1");
  EXPECT_EQ(MoveListBegin(0)[n - 1].move, MakeMoveWord(4, 2, KindCastle));
  n = Generate("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "", Moves, 0);
  ASSERT_TRUE(Chess960Mode());
  EXPECT_EQ(MoveListBegin(0)[n - 2].move, MakeMoveWord(4, 7, KindCastle));
  EXPECT_EQ(MoveListBegin(0)[n - 1].move, MakeMoveWord(4, 0, KindCastle));
}

TEST_F(MoveGen, DiscoveredQuietChecksAreMarked) {
  // The knight on c6 stands between the bishop on b5 and the king on e8.
  const int n = Generate("4k3/8/2N5/1B6/8/8/8/4K3 w - - 0 1", "", Quiescence, 2);
  Texts list = ListText(n);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (Texts{"c6a5", "c6a7", "c6b4", "c6b8", "c6d4", "c6d8", "c6e5", "c6e7"}));
  for (int i = 0; i < n; i++) EXPECT_NE(MoveListBegin(0)[i].move & CheckMark, 0);
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
      if (info & DoubleCheck) {
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
      EXPECT_EQ(info & KingMoveCount, kingMoves) << where;
    }
    for (int i = 0; i < n; i++) {
      const Move m = MoveListBegin(ply)[i].move;
      Move completed = m;
      ASSERT_EQ(IsPseudoLegal(side, &completed), 1) << where << " " << Text(m);
      EXPECT_EQ(completed, m) << where << " " << Text(m);
      const Move kind = MoveKind(m);
      if (kind == KindCastle || kind == KindEnPassant || !LeavesKingSafe(m)) continue;
      MakeMove(m);
      bool checks = (Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordInCheck) != 0;
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
      EXPECT_NE(Pos.undoStack[Pos.undoTop - 1].checkFlag & RecordInCheck, 0) << where << " " << Text(m);
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
