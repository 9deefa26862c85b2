// Endgame knowledge with heavy pieces: rook and pawn against rook, queen against a pawn on the seventh.
#include "board/board.h"
#include "board/geometry.h"
#include "eval/endgame_internal.h"
#include "eval/eval_internal.h"

using namespace endgame;

namespace {

// Ranks as indices 0-7 (the rook ending is read with the strong side as White).
constexpr int Rank1 = 0, Rank3 = 2, Rank4 = 3, Rank5 = 4, Rank6 = 5, Rank7 = 6;
constexpr int SquareG7 = 54, SquareH7 = 55;

// Rook and pawn against rook (units of 1/128 pawn). A defending king cut off by this many
// files or more, by pawn file a-d, while the attacking king is away from the pawn.
constexpr int CutOffFiles[4] = {5, 4, 3, 3};
constexpr int CutOffBonus = 128;
constexpr int CutOffMinFiles = 3;     // a cut-off counts from this many files
constexpr int KingNearPawn = 2;       // attacking king within this distance of its pawn
constexpr int CutOffFileWeight = 16;  // per file the defending king is cut off, attacking king near the pawn
constexpr int AdvancedCutOffBonus = 128;
constexpr int BridgeBonus = 384;   // pawn on the seventh, rook ready to shelter the king from the fourth rank
constexpr int LongSideWeight = 8;  // per file of checking distance of the defending rook
constexpr int LongSideMinFiles = 3;
constexpr int KingsApartLimit = 4;  // files plus ranks: the defending king near enough to shut in the a8 king
constexpr int RookPawnPenalty = 32;
constexpr int MinScale = 1;

// Queen against a pawn on the seventh (units of 1/128 pawn).
constexpr int QueenDistanceWeight = 2;  // per file and rank of the kings' distance to the promotion square
constexpr int QueenOnPromotionBonus = 96;
constexpr int QueenWinsBonus = 32;
constexpr int RookPawnKingReach = 4;      // the attacking king must come this near, less its tempi
constexpr int RookPawnKingPathReach = 6;  // and this near in files plus ranks, less two per tempo
constexpr int BishopPawnKingReach = 3;
constexpr int BishopPawnKingToPawn = 1;
constexpr int KeySquareReach = 2;
constexpr int KingTwoFromPromotion = 2;  // the defending king two squares from the promotion square

// Whether every square strictly between `from` and `to`, walking in direction d, is empty.
bool ClearBetween(const Position& p, int from, int to, int d) {
  for (int s = Geo.nextSquare[d][from]; s != to; s = Geo.nextSquare[d][s])
    if (s == OffBoard || p.pieceType[s]) return false;
  return true;
}

}  // namespace

int RookPawnScore(int strong, int* scale) {
  const Position& p = Pos;
  const int weak = strong ^ 1;
  // The board seen with the strong side as White and its pawn on files a-d.
  const int pawn = FirstPawn(p, strong);
  const int flip = (strong == White ? 0 : 56) ^ (FileOf(pawn) >= 4 ? 7 : 0);
  const int P = pawn ^ flip, Q = 56 + FileOf(P);
  const int wk = p.kingSquare(strong) ^ flip, bk = p.kingSquare(weak) ^ flip;
  const int wr = p.pieceList[strong][LowestSlot(p.rooks(strong))] ^ flip;
  const int br = p.pieceList[weak][LowestSlot(p.rooks(weak))] ^ flip;
  const int pf = FileOf(P), pr = RankOf(P);
  int b = 0;

  // Step 1: the defending king in front of the pawn draws the short pawns and the passive set-ups.
  if (bk == Q || (FileDistance(bk, P) < 2 && RankOf(bk) > pr && Distance(bk, Q) < Distance(wk, Q))) {
    if (pf <= FileB) *scale >>= 1;
    if (pr == Rank6 && RankOf(br) == Rank1) *scale >>= 2;
    if (pr < Rank6 && RankOf(br) == pr + 1 && RankOf(wk) < RankOf(br)) *scale >>= 1;
  } else if (wr == Q && pr == Rank7 && (bk == SquareG7 || bk == SquareH7) && FileOf(br) == pf) {
    // Step 2: rook in front of its pawn on the seventh, defending rook behind, king on g7/h7.
    const int reach = RankOf(br) <= Rank3 ? 1 : 2;  // the defending king's distance to the pawn that still holds
    if (Distance(bk, P) > reach) *scale = MinScale;
  }

  // Step 3: the defending king cut off from the pawn by files.
  const int d = FileDistance(P, bk);
  if (d >= CutOffMinFiles) {
    if (pf == FileA || Distance(wk, P) > KingNearPawn) {
      if (d >= CutOffFiles[pf]) b = CutOffBonus;
    } else {
      b = CutOffFileWeight * d;
      if (pr >= Rank5 || d >= CutOffMinFiles + (pf == FileB ? 1 : 0)) b = CutOffFileWeight * d + AdvancedCutOffBonus;
      if (pr == Rank7 && RankOf(wr) == Rank4) b = CutOffFileWeight * d + BridgeBonus;
    }
  }

  // Step 4: the defending rook checks from the long side, away from the kings.
  const int rookFiles = FileDistance(br, P);
  if (rookFiles >= LongSideMinFiles &&
      ((FileOf(br) < pf && FileOf(wk) < FileOf(bk)) || (FileOf(br) > pf && FileOf(wk) > FileOf(bk))))
    b -= LongSideWeight * rookFiles;

  // Step 5: a rook pawn wins least, and on the seventh its own rook or king may stand in its way.
  if (pf == FileA) {
    b -= RookPawnPenalty;
    if (pr == Rank7) {
      if (wr == P + 8) *scale >>= 2;
      if (wk == P + 8 && (FileOf(wr) != FileB || Manhattan(wk, bk) < KingsApartLimit)) *scale >>= 2;
    }
  }

  // Step 6: never scale the ending away completely.
  *scale = std::max(*scale, MinScale);
  return b;
}

int QueenPawnScore(int side, int strong, int* flags) {
  const Position& p = Pos;
  const int weak = strong ^ 1;
  const bool strongToMove = side == strong;
  const int pawn = FirstPawn(p, weak);
  const int Q = PromotionSquare(weak, pawn);
  const int sk = p.kingSquare(strong), wk = p.kingSquare(weak);
  const int queen = p.pieceList[strong][LowestSlot(p.queens(strong))];

  // Step 1: the kings' race to the promotion square.
  const int s = QueenDistanceWeight * (Manhattan(wk, Q) - Manhattan(sk, Q));

  // Step 2: only a pawn on its seventh rank, with nothing of the strong side en prise, is special.
  if (RelativeRank(weak, pawn) != Rank7 || p.threatSum[strong]) return s;
  if (queen == Q) return s + QueenOnPromotionBonus;

  // Step 3: the queen wins when the defending king cannot support the promotion in time.
  const bool attacksPawnOrQ = Attacks(p, strong, pawn) || Attacks(p, strong, Q);
  const bool bishopPawn = FileOf(pawn) == FileC || FileOf(pawn) == FileF;
  const bool kingTwoAway = Distance(wk, Q) == KingTwoFromPromotion;
  if (!Attacks(p, weak, Q) && wk != Q && (attacksPawnOrQ || !kingTwoAway) &&
      (!bishopPawn || !kingTwoAway || (strongToMove && (!EdgeSquare(wk) || Attacks(p, strong, Q)))))
    return s + QueenWinsBonus;

  // Step 4: tempi the strong side gains: a king on the promotion square or in check, or a
  // discovered check ready (queen, own king, defending king on one clear line); and the move.
  const bool weakInCheck = Attacks(p, strong, wk);
  bool discovery = false;
  const int line = Direction(wk, sk);
  if (strongToMove && IsLine(line) && Direction(sk, queen) == line)
    discovery = ClearBetween(p, queen, sk, line) && ClearBetween(p, sk, wk, line);
  int t = (wk == Q || weakInCheck || discovery) ? 1 : 0;
  if (strongToMove || weakInCheck) t++;

  // Step 5: a rook pawn draws unless the strong king is close.
  const int file = FileOf(pawn);
  if (file == FileA || file == FileH) {
    if (wk == Q) t++;
    if (Distance(sk, Q) - t < RookPawnKingReach && Manhattan(sk, Q) - 2 * t < RookPawnKingPathReach) return s;
    *flags |= RecordKindCertainDraw;
    return 0;
  }

  // Step 6: a bishop pawn draws through stalemate unless the strong king is close.
  if (bishopPawn) {
    if (FileOf(wk) >= FileC && FileOf(wk) <= FileF) {
      if (Distance(sk, Q) - t > BishopPawnKingReach) {
        *flags |= RecordKindCertainDraw;
        return 0;
      }
      return s;
    }
    // The defending king beside the corner on the promotion rank, the queen on the pawn's rank:
    // the king is shut in, and the strong king gains a move when near the square two ranks up.
    const int wkRel = Relative(weak, wk);
    if (RankOf(wkRel) == 7 && (FileOf(wkRel) == FileB || FileOf(wkRel) == FileG) &&
        RelativeRank(weak, queen) == Rank7) {
      const int key = Relative(weak, FileOf(wkRel) + 8 * Rank6);
      if (Distance(sk, key) <= KeySquareReach) t++;
    }
    if (Distance(sk, pawn) - t > BishopPawnKingToPawn) {
      *flags |= RecordKindCertainDraw;
      return 0;
    }
    return s;
  }

  // Step 7: knight and centre pawns lose.
  return s;
}
