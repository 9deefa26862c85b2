// FEN text to a position, with the checks that keep a bad FEN from replacing the current one.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "board/keys.h"
#include "core/settings.h"

namespace {

constexpr int MaxFields = 13;
constexpr int MaxFieldLength = 31;
constexpr int MinFields = 11;

struct Placement {
  uint8_t square, type, colour;
};

int Reject(const char* reason) {
  FenRejection = reason;
  return 0;
}

bool IsFieldChar(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-'; }

// Everything the set-up check may have to put back.
struct SavedState {
  Position pos;
  GameState game;
  uint32_t castleKeys[64];
  int rookSquares[2][2];
  uint32_t settings;
};
SavedState Saved;

void SaveState() {
  Saved.pos = Pos;
  Saved.game = Game;
  std::memcpy(Saved.castleKeys, castleEpKey, sizeof Saved.castleKeys);
  std::memcpy(Saved.rookSquares, castleRookSquare, sizeof Saved.rookSquares);
  Saved.settings = SettingsFlags;
}

void RestoreState() {
  Pos = Saved.pos;
  Game = Saved.game;
  std::memcpy(castleEpKey, Saved.castleKeys, sizeof Saved.castleKeys);
  std::memcpy(castleRookSquare, Saved.rookSquares, sizeof Saved.rookSquares);
  SettingsFlags = (SettingsFlags & ~FlagChess960) | (Saved.settings & FlagChess960);
}

// Places the records on an empty board and sets the position up; on any failure the
// previous position, game side and move number stay in force.
int SetupCheck(const Placement* records, int count, int side, uint32_t flags, int moveNumber) {
  SaveState();
  std::memset(Pos.pieceType, Empty, sizeof Pos.pieceType);
  std::memset(Pos.colour, NoColour, sizeof Pos.colour);
  int n[2][7] = {};
  static const int Limit[7] = {0, 16, 4, 4, 4, 8, 2};
  for (int i = 0; i < count; i++) {
    const Placement& r = records[i];
    if (++n[r.colour][r.type] >= Limit[r.type]) {
      RestoreState();
      FenRejection = r.type == King ? "more than one king" : "too many pieces";
      return 0;
    }
    Pos.pieceType[r.square] = r.type;
    Pos.colour[r.square] = r.colour;
  }
  for (int c = 0; c < 2; c++) {
    auto atLeast = [](int v, int m) { return v > m ? v : m; };
    int slots = n[c][Pawn] + atLeast(n[c][Queen], 1) + atLeast(n[c][Rook], 2) + atLeast(n[c][Bishop], 2) +
                atLeast(n[c][Knight], 2);
    if (n[c][King] != 1 || slots > 15) {
      RestoreState();
      FenRejection = n[c][King] != 1 ? "missing king" : "too many pieces";
      return 0;
    }
  }
  Game.plyBase = 2 * moveNumber - 2 + (side == Black ? 1 : 0);
  Game.side = side;
  Game.index = 1;
  if (!SetupPosition(side, flags)) {
    RestoreState();
    FenRejection = "side not to move in check";
    return 0;
  }
  Game.setUpFromFen = 1;
  return 1;
}

}  // namespace

const char* FenRejection = "";

int ParseFen(const char* input) {
  FenRejection = "";
  // Step 1: copy the text without brace comments.
  static char text[4096];
  int len = 0;
  for (const char* s = input; *s && len < int(sizeof text) - 1; s++) {
    if (*s == '{') {
      while (*s && *s != '}') s++;
      if (!*s) break;
      continue;
    }
    text[len++] = *s;
  }
  text[len] = 0;

  // Step 2: split into fields.
  char fields[MaxFields][MaxFieldLength + 1];
  int nFields = 0;
  for (int i = 0; i < len && nFields < MaxFields;) {
    if (!IsFieldChar(text[i])) {
      i++;
      continue;
    }
    int start = i;
    while (i < len && IsFieldChar(text[i])) i++;
    if (i - start > MaxFieldLength) return Reject("field too long");
    std::memcpy(fields[nFields], text + start, size_t(i - start));
    fields[nFields][i - start] = 0;
    nFields++;
  }
  if (nFields < MinFields) return Reject("missing fields");

  // Step 3: the eight ranks.
  Placement records[64];
  int count = 0;
  int kingSquare[2] = {-1, -1};
  for (int i = 0; i < 8; i++) {
    int rank = 7 - i, file = 0;
    for (const char* s = fields[i]; *s && file < 8; s++) {
      if (std::isdigit(static_cast<unsigned char>(*s))) {
        file += *s - '0';
        continue;
      }
      const char* hit = std::strchr(PieceLetters + 1, *s);
      if (!hit) return Reject("bad placement");
      int index = int(hit - PieceLetters);
      int type = index > 6 ? index - 6 : index, colour = index > 6 ? Black : White;
      int sq = rank * 8 + file;
      // A pawn on the first or last rank cannot arise in a game, and the move generator and the
      // pawn terms would step off the board from it.
      if (type == Pawn && (rank == 0 || rank == 7)) return Reject("pawn on the first or last rank");
      records[count++] = {uint8_t(sq), uint8_t(type), uint8_t(colour)};
      if (type == King) kingSquare[colour] = sq;
      file++;
    }
  }

  // Step 4: side to move.
  int side = fields[8][0] == 'w' ? White : Black;

  // Step 5: castling rights, with rook files for Chess960.
  uint32_t flags = 0;
  if (std::strcmp(fields[9], "-") != 0) {
    for (const char* s = fields[9]; *s; s++) {
      char ch = *s;
      if (ch == 'K') flags |= SetupWhiteKingSide;
      else if (ch == 'Q') flags |= SetupWhiteQueenSide;
      else if (ch == 'k') flags |= SetupBlackKingSide;
      else if (ch == 'q') flags |= SetupBlackQueenSide;
      else if (ch >= 'A' && ch <= 'H') {
        uint32_t f = uint32_t(ch - 'A');
        if (kingSquare[White] >= 0 && int(f) < FileOf(kingSquare[White]))
          flags |= SetupWhiteQueenSide | Setup960Rook(White, QueenSide, int(f));
        else
          flags |= SetupWhiteKingSide | Setup960Rook(White, KingSide, int(f));
        flags |= SetupChess960Keys;
      } else if (ch >= 'a' && ch <= 'h') {
        uint32_t f = uint32_t(ch - 'a');
        if (kingSquare[Black] >= 0 && 56 + int(f) < kingSquare[Black])
          flags |= SetupBlackQueenSide | Setup960Rook(Black, QueenSide, int(f));
        else
          flags |= SetupBlackKingSide | Setup960Rook(Black, KingSide, int(f));
        flags |= SetupChess960Keys;
      }
    }
  }

  // Steps 6-8: en passant, the half-move clock (not used) and the move number.
  int moveNumber = 1;
  bool more = true;
  if (std::strcmp(fields[10], "-") != 0) {
    const char* e = fields[10];
    bool square = e[0] >= 'a' && e[0] <= 'h' && e[1] >= '1' && e[1] <= '8';
    int rank = e[1] - '1';
    if (square && rank == (side == White ? 5 : 2)) flags |= SetupEnPassant | uint32_t(rank * 8 + e[0] - 'a');
    else more = false;
  }
  if (more && nFields > 11 && std::isdigit(static_cast<unsigned char>(fields[11][0]))) {
    if (nFields > 12 && std::isdigit(static_cast<unsigned char>(fields[12][0]))) {
      long v = 0;
      for (const char* s = fields[12]; std::isdigit(static_cast<unsigned char>(*s)) && v < 100000; s++) v = v * 10 + (*s - '0');
      moveNumber = int(v & 255);   // the move number is carried in 8 bits
      if (moveNumber < 1) moveNumber = 1;
    }
  }

  // Step 9: both kings must be there.
  if (kingSquare[White] < 0 || kingSquare[Black] < 0) return Reject("missing king");

  // Step 10: the set-up check.
  return SetupCheck(records, count, side, flags, moveNumber);
}

int CastlingRights() {
  const Position& p = Pos;
  int rights = 0;
  for (int c = 0; c < 2; c++) {
    if (p.moveCount[p.kingSquare(c)]) continue;
    for (int w = 0; w < 2; w++) {
      int r = castleRookSquare[c][w];
      if (p.pieceType[r] == Rook && p.colour[r] == c && p.moveCount[r] == 0) rights |= 1 << (c * 2 + w);
    }
  }
  return rights;
}

const char* PositionToFen() {
  const Position& p = Pos;
  static char text[96];
  char* out = text;
  for (int rank = 7; rank >= 0; rank--) {
    int empty = 0;
    for (int file = 0; file < 8; file++) {
      int sq = rank * 8 + file;
      if (!p.pieceType[sq]) {
        empty++;
        continue;
      }
      if (empty) *out++ = char('0' + empty);
      empty = 0;
      *out++ = PieceLetters[p.pieceType[sq] + (p.colour[sq] == Black ? 6 : 0)];
    }
    if (empty) *out++ = char('0' + empty);
    if (rank) *out++ = '/';
  }
  *out++ = ' ';
  *out++ = p.sideToMove == White ? 'w' : 'b';
  *out++ = ' ';
  const int rights = CastlingRights();
  const char standard[4] = {'K', 'Q', 'k', 'q'};
  for (int i = 0; i < 4; i++) {
    if (!(rights >> i & 1)) continue;
    int c = i / 2, w = i % 2;
    char letter = Chess960Mode() ? char('A' + FileOf(castleRookSquare[c][w])) : standard[i];
    *out++ = c == Black ? char(letter | 0x20) : letter;
  }
  if (!rights) *out++ = '-';
  *out++ = ' ';
  if (p.epSquare) {
    *out++ = char('a' + FileOf(p.epSquare));
    *out++ = char('1' + RankOf(p.epSquare));
  } else {
    *out++ = '-';
  }
  int fullMove = (Game.plyBase + p.ply - 1) / 2 + 1;
  std::snprintf(out, size_t(text + sizeof text - out), " %d %d", p.ply - p.lastIrreversiblePly, fullMove);
  return text;
}
