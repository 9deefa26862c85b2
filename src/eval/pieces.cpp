// Piece placement: knights (outposts, the pawn count), bishops (mobility, pawns on their
// diagonals, x-ray targets, a way back, the pair), rooks (connection, open files, rank bonuses,
// mobility, the rook shut in by its own king) and queens, each from the per-search square
// tables; plus the trade bonus. Written once for both colours in the piece's own view.
#include <algorithm>
#include <array>
#include <bit>

#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"

namespace {

// Rook mobility, by the squares counted along its four lines (0..14), units of 1/128 pawn.
constexpr int RookMobility[15] = {-5, -2, 0, 1, 5, 8, 11, 13, 15, 17, 18, 19, 20, 21, 22};
// Bishop mobility, by the empty squares on its diagonals (0..13).
constexpr int BishopMobilityBonus[14] = {-8, -4, -1, 2, 5, 8, 10, 12, 14, 16, 18, 20, 21, 22};
// Bishop, by the number of diagonal directions with at least one free square (0..4).
constexpr int BishopDirections[5] = {-12, -4, 0, 2, 4};
// The same by the set of free diagonal directions (bit d - 4 for direction d, 0..15).
constexpr std::array<int, 16> BishopFreeDirections = [] {
  std::array<int, 16> t{};
  for (int set = 0; set < 16; set++) t[set] = BishopDirections[std::popcount(unsigned(set))];
  return t;
}();
// A bishop with no way back, by its relative rank index: deep in enemy land it is nearly trapped.
constexpr int BishopBlockedPenalty[8] = {2, 4, 10, 24, 48, 72, 164, 172};
// An own pawn ahead on a bishop's diagonal, by the pawn's relative rank index (ranks 2-4 only).
constexpr int OwnPawnOnDiagonal[8] = {0, 3, 3, 2, 2, 3, 3, 0};
// A target seen through an own piece on the bishop's diagonal, by piece type.
constexpr int XrayTargetBonus[7] = {0, 1, 5, 5, 7, 13, 16};
// Knights, by the average pawn count per side ((White pawns + Black pawns) >> 1, 0..8).
constexpr int KnightPawnAdjust[9] = {0, 0, -12, -6, 0, 4, 7, 11, 12};

constexpr int KnightPerRookPenalty = 4;   // per rook on the board, either colour
constexpr int KnightWithQueenBonus = 12;
constexpr int OutpostRankWeight = 4;      // per relative rank index of a knight outpost
constexpr int BishopPairBase = 22;        // minus the average pawn count, per bishop
constexpr int ConnectedRookBonus = 7;
constexpr int OpenFileBonus = 22;
constexpr int HalfOpenFileBonus = 12;
constexpr int RankBeforeKingWeight = 4;   // per relative rank index, on the rank in front of the enemy king
constexpr int SeventhRankBonus = 12;
constexpr int TrappedRookPenalty = 38;
constexpr int TrappedRookMobility = 3;    // fewer squares than this
constexpr int TrappedRookMinPhase = 3;    // only while Phase is above this
constexpr int TrappedRookCentreWeight = 2;
constexpr int XrayBonusBase = 4;
constexpr int BlockedDiagonalPawnFactor = 4;   // own pawn on the diagonal that cannot move

constexpr int FirstOutpostRank = 2, LastOutpostRank = 5;   // relative rank indices (ranks 3-6)
constexpr int SeventhRank = 6, LastRank = 7;
constexpr int HighestDiagonalPawnRank = 3;                 // own pawns on relative ranks 2-4 hinder the bishop

// Diagonal directions (NW, NE, SW, SE) and, per colour, the two that lead toward its own side.
constexpr int FirstDiagonal = 4, LastDiagonal = 7;
constexpr uint8_t BackwardDiagonals[2] = {1u << 6 | 1u << 7, 1u << 4 | 1u << 5};
// The piece types (as 1 << type) that end a rook's line for its mobility.
constexpr unsigned EndsRookLine = 1u << Pawn | 1u << Knight | 1u << Bishop | 1u << King;

inline int RelativeRank(int c, int sq) { return c == White ? RankOf(sq) : 7 - RankOf(sq); }

// No enemy pawn on a file beside sq stands ahead of it, so none can ever drive a piece away.
// The piece's colour c is a template argument here and below, so that the direction is a constant.
template <int c>
bool SafeFromPawns(const Position& p, int sq) {
  const uint8_t* theirs = p.pawnFiles[c ^ 1] + 1;   // files -1..8
  const int f = FileOf(sq), r = RankOf(sq);
  const unsigned beside = theirs[f - 1] | theirs[f + 1];
  const unsigned ahead = c == White ? (0xFEu << r) & 0xFFu : (1u << r) - 1;
  return !(beside & ahead);
}

template <int c>
int Outpost(const Position& p, int sq) {
  const int rel = RelativeRank(c, sq), f = FileOf(sq);
  if (rel < FirstOutpostRank || rel > LastOutpostRank || f == 0 || f == 7) return -1;
  return SafeFromPawns<c>(p, sq) ? rel : -1;
}

template <int c>
int KnightValue(const Position& p, int sq, int averagePawns, int rooksOnBoard) {
  int v = KnightSquareTable[c][sq] + KnightPawnAdjust[averagePawns] - p.endgameHalf;
  const int rel = Outpost<c>(p, sq);
  if (rel >= 0) {
    int o = CentreWeight[sq];
    if (p.attackTable[c][sq].counts & CountMaskPawn) o += CentreWeight[sq] >> 1;
    v += (o + OutpostRankWeight * rel) >> p.endgameEighth;
  }
  v -= KnightPerRookPenalty * rooksOnBoard;
  if (p.queens(c)) v += KnightWithQueenBonus;
  return v;
}

template <int c>
int BishopMobility(int sq);

template <int c>
int BishopValue(const Position& p, int sq, int averagePawns) {
  int v = BishopSquareTable[c][sq] - pawnMass[c][Geo.shade[sq]] + p.endgameQuarter + p.phaseHalf;
  if (Outpost<c>(p, sq) >= 0) v += CentreWeight[sq] >> 1;
  if (p.bishops(c) & (p.bishops(c) - 1)) v += BishopPairBase - averagePawns;
  return v + BishopMobility<c>(sq);
}

template <int c>
int RookValue(const Position& p, int sq) {
  const int them = c ^ 1, f = FileOf(sq), rel = RelativeRank(c, sq);
  const AttackEntry* own = p.attackTable[c];
  int v = RookSquareTable[c][sq] + p.endgameHalf;

  // Connected: another own rook or queen bears on it along a rank or file.
  for (uint32_t set = own[sq].attackers & p.orthogonalSliders[c]; set; set &= set - 1) {
    if (IsOrthogonal(Direction(sq, p.pieceList[c][LowestSlot(set)]))) {
      v += ConnectedRookBonus;
      break;
    }
  }

  // Open and half-open files.
  if (!p.pawnFiles[c][f + 1]) v += p.pawnFiles[them][f + 1] ? HalfOpenFileBonus : OpenFileBonus;

  // The rank in front of the enemy king, and the seventh rank.
  const int enemyKingRank = RelativeRank(c, p.kingSquare(them));
  if (rel > 2 && rel == enemyKingRank - 1 && !p.pawnsOnRank[them][RankOf(sq)]) v += RankBeforeKingWeight * rel;
  if (rel == SeventhRank && enemyKingRank >= SeventhRank) v += SeventhRankBonus + p.endgameHalf;

  // Mobility: rooks and queens of either colour do not end a line. The rook's four rays are
  // walked as one list; a piece that ends a line skips the rest of its ray.
  int count = 0;
  const uint8_t* ray = Geo.rays[Rook][sq];
  const uint8_t* skip = Geo.raySkip[Rook][sq];
  for (int i = 0; ray[i] != EndOfList; i++) {
    if (EndsRookLine >> p.pieceType[ray[i]] & 1) i += skip[i];
    else count++;
  }
  v += RookMobility[count];

  // Shut in by its own king, which has moved and gave up castling.
  const int king = p.kingSquare(c);
  if (count < TrappedRookMobility && p.Phase > TrappedRookMinPhase && CentreWeight[sq] < TrappedRookCentreWeight &&
      p.moveCount[king] && (own[king].attackers & p.slotBit[sq]))
    v -= TrappedRookPenalty;
  return v;
}

// The mobility part of a bishop's value (see BishopScore).
template <int c>
int BishopMobility(int sq) {
  const Position& p = Pos;
  const int them = c ^ 1, forward = c == White ? 8 : -8;
  const AttackEntry* enemy = p.attackTable[them];
  int count = 0, sum = 0;
  unsigned free = 0;
  for (int d = FirstDiagonal; d <= LastDiagonal; d++) {
    const bool ahead = !(BackwardDiagonals[c] >> d & 1);
    const uint8_t* next = Geo.nextSquare[d];
    for (int s = next[sq]; s != OffBoard; s = next[s]) {
      const int type = p.pieceType[s];
      // Step 1: an empty square.
      if (!type) {
        count++;
        free |= 1u << d;
        continue;
      }
      if (p.colour[s] == c) {
        if (type == Pawn) {
          // Step 2: an own pawn ahead on ranks 2-4 hems the bishop in, the more when it cannot move.
          const int rel = RelativeRank(c, s);
          if (ahead && rel >= 1 && rel <= HighestDiagonalPawnRank) {
            const int front = s + forward;
            const bool stuck = p.pieceType[front] == Pawn || (p.pieceType[front] && p.colour[front] == them);
            sum -= (stuck ? BlockedDiagonalPawnFactor : 1) * OwnPawnOnDiagonal[rel];
          }
        } else if (type != King) {
          // Step 4: a target behind an own piece that may move out of the way.
          int t = Geo.nextSquare[d][s];
          while (t != OffBoard && !p.pieceType[t]) t = Geo.nextSquare[d][t];
          if (t != OffBoard && p.colour[t] == them) {
            const int target = p.pieceType[t];
            if (target >= Rook || !enemy[t].attackerTotal) sum += XrayBonusBase + XrayTargetBonus[target];
          }
        }
      } else if (type == Pawn) {
        // Step 3: an enemy pawn: a free target, or a chain that blocks the diagonal.
        if (!(enemy[s].counts & CountMaskPawn)) {
          sum += 1;
        } else {
          const int next = Geo.nextSquare[d][s];
          if (next != OffBoard && p.pieceType[next] == Pawn && p.colour[next] == them)
            sum -= (enemy[next].counts & CountMaskPawn) ? 9 : 4;
          else
            sum -= 2;
        }
      }
      break;
    }
  }

  // Step 5: no way back. The engine's own bishops take the full penalty, the opponent's half.
  const int rel = RelativeRank(c, sq);
  if (!(free & BackwardDiagonals[c]) || (count < 2 && rel == LastRank)) {
    const int penalty = BishopBlockedPenalty[rel];
    sum -= c == RootSide ? penalty : penalty >> 1;
  }

  // Step 6: directions, mobility and the diagonal terms.
  return BishopFreeDirections[free >> FirstDiagonal] + BishopMobilityBonus[count] + sum;
}

// The pieces of colour c, kind by kind (the sum does not depend on the order); the king and the
// pawns are skipped.
template <int c>
int PiecesOf(const Position& p, int averagePawns, int rooksOnBoard) {
  auto square = [&](uint32_t set) { return p.pieceList[c][LowestSlot(set)]; };
  int sum = 0;
  for (uint32_t set = p.knights(c); set; set &= set - 1) sum += KnightValue<c>(p, square(set), averagePawns, rooksOnBoard);
  for (uint32_t set = p.bishops(c); set; set &= set - 1) sum += BishopValue<c>(p, square(set), averagePawns);
  for (uint32_t set = p.rooks(c); set; set &= set - 1) sum += RookValue<c>(p, square(set));
  for (uint32_t set = p.queens(c); set; set &= set - 1) sum += QueenSquareTable[c][square(set)];
  return sum;
}

}  // namespace

int BishopScore(int sq, int c) { return c == White ? BishopMobility<White>(sq) : BishopMobility<Black>(sq); }

int PieceScore(int* perColour) {
  const Position& p = Pos;
  const int averagePawns = (SignaturePawns(p.materialSignature[White]) + SignaturePawns(p.materialSignature[Black])) >> 1;
  const int rooksOnBoard = BitCount(p.rooks(White)) + BitCount(p.rooks(Black));
  const int sums[2] = {PiecesOf<White>(p, averagePawns, rooksOnBoard), PiecesOf<Black>(p, averagePawns, rooksOnBoard)};
  if (perColour) {
    perColour[White] = sums[White];
    perColour[Black] = sums[Black];
  }
  return sums[White] - sums[Black] + p.TradeBonus;
}
