#include "eval_helpers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "../board/board_helpers.h"
#include "eval/eval.h"

void EvalTablesReady() {
  [[maybe_unused]] static const bool ready = (BoardReady(), true);  // once: later calls leave the settings alone
}

void SetUpForSearch(const std::string& fen, int style) {
  EvalTablesReady();
  ASSERT_TRUE(SetFen(fen)) << fen;
  PrepareEvaluationForSearch(Pos.sideToMove, style);
  PrepareEvaluation();
  UpdatePhase();
}

std::string MirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep;
  in >> board >> side >> castling >> ep;
  std::string mirrored, row;
  for (std::stringstream rows(board); std::getline(rows, row, '/');) mirrored = row + (mirrored.empty() ? "" : "/") + mirrored;
  auto swapCase = [](std::string s) {
    for (char& ch : s) ch = std::isupper(ch) ? char(std::tolower(ch)) : char(std::toupper(ch));
    return s;
  };
  if (ep != "-") ep[1] = char('1' + '8' - ep[1]);
  return swapCase(mirrored) + (side == "w" ? " b " : " w ") + swapCase(castling) + " " + ep + " 0 1";
}

std::vector<std::string> DataPositions(const std::string& file) {
  std::vector<std::string> out;
  for (const std::string& line : ReadLines(file)) {
    std::istringstream fields(line.substr(0, line.find(';')));
    std::string board, side, castling, ep;
    if (fields >> board >> side >> castling >> ep) out.push_back(board + " " + side + " " + castling + " " + ep + " 0 1");
  }
  return out;
}
