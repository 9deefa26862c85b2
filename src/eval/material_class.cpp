// Material classes: a 7-bit summary of each side's material, and the table of corrections,
// "cannot win" flags and recognised endings indexed by the two classes.
#include <cstring>

#include "board/position.h"
#include "eval/eval_internal.h"

uint8_t MaterialClassTable[128 * 128];

namespace {

// Entry byte: bit 7 clear = correction ((bits 0-4) - 16) * 32; bit 7 set = ending code in bits 0-4.
constexpr uint8_t NoCorrection = 16;
constexpr uint8_t EndingBit = 0x80;
constexpr uint8_t MoverCannotWin = 0x20;
constexpr uint8_t OpponentCannotWin = 0x40;

// Piece classes (the class is piece class * 4 + pawn class).
constexpr int PieceNone = 0, PieceKnight = 1, PieceBishop = 2, PieceRook = 8, PieceQueen = 16;
constexpr int MinorBishopKnight = 3, MinorTwoKnights = 5, MinorTwoBishops = 6, MinorOther = 7;

int MinorClass(int knights, int bishops) {
  if (knights == 0 && bishops == 0) return 0;
  if (knights == 1 && bishops == 0) return PieceKnight;
  if (knights == 0 && bishops == 1) return PieceBishop;
  if (knights == 1 && bishops == 1) return MinorBishopKnight;
  if (knights == 2 && bishops == 0) return MinorTwoKnights;
  if (knights == 0 && bishops == 2) return MinorTwoBishops;
  return MinorOther;
}

struct Side {
  int piece, pawns;   // piece class, pawn class (0-3)
  int minor() const { return piece & 7; }
  int heavy() const { return piece >> 3; }   // 0 none, 1 rook, 2 queen, 3 queen and rook
  bool bare() const { return piece == 0 && pawns == 0; }
  bool pawnsOnly() const { return piece == 0 && pawns > 0; }
  bool loneMinor() const { return pawns == 0 && (piece == PieceKnight || piece == PieceBishop); }
};

void Set(int mover, int opponent, uint8_t value) { MaterialClassTable[mover * 128 + opponent] = value; }
uint8_t Correction(int units, uint8_t flags) { return uint8_t((NoCorrection + units) | flags); }
uint8_t Ending(int code) { return uint8_t(EndingBit | code); }

// The ending code for a pair of sides, either order, or 0.
int EndingFor(const Side& a, const Side& b) {
  bool noPawns = a.pawns == 0 && b.pawns == 0;
  auto bareOrMinor = [](const Side& s) { return s.pawns == 0 && (s.piece == 0 || s.piece == PieceKnight || s.piece == PieceBishop); };
  auto smallMinors = [](const Side& s) {
    return s.pawns == 0 && (s.piece == PieceKnight || s.piece == PieceBishop || s.piece == MinorTwoKnights);
  };
  if (noPawns) {
    if ((a.bare() && bareOrMinor(b)) || (b.bare() && bareOrMinor(a))) return EndingBareDraw;
    // K-KNN, KN-KN, KN-KB, KB-KB, KN-KNN, KB-KNN.
    if ((a.bare() && b.piece == MinorTwoKnights) || (b.bare() && a.piece == MinorTwoKnights)) return EndingMinorDraw;
    if (smallMinors(a) && smallMinors(b) && !(a.piece == MinorTwoKnights && b.piece == MinorTwoKnights))
      return EndingMinorDraw;
  }
  for (int pass = 0; pass < 2; pass++) {
    const Side& x = pass ? b : a;
    const Side& y = pass ? a : b;
    if (x.pawnsOnly() && y.piece == PieceBishop && y.pawns > 0) return EndingBishopPawns;
    if (x.bare() && y.piece == PieceBishop && y.pawns > 0) return EndingBareKingBishopPawns;
    if (x.piece == PieceQueen && x.pawns == 0 && y.piece == 0 && y.pawns == 1) return EndingQueenPawn;
    if (x.piece == PieceRook && x.pawns == 0 && y.piece == PieceRook && y.pawns == 1) return EndingRookPawnRook;
    if (x.piece == PieceRook && x.pawns == 0 && y.piece == PieceRook && y.pawns == 2) return EndingRookTwoPawnsRook;
    if (x.bare() && y.piece != 0 && !(y.loneMinor() || (y.piece == MinorTwoKnights && y.pawns == 0) ||
                                       (y.piece == PieceBishop && y.pawns > 0)))
      return EndingLoneKing;
    if (x.piece == 0 && y.piece == 0 && x.pawns + y.pawns >= 2) return EndingPawns;
    if (x.piece == 0 && x.pawns == 1 && y.bare()) return EndingKingPawn;
  }
  return 0;
}

// Corrections for the side to move `m` against the opponent `o` (units of 32; flags).
uint8_t CorrectionFor(const Side& m, const Side& o) {
  // Pawns against a lone minor: the minor cannot win, and one or two pawns hold the balance.
  static const int PawnsAgainstMinor[4] = {0, 8, 4, 1};
  if (m.pawnsOnly() && o.loneMinor()) return Correction(PawnsAgainstMinor[m.pawns], OpponentCannotWin);
  if (m.loneMinor() && o.pawnsOnly()) return Correction(-PawnsAgainstMinor[o.pawns], MoverCannotWin);
  if (m.pawns == 0 && o.pawns == 0) {
    // Rook against a minor: usually a draw.
    if (m.piece == PieceRook && o.piece == PieceBishop) return Correction(-6, MoverCannotWin | OpponentCannotWin);
    if (m.piece == PieceRook && o.piece == PieceKnight) return Correction(-5, MoverCannotWin | OpponentCannotWin);
    if (o.piece == PieceRook && m.piece == PieceBishop) return Correction(6, MoverCannotWin | OpponentCannotWin);
    if (o.piece == PieceRook && m.piece == PieceKnight) return Correction(5, MoverCannotWin | OpponentCannotWin);
    // Queen against rook: a win, but a slow one; the rook side cannot win.
    if (m.piece == PieceQueen && o.piece == PieceRook) return Correction(-9, OpponentCannotWin);
    if (m.piece == PieceRook && o.piece == PieceQueen) return Correction(9, MoverCannotWin);
    // Rook against rook and minor, queen against queen and bishop: mostly drawn.
    bool oneMinor = [](int minor) { return minor == PieceKnight || minor == PieceBishop; }(o.minor());
    if (m.piece == PieceRook && o.heavy() == 1 && oneMinor) return Correction(9, MoverCannotWin | OpponentCannotWin);
    if (m.piece == PieceQueen && o.piece == PieceQueen + PieceBishop) return Correction(10, MoverCannotWin | OpponentCannotWin);
    bool moverOneMinor = m.minor() == PieceKnight || m.minor() == PieceBishop;
    if (o.piece == PieceRook && m.heavy() == 1 && moverOneMinor) return Correction(-9, MoverCannotWin | OpponentCannotWin);
    if (o.piece == PieceQueen && m.piece == PieceQueen + PieceBishop) return Correction(-10, MoverCannotWin | OpponentCannotWin);
  }
  // Rook and pawn against a minor: the rook side is better than the bare count says.
  if (m.piece == PieceRook && m.pawns == 1 && o.loneMinor()) return Correction(o.piece == PieceKnight ? 2 : 1, 0);
  if (o.piece == PieceRook && o.pawns == 1 && m.loneMinor()) return Correction(m.piece == PieceKnight ? -2 : -1, 0);
  // Queen and pawn against queen: hard to win.
  if (m.piece == PieceQueen && m.pawns == 1 && o.piece == PieceQueen && o.pawns == 0) return Correction(-2, OpponentCannotWin);
  if (o.piece == PieceQueen && o.pawns == 1 && m.piece == PieceQueen && m.pawns == 0) return Correction(2, MoverCannotWin);
  // The bishop pair is worth a quarter of a pawn against a side without it.
  if (m.minor() == MinorTwoBishops && o.minor() != MinorTwoBishops) return Correction(1, 0);
  if (o.minor() == MinorTwoBishops && m.minor() != MinorTwoBishops) return Correction(-1, 0);
  // Two minor pieces against a rook (equal pawns): the minors are usually stronger.
  bool mTwoMinors = m.heavy() == 0 && (m.minor() == MinorBishopKnight || m.minor() == MinorTwoKnights);
  bool oTwoMinors = o.heavy() == 0 && (o.minor() == MinorBishopKnight || o.minor() == MinorTwoKnights);
  if (mTwoMinors && o.piece == PieceRook && m.pawns == o.pawns) return Correction(1, 0);
  if (oTwoMinors && m.piece == PieceRook && m.pawns == o.pawns) return Correction(-1, 0);
  return NoCorrection;
}

}  // namespace

int MaterialClass(uint32_t sig) {
  int pawns = SignaturePawns(sig);
  int knights = SignatureKnights(sig), bishops = SignatureBishops(sig), rooks = SignatureRooks(sig),
      queens = SignatureQueens(sig);
  int heavy = (queens ? 2 : 0) + (rooks ? 1 : 0);
  if (rooks >= 2) heavy = 3;
  return (heavy * 8 + MinorClass(knights, bishops)) * 4 + (pawns > 3 ? 3 : pawns);
}

void InitMaterialClassTable() {
  for (int a = 0; a < 128; a++) {
    for (int b = 0; b < 128; b++) {
      Side m{a >> 2, a & 3}, o{b >> 2, b & 3};
      int code = EndingFor(m, o);
      Set(a, b, code ? Ending(code) : CorrectionFor(m, o));
    }
  }
}
