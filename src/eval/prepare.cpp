// Root evaluation preprocessing: once per search the piece-square tables are rebuilt from the
// root position (its phase, pawn structure, king squares, development and storm plans), so the
// whole tree is judged with the root's plans.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "core/settings.h"

int16_t PawnSquareTable[2][64];
int16_t KnightSquareTable[2][64];
int16_t BishopSquareTable[2][64];
int16_t RookSquareTable[2][64];
int16_t QueenSquareTable[2][64];
int16_t KingSquareTable[2][64];
int StormLevel[2] = {NoStorm, NoStorm};
uint8_t StormFiles[2];
int DevelopedMinors[2];
int RootSide = White;
bool HyperModernPlay = false;

namespace {

// Base tables: White's view, index a1..h8 (rank 1 first), units of 1/128 pawn. Black reads them
// mirrored by rank; all but the queen table are symmetric, so the mirror changes nothing there.
constexpr int8_t BaseKnight[64] = {
    -19, -13, -8, -4, -4, -8, -13, -19,   // rank 1
    -13, -5,  3,  8,  8,  3,  -5,  -13,   // rank 2
    -8,  3,   15, 20, 20, 15, 3,   -8,    // rank 3
    -4,  8,   20, 27, 27, 20, 8,   -4,    // rank 4
    -4,  8,   20, 27, 27, 20, 8,   -4,    // rank 5
    -8,  3,   15, 20, 20, 15, 3,   -8,    // rank 6
    -13, -5,  3,  8,  8,  3,  -5,  -13,   // rank 7
    -19, -13, -8, -4, -4, -8, -13, -19};  // rank 8

constexpr int8_t BaseBishop[64] = {
    -3, 2,  2, 2, 2, 2, 2,  -3,   // rank 1
    2,  11, 6, 6, 6, 6, 11, 2,    // rank 2
    3,  6,  9, 9, 9, 9, 6,  3,    // rank 3
    4,  6,  9, 9, 9, 9, 6,  4,    // rank 4
    4,  6,  9, 9, 9, 9, 6,  4,    // rank 5
    3,  6,  9, 9, 9, 9, 6,  3,    // rank 6
    2,  11, 6, 6, 6, 6, 11, 2,    // rank 7
    -3, 2,  2, 2, 2, 2, 2,  -3};  // rank 8

// Rook base, by file (every rank alike).
constexpr int8_t BaseRookByFile[8] = {-1, 0, 2, 3, 3, 2, 0, -1};

constexpr int8_t BaseQueen[64] = {
    -12, -8, -2, 0,  0,  -2, -8, -12,   // rank 1
    -10, 1,  8,  8,  8,  8,  1,  -10,   // rank 2
    -8,  2,  6,  8,  8,  6,  2,  -8,    // rank 3
    -2,  5,  8,  12, 12, 8,  5,  -2,    // rank 4
    0,   5,  8,  12, 12, 8,  5,  0,     // rank 5
    -2,  2,  6,  8,  8,  6,  2,  -2,    // rank 6
    -8,  2,  4,  6,  6,  4,  2,  -8,    // rank 7
    -12, -8, -2, 0,  0,  -2, -8, -12};  // rank 8

constexpr int8_t BaseKingMiddlegame[64] = {
    0,   2,   -9,  -12, -12, -9,  2,   0,     // rank 1
    -8,  -4,  -12, -17, -17, -12, -4,  -8,    // rank 2
    -21, -19, -25, -27, -27, -25, -19, -21,   // rank 3
    -26, -26, -30, -33, -33, -30, -26, -26,   // rank 4
    -26, -26, -30, -33, -33, -30, -26, -26,   // rank 5
    -21, -19, -25, -27, -27, -25, -19, -21,   // rank 6
    -8,  -4,  -12, -17, -17, -12, -4,  -8,    // rank 7
    0,   2,   -9,  -12, -12, -9,  2,   0};    // rank 8

constexpr int8_t BaseKingEndgame[64] = {
    -2, 2,  6,  10, 10, 6,  2,  -2,   // rank 1
    2,  10, 14, 18, 18, 14, 10, 2,    // rank 2
    6,  14, 22, 26, 26, 22, 14, 6,    // rank 3
    10, 18, 26, 34, 34, 26, 18, 10,   // rank 4
    10, 18, 26, 34, 34, 26, 18, 10,   // rank 5
    6,  14, 22, 26, 26, 22, 14, 6,    // rank 6
    2,  10, 14, 18, 18, 14, 10, 2,    // rank 7
    -2, 2,  6,  10, 10, 6,  2,  -2};  // rank 8

// Where the defending king stands worst against king, bishop and knight: low values in the
// corners of the bishop's colour. Index a1..h8 (rank 1 first), for a light-squared bishop
// (corners h1 and a8); the dark-squared table is its rank mirror (corners a1 and h8).
constexpr std::array<int8_t, 64> LightBishopCorners = {
    90, 83, 70,  57,  35,  27,  1,  1,    // rank 1
    83, 95, 80,  70,  65,  45,  40, 1,    // rank 2
    70, 80, 100, 90,  80,  43,  45, 27,   // rank 3
    57, 70, 90,  110, 90,  80,  65, 35,   // rank 4
    35, 65, 80,  90,  110, 90,  70, 57,   // rank 5
    27, 45, 43,  80,  90,  100, 80, 70,   // rank 6
    1,  40, 45,  65,  70,  80,  95, 83,   // rank 7
    1,  1,  27,  35,  57,  70,  83, 90};  // rank 8

constexpr std::array<int8_t, 64> DarkBishopCorners = [] {
  std::array<int8_t, 64> t{};
  for (int sq = 0; sq < 64; sq++) t[sq] = LightBishopCorners[sq ^ 56];
  return t;
}();

// Pawn-structure parameters.
constexpr int KnightBase = 8;
constexpr int BishopBase = 16;
constexpr uint8_t QueenWingFiles = 0x0F;   // files a-d
constexpr uint8_t KingWingFiles = 0xF0;    // files e-h

// Undeveloped minor pieces: home-square penalties kept until all four have left (or early in the game).
constexpr int HomeKnightB = 1, HomeBishopC = 2, HomeBishopF = 5, HomeKnightG = 6;   // first-rank squares
constexpr int UndevelopedKnightB = 14, UndevelopedKnightG = 17, UndevelopedBishop = 8;
constexpr int AllMinorsDeveloped = 4;
constexpr int DevelopmentGamePlies = 17;

// Pawn storms: only while enough pieces remain, with each king on a wing (files a-c or f-h).
constexpr int StormMinPhase = 4;
constexpr uint8_t LeftWingFiles = 0x07, RightWingFiles = 0xE0;
constexpr int StormOppositeWings = 2, StormOneWing = 0;

// Pawn table: the base values weigh from half (bare ending) to full (all pieces) in sixteenths,
// and every pawn starts a drop below them that the endgame gives back (endgameHalf reaches 8).
constexpr int PawnBaseWeightFloor = 8, PawnBaseWeightUnit = 16;
constexpr int PawnTableDrop = 8;

// Queen tropism once the minor pieces are out.
constexpr int QueenTropismBase = 8;
// Knight squares near enemy material: within this king distance and file + rank distance.
constexpr int NearKingDistance = 2, NearManhattanDistance = 3;

// King table of pawn endings (below this phase).
constexpr int PawnEndingPhase = 9;
constexpr int PawnEndingBase = 6;

inline int KingDistance(int a, int b) {
  return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b)));
}
inline int ManhattanDistance(int a, int b) { return std::abs(FileOf(a) - FileOf(b)) + std::abs(RankOf(a) - RankOf(b)); }
inline int Mirror(int c, int sq) { return c == White ? sq : sq ^ 56; }
inline int PawnCount(const Position& p, int c) { return SignaturePawns(p.materialSignature[c]); }

struct PawnPlan {
  int knightBase = KnightBase, bishopBase = BishopBase;
  int bishopBonus[2] = {0, 0};
};

// Step 2: closed centre (knights gain), pawns on one or both wings with unequal files (bishops gain,
// and the side with more pawn files on a wing more so).
PawnPlan PlanPawnStructure(const Position& p) {
  PawnPlan plan;
  int blocked[2] = {0, 0}, free[2] = {0, 0};
  uint8_t files[2] = {0, 0};
  for (int c = 0; c < 2; c++) {
    const int forward = c == White ? 8 : -8;
    for (uint32_t set = p.pawns(c); set; set &= set - 1) {
      int sq = p.pieceList[c][LowestSlot(set)];
      if (p.pieceType[sq + forward] == Pawn) blocked[c]++;
      else free[c]++;
      files[c] |= uint8_t(1u << FileOf(sq));
    }
  }
  const uint8_t all = files[White] | files[Black];
  if (!all) return plan;
  const bool bothWings = (all & QueenWingFiles) && (all & KingWingFiles);
  if (blocked[White] > 2 * free[White] && blocked[Black] > 2 * free[Black]) {
    plan.knightBase = KnightBase + (bothWings ? p.endgameHalf : p.endgameWeight);
    return plan;
  }
  if (!bothWings) {
    if (files[White] != files[Black]) plan.bishopBase = BishopBase + p.endgameQuarter;
    return plan;
  }
  if (files[White] == files[Black]) {
    plan.bishopBase = BishopBase + p.endgameQuarter;
    return plan;
  }
  plan.bishopBase = BishopBase + p.endgameHalf;
  for (uint8_t wing : {KingWingFiles, QueenWingFiles}) {
    int d = __builtin_popcount(files[White] & wing) - __builtin_popcount(files[Black] & wing);
    int c = d > 0 ? White : Black;
    d = std::abs(d);
    if (d == 1) plan.bishopBonus[c] += p.endgameQuarter;
    else if (d >= 2) plan.bishopBonus[c] += p.endgameHalf;
  }
  return plan;
}

// Steps 4 and the recount: home-square penalties for knights and bishops not yet developed.
void MarkUndevelopedMinors(const Position& p) {
  for (int c = 0; c < 2; c++) {
    const int b = Mirror(c, HomeKnightB), cc = Mirror(c, HomeBishopC);
    const int f = Mirror(c, HomeBishopF), g = Mirror(c, HomeKnightG);
    if (DevelopedMinors[c] < AllMinorsDeveloped || Game.index < DevelopmentGamePlies) {
      KnightSquareTable[c][b] -= UndevelopedKnightB;
      KnightSquareTable[c][g] -= UndevelopedKnightG;
      BishopSquareTable[c][cc] -= UndevelopedBishop;
      BishopSquareTable[c][f] -= UndevelopedBishop;
    }
    auto holds = [&](int sq, int type) { return p.pieceType[sq] == type && p.colour[sq] == c; };
    DevelopedMinors[c] = !holds(b, Knight) + !holds(g, Knight) + !holds(cc, Bishop) + !holds(f, Bishop);
  }
}

// Step 5: the corner table when one side mates with bishop and knight, else the centre table.
void ChooseKingCentrality(const Position& p) {
  constexpr uint32_t BishopAndKnight = SignatureIncrement[Knight] + SignatureIncrement[Bishop];
  KingCentrality = CentreTable;
  for (int c = 0; c < 2; c++) {
    if (p.materialSignature[c] != BishopAndKnight || p.materialSignature[c ^ 1] != 0) continue;
    int bishop = p.pieceList[c][LowestSlot(p.bishops(c))];
    KingCentrality = Geo.shade[bishop] ? DarkBishopCorners.data() : LightBishopCorners.data();
  }
}

// Step 6: a king on a wing storms the other wing, harder when the enemy king is there.
void PlanPawnStorms(const Position& p) {
  StormLevel[White] = StormLevel[Black] = NoStorm;
  StormFiles[White] = StormFiles[Black] = 0;
  if (p.Phase <= StormMinPhase) return;
  for (int c = 0; c < 2; c++) {
    const uint8_t own = uint8_t(1u << FileOf(p.kingSquare(c))), enemy = uint8_t(1u << FileOf(p.kingSquare(c ^ 1)));
    if (own & LeftWingFiles) StormFiles[c] = RightWingFiles;
    else if (own & RightWingFiles) StormFiles[c] = LeftWingFiles;
    else continue;
    StormLevel[c] = (enemy & StormFiles[c]) ? StormOppositeWings : StormOneWing;
  }
}

// Step 7, pawn endings: the king table pulls both kings toward the pawns and their critical
// squares. For each pawn the distance sum D counts four king distances from the square: one to
// the pawn, two to its critical square, and a fourth that says where the fight is: the critical
// square once more when the pawn's path is free (a race to the key square), the first path square
// an enemy pawn attacks when the path is contested, or the pawn itself when a pawn blocks its
// file (the pawn is the target). The critical square is two ahead of an unblocked pawn of the
// side with at least as many pawns (where its king must stand to escort it), else the square in
// front (where the defender blockades).
void AddPawnEndingKingTable(const Position& p, int pawnCount) {
  constexpr int MaxPawns = 32;
  uint8_t pawn[MaxPawns], critical[MaxPawns], third[MaxPawns];
  int n = 0;
  const int counts[2] = {PawnCount(p, White), PawnCount(p, Black)};
  for (int c = 0; c < 2; c++) {
    const int forward = c == White ? 8 : -8;
    const int lastRank = c == White ? 7 : 0;
    for (uint32_t set = p.pawns(c); set; set &= set - 1) {
      const int sq = p.pieceList[c][LowestSlot(set)];
      const int front = sq + forward;
      int crit = front;
      if (counts[c] >= counts[c ^ 1] && !p.pieceType[front] && RankOf(front) != lastRank) crit = front + forward;
      int fight = crit;   // free path
      bool contested = false;
      for (int s = front;; s += forward) {
        if (p.pieceType[s] == Pawn) {
          fight = sq;       // blocked file
          break;
        }
        if (!contested && (p.attackTable[c ^ 1][s].counts & CountMaskPawn)) {
          contested = true;
          fight = s;
        }
        if (RankOf(s) == lastRank) break;
      }
      pawn[n] = uint8_t(sq);
      critical[n] = uint8_t(crit);
      third[n] = uint8_t(fight);
      n++;
    }
  }
  const int k = (p.endgameWeight - 8) / 2 + 1;
  for (int sq = 0; sq < 64; sq++) {
    int d = 0;
    for (int i = 0; i < n; i++)
      d += KingDistance(sq, pawn[i]) + 2 * KingDistance(sq, critical[i]) + KingDistance(sq, third[i]);
    const int bonus = PawnEndingBase * k - k * d / pawnCount;
    KingSquareTable[White][sq] = int16_t(KingSquareTable[White][sq] + bonus);
    KingSquareTable[Black][sq] = int16_t(KingSquareTable[Black][sq] + bonus);
  }
}

}  // namespace

void PrepareEvaluation() {
  Position& p = Pos;
  // Step 1: the root phase, computed afresh (a new position may carry the material values of
  // the last one with another split between pieces and pawns).
  p.phaseMaterial[White] = p.phaseMaterial[Black] = -1;
  UpdatePhase();
  RootSide = p.sideToMove;
  HyperModernPlay = (SettingsFlags & FlagHyperModern) != 0;

  // Step 2: what the pawn structure asks of knights and bishops.
  const PawnPlan plan = PlanPawnStructure(p);

  // Step 3: the base tables; the king's mixes middlegame and endgame by phase.
  for (int c = 0; c < 2; c++)
    for (int sq = 0; sq < 64; sq++) {
      const int base = Mirror(c, sq);
      KnightSquareTable[c][sq] = BaseKnight[base];
      BishopSquareTable[c][sq] = BaseBishop[base];
      RookSquareTable[c][sq] = BaseRookByFile[FileOf(sq)];
      QueenSquareTable[c][sq] = BaseQueen[base];
      KingSquareTable[c][sq] =
          int16_t((BaseKingMiddlegame[base] * p.Phase + BaseKingEndgame[base] * p.endgameWeight) >> 4);
      PawnSquareTable[c][sq] = 0;
    }

  // Step 4: undeveloped minor pieces.
  MarkUndevelopedMinors(p);

  // Step 5: the defending king's table for mating positions.
  ChooseKingCentrality(p);

  // Step 6: pawn-storm plans.
  PlanPawnStorms(p);

  // Step 7: per-square adjustments.
  const int king[2] = {p.kingSquare(White), p.kingSquare(Black)};
  for (int sq = 0; sq < 64; sq++) {
    const int dist[2] = {ManhattanDistance(sq, king[White]), ManhattanDistance(sq, king[Black])};
    for (int c = 0; c < 2; c++) {
      const int them = c ^ 1;
      // Pawns: the base values matter more with more pieces; all pawns gain in the endgame.
      const int pawnBase = BasePawnTable[Mirror(c, sq)] * (p.phaseHalf + PawnBaseWeightFloor) / PawnBaseWeightUnit;
      PawnSquareTable[c][sq] = int16_t(PawnSquareTable[c][sq] + pawnBase - PawnTableDrop + p.endgameHalf);
      // Knights: closed-centre base, near both kings.
      KnightSquareTable[c][sq] = int16_t(KnightSquareTable[c][sq] + plan.knightBase - dist[White] - dist[Black]);
      // Bishops: open-position base and the wing-majority bonus.
      BishopSquareTable[c][sq] = int16_t(BishopSquareTable[c][sq] + plan.bishopBase + plan.bishopBonus[c]);
      // Rooks: on a line toward the enemy king.
      const int df = std::abs(FileOf(sq) - FileOf(king[them])), dr = std::abs(RankOf(sq) - RankOf(king[them]));
      RookSquareTable[c][sq] = int16_t(RookSquareTable[c][sq] - std::min(df, dr));
      // Queens: toward the enemy king once the minor pieces are out.
      if (DevelopedMinors[c] == AllMinorsDeveloped)
        QueenSquareTable[c][sq] = int16_t(QueenSquareTable[c][sq] + QueenTropismBase - dist[them]);
    }
    // Knights: squares near enemy pawns and pieces (the king counts as a piece).
    for (int c = 0; c < 2; c++) {
      int bonus = 0;
      for (uint32_t set = p.usedSlots[c]; set; set &= set - 1) {
        const int at = p.pieceList[c][LowestSlot(set)];
        if (KingDistance(sq, at) > NearKingDistance || ManhattanDistance(sq, at) > NearManhattanDistance) continue;
        bonus += p.endgameQuarter + (p.pieceType[at] != Pawn);
      }
      KnightSquareTable[c ^ 1][sq] = int16_t(KnightSquareTable[c ^ 1][sq] + bonus);
    }
  }
  // Pawn endings: the kings head for the pawns.
  const int pawnCount = PawnCount(p, White) + PawnCount(p, Black);
  if (p.Phase < PawnEndingPhase && pawnCount > 0) AddPawnEndingKingTable(p, pawnCount);
}
