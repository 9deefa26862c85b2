// Endgame evaluators: lone king, wrong bishop, queen against pawn, and KPK against a retrograde solution.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "../board/board_helpers.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/eval_internal.h"
#include "tool/tool_search.h"

namespace {

constexpr int Turns[4] = {0, 7, 56, 63};
constexpr int SwapsColours = 56;

class Endgame : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    Options.drawValue = 0;
    SetDrawScores(White);
    KingCentrality = CentreTable;
  }
  bool Set(const std::string& fen, int turn = 0) {
    if (!SetFen(fen)) return false;
    uint8_t type[64], colour[64];
    std::memcpy(type, Pos.pieceType, 64);
    std::memcpy(colour, Pos.colour, 64);
    const int swap = (turn & SwapsColours) ? 1 : 0;
    const int side = Pos.sideToMove ^ swap;
    const uint32_t ep = Pos.epSquare ? SetupEnPassant | (Pos.epSquare ^ turn) : 0;
    for (int sq = 0; sq < 64; sq++) {
      Pos.pieceType[sq ^ turn] = type[sq];
      Pos.colour[sq ^ turn] = colour[sq] == NoColour ? NoColour : colour[sq] ^ swap;
    }
    ResetGameState();
    if (!SetupPosition(side, ep)) return false;
    PrepareEvaluationForSearch(side, 0);
    return true;
  }
  static int Colour(int c, int turn) { return turn & SwapsColours ? c ^ 1 : c; }
  EvalTrace Trace() {
    EvalTrace t{};
    ActiveEvalTrace = &t;
    Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384);
    ActiveEvalTrace = nullptr;
    return t;
  }
};

TEST_F(Endgame, RookAgainstBareKingDrivesTheKingToTheEdge) {
  const int expected = 1460 + 220 - (CentreTable[60] + 48 + 7 * 16);
  for (int turn : Turns) {
    ASSERT_TRUE(Set("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", turn));
    const int strong = Colour(White, turn);
    EXPECT_EQ(LoneKingScore(strong, strong), expected) << turn;
    EXPECT_EQ(LoneKingScore(strong ^ 1, strong), -expected) << turn;
  }
  // The same king distance, the defending king ever nearer the edge: the score keeps growing.
  int last = -100000;
  for (const char* fen : {"8/8/8/4k3/8/4K3/8/R7 w - - 0 1", "8/8/4k3/8/4K3/8/8/R7 w - - 0 1",
                          "8/4k3/8/4K3/8/8/8/R7 w - - 0 1", "4k3/8/4K3/8/8/8/8/R7 w - - 0 1"}) {
    ASSERT_TRUE(Set(fen));
    const int score = Trace().score;
    EXPECT_GT(score, last) << fen;
    last = score;
  }
}

TEST_F(Endgame, WrongBishopWithRookPawns) {
  const std::tuple<const char*, int, int> cases[] = {  // fen, scale, kind
      {"k7/8/8/8/8/8/P7/2B1K3 w - - 0 1", 1, RecordKindCertainDraw},  // dark bishop, king on a8
      {"k7/8/8/8/8/8/P7/4KB2 w - - 0 1", 16, 0},                      // the right bishop
      {"8/8/4k3/8/P7/8/8/2B1K3 w - - 0 1", 3, 0},                     // the king arrives just in time
  };
  for (const auto& [fen, scale, kind] : cases)
    for (int turn : Turns) {
      ASSERT_TRUE(Set(fen, turn)) << fen;
      const EvalTrace t = Trace();
      EXPECT_EQ(std::pair(t.scale, t.kind), std::pair(scale, kind)) << fen << " turned " << turn;
    }
}

TEST_F(Endgame, QueenAgainstPawnOnTheSeventh) {
  const std::tuple<const char*, int, int> cases[] = {  // fen, kind, score in the strong side's view
      {"7K/8/8/8/6Q1/8/1kp5/8 w - - 0 1", RecordKindCertainDraw, 0},  // bishop pawn, king beside c1, White king far
      {"7K/8/8/8/6Q1/8/1p6/2k5 w - - 0 1", 0, 2 * (1 - 13)},         // knight pawn: the queen wins
  };
  for (const auto& [fen, kind, score] : cases)
    for (int turn : Turns) {
      ASSERT_TRUE(Set(fen, turn)) << fen;
      int flags = 0;
      EXPECT_EQ(QueenPawnScore(Pos.sideToMove, Colour(White, turn), &flags), score) << fen << " turned " << turn;
      EXPECT_EQ(flags, kind) << fen << " turned " << turn;
      EXPECT_EQ(Trace().kind, kind) << fen << " turned " << turn;
    }
}

class KpkSolution {
 public:
  static int Id(int side, int pawn, int wk, int bk) { return ((side * 64 + pawn) * 64 + wk) * 64 + bk; }
  std::vector<int8_t> won;  // -1 illegal, 0 drawn, 1 won for White

  KpkSolution() : won(2 * 64 * 64 * 64, -1), left_(won.size(), 0), before_(won.size()) {
    std::vector<int> queue;
    for (int side = 0; side < 2; side++)
      for (int pawn = 8; pawn < 56; pawn++)
        for (int wk = 0; wk < 64; wk++)
          for (int bk = 0; bk < 64; bk++) {
            if (wk == pawn || bk == pawn || wk == bk || !Place(side, pawn, wk, bk)) continue;
            const int id = Id(side, pawn, wk, bk);
            won[id] = 0;
            bool mate = Pos.InCheck();
            for (int next : Successors()) {
              mate = false;
              left_[id]++;
              if (next == WinNow && side == White && !won[id]) queue.push_back(id), won[id] = 1;
              if (next >= 0) before_[next].push_back(id);
            }
            if (mate) queue.push_back(id), won[id] = 1;
          }
    while (!queue.empty()) {  // a won position wins every White predecessor and counts down Black's
      int id = queue.back();
      queue.pop_back();
      for (int prev : before_[id])
        if (!won[prev] && (prev < 64 * 64 * 64 || --left_[prev] == 0)) queue.push_back(prev), won[prev] = 1;
    }
  }
  static bool Place(int side, int pawn, int wk, int bk) {
    for (int sq = 0; sq < 64; sq++) Pos.pieceType[sq] = Empty, Pos.colour[sq] = NoColour;
    Pos.pieceType[pawn] = Pawn, Pos.colour[pawn] = White;
    Pos.pieceType[wk] = King, Pos.colour[wk] = White;
    Pos.pieceType[bk] = King, Pos.colour[bk] = Black;
    ResetGameState();
    return SetupPosition(side, 0) != 0;
  }

 private:
  static constexpr int WinNow = -2, DrawNow = -3;
  std::vector<int> left_;                 // Black to move: moves not yet known to lose
  std::vector<std::vector<int>> before_;  // predecessors

  static std::vector<int> Successors() {
    std::vector<int> out;
    for (Move m : LegalMoves(0)) {
      MakeMove(m);
      const int side = Pos.sideToMove, pawn = Pos.pawns(White) ? Pos.pieceList[White][15] : -1;
      if (IsPromotion(m)) {
        PieceType t = PromotedType[MoveKind(m) >> 12];
        bool wins = t == Queen || t == Rook;
        std::vector<Move> replies = LegalMoves(1);
        if (replies.empty()) wins = wins && Pos.InCheck();
        for (Move r : replies) wins = wins && MoveTo(r) != MoveTo(m);
        out.push_back(wins ? WinNow : DrawNow);
      } else {
        out.push_back(pawn < 0 ? DrawNow : Id(side, pawn, Pos.kingSquare(White), Pos.kingSquare(Black)));
      }
      UnmakeMove();
    }
    return out;
  }
};

TEST_F(Endgame, KingAndPawnAgainstKingMatchesTheRetrogradeSolution) {
  const KpkSolution solution;
  int checked = 0, wins = 0;
  for (int pawn = 8; pawn < 56; pawn++)
    for (int wk = 0; wk < 64; wk++)
      for (int bk = 0; bk < 64; bk++) {
        int8_t w = solution.won[KpkSolution::Id(White, pawn, wk, bk)];
        if (w >= 0) {  // the pawn side to move, as White and as Black
          int kind = 0;
          KPKRule(White, wk, bk, pawn, &kind);
          ASSERT_EQ(kind, w ? RecordKindWon : RecordKindCertainDraw) << pawn << " " << wk << " " << bk;
          KPKRule(Black, wk ^ 56, bk ^ 56, pawn ^ 56, &kind);
          ASSERT_EQ(kind, w ? RecordKindWon : RecordKindCertainDraw) << "Black " << pawn << " " << wk << " " << bk;
          checked++;
          wins += w;
        }
        int8_t b = solution.won[KpkSolution::Id(Black, pawn, wk, bk)];
        if (b >= 0) {  // the defending king to move, through the evaluator
          ASSERT_TRUE(KpkSolution::Place(Black, pawn, wk, bk));
          int flags = 0;
          KingPawnKingScore(Black, White, &flags, Pos.attackTable[White]);
          ASSERT_EQ(flags, b ? RecordKindLost : RecordKindCertainDraw) << pawn << " " << wk << " " << bk;
        }
      }
  EXPECT_GT(checked, 150000);
  EXPECT_GT(wins, checked / 2);
}

TEST(KingAndPawnPlay, WonEndingsArePromoted) {
  BoardReady();
  ASSERT_TRUE(PrepareToolSearches(4096, 1000000));
  for (const char* fen :
       {"8/8/1k6/8/8/8/6P1/6K1 w - - 0 1", "8/8/8/8/8/1k6/6P1/5K2 w - - 0 1", "8/8/8/2k5/6P1/8/8/5K2 w - - 0 1",
        "4K3/7k/8/6P1/8/8/8/8 w - - 0 1", "6k1/8/6K1/8/8/8/1P6/8 w - - 0 1", "2K5/k7/8/1P6/8/8/8/8 w - - 0 1"}) {
    ASSERT_TRUE(SetFen(fen));
    for (int ply = 0; ply < 80 && Pos.pawns(White); ply++) {
      ToolSearchResult r;
      Move m = ply == 0 ? SearchFenQuietly(fen, 0, 100, 0, &r) : SearchGameQuietly(0, 100, 0, &r);
      ASSERT_TRUE(m && PlayGameMove(m, Game.side)) << fen;
      Game.side ^= 1;
    }
    EXPECT_EQ(Pos.material[White], pieceValue[Queen]) << fen;  // a queen, the pawn never lost on the way
  }
}

}  // namespace
