// Pseudo-legality of moves from outside the generators, castling tests and check detection.
#include "board/board.h"
#include "board/geometry.h"

namespace {

inline bool Attacked(const Position& p, int bySide, int sq) { return p.attackTable[bySide][sq].counts != 0; }

inline bool UnmovedRook(const Position& p, int side, int sq) {
  return p.pieceType[sq] == Rook && p.colour[sq] == side && p.moveCount[sq] == 0;
}

inline Move WithKind(Move m, Move kind) { return Move((m & 0x0FFF) | kind); }

}  // namespace

int CastlingPathOk(int side, int f, int t, int passed, int r) {
  const Position& p = Pos;
  int enemy = side ^ 1;
  if (p.pieceType[t] || p.pieceType[passed] || p.pieceType[t - 1]) return 0;
  if (!UnmovedRook(p, side, r)) return 0;
  return !Attacked(p, enemy, f) && !Attacked(p, enemy, t) && !Attacked(p, enemy, passed);
}

int CanCastleKingSide960(int side, int k) {
  const Position& p = Pos;
  int enemy = side ^ 1;
  int r = castleRookSquare[side][KingSide];
  if (!UnmovedRook(p, side, r) || Attacked(p, enemy, k)) return 0;
  int g = (side == White ? 0 : 56) + 6;
  if (k < g) {
    for (int sq = k + 1; sq <= g; sq++)
      if (Attacked(p, enemy, sq) || (p.pieceType[sq] && sq != r)) return 0;
    return 1;
  }
  if (k == g) return !p.pieceType[g - 1];
  return !p.pieceType[k - 1];
}

int CanCastleQueenSide960(int side, int k) {
  const Position& p = Pos;
  int enemy = side ^ 1;
  int r = castleRookSquare[side][QueenSide];
  if (!UnmovedRook(p, side, r) || Attacked(p, enemy, k)) return 0;
  int c = (side == White ? 0 : 56) + 2;
  if (c < k) {
    for (int sq = k - 1; sq >= c; sq--)
      if (Attacked(p, enemy, sq) || (p.pieceType[sq] && sq != r)) return 0;
  } else {
    if (FileOf(k) == 1) return !Attacked(p, enemy, k + 1) && !p.pieceType[k + 1] && !p.pieceType[k + 2];
    if (p.pieceType[k + 1]) return 0;
  }
  if (FileOf(r) == 0 && p.pieceType[r + 1] && r + 1 != k) return 0;
  return 1;
}

int IsPseudoLegal(int side, Move* move) {
  const Position& p = Pos;
  Move m = *move;
  const int f = MoveFrom(m), t = MoveTo(m);
  const int enemy = side ^ 1;
  const int type = p.pieceType[f];
  Move kind = MoveKind(m);

  // Steps 1-2: the destination holds no own piece (but for Chess960 castling), the origin an own piece.
  if (p.colour[t] == side) {
    if (!(Chess960Mode() && type == King && p.colour[f] == side && p.pieceType[t] == Rook)) return 0;
  }
  if (p.colour[f] != side || f == t) return 0;

  // Step 3: pawns.
  if (type == Pawn) {
    const int fwd = side == White ? 8 : -8;
    const int lastRank = side == White ? 7 : 0;
    Move promo = IsPromotion(kind) ? kind : KindPromoQueen;
    if (FileOf(f) == FileOf(t)) {
      if (p.pieceType[t]) return 0;
      if (t == f + fwd) {
        if (RankOf(t) == lastRank) *move = WithKind(m, promo);
        else if (IsPromotion(kind)) return 0;
        else *move = WithKind(m, KindQuiet);
        return 1;
      }
      if (t == f + 2 * fwd && RankOf(f) == (side == White ? 1 : 6) && !p.pieceType[f + fwd] && !IsPromotion(kind)) {
        *move = WithKind(m, KindQuiet);
        return 1;
      }
      return 0;
    }
    Move newKind;
    if (p.colour[t] == enemy) newKind = RankOf(t) == lastRank ? promo : KindCapture;
    else if (t == p.epSquare && p.epSquare) newKind = KindEnPassant;
    else return 0;
    bool diagonal = side == White ? ((t == f + 9 && FileOf(f) != 7) || (t == f + 7 && FileOf(f) != 0))
                                  : ((t == f - 7 && FileOf(f) != 7) || (t == f - 9 && FileOf(f) != 0));
    if (!diagonal) return 0;
    if (IsPromotion(kind) && !IsPromotion(newKind)) return 0;
    *move = WithKind(m, newKind);
    return 1;
  }
  if (IsPromotion(kind)) return 0;

  // Step 4: a capture by any other piece.
  Move newKind = p.colour[t] == enemy ? KindCapture : KindQuiet;

  // Step 5: the king, with castling.
  if (type == King) {
    if (Chess960Mode()) {
      if (p.colour[t] == side) {
        if (p.moveCount[f]) return 0;
        bool kingSide = t > f;
        if (t != castleRookSquare[side][kingSide ? KingSide : QueenSide]) return 0;
        if (!(kingSide ? CanCastleKingSide960(side, f) : CanCastleQueenSide960(side, f))) return 0;
        *move = WithKind(m, KindCastle);
        return 1;
      }
      if (!Geo.adjacent[f][t] || Attacked(p, enemy, t)) return 0;
      *move = WithKind(m, newKind);
      return 1;
    }
    if (Geo.adjacent[f][t]) {
      if (Attacked(p, enemy, t)) return 0;
      *move = WithKind(m, newKind);
      return 1;
    }
    if (p.moveCount[f] || RankOf(f) != RankOf(t) || (t != f + 2 && t != f - 2) || p.pieceType[t]) return 0;
    bool kingSide = t > f;
    int passed = kingSide ? t - 1 : t + 1;
    int rook = kingSide ? t + 1 : t - 2;
    if (FileOf(f) + (kingSide ? 3 : -4) < 0 || FileOf(f) + (kingSide ? 3 : -4) > 7) return 0;
    if (!CastlingPathOk(side, f, t, passed, rook)) return 0;
    *move = WithKind(m, KindCastle);
    return 1;
  }

  // Step 6: other pieces must attack the destination directly.
  if (!(p.attackTable[side][t].attackers & p.slotBit[f])) return 0;
  *move = WithKind(m, newKind);
  return 1;
}

int GivesCheck(Move m, int side) {
  const Position& p = Pos;
  const int f = MoveFrom(m), t = MoveTo(m);
  const int k = p.kingSquare(side ^ 1);
  const int dt = Direction(k, t), df = Direction(k, f);
  const Move kind = MoveKind(m);
  const int moving = p.pieceType[f];

  // Step 1: a direct check from the destination.
  if (dt != NoDirection) {
    if (dt == df && (kind == KindQuiet || kind == KindCastle)) return 0;
    int arriving = IsPromotion(m) ? PromotedType[kind >> 12] : moving;
    if (arriving != Pawn && ((DirectionTypeMask[dt] >> arriving) & 1)) {
      int sq = Geo.nextSquare[dt][t];
      while (sq != OffBoard && sq != k && (p.pieceType[sq] == Empty || sq == f) && IsLine(dt)) sq = Geo.nextSquare[dt][sq];
      if (sq == k) return dt * 8 + arriving;
    }
    if (arriving == Pawn && Geo.adjacent[t][k] && (side == White ? (dt == 4 || dt == 5) : (dt == 6 || dt == 7))) return 1;
  }
  if (!IsLine(df)) return 0;

  // Step 3: a discovered check by a slider behind the origin.
  if (dt == df) return 0;
  if ((DirectionTypeMask[df] >> moving) & 1) return 0;
  if (!(p.attackTable[side][f].counts & DirectionCountsMask[df])) return 0;
  uint32_t sliders = p.attackTable[side][f].attackers &
                     (IsOrthogonal(df) ? p.orthogonalSliders[side] : p.diagonalSliders[side]);
  while (sliders) {
    int sq = p.pieceList[side][LowestSlot(sliders)];
    sliders &= sliders - 1;
    if (Direction(f, sq) != df) continue;
    int s = Geo.nextSquare[df][f];
    while (s != OffBoard && p.pieceType[s] == Empty) s = Geo.nextSquare[df][s];
    if (s == k) return df * 8 + p.pieceType[sq];
  }
  return 0;
}
