// The whole evaluation scores a position and its colour-flipped mirror the same for the side to move.
#include <gtest/gtest.h>

#include "../board/board_helpers.h"
#include "board/geometry.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval_helpers.h"
#include "shell/engine_process.h"

namespace {

int FullEvaluation(const std::string& fen) {
  SettingsFlags &= ~FlagHyperModern;
  SetUpForSearch(fen);
  SetDrawScores(Pos.sideToMove);
  return Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384);
}

std::vector<std::string> PositionsAndReplies() {
  std::vector<std::string> out;
  for (const char* file : {"perft.epd", "wac.epd"})
    for (const std::string& fen : DataPositions(file)) {
      out.push_back(fen);
      if (!SetFen(fen)) continue;
      for (Move m : LegalMoves(0)) {
        MakeMove(m);
        out.push_back(PositionToFen());
        UnmakeMove();
      }
    }
  return out;
}

TEST(EvaluationSymmetry, MirroredPositionsScoreTheSameForTheSideToMove) {
  EvalTablesReady();
  ResizeEvalCache(0);
  Options.drawValue = 0;
  int compared = 0, setAside = 0;
  for (const std::string& fen : PositionsAndReplies()) {
    const int score = FullEvaluation(fen);
    const Position& p = Pos;
    const uint32_t wb = p.bishops(White), bb = p.bishops(Black), units = SignatureUnits(p.materialSignature[White]);
    const bool oppositeBishops = units == uint32_t(SignatureUnits(p.materialSignature[Black])) && units <= 8 && wb &&
                                 bb && !(wb & (wb - 1)) && !(bb & (bb - 1)) &&
                                 Geo.shade[p.pieceList[White][LowestSlot(wb)]] != Geo.shade[p.pieceList[Black][LowestSlot(bb)]];
    bool extraPieces = false;
    for (int c = 0; c < 2; c++)
      for (int slot = 8; slot < 16; slot++)
        extraPieces |= p.pieceList[c][slot] != NoSlot && p.pieceType[p.pieceList[c][slot]] != Pawn;
    const int mirrored = FullEvaluation(MirrorFen(fen));
    if (extraPieces || (oppositeBishops && std::abs(score - mirrored) <= 1)) {
      setAside++;
      continue;
    }
    EXPECT_EQ(score, mirrored) << fen;
    compared++;
  }
  EXPECT_GE(compared, 15000);
  EXPECT_LE(setAside, compared / 20);
  ResetSettings();
}

TEST(EvalTool, PrintsEveryTermBeforeTheScore) {
  const std::string fen = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4";
  const std::vector<std::string> lines = Lines(RunTool("eval " + fen));
  size_t at = 0;
  const std::vector<std::string> terms = {"material", "pawns", "pieces", "threats", "king safety", "ending", "scale", "eval "};
  for (const std::string& line : lines) at += at < terms.size() && line.rfind(terms[at], 0) == 0;
  EXPECT_EQ(at, terms.size());
  EvalTablesReady();
  ResizeEvalCache(0);
  SetUpForSearch(fen);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "eval " + std::to_string(Evaluate(Pos.sideToMove, 1, FullEvalDepth, -16384, 16384)));
}

}  // namespace
