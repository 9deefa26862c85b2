#include "tool/pgn.h"

#include <cctype>
#include <cstdint>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool EndsToken(char c) { return IsBlank(c) || c == '{' || c == '}' || c == '(' || c == ')' || c == '[' || c == ';'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A move token without a leading move number ("12.e4" -> "e4", "12..." -> "")
// and without trailing annotation glyphs ("Nf3!?" -> "Nf3").
std::string MovePart(const std::string& token) {
  size_t i = 0;
  while (i < token.size() && IsDigit(token[i])) i++;
  if (i > 0 && i < token.size() && token[i] == '.') {
    while (i < token.size() && token[i] == '.') i++;
  } else if (i == token.size()) {
    return "";  // a bare number
  } else {
    i = 0;
  }
  size_t end = token.size();
  while (end > i && (token[end - 1] == '!' || token[end - 1] == '?')) end--;
  return token.substr(i, end - i);
}

}  // namespace

bool IsPgnResult(const std::string& token) {
  return token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*";
}

void PgnReader::SkipBlanks() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) pos_++;
}

void PgnReader::SkipTo(char end) {
  while (pos_ < text_.size() && text_[pos_] != end) pos_++;
  if (pos_ < text_.size()) pos_++;
}

void PgnReader::SkipVariation() {
  int depth = 0;
  while (pos_ < text_.size()) {
    char c = text_[pos_++];
    if (c == '{')
      SkipTo('}');
    else if (c == ';')
      SkipTo('\n');
    else if (c == '(')
      depth++;
    else if (c == ')' && --depth == 0)
      return;
  }
}

void PgnReader::ReadTag(PgnGame& game) {
  pos_++;  // '['
  size_t nameStart = pos_;
  while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != ']') pos_++;
  std::string name = text_.substr(nameStart, pos_ - nameStart);
  std::string value;
  while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != ']' && text_[pos_] != '\n') pos_++;
  if (pos_ < text_.size() && text_[pos_] == '"') {
    pos_++;
    while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n') {
      if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) pos_++;
      value += text_[pos_++];
    }
  }
  SkipTo(']');
  if (name == "FEN")
    game.fen = value;
  else if (name == "Result")
    game.result = value;
}

bool PgnReader::Next(PgnGame& game, size_t maxMoves) {
  game = PgnGame{};
  bool any = false, inMoves = false;
  for (;;) {
    SkipBlanks();
    if (pos_ >= text_.size()) return any;
    char c = text_[pos_];
    if (c == '[') {
      if (inMoves) return true;  // a new game begins without the last one's result
      ReadTag(game);
      any = true;
    } else if (c == '%' && (pos_ == 0 || text_[pos_ - 1] == '\n')) {
      SkipTo('\n');
    } else if (c == '{') {
      SkipTo('}');
    } else if (c == ';') {
      SkipTo('\n');
    } else if (c == '(') {
      SkipVariation();
    } else if (c == ')' || c == '}' || c == ']') {
      pos_++;  // unbalanced: ignored
    } else {
      size_t start = pos_;
      while (pos_ < text_.size() && !EndsToken(text_[pos_])) pos_++;
      std::string token = text_.substr(start, pos_ - start);
      if (IsPgnResult(token)) {
        game.result = token;
        return true;
      }
      if (token[0] == '$') continue;  // a numeric annotation glyph
      std::string move = MovePart(token);
      if (move.empty()) continue;
      any = inMoves = true;
      if (game.moves.size() < maxMoves) game.moves.push_back(move);
    }
  }
}
