// The index functions of the Nalimov tables for three to five men.
//
// An index is built in two stages. The position is first brought into a standard
// form by the board's symmetries: the leading king (the side to move's) goes to the
// a1-d1-d4 triangle in pawnless tables, to the a-d files in tables with pawns. Then
// the king pair is numbered, and the other men are numbered inside the block that
// their king pair owns; some Black-to-move forms number pawns on the board turned
// upside down, and positions with an en-passant capture sit after all the others.
#include "tablebases/index.h"

#include <array>
#include <bit>
#include <initializer_list>

#include "core/types.h"
#include "tablebases/tables.h"

namespace {

// Kinds of men in the square lists. A man of the side to move may not stand where it would
// touch the other king (that side would be in check); a "free" pawn only avoids the king.
enum ListKind : uint8_t { ListKnight, ListBishop, ListRook, ListQueen, ListPawn, ListFree, ListKinds };

constexpr int TriPairs = 462;    // leading king in the a1-d1-d4 triangle
constexpr int HalfPairs = 1806;  // leading king on the a-d files
constexpr int FirstPawnSquare = 8, LastPawnSquare = 55;
constexpr int EpCodes = 14;  // capturing pawn's file and direction

constexpr int File(int s) { return s & 7; }
constexpr int Rank(int s) { return s >> 3; }
constexpr int Distance(int a, int b) { return a > b ? a - b : b - a; }
constexpr bool Touching(int a, int b) { return Distance(File(a), File(b)) <= 1 && Distance(Rank(a), Rank(b)) <= 1; }
constexpr int64_t C2(int64_t n) { return n * (n - 1) / 2; }
constexpr int64_t C3(int64_t n) { return n * (n - 1) * (n - 2) / 6; }
constexpr int Transposed(int s) { return File(s) << 3 | Rank(s); }

struct IndexGeometry {
  std::array<std::array<uint64_t, 64>, ListKinds> allowed{};  // by kind and target king: the squares a man may take
  std::array<std::array<int16_t, 64>, 64> tri{}, half{};      // king-pair numbers by (leading, other king); -1 none
  std::array<uint8_t, HalfPairs> halfLead{}, halfOther{};
  std::array<uint8_t, TriPairs> triLead{}, triOther{};
};

constexpr bool AllowedSquare(int kind, int target, int s) {
  if (s == target) return false;
  int df = Distance(File(s), File(target)), dr = Distance(Rank(s), Rank(target));
  switch (kind) {
    case ListKnight:
      return !((df == 1 && dr == 2) || (df == 2 && dr == 1));
    case ListBishop:
      return !(df == 1 && dr == 1);
    case ListRook:
      return df + dr != 1;
    case ListQueen:
      return !Touching(s, target);
    case ListPawn:  // an upward pawn attacks the target from one rank below, one file aside
      if (s < FirstPawnSquare || s > LastPawnSquare) return false;
      return !((s == target - 9 && File(target) != 0) || (s == target - 7 && File(target) != 7));
    default:
      return s >= FirstPawnSquare && s <= LastPawnSquare;
  }
}

constexpr IndexGeometry BuildGeometry() {
  IndexGeometry g{};
  for (int kind = 0; kind < ListKinds; kind++)
    for (int t = 0; t < 64; t++)
      for (int s = 0; s < 64; s++)
        if (AllowedSquare(kind, t, s)) g.allowed[kind][t] |= uint64_t(1) << s;
  int tri = 0, half = 0;
  for (int l = 0; l < 64; l++)
    for (int o = 0; o < 64; o++) {
      g.tri[l][o] = g.half[l][o] = -1;
      if (o == l || Touching(l, o)) continue;
      if (File(l) <= 3) {
        g.halfLead[half] = uint8_t(l);
        g.halfOther[half] = uint8_t(o);
        g.half[l][o] = int16_t(half++);
      }
      bool inTriangle = Rank(l) <= File(l) && File(l) <= 3;
      bool onDiagonal = Rank(l) == File(l);
      if (inTriangle && !(onDiagonal && Rank(o) > File(o))) {
        g.triLead[tri] = uint8_t(l);
        g.triOther[tri] = uint8_t(o);
        g.tri[l][o] = int16_t(tri++);
      }
    }
  return g;
}

constexpr IndexGeometry Geo = BuildGeometry();
static_assert(Geo.half[3][63] >= 0 && Geo.tri[27][63] == TriPairs - 1);

// ---- Block starts per king pair, one row for each list of kinds and king numbering in use.

constexpr int MaxSpecs = 160;  // the whole set needs fewer
constexpr int SpecKeys = 4096;
uint32_t SpecBase[MaxSpecs][HalfPairs + 1];  // block start by pair number; the last entry is the total
int16_t SpecRow[SpecKeys];                   // row + 1 by key, 0 while not computed
int SpecsUsed = 0;
bool RoomRanOut = false;  // a row was needed and none was left

struct Men {
  int count;
  uint8_t kind[3];
};

bool SameKind(const Men& m, int a, int b) { return m.kind[a] == m.kind[b]; }

// The number of placements inside one king pair's block (`c` = squares per man).
int64_t BlockSize(const Men& m, const int64_t* c) {
  if (m.count == 1) return c[0];
  if (m.count == 2) return SameKind(m, 0, 1) ? C2(c[0]) : c[0] * c[1];
  if (SameKind(m, 0, 1)) return SameKind(m, 1, 2) ? C3(c[0]) : C2(c[0]) * c[2];
  if (SameKind(m, 1, 2)) return c[0] * C2(c[1]);
  return c[0] * c[1] * c[2];
}

// The men's number inside the block (`o` = each man's place in its list, identical men sorted).
int64_t InsideBlock(const Men& m, const int64_t* o, const int64_t* c) {
  if (m.count == 1) return o[0];
  if (m.count == 2) return SameKind(m, 0, 1) ? C2(o[1]) + o[0] : o[0] * c[1] + o[1];
  if (SameKind(m, 0, 1)) return SameKind(m, 1, 2) ? C3(o[2]) + C2(o[1]) + o[0] : (C2(o[1]) + o[0]) * c[2] + o[2];
  if (SameKind(m, 1, 2)) return (C2(o[2]) + o[1]) * c[0] + o[0];  // here the first man is the least significant
  return (o[0] * c[1] + o[1]) * c[2] + o[2];
}

// The squares the men may take against the target king, the leading king's square left out.
inline uint64_t Squares(int kind, int lead, int target) { return Geo.allowed[kind][target] & ~(uint64_t(1) << lead); }

const uint32_t* BlockStarts(const Men& m, bool half) {
  int key = int(half) | m.count << 1 | m.kind[0] << 3 | (m.count > 1 ? m.kind[1] : 0) << 6 |
            (m.count > 2 ? m.kind[2] : 0) << 9;
  if (SpecRow[key]) return SpecBase[SpecRow[key] - 1];
  if (SpecsUsed == MaxSpecs) {
    RoomRanOut = true;
    return nullptr;
  }
  uint32_t* base = SpecBase[SpecsUsed];
  int pairs = half ? HalfPairs : TriPairs;
  int64_t total = 0;
  for (int j = 0; j < pairs; j++) {
    int lead = half ? Geo.halfLead[j] : Geo.triLead[j], target = half ? Geo.halfOther[j] : Geo.triOther[j];
    int64_t c[3];
    for (int i = 0; i < m.count; i++) c[i] = std::popcount(Squares(m.kind[i], lead, target));
    base[j] = uint32_t(total);
    total += BlockSize(m, c);
  }
  base[pairs] = uint32_t(total);
  SpecRow[key] = int16_t(++SpecsUsed);
  return base;
}

inline void Order(int& a, int& b) {
  if (a > b) std::swap(a, b);
}

// E: the start of the king pair's block plus the men's number inside it. `lead` is the
// king written first, the men are numbered against `target`.
// The kings never touch here, so that every normalised king pair has its number.
int64_t Enumerate(const Men& m, bool half, int lead, int target, const int* squares) {
  const uint32_t* base = BlockStarts(m, half);
  if (!base) return 0;
  int pair = half ? Geo.half[lead][target] : Geo.tri[lead][target];
  int s[3] = {squares[0], m.count > 1 ? squares[1] : 0, m.count > 2 ? squares[2] : 0};
  if (m.count == 2 && SameKind(m, 0, 1)) Order(s[0], s[1]);
  if (m.count == 3) {
    if (SameKind(m, 0, 1)) Order(s[0], s[1]);
    if (SameKind(m, 1, 2)) Order(s[1], s[2]);
    if (SameKind(m, 0, 1)) Order(s[0], s[1]);
  }
  int64_t o[3], c[3];
  for (int i = 0; i < m.count; i++) {
    uint64_t list = Squares(m.kind[i], lead, target);
    c[i] = std::popcount(list);
    o[i] = std::popcount(list & ((uint64_t(1) << s[i]) - 1));
  }
  return base[pair] + InsideBlock(m, o, c);
}

// E on the board turned upside down (always with the king pairs of the pawn tables).
int64_t EnumerateFlipped(const Men& m, int lead, int target, const int* squares) {
  int s[3] = {squares[0] ^ 56, m.count > 1 ? squares[1] ^ 56 : 0, m.count > 2 ? squares[2] ^ 56 : 0};
  return Enumerate(m, true, lead ^ 56, target ^ 56, s);
}

// S: the whole range of E.
int64_t Range(const Men& m, bool half) {
  const uint32_t* base = BlockStarts(m, half);
  return base ? base[half ? HalfPairs : TriPairs] : 0;
}

// EX: the square renumbered densely with the listed squares taken out.
int64_t Ex(int s, std::initializer_list<int> removed) {
  int64_t n = s;
  for (int x : removed) n -= x < s;
  return n;
}

int64_t HalfPair(int lead, int other) { return Geo.half[lead][other]; }
int64_t TriPair(int lead, int other) { return Geo.tri[lead][other]; }

ListKind KindOf(uint8_t type) {
  switch (type) {
    case Knight:
      return ListKnight;
    case Bishop:
      return ListBishop;
    case Rook:
      return ListRook;
    case Queen:
      return ListQueen;
    default:
      return ListPawn;
  }
}

Men One(int kind) { return {1, {uint8_t(kind), 0, 0}}; }
Men Two(int a, int b) { return {2, {uint8_t(a), uint8_t(b), 0}}; }
Men Three(int a, int b, int c) { return {3, {uint8_t(a), uint8_t(b), uint8_t(c)}}; }

// En-passant codes: 0-6 the capturing pawn takes towards the a file (its file - 1),
// 7-13 towards the h file (its file + 7).
int64_t WhiteCapture(int w, int e) { return w + 7 == e && File(w) != 0 ? File(w) - 1 : File(w) + 7; }
int64_t BlackCapture(int b, int e) { return b - 9 == e && File(b) != 0 ? File(b) - 1 : File(b) + 7; }

// Two white pawns and one black pawn that has just moved two squares (White to move).
int64_t WhiteCaptureOfTwo(int w1, int w2, int b, int e) {
  Order(w1, w2);
  int capturer, other;
  int64_t code;
  if ((w1 + 7 == e && File(w1) != 0) || (w1 + 9 == e && File(w1) != 7)) {
    capturer = w1;
    other = w2;
  } else {
    capturer = w2;
    other = w1;
  }
  code = WhiteCapture(capturer, e);
  int64_t m = Ex(other, {b, e, e + 8}) - FirstPawnSquare - (capturer == w1 ? 1 : 0);
  return code + EpCodes * m;
}

// Two white pawns, one of which has just moved two squares, and one black pawn (Black to move).
int64_t BlackCaptureOfTwo(int w1, int w2, int b, int e) {
  Order(w1, w2);
  int moved = w1 - 8 == e ? w1 : w2, other = moved == w1 ? w2 : w1;
  int64_t m = Ex(other, {b, e, e - 8}) - FirstPawnSquare - (moved == w1 ? 1 : 0);
  return BlackCapture(b, e) + EpCodes * m;
}

// ---- The formulas by shape of table; squares are normalised, `btm` = Black to move.

int64_t ThreeMen(const TableInfo& t, bool btm, int K, int k, const int* w) {
  const int x = KindOf(t.white[0]);
  if (!btm) return Enumerate(One(x), t.pawns, K, k, w);
  if (x == ListPawn) return EnumerateFlipped(One(ListFree), k, K, w);
  return TriPair(k, K) * 62 + Ex(w[0], {K, k});
}

int64_t OneAgainstOne(const TableInfo& t, bool btm, int K, int k, const int* w, int b, int e) {
  const int x = KindOf(t.white[0]), y = KindOf(t.black);
  const int w1 = w[0];
  if (!t.pawns) {
    if (!btm) return Enumerate(One(x), false, K, k, w) * 61 + Ex(b, {K, k, w1});
    return Enumerate(One(y), false, k, K, &b) * 61 + Ex(w1, {K, k, b});
  }
  if (x != ListPawn) {  // kXkp
    if (!btm) return Enumerate(One(x), true, K, k, w) * 48 + (b - 8);
    return EnumerateFlipped(One(ListPawn), k, K, &b) * 61 + Ex(w1, {K, k, b});
  }
  const int64_t range = Range(One(ListPawn), true);  // kpkp
  if (!btm) {
    if (e < 0) return Enumerate(One(ListPawn), true, K, k, w) * 47 + Ex(b, {w1}) - 8;
    return range * 47 + HalfPair(K, k) * EpCodes + WhiteCapture(w1, e);
  }
  if (e < 0) return EnumerateFlipped(One(ListPawn), k, K, &b) * 47 + Ex(w1, {b}) - 8;
  return range * 47 + HalfPair(k, K) * EpCodes + BlackCapture(b, e);
}

int64_t TwoAgainstNone(const TableInfo& t, bool btm, int K, int k, int* w) {
  const int x = KindOf(t.white[0]), y = KindOf(t.white[1]);
  if (!btm) return Enumerate(Two(x, y), t.pawns, K, k, w);
  if (!t.pawns) {
    int64_t pair = TriPair(k, K);
    if (x == y) {
      Order(w[0], w[1]);
      return pair * 1891 + C2(Ex(w[1], {K, k})) + Ex(w[0], {K, k});
    }
    return pair * 3782 + Ex(w[0], {K, k}) * 61 + Ex(w[1], {K, k, w[0]});
  }
  if (x == ListPawn) return EnumerateFlipped(Two(ListFree, ListFree), k, K, w);
  return EnumerateFlipped(One(ListFree), k, K, &w[1]) * 61 + Ex(w[0], {K, k, w[1]});
}

int64_t TwoAgainstOne(const TableInfo& t, bool btm, int K, int k, int* w, int b, int e) {
  const int x = KindOf(t.white[0]), y = KindOf(t.white[1]), z = KindOf(t.black);
  const bool whitePawn = y == ListPawn, blackPawn = z == ListPawn;
  if (!whitePawn) {
    const bool half = blackPawn;
    if (!btm) {
      int64_t e2 = Enumerate(Two(x, y), half, K, k, w);
      return blackPawn ? e2 * 48 + (b - 8) : e2 * 60 + Ex(b, {K, k, w[0], w[1]});
    }
    int64_t block = blackPawn ? EnumerateFlipped(One(ListPawn), k, K, &b) : Enumerate(One(z), false, k, K, &b);
    if (x == y) {
      Order(w[0], w[1]);
      return block * 1830 + C2(Ex(w[1], {K, k, b})) + Ex(w[0], {K, k, b});
    }
    return block * 3660 + Ex(w[0], {K, k, b}) * 60 + Ex(w[1], {K, k, w[0], b});
  }
  if (!blackPawn) {  // kXpkZ, kppkZ
    if (!btm) return Enumerate(Two(x, y), true, K, k, w) * 60 + Ex(b, {K, k, w[0], w[1]});
    int64_t block = Enumerate(One(z), true, k, K, &b);
    if (x == ListPawn) {
      Order(w[0], w[1]);
      return block * 1128 + C2(w[1] - 8) + (w[0] - 8);
    }
    return block * 2880 + Ex(w[0], {K, k, w[1], b}) * 48 + (w[1] - 8);
  }
  if (x != ListPawn) {  // kXpkp
    if (!btm) {
      if (e < 0) return Enumerate(Two(x, ListPawn), true, K, k, w) * 47 + Ex(b, {w[1]}) - 8;
      return Range(Two(x, ListPawn), true) * 47 + Enumerate(One(x), true, K, k, w) * EpCodes + WhiteCapture(w[1], e);
    }
    if (e < 0)
      return EnumerateFlipped(One(ListPawn), k, K, &b) * 2820 + Ex(w[0], {K, k, w[1], b}) * 47 + Ex(w[1], {b}) - 8;
    return Range(One(ListPawn), true) * 2820 + HalfPair(k, K) * 812 + Ex(w[0], {K, k, w[1], b, e, e - 8}) * EpCodes +
           BlackCapture(b, e);
  }
  // kppkp
  if (!btm) {
    if (e < 0) return Enumerate(Two(ListPawn, ListPawn), true, K, k, w) * 46 + Ex(b, {w[0], w[1]}) - 8;
    return Range(Two(ListPawn, ListPawn), true) * 46 + HalfPair(K, k) * 616 + WhiteCaptureOfTwo(w[0], w[1], b, e);
  }
  if (e < 0) {
    Order(w[0], w[1]);
    int64_t u = Ex(w[1], {b}) - 8;
    return EnumerateFlipped(One(ListPawn), k, K, &b) * 1081 + C2(u) + Ex(w[0], {b}) - 8;
  }
  return Range(One(ListPawn), true) * 1081 + HalfPair(k, K) * 616 + BlackCaptureOfTwo(w[0], w[1], b, e);
}

int64_t ThreeAgainstNone(const TableInfo& t, bool btm, int K, int k, int* w) {
  const int x = KindOf(t.white[0]), y = KindOf(t.white[1]), z = KindOf(t.white[2]);
  if (!btm) return Enumerate(Three(x, y, z), z == ListPawn, K, k, w);
  if (!t.pawns) {
    int64_t pair = TriPair(k, K);
    if (x == y && y == z) {
      Order(w[0], w[1]);
      Order(w[1], w[2]);
      Order(w[0], w[1]);
      return pair * 37820 + C3(Ex(w[2], {K, k})) + C2(Ex(w[1], {K, k})) + Ex(w[0], {K, k});
    }
    if (x == y) {
      Order(w[0], w[1]);
      return pair * 113460 + (C2(Ex(w[1], {K, k, w[2]})) + Ex(w[0], {K, k, w[2]})) * 62 + Ex(w[2], {K, k});
    }
    if (y == z) {
      Order(w[1], w[2]);
      return pair * 113460 + Ex(w[0], {K, k}) * 1830 + C2(Ex(w[2], {K, k, w[0]})) + Ex(w[1], {K, k, w[0]});
    }
    return pair * 226920 + Ex(w[0], {K, k}) * 3660 + Ex(w[1], {K, k, w[0]}) * 60 + Ex(w[2], {K, k, w[0], w[1]});
  }
  if (x == ListPawn) return EnumerateFlipped(Three(ListFree, ListFree, ListFree), k, K, w);
  if (y == ListPawn) return EnumerateFlipped(Two(ListFree, ListFree), k, K, &w[1]) * 60 + Ex(w[0], {K, k, w[1], w[2]});
  int64_t block = EnumerateFlipped(One(ListFree), k, K, &w[2]);
  if (x == y) {
    Order(w[0], w[1]);
    return block * 1830 + C2(Ex(w[1], {K, k, w[2]})) + Ex(w[0], {K, k, w[2]});
  }
  return block * 3660 + Ex(w[0], {K, k, w[2]}) * 60 + Ex(w[1], {K, k, w[0], w[2]});
}

}  // namespace

uint64_t TableIndex(const TableMen& men) {
  const TableInfo& t = Table(men.table);
  const bool btm = men.side == Black;
  if (men.whiteKing == men.blackKing || Touching(men.whiteKing, men.blackKing)) return IllegalIndex;

  // Step 1: the standard form. Mirror the leading king onto the a-d files; without pawns also
  // onto ranks 1-4 and below the a1-h8 diagonal (the other king decides when it stands on it).
  const int lead = btm ? men.blackKing : men.whiteKing, other = btm ? men.whiteKing : men.blackKing;
  int mirror = File(lead) >= 4 ? 7 : 0;
  bool transpose = false;
  if (!t.pawns) {
    if (Rank(lead) >= 4) mirror ^= 56;
    int l = lead ^ mirror, o = other ^ mirror;
    transpose = Rank(l) > File(l) || (Rank(l) == File(l) && Rank(o) > File(o));
  }
  auto normal = [&](int s) { return transpose ? Transposed(s ^ mirror) : s ^ mirror; };
  const int K = normal(men.whiteKing), k = normal(men.blackKing);
  int w[3] = {0, 0, 0};
  for (int i = 0; i < t.whiteCount; i++) w[i] = normal(men.white[i]);
  const int b = t.blackCount ? normal(men.black) : 0;
  const int e = men.ep >= 0 ? normal(men.ep) : -1;

  // Step 2: the formula of the table's shape.
  int64_t index;
  if (t.whiteCount == 1)
    index = t.blackCount ? OneAgainstOne(t, btm, K, k, w, b, e) : ThreeMen(t, btm, K, k, w);
  else if (t.whiteCount == 2)
    index = t.blackCount ? TwoAgainstOne(t, btm, K, k, w, b, e) : TwoAgainstNone(t, btm, K, k, w);
  else
    index = ThreeAgainstNone(t, btm, K, k, w);
  return index < 0 || RoomRanOut ? IllegalIndex : uint64_t(index);
}

bool PrepareTableIndex(int table) {
  // Any placement with a legal king pair asks for every list the formulas of that side use.
  const TableInfo& t = Table(table);
  TableMen men{table, White, 0, 63, {8, 9, 10}, 11, -1};
  for (int side = White; side <= Black; side++) {
    men.side = side;
    for (int ep = -1; ep <= (t.whitePawns && t.blackPawns ? 40 : -1); ep += 41) {
      men.ep = ep;
      TableIndex(men);
    }
  }
  return !RoomRanOut;
}
