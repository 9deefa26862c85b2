// Move text: one parser for coordinate and SAN input, one writer for every output style.
#include <cctype>
#include <cstring>

#include "board/board.h"
#include "board/geometry.h"

namespace {

constexpr int NoOrigin = 255;
constexpr int SanOriginFile = 8;
constexpr int SanOriginRank = 16;

bool IsFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool IsRankDigit(char c) { return c >= '1' && c <= '8'; }

// Number of pieces of one type among the attackers counted in `counts`.
int CountOfType(uint16_t counts, int type) {
  switch (type) {
    case King: return counts & 1;
    case Queen: return (counts >> 1) & 7;
    case Rook: return (counts >> 4) & 3;
    case Bishop: return (counts >> 6) & 3;
    case Knight: return (counts >> 8) & 3;
    default: return (counts >> 10) & 3;
  }
}

}  // namespace

int FindOrigin(int side, int type, int fromFile, int fromRank, int to) {
  const Position& p = Pos;
  uint32_t candidates = p.attackTable[side][to].attackers & p.usedSlots[side];
  int found = NoOrigin;
  while (candidates) {
    int slot = HighestSlot(candidates);
    candidates &= ~(1u << slot);
    int sq = p.pieceList[side][slot];
    if (p.pieceType[sq] != type) continue;
    if ((fromFile >= 0 && FileOf(sq) != fromFile) || (fromRank >= 0 && RankOf(sq) != fromRank)) continue;
    if (type != King && IsPinned(sq, side ^ 1)) {
      int k = p.kingSquare(side);
      if (Direction(to, k) != Direction(sq, k)) continue;
    }
    if (found != NoOrigin) return NoOrigin;
    found = sq;
  }
  return found;
}

Move ParseMoveText(const char* text) {
  const Position& p = Pos;
  const int side = Game.side;
  int n = int(std::strlen(text));

  // Step 1: drop annotations.
  while (n > 0 && std::strchr("+;#!? \t\r\n", text[n - 1])) n--;

  // Step 2: a promotion letter.
  Move promo = 0;
  if (n > 0) {
    switch (std::toupper(static_cast<unsigned char>(text[n - 1]))) {
      case 'N': promo = KindPromoKnight; break;
      case 'B': promo = KindPromoBishop; break;
      case 'R': promo = KindPromoRook; break;
      case 'Q': promo = KindPromoQueen; break;
    }
    if (promo) {
      n--;
      if (n > 0 && text[n - 1] == '=') n--;
    }
  }

  // Step 3: the destination.
  if (n < 2 || !IsFileLetter(text[n - 2]) || !IsRankDigit(text[n - 1])) return 0;
  int to = (text[n - 1] - '1') * 8 + (text[n - 2] - 'a');
  n -= 2;

  // Step 4: separator and the parts of the origin.
  if (n > 0 && (text[n - 1] == 'x' || text[n - 1] == '-')) n--;
  int fromRank = -1, fromFile = -1;
  if (n > 0 && IsRankDigit(text[n - 1])) fromRank = text[--n] - '1';
  if (n > 0 && IsFileLetter(text[n - 1])) fromFile = text[--n] - 'a';

  // Step 5: the piece letter.
  int type = Pawn;
  if (n == 1) {
    const char* letters = "PNBRQK";
    const char* hit = std::strchr(letters, std::toupper(static_cast<unsigned char>(text[0])));
    if (!hit || !*hit) return 0;
    type = int(hit - letters) + 1;
  }

  // Step 6: a full origin.
  if (fromFile >= 0 && fromRank >= 0) {
    int from = fromRank * 8 + fromFile;
    if (type != Pawn && p.pieceType[from] != type) return 0;
    return Move(MakeMoveWord(from, to) | promo);
  }

  // Step 7: a pawn push.
  if (type == Pawn && !p.pieceType[to] && to != p.epSquare && (fromFile < 0 || fromFile == FileOf(to))) {
    int back = side == White ? -8 : 8;
    int one = to + back, two = to + 2 * back;
    auto ownPawn = [&](int sq) { return sq >= 0 && sq < 64 && p.pieceType[sq] == Pawn && p.colour[sq] == side; };
    if (ownPawn(one)) return Move(MakeMoveWord(one, to) | promo);
    if (ownPawn(two)) return Move(MakeMoveWord(two, to) | promo);
    return 0;
  }

  // Step 8: the one piece of that type that can reach the destination.
  int from = FindOrigin(side, type, fromFile, fromRank, to);
  if (from == NoOrigin) return 0;
  return Move(MakeMoveWord(from, to) | promo);
}

int SanInfo(Move m) {
  const Position& p = Pos;
  int f = MoveFrom(m), t = MoveTo(m);
  int type = p.pieceType[f];
  int side = p.colour[f];
  if (type == Pawn || side > 1) return type;
  const AttackEntry& e = p.attackTable[side][t];
  if (CountOfType(e.counts, type) <= 1) return type;
  int info = type;
  uint32_t others = e.attackers & ~p.slotBit[f];
  while (others) {
    int sq = p.pieceList[side][LowestSlot(others)];
    others &= others - 1;
    if (p.pieceType[sq] != type) continue;
    if (FileOf(sq) != FileOf(f)) info |= SanOriginFile;
    else if (RankOf(sq) != RankOf(f)) info |= SanOriginRank;
  }
  return info;
}

const char* MoveToText(Move m, uint16_t flags) {
  static char buffer[16];
  char* out = buffer;
  const bool coordinate = flags & TextCoordinate, san = flags & TextSan;
  const int f = MoveFrom(m), t = MoveTo(m);
  const Move kind = MoveKind(m);

  if (m == 0) {
    std::memcpy(buffer, "        ", 9);
    return buffer;
  }
  if (kind == KindCastle && !coordinate) {
    const char* word = t > f ? "O-O" : "O-O-O";
    std::memcpy(out, word, std::strlen(word));
    out += std::strlen(word);
  } else {
    // Step 3: prefix.
    bool capture = kind == KindCapture || kind == KindEnPassant;
    bool changesFile = FileOf(f) != FileOf(t);
    if (san) {
      int type = flags & 7;
      if (type > Pawn) {
        *out++ = PieceLetters[type];
        if (flags & SanOriginFile) *out++ = char('a' + FileOf(f));
        if (flags & SanOriginRank) *out++ = char('1' + RankOf(f));
      } else if (changesFile) {
        *out++ = char('a' + FileOf(f));
      }
    } else {
      *out++ = char('a' + FileOf(f));
      *out++ = char('1' + RankOf(f));
    }
    // Step 4: separator.
    if (!coordinate) {
      if (capture || (IsPromotion(m) && changesFile)) *out++ = 'x';
      else if (!san) *out++ = '-';
    }
    // Step 5: destination and promotion letter (lower case in coordinate style, as UCI writes it).
    *out++ = char('a' + FileOf(t));
    *out++ = char('1' + RankOf(t));
    if (IsPromotion(m)) {
      char letter = PieceLetters[PromotedType[kind >> 12]];
      *out++ = coordinate ? char(std::tolower(static_cast<unsigned char>(letter))) : letter;
    }
  }
  // Step 6: check sign.
  if (!coordinate && (m & CheckMark)) *out++ = '+';
  // Step 7: trailing space or padding.
  if (flags & TextSpace) {
    *out++ = ' ';
  } else if (!(flags & TextNoPadding)) {
    int width = san ? 7 : 8;
    while (out - buffer < width) *out++ = ' ';
  }
  *out = 0;
  return buffer;
}
