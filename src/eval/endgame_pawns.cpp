// Endgame knowledge: kings and pawns only. The pawn terms of the middlegame evaluation, with the
// kings' distances to every pawn, passed pawns escorted or met by the kings, and pawn races.
#include "board/board.h"
#include "board/geometry.h"
#include "eval/endgame_internal.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"

using namespace endgame;

namespace {

// Units of 1/128 pawn. Passed pawn by its rank seen from its own side.
constexpr int PassedBonus[8] = {0, 10, 14, 24, 40, 64, 100, 0};
// Per square of king distance to a passed pawn's stop square (own king nearer, enemy king farther),
// by the pawn's rank seen from its own side.
constexpr int EscortWeight[8] = {0, 1, 2, 3, 5, 8, 12, 0};
constexpr int KingToPawnWeight = 3;  // per square: own king nearer, enemy king farther from each pawn
constexpr int DoubledPenalty = 12;
// A pawn the enemy king cannot catch: a queen soon, less per ply it still needs.
constexpr int UnstoppableBase = 640;
constexpr int UnstoppablePlyWeight = 16;
constexpr int RaceMargin = 2;  // plies by which the other side's first queen must come later
constexpr int NoRace = 1000;

// Support fields: rank 2-5 pawns (seen from their own side) only; 2 bits per field, the
// high byte for Black.
constexpr int SupportFirstRank = 2, SupportLastRank = 5;
constexpr int SupportFieldBits = 2, SupportFieldMask = 3, SupportHighByte = 8;
constexpr int WhiteSupportShift = 1, BlackSupportShift = 2, SupportPatternBits = 5, SupportPatternMask = 31;

// How many pawns of colour c on the adjacent files can come to defend the pawn on sq.
int Support(const Position& p, int c, int sq) {
  const int r = RankOf(sq), relRank = RelativeRank(c, sq);
  if (relRank < SupportFirstRank || relRank > SupportLastRank) return 0;
  auto pattern = [&](int file) {  // file -1..8; the pawnFiles bytes have sentinels on both sides
    int w = p.pawnFiles[White][file + 1] >> WhiteSupportShift & SupportPatternMask;
    int b = p.pawnFiles[Black][file + 1] >> BlackSupportShift & SupportPatternMask;
    return PawnSupportTable[w | b << SupportPatternBits];
  };
  const int fields = pattern(FileOf(sq) - 1) + pattern(FileOf(sq) + 1);
  const int shift = SupportFieldBits * (r - SupportFirstRank) + (c == White ? 0 : SupportHighByte);
  return fields >> shift & SupportFieldMask;
}

// Whether no enemy pawn stands ahead of the pawn on its own or an adjacent file.
bool Passed(const Position& p, int c, int sq) {
  const int r = RankOf(sq), f = FileOf(sq);
  const unsigned ahead = c == White ? 0xFFu << (r + 1) & 0xFFu : (1u << r) - 1;
  for (int file = f - 1; file <= f + 1; file++)
    if (p.pawnFiles[c ^ 1][file + 1] & ahead) return false;
  return true;
}

int PawnsOnFile(const Position& p, int c, int file) { return __builtin_popcount(p.pawnFiles[c][file + 1]); }

}  // namespace

int PawnEndingScore(int side, int score) {
  Position& p = Pos;
  p.secondThreat[White] = p.secondThreat[Black] = 0;
  int total = 0;                        // White's view
  int racePlies[2] = {NoRace, NoRace};  // plies until each colour's first unstoppable pawn queens
  for (int us = White; us <= Black; us++) {
    const int them = us ^ 1;
    const int ownKing = p.kingSquare(us), enemyKing = p.kingSquare(them);
    int v = KingSquareTable[us][ownKing];
    for (uint32_t pawns = p.pawns(us); pawns; pawns &= pawns - 1) {
      const int sq = p.pieceList[us][LowestSlot(pawns)];
      const int r = RelativeRank(us, sq), f = FileOf(sq), front = sq + Forward(us);
      // Step 1: the pawn's square, and the kings' distances to it.
      v += PawnSquareTable[us][sq] + KingToPawnWeight * (Distance(enemyKing, sq) - Distance(ownKing, sq));
      // Step 2: weak (no neighbour can come to defend it and no pawn covers its front) and doubled pawns.
      if (!(p.attackTable[us][front].counts & CountMaskPawn) && !Support(p, us, sq))
        v -= WeakPawnPenalty[Relative(us, sq)];
      if (PawnsOnFile(p, us, f) > 1) v -= DoubledPenalty;
      if (!Passed(p, us, sq)) continue;
      // Step 3: a passed pawn, escorted by its own king or met by the enemy king at its stop square.
      v += PassedBonus[r] + EscortWeight[r] * (Distance(enemyKing, front) - Distance(ownKing, front));
      // Step 4: the square rule; the own king standing in the pawn's way costs it a move.
      const int promotion = PromotionSquare(us, sq);
      const bool kingInWay = FileOf(ownKing) == f && RelativeRank(us, ownKing) > r;
      const int moves = PromotionMoves[r] + (kingInWay ? 1 : 0);
      if (moves < Distance(enemyKing, promotion) - (side == them ? 1 : 0))
        racePlies[us] = std::min(racePlies[us], 2 * moves - (side == us ? 1 : 0));
    }
    total += us == White ? v : -v;
  }
  // Step 5: the race: the first queen counts unless the other side's follows at once.
  for (int us = White; us <= Black; us++)
    if (racePlies[us] != NoRace && racePlies[us] + RaceMargin <= racePlies[us ^ 1]) {
      int bonus = UnstoppableBase - UnstoppablePlyWeight * racePlies[us];
      total += us == White ? bonus : -bonus;
    }
  // Step 6: the full score for the side to move.
  return score + (side == White ? total : -total);
}
