// Reading PGN game collections: the tags the tools need and the move tokens
// of the main line (comments, variations, move numbers and annotation glyphs
// are skipped).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PgnGame {
  std::string fen;                 // the FEN tag, empty for the standard start
  std::string result;              // "1-0", "0-1", "1/2-1/2", "*" or empty when missing
  std::vector<std::string> moves;  // SAN tokens of the main line, check signs kept
};

class PgnReader {
 public:
  explicit PgnReader(std::string text) : text_(std::move(text)) {}
  // The next game; false at the end of the text. At most `maxMoves` move
  // tokens are kept (the rest of the game is read and dropped).
  bool Next(PgnGame& game, size_t maxMoves = SIZE_MAX);

 private:
  void SkipBlanks();
  void SkipTo(char end);
  void SkipVariation();
  void ReadTag(PgnGame& game);

  std::string text_;
  size_t pos_ = 0;
};

// True for the four game-termination markers.
bool IsPgnResult(const std::string& token);
