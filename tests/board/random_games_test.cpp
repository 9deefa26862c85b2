// Make and unmake along random games: derived fields equal a rebuild, unmake restores the position.
#include <gtest/gtest.h>

#include <random>

#include "board_helpers.h"
#include "same_position.h"

namespace {

struct Walker {
  std::mt19937 rng;
  long plies = 0;
  int promotions = 0, castlings = 0, enPassants = 0, nullMoves = 0;
  Position saved[MaxPly];

  explicit Walker(unsigned seed) : rng(seed) {}

  // Picks a legal move, preferring the rarer kinds now and then so they are well covered.
  Move PickMove(int ply) {
    const std::vector<Move> legal = LegalMoves(ply);
    int special = -1;
    for (int i = 0; i < int(legal.size()); i++) {
      const Move kind = MoveKind(legal[i]);
      if ((IsPromotion(legal[i]) || kind == KindCastle || kind == KindEnPassant) && rng() % 2) special = i;
    }
    if (legal.empty()) return 0;
    return special >= 0 ? legal[special] : legal[rng() % legal.size()];
  }

  void Check(const char* when, Move m) {
    ASSERT_STREQ(CheckPositionConsistency(), "") << when << " " << Text(m) << " at ply " << Pos.ply;
  }

  // Plays a random line of up to `length` moves from the current position, then takes it all back.
  void Line(int length) {
    int depth = 0;
    Move moves[MaxPly];
    while (depth < length) {
      saved[depth] = Pos;
      bool useNull = !Pos.InCheck() && rng() % 16 == 0;
      Move m = useNull ? 0 : PickMove(depth);
      if (!useNull && !m) break;
      if (useNull) {
        MakeNullMove();
        nullMoves++;
      } else {
        MakeMove(m);
        promotions += IsPromotion(m) != 0;
        castlings += MoveKind(m) == KindCastle, enPassants += MoveKind(m) == KindEnPassant;
      }
      moves[depth++] = m;
      plies++;
      Check("after make", m);
      if (::testing::Test::HasFatalFailure()) return;
    }
    while (--depth >= 0) {
      if (moves[depth]) UnmakeMove(); else UnmakeNullMove();
      Check("after unmake", moves[depth]);
      if (::testing::Test::HasFatalFailure()) return;
      ASSERT_EQ(FirstDifference(Pos, saved[depth]), "") << "unmake of " << Text(moves[depth]);
    }
  }
};

using RandomGames = BoardTest;

TEST_F(RandomGames, EveryDerivedFieldStaysExact) {
  std::vector<std::string> fens = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"};
  for (const char* file : {"perft.epd", "perft960.epd"}) {
    std::vector<std::string> lines = ReadLines(file);
    for (size_t i = 0; i < lines.size(); i += 3) fens.push_back(lines[i].substr(0, lines[i].find(';')));
  }
  Walker walker(20240611);
  while (walker.plies < 24000) {
    for (const std::string& fen : fens) {
      ASSERT_TRUE(SetFen(fen)) << fen;
      walker.Line(20 + int(walker.rng() % 40));
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(walker.promotions, 50);
  EXPECT_GT(walker.castlings, 50);
  EXPECT_GT(walker.enPassants, 20);
  EXPECT_GT(walker.nullMoves, 100);
}

// Game moves go through the same make and unmake; a long random game with take-backs.
TEST_F(RandomGames, GameMovesAndTakeBacks) {
  std::mt19937 rng(77);
  for (int game = 0; game < 20; game++) {
    SetFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (int ply = 0; ply < 150; ply++) {
      int side = Pos.sideToMove;
      int n = Pos.InCheck() ? GenerateEvasions(side, 0, 0, nullptr) : GenerateMoves(side, 0, 0);
      if (n == 0) break;
      Move m = Move(MoveListBegin(0)[rng() % n].move & ~CheckMark);
      Position before = Pos;
      if (!PlayGameMove(m, side)) {
        ASSERT_EQ(FirstDifference(Pos, before, false), "") << "refused move";
        continue;
      }
      ASSERT_STREQ(CheckPositionConsistency(), "");
      if (rng() % 10 == 0) {
        TakeBackGameMove();
        ASSERT_EQ(FirstDifference(Pos, before, false), "") << "take-back";
      }
    }
  }
}

// The FEN writer gives back every perft position: parsed again it is the same position.
TEST_F(RandomGames, WrittenFenSetsUpTheSamePosition) {
  for (const char* file : {"perft.epd", "perft960.epd"}) {
    for (const std::string& line : ReadLines(file)) {
      std::string fen = line.substr(0, line.find(';'));
      ASSERT_TRUE(SetFen(fen)) << fen;
      static Position first;
      first = Pos;
      std::string written = PositionToFen();
      ASSERT_TRUE(SetFen(written)) << fen << " -> " << written;
      EXPECT_EQ(FirstDifference(Pos, first), "") << fen << " -> " << written;
    }
  }
}

// A damaged field stops a checking build at once, with the position's FEN.
TEST_F(RandomGames, MismatchAbortsWithTheFen) {
  ASSERT_TRUE(SetFen("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
  Pos.threatValue[0] += 5;
  EXPECT_DEATH(VerifyPositionOrAbort("a test"),
               "position check failed after a test: threat value.*\nFEN: 4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  Pos.threatValue[0] -= 5;
}

}  // namespace
