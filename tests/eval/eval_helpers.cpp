#include "eval_helpers.h"

#include <cctype>
#include <fstream>
#include <sstream>

std::string MirrorFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling, ep;
  in >> board >> side >> castling >> ep;
  std::vector<std::string> ranks;
  std::stringstream rows(board);
  for (std::string row; std::getline(rows, row, '/');) ranks.insert(ranks.begin(), row);
  std::string mirrored;
  for (const std::string& row : ranks) mirrored += (mirrored.empty() ? "" : "/") + row;
  auto swapCase = [](std::string s) {
    for (char& ch : s) ch = std::isupper(ch) ? char(std::tolower(ch)) : char(std::toupper(ch));
    return s;
  };
  if (ep != "-") ep[1] = char('1' + '8' - ep[1]);
  return swapCase(mirrored) + (side == "w" ? " b " : " w ") + swapCase(castling) + " " + ep + " 0 1";
}

std::vector<std::string> DataPositions(const std::string& file) {
  std::vector<std::string> out;
  std::ifstream in(std::string(CORVID_TEST_DATA_DIR) + "/" + file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line.substr(0, line.find(';')));
    std::string board, side, castling, ep;
    if (!(fields >> board >> side >> castling >> ep)) continue;
    out.push_back(board + " " + side + " " + castling + " " + ep + " 0 1");
  }
  return out;
}

int SquareOf(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
