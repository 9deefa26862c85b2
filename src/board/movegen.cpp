// Move generation from the attack tables: all moves, evasions, quiescence moves, quiet checks.
#include "board/board.h"
#include "board/geometry.h"

namespace {

// Initial ordering scores.
constexpr int RecaptureBonus = 100;
constexpr int EnPassantScore = 128;
constexpr int PromoQueenScore = 1056;
constexpr int PromoKnightScore = -480;
constexpr int PromoRookScore = -608;
constexpr int PromoBishopScore = -832;
constexpr int QuiescencePromoScore = 1120;
constexpr int SeventhRankPushScore = 1056;
constexpr int QuiescencePushMode = 6;
constexpr int QuietChecksModeBit = 2;
constexpr int MaxPieceOfKind = 3;

inline void Emit(MoveEntry*& list, Move m, int score) {
  list->move = m;
  list->score = int16_t(score);
  list++;
}

inline int Forward(int side) { return side == White ? 8 : -8; }
inline int RelativeRank(int side, int sq) { return side == White ? RankOf(sq) : 7 - RankOf(sq); }

inline int CaptureScore(const Position& p, int victimSq) {
  return pieceValue[p.pieceType[victimSq]] + (victimSq == p.lastTo ? RecaptureBonus : 0);
}

// Captures of every enemy piece but the king: most valuable victims first, cheapest attackers first.
// With `queenOnly`, a capture onto the last rank becomes only a queen promotion (quiescence).
MoveEntry* GenerateCaptures(Position& p, int side, MoveEntry* list, bool queenOnly, int skipRookBishop) {
  int enemy = side ^ 1;
  uint32_t victims = p.usedSlots[enemy] & ~1u;
  while (victims) {
    int v = p.pieceList[enemy][LowestSlot(victims)];
    victims &= victims - 1;
    uint32_t attackers = p.attackTable[side][v].attackers;
    if (p.attackTable[enemy][v].counts) attackers &= ~1u;
    while (attackers) {
      int slot = HighestSlot(attackers);
      attackers &= ~(1u << slot);
      int from = p.pieceList[side][slot];
      if (p.pieceType[from] == Pawn && RelativeRank(side, v) == 7) {
        if (queenOnly) Emit(list, MakeMoveWord(from, v, KindPromoQueen), CaptureScore(p, v) + QuiescencePromoScore);
        else list = EmitPromotions(list, from, v, side, skipRookBishop);
      } else {
        Emit(list, MakeMoveWord(from, v, KindCapture), CaptureScore(p, v));
      }
    }
  }
  return list;
}

MoveEntry* GenerateEnPassant(Position& p, int side, MoveEntry* list) {
  if (!p.epSquare) return list;
  uint32_t pawns = p.attackTable[side][p.epSquare].attackers & p.pawns(side);
  while (pawns) {
    int slot = HighestSlot(pawns);
    pawns &= ~(1u << slot);
    Emit(list, MakeMoveWord(p.pieceList[side][slot], p.epSquare, KindEnPassant), EnPassantScore);
  }
  return list;
}

// Quiet moves of one piece along its rays or targets onto empty squares.
MoveEntry* QuietPieceMoves(Position& p, int from, int type, MoveEntry* list) {
  if (type == Knight) {
    for (const uint8_t* t = Geo.knightTargets[from]; *t != EndOfList; t++)
      if (!p.pieceType[*t]) Emit(list, MakeMoveWord(from, *t), 0);
    return list;
  }
  const uint8_t* ray = Geo.rays[type][from];
  const uint8_t* skip = Geo.raySkip[type][from];
  for (int i = 0; ray[i] != EndOfList;) {
    if (p.pieceType[ray[i]]) {
      i += skip[i] + 1;
      continue;
    }
    Emit(list, MakeMoveWord(from, ray[i]), 0);
    i++;
  }
  return list;
}

MoveEntry* QuietPawnMoves(Position& p, int side, int from, MoveEntry* list, int skipRookBishop) {
  int to = from + Forward(side);
  if (p.pieceType[to]) return list;
  if (RelativeRank(side, to) == 7) return EmitPromotions(list, from, to, side, skipRookBishop);
  Emit(list, MakeMoveWord(from, to), 0);
  int to2 = to + Forward(side);
  if (RelativeRank(side, from) == 1 && !p.pieceType[to2]) Emit(list, MakeMoveWord(from, to2), 0);
  return list;
}

MoveEntry* CastlingMoves(Position& p, int side, int k, MoveEntry* list) {
  if (p.moveCount[k]) return list;
  if (Chess960Mode()) {
    if (CanCastleKingSide960(side, k)) Emit(list, MakeMoveWord(k, castleRookSquare[side][KingSide], KindCastle), 0);
    if (CanCastleQueenSide960(side, k)) Emit(list, MakeMoveWord(k, castleRookSquare[side][QueenSide], KindCastle), 0);
    return list;
  }
  if (FileOf(k) <= 4 && CastlingPathOk(side, k, k + 2, k + 1, k + 3))
    Emit(list, MakeMoveWord(k, k + 2, KindCastle), 0);
  if (FileOf(k) >= 4 && !p.pieceType[k - 3] && CastlingPathOk(side, k, k - 2, k - 1, k - 4))
    Emit(list, MakeMoveWord(k, k - 2, KindCastle), 0);
  return list;
}

// The generators' last step: record the list end; answers the number of moves in the list.
inline int Finish(Position& p, int ply, MoveEntry* end) {
  p.moveListStart[ply + 1] = int(end - p.moveList);
  return p.moveListStart[ply + 1] - p.moveListStart[ply];
}

// Quiet moves of a piece that steps off the line from the enemy king through its square
// (a discovered check by the slider behind it).
MoveEntry* LineLeavingMoves(Position& p, int side, int from, int enemyKing, int lineDir, MoveEntry* list) {
  MoveEntry* start = list;
  int type = p.pieceType[from];
  if (type == Pawn) {
    int to = from + Forward(side);
    if (p.pieceType[to] || RelativeRank(side, to) == 7) return list;
    Emit(list, MakeMoveWord(from, to), 0);
    int to2 = to + Forward(side);
    if (RelativeRank(side, from) == 1 && !p.pieceType[to2]) Emit(list, MakeMoveWord(from, to2), 0);
  } else if (type == King) {
    for (const uint8_t* t = Geo.kingTargets[from]; *t != EndOfList; t++)
      if (!p.pieceType[*t] && !p.attackTable[side ^ 1][*t].counts) Emit(list, MakeMoveWord(from, *t), 0);
  } else {
    list = QuietPieceMoves(p, from, type, list);
  }
  // Drop the moves that stay on the line.
  MoveEntry* out = start;
  for (MoveEntry* e = start; e < list; e++)
    if (Direction(MoveTo(e->move), enemyKing) != lineDir) {
      e->move |= CheckMark;
      *out++ = *e;
    }
  return out;
}

}  // namespace

bool CountEveryPromotion = false;

MoveEntry* EmitPromotions(MoveEntry* list, int from, int to, int side, int skipRookBishop) {
  const Position& p = Pos;
  int score = PromoQueenScore + (p.pieceType[to] ? pieceValue[p.pieceType[to]] : 0) + (to == p.lastTo ? RecaptureBonus : 0);
  Emit(list, MakeMoveWord(from, to, KindPromoQueen), score);
  // A side keeps at most three knights, rooks or bishops: the material signature holds two bits
  // for each. Move counting for perft lifts the limit so that every legal move is counted.
  uint32_t sig = CountEveryPromotion ? 0 : p.materialSignature[side];
  if (SignatureKnights(sig) < MaxPieceOfKind) Emit(list, MakeMoveWord(from, to, KindPromoKnight), PromoKnightScore);
  if (!skipRookBishop) {
    if (SignatureRooks(sig) < MaxPieceOfKind) Emit(list, MakeMoveWord(from, to, KindPromoRook), PromoRookScore);
    if (SignatureBishops(sig) < MaxPieceOfKind) Emit(list, MakeMoveWord(from, to, KindPromoBishop), PromoBishopScore);
  }
  return list;
}

bool IsPinned(int sq, int attackerSide) {
  const Position& p = Pos;
  if (!(p.attackTable[attackerSide][sq].counts & CountMaskSliders)) return false;
  int c = p.colour[sq];
  if (c == NoColour) return false;
  int k = p.kingSquare(c);
  int d = Direction(sq, k);   // step from the king toward the square
  if (!IsLine(d)) return false;
  int s = Geo.nextSquare[d][k];
  for (; s != sq; s = Geo.nextSquare[d][s])
    if (p.pieceType[s]) return false;
  for (s = Geo.nextSquare[d][sq]; s != OffBoard; s = Geo.nextSquare[d][s]) {
    if (!p.pieceType[s]) continue;
    return p.colour[s] == attackerSide && ((DirectionTypeMask[d] >> p.pieceType[s]) & 1);
  }
  return false;
}

int GenerateMoves(int side, int ply, int kingZoneMode) {
  Position& p = Pos;
  MoveEntry* list = MoveListBegin(ply);
  int skip = kingZoneMode != 0;

  // Step 1: captures.
  list = GenerateCaptures(p, side, list, false, skip);
  // Step 2: en passant.
  list = GenerateEnPassant(p, side, list);
  // Step 3: quiet moves, pawns first and the king last.
  uint32_t own = p.usedSlots[side];
  while (own) {
    int slot = HighestSlot(own);
    own &= ~(1u << slot);
    int from = p.pieceList[side][slot];
    int type = p.pieceType[from];
    if (type == Pawn) {
      list = QuietPawnMoves(p, side, from, list, skip);
    } else if (type == King) {
      for (const uint8_t* t = Geo.kingTargets[from]; *t != EndOfList; t++)
        if (!p.pieceType[*t] && !p.attackTable[side ^ 1][*t].counts) Emit(list, MakeMoveWord(from, *t), 0);
      list = CastlingMoves(p, side, from, list);
    } else {
      list = QuietPieceMoves(p, from, type, list);
    }
  }
  // Step 4: the list end and the ordering pass.
  return Finish(p, ply, list);
}

int GenerateEvasions(int side, int ply, int kingZoneMode, int* checkInfo) {
  Position& p = Pos;
  MoveEntry* list = MoveListBegin(ply);
  const int enemy = side ^ 1;
  const int k = p.kingSquare(side);
  const AttackEntry& atKing = p.attackTable[enemy][k];
  int skip = kingZoneMode != 0;
  int info = 0;

  // Step 1: find the checker and the king directions the check forbids.
  uint32_t allowed = 0xFF;
  int checker = p.pieceList[enemy][HighestSlot(atKing.attackers)];
  if (atKing.counts & CountMaskSliders) {
    uint32_t sliders = atKing.attackers & p.allSliders[enemy];
    while (sliders) {
      int sq = p.pieceList[enemy][LowestSlot(sliders)];
      sliders &= sliders - 1;
      checker = sq;
      int d = Direction(k, sq);   // step from the slider toward the king
      allowed &= ~(1u << d);
      if (!Geo.adjacent[k][sq]) allowed &= ~(1u << OppositeDirection[d]);
    }
  }
  if (checker != p.lastTo) info |= 0x4000;
  bool doubleCheck = (atKing.attackers & (atKing.attackers - 1)) != 0;
  if (doubleCheck) info |= 0x2000;

  // Step 2: king moves.
  for (int d = 0; d < 8; d++) {
    int to = Geo.nextSquare[d][k];
    if (to == OffBoard || !(allowed >> d & 1)) continue;
    if (p.colour[to] == side || p.attackTable[enemy][to].counts) continue;
    if (p.pieceType[to]) Emit(list, MakeMoveWord(k, to, KindCapture), CaptureScore(p, to));
    else Emit(list, MakeMoveWord(k, to), 0);
    info++;
  }

  // Step 3: capture the checker or block its line.
  if (!doubleCheck) {
    const int fwd = Forward(side);
    if (p.epSquare && p.pieceType[checker] == Pawn && p.epSquare == checker + fwd) {
      uint32_t pawns = p.attackTable[side][p.epSquare].attackers & p.pawns(side);
      while (pawns) {
        int slot = HighestSlot(pawns);
        pawns &= ~(1u << slot);
        int from = p.pieceList[side][slot];
        if (!IsPinned(from, enemy)) Emit(list, MakeMoveWord(from, p.epSquare, KindEnPassant), EnPassantScore);
      }
    }
    int d = Direction(k, checker);
    for (int sq = checker; sq != k && sq != OffBoard; sq = IsLine(d) ? Geo.nextSquare[d][sq] : k) {
      bool occupied = p.pieceType[sq] != Empty;
      uint32_t defenders = p.attackTable[side][sq].attackers & ~1u;
      while (defenders) {
        int slot = HighestSlot(defenders);
        defenders &= ~(1u << slot);
        int from = p.pieceList[side][slot];
        bool pawn = p.pieceType[from] == Pawn;
        if (pawn && !occupied) {
          // A pawn may block by capturing en passant onto the line.
          if (sq == p.epSquare && !IsPinned(from, enemy))
            Emit(list, MakeMoveWord(from, sq, KindEnPassant), EnPassantScore);
          continue;
        }
        if (IsPinned(from, enemy)) continue;
        if (pawn && RelativeRank(side, sq) == 7) list = EmitPromotions(list, from, sq, side, skip);
        else if (occupied) Emit(list, MakeMoveWord(from, sq, KindCapture), CaptureScore(p, sq));
        else Emit(list, MakeMoveWord(from, sq), 0);
      }
      if (occupied) continue;
      // Pawn pushes that block.
      int behind = sq - fwd;
      if (behind >= 0 && behind < 64 && p.pieceType[behind] == Pawn && p.colour[behind] == side) {
        if (!IsPinned(behind, enemy)) {
          if (RelativeRank(side, sq) == 7) list = EmitPromotions(list, behind, sq, side, skip);
          else Emit(list, MakeMoveWord(behind, sq), 0);
        }
      } else if (RelativeRank(side, sq) == 3 && !p.pieceType[behind]) {
        int start = behind - fwd;
        if (p.pieceType[start] == Pawn && p.colour[start] == side && !IsPinned(start, enemy))
          Emit(list, MakeMoveWord(start, sq), 0);
      }
    }
  }
  if (checkInfo) *checkInfo = info;
  // Step 4: the list end and the ordering pass.
  return Finish(p, ply, list);
}

int GenerateQuiescenceMoves(int side, int ply, int mode) {
  Position& p = Pos;
  MoveEntry* list = MoveListBegin(ply);
  const int fwd = Forward(side);

  // Step 1: pushes of advanced pawns: promotions, and in mode 6 quiet pushes to the seventh rank.
  uint32_t pawns = p.pawns(side);
  while (pawns) {
    int slot = HighestSlot(pawns);
    pawns &= ~(1u << slot);
    int from = p.pieceList[side][slot];
    int rank = RelativeRank(side, from);
    if (rank < 5) continue;
    int to = from + fwd;
    if (p.pieceType[to]) continue;
    if (rank == 6) {
      Emit(list, MakeMoveWord(from, to, KindPromoQueen), QuiescencePromoScore);
    } else if (mode == QuiescencePushMode) {
      Move m = MakeMoveWord(from, to);
      if (GivesCheck(m, side)) continue;
      int ahead = to + fwd;
      bool useful = !p.pieceType[ahead];
      for (const uint8_t* t = Geo.pawnTargets[side][to]; !useful && *t != EndOfList; t++)
        useful = p.colour[*t] == (side ^ 1);
      if (useful) Emit(list, m, SeventhRankPushScore);
    }
  }
  // Steps 2-3: captures and en passant.
  list = GenerateCaptures(p, side, list, true, 1);
  list = GenerateEnPassant(p, side, list);
  // Step 4: quiet checks.
  if (mode & QuietChecksModeBit) list = GenerateQuietChecks(side, p.kingSquare(side ^ 1), list);
  // Step 5: the list end and the king-zone ordering pass.
  return Finish(p, ply, list);
}

MoveEntry* GenerateQuietChecks(int side, int k, MoveEntry* list) {
  Position& p = Pos;
  const AttackEntry* own = p.attackTable[side];

  // Steps 1-2: slider checks along the king's lines, and discovered checks by blockers.
  for (int pass = 0; pass < 2; pass++) {
    uint32_t sliders = pass == 0 ? p.diagonalSliders[side] : p.orthogonalSliders[side];
    if (!sliders) continue;
    int firstDir = pass == 0 ? 4 : 0;
    for (int d = firstDir; d < firstDir + 4; d++) {
      for (int sq = Geo.nextSquare[d][k]; sq != OffBoard; sq = Geo.nextSquare[d][sq]) {
        if (!p.pieceType[sq]) {
          uint32_t movers = own[sq].attackers & sliders;
          while (movers) {
            int slot = HighestSlot(movers);
            movers &= ~(1u << slot);
            Emit(list, Move(MakeMoveWord(p.pieceList[side][slot], sq) | CheckMark), 0);
          }
          continue;
        }
        if (p.colour[sq] == side && !(pass == 1 && IsOrthogonal(d) && (d == 1 || d == 3) && p.pieceType[sq] == Pawn)) {
          uint32_t behind = own[sq].attackers & sliders;
          while (behind) {
            int slot = LowestSlot(behind);
            behind &= behind - 1;
            int sliderSq = p.pieceList[side][slot];
            if (Direction(sliderSq, sq) == d && !p.threatValue[sliderSq]) {
              list = LineLeavingMoves(p, side, sq, k, d, list);
              break;
            }
          }
        }
        break;
      }
    }
  }

  // Step 3: knight checks.
  if (p.knights(side)) {
    for (const uint8_t* t = Geo.knightTargets[k]; *t != EndOfList; t++) {
      if (p.pieceType[*t]) continue;
      uint32_t knights = own[*t].attackers & p.knights(side);
      while (knights) {
        int slot = HighestSlot(knights);
        knights &= ~(1u << slot);
        Emit(list, Move(MakeMoveWord(p.pieceList[side][slot], *t) | CheckMark), 0);
      }
    }
  }

  // Step 4: pawn pushes onto the squares from which a pawn attacks the king.
  const uint8_t* files = p.pawnFileRef(side);
  if (files[FileOf(k) - 1] | files[FileOf(k) + 1]) {
    const int fwd = Forward(side);
    const int dirs[2][2] = {{6, 7}, {4, 5}};   // toward the squares in front of the enemy king
    for (int d : dirs[side]) {
      int target = Geo.nextSquare[d][k];
      if (target == OffBoard || p.pieceType[target]) continue;
      int one = target - fwd;
      if (one < 0 || one > 63) continue;
      if (p.pieceType[one] == Pawn && p.colour[one] == side) {
        Emit(list, Move(MakeMoveWord(one, target) | CheckMark), 0);
      } else if (!p.pieceType[one] && RelativeRank(side, target) == 3) {
        int two = one - fwd;
        if (p.pieceType[two] == Pawn && p.colour[two] == side) Emit(list, Move(MakeMoveWord(two, target) | CheckMark), 0);
      }
    }
  }
  return list;
}
