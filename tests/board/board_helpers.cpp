#include "eval/eval.h"
#include "board_helpers.h"

#include <fstream>

#include "core/settings.h"

void BoardReady() {
  static bool ready = false;
  if (!ready) {
    InitBoardTables();
    InitEvaluation();
    ready = true;
  }
  ResetSettings();
  CountEveryPromotion = false;
  ResetGameState();
  SetupPosition(2, SetupAllCastling);
}

bool SetFen(const std::string& fen) {
  ResetGameState();
  return ParseFen(fen.c_str()) != 0;
}

std::string Text(Move m) { return MoveToText(m, TextCoordinate | TextNoPadding); }

std::vector<Move> LegalMoves(int ply) {
  const int side = Pos.sideToMove;
  const int n = Pos.InCheck() ? GenerateEvasions(side, ply, 0, nullptr) : GenerateMoves(side, ply, 0);
  std::vector<Move> moves;
  for (int i = 0; i < n; i++) {
    const Move m = Move(MoveListBegin(ply)[i].move & ~CheckMark);
    MakeMove(m);
    if (!Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts) moves.push_back(m);
    UnmakeMove();
  }
  return moves;
}

bool Play(const std::string& text) {
  Move m = ParseMoveText(text.c_str());
  if (!m || !IsPseudoLegal(Game.side, &m) || !PlayGameMove(m, Game.side)) return false;
  Game.side ^= 1;
  return true;
}

std::vector<std::string> ReadLines(const std::string& name) {
  std::ifstream in(std::string(CORVID_TEST_DATA_DIR) + "/" + name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}
