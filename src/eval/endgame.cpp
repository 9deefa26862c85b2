// Endgame knowledge: the stalemate test, the mating evaluator against a lone king and the
// wrong-coloured bishop with rook pawns.
#include "board/board.h"
#include "board/geometry.h"
#include "eval/endgame_internal.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"

using namespace endgame;

namespace {

// The lone-king evaluator: base scores of a decisive ending against a bare king and otherwise,
// and the base added for a rook or queen (units of 1/128 pawn).
constexpr int BareKingBase = 1460;
constexpr int DefendedKingBase = 256;
constexpr int HeavyPieceBase = 220;
constexpr int DecisiveLead = 640;       // material lead that wins against a lone king
constexpr int KingFileRankWeight = 16;  // per file and per rank between the kings
constexpr int ClearlyWonScore = 1000;   // beyond this a pawn's race no longer matters
// Bonus of a pawn of the strong side by the moves it still needs: outside the defending
// king's reach, and otherwise.
constexpr int UnstoppableBonus[8] = {1124, 996, 904, 828, 750, 696, 696, 636};
constexpr int PawnRankBonus[8] = {266, 196, 137, 90, 54, 30, 30, 18};

// Wrong bishop: the defending king this near the corner holds the draw; the scale the ending
// falls to; and the scale for a king that arrives just in time: base + step x e for e = -3..0.
constexpr int CornerHoldDistance = 2;
constexpr int DeadDrawScale = 1;
constexpr int LateArrivalLimit = -3;
constexpr int LateArrivalScaleBase = 9, LateArrivalScaleStep = 2;

bool OnlyPawnsOnFile(const Position& p, int c, int file) {
  for (int f = 0; f < 8; f++)
    if (f != file && p.pawnFiles[c][f + 1]) return false;
  return true;
}

}  // namespace

bool HasNoMoves(int side) {
  const Position& p = Pos;
  const int enemy = side ^ 1;
  const int k = p.kingSquare(side);
  // Step 1: a king move to a free or enemy-held square the enemy does not attack.
  for (const uint8_t* t = Geo.kingTargets[k]; *t != EndOfList; t++)
    if (p.colour[*t] != side && !p.attackTable[enemy][*t].counts) return false;
  // Step 2: a pawn step or capture; a pinned pawn may only move along its pin line.
  const int fwd = Forward(side);
  for (uint32_t pawns = p.pawns(side); pawns; pawns &= pawns - 1) {
    int from = p.pieceList[side][LowestSlot(pawns)];
    bool pinned = IsPinned(from, enemy);
    int line = Direction(from, k);
    auto allowed = [&](int to) { return !pinned || Direction(to, k) == line; };
    int ahead = from + fwd;
    if (!p.pieceType[ahead] && allowed(ahead)) return false;
    for (const uint8_t* t = Geo.pawnTargets[side][from]; *t != EndOfList; t++) {
      bool capture = p.colour[*t] == enemy || (*t == p.epSquare && p.epSquare);
      if (capture && allowed(*t)) return false;
    }
  }
  // Step 3: nothing moves.
  return true;
}

int LoneKingScore(int side, int strong) {
  const Position& p = Pos;
  const int weak = strong ^ 1;
  const int sk = p.kingSquare(strong), wk = p.kingSquare(weak);
  const bool strongToMove = side == strong;
  int s;

  // Step 1: a decisive ending needs a rook's worth of pieces and a lead that survives threats.
  const bool strongInCheck = Attacks(p, weak, sk);
  const bool decisive = PieceUnits(p, strong) >= RookUnits &&
                        ((strongToMove && !strongInCheck && p.material[strong] >= p.material[weak] + DecisiveLead) ||
                         p.material[strong] - p.threatSum[strong] >= p.material[weak] + DecisiveLead);
  if (!decisive) {
    s = KingSquareTable[strong][sk] - KingSquareTable[weak][wk];
  } else {
    // Step 2: a bare king is judged by its best flight square too.
    int base, best;
    if (p.material[weak] == 0) {
      base = BareKingBase;
      best = -1;
      for (const uint8_t* t = Geo.kingTargets[wk]; *t != EndOfList; t++)
        if (!Attacks(p, strong, *t)) best = std::max(best, int(KingCentrality[*t]));
      if (best < 0) best = KingCentrality[wk];
    } else {
      base = DefendedKingBase;
      best = KingCentrality[wk];
    }
    // Step 3: drive the defending king to the edge and bring the kings together.
    base += (p.rooks(strong) | p.queens(strong)) ? HeavyPieceBase : KingSquareTable[strong][sk];
    s = base - (KingCentrality[wk] + best + KingFileRankWeight * FileDistance(sk, wk) +
                KingFileRankWeight * RankDistance(sk, wk));
  }

  // Step 4: the strong side's pawns, worth most when the defending king cannot catch them.
  const int weakTempo = strongToMove ? 0 : 1;
  for (uint32_t pawns = p.pawns(strong); pawns; pawns &= pawns - 1) {
    int sq = p.pieceList[strong][LowestSlot(pawns)];
    int moves = PromotionMoves[RelativeRank(strong, sq)];
    if (s < ClearlyWonScore && moves < Distance(wk, PromotionSquare(strong, sq)) - weakTempo)
      s += UnstoppableBonus[moves];
    else
      s += PawnRankBonus[moves];
  }

  // Step 5: the side to move's view.
  return strongToMove ? s : -s;
}

int WrongBishopScale(int side, int strong, int* scale, int* flags) {
  const Position& p = Pos;
  const int weak = strong ^ 1;
  // Step 1: only rook pawns on one file, and a bishop that cannot cover their promotion corner.
  if (!p.bishops(strong) || !p.pawns(strong)) return 0;
  const int file = FileOf(p.pieceList[strong][LowestSlot(p.pawns(strong))]);
  if ((file != FileA && file != FileH) || !OnlyPawnsOnFile(p, strong, file)) return 0;
  const int corner = PromotionSquare(strong, file);
  const int bishop = p.pieceList[strong][LowestSlot(p.bishops(strong))];
  if (Geo.shade[bishop] == Geo.shade[corner]) return 0;

  // Step 2: the defending king at the corner holds the draw; without pawns of its own it is certain.
  const int wk = p.kingSquare(weak);
  int d = Distance(wk, corner);
  if (d < CornerHoldDistance) {
    *scale = DeadDrawScale;
    if (!p.pawns(weak)) *flags |= RecordKindCertainDraw;
    return 0;
  }

  // Step 3: a race of the defending king to the corner against the leading pawn and the strong king.
  if (side == weak) d -= 1;
  int lead = NoSquare;
  for (uint32_t pawns = p.pawns(strong); pawns; pawns &= pawns - 1) {
    int sq = p.pieceList[strong][LowestSlot(pawns)];
    if (lead == NoSquare || RelativeRank(strong, sq) > RelativeRank(strong, lead)) lead = sq;
  }
  const int ranksToGo = 7 - RelativeRank(strong, lead);
  // A defending pawn on the same file, the one nearest the corner, shortens the king's way.
  int blocker = NoSquare;
  for (uint32_t pawns = p.pawns(weak); pawns; pawns &= pawns - 1) {
    int sq = p.pieceList[weak][LowestSlot(pawns)];
    if (FileOf(sq) == file && (blocker == NoSquare || Distance(corner, sq) < Distance(corner, blocker))) blocker = sq;
  }
  if (blocker != NoSquare) d += 1 - Distance(corner, blocker);
  const int e = d - Distance(p.kingSquare(strong), corner);
  if (d <= ranksToGo && e < 1)
    *scale = e < LateArrivalLimit ? DeadDrawScale : LateArrivalScaleBase + LateArrivalScaleStep * e;
  return 0;
}
