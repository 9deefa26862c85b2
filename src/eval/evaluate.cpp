// The evaluation driver: material, material classes, recognised endings, hanging pieces,
// the lazy estimate, the cache and the positional sum.
#include <algorithm>
#include <cstdlib>

#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"
#include "eval/tables.h"
#include "core/settings.h"
#include "tablebases/tablebases.h"

int PositionalMax[2] = {100, 100}, PositionalMin[2] = {-100, -100};
int ThreatShift[2] = {6, 6}, PassedShift[2] = {5, 5};
int KingSafetyPlain = 0;
int RootMaterial[2];
int DrawScore[2];
int EvalIterationDepth;

void SetDrawScores(int engineSide) {
  DrawScore[engineSide] = -Options.drawValue;
  DrawScore[engineSide ^ 1] = Options.drawValue;
}
int TablebaseMaxPieces = 0;
int SwindleMarker = 0;
EvalTrace* ActiveEvalTrace = nullptr;

// Centre table for a defending king, by square a1..h8 (symmetric, so rank 1 first reads the same).
const int8_t CentreTable[64] = {
    1,  8,  16, 24, 24, 16, 8,  1,
    8,  32, 40, 48, 48, 40, 32, 8,
    16, 40, 56, 64, 64, 56, 40, 16,
    24, 48, 64, 72, 72, 64, 48, 24,
    24, 48, 64, 72, 72, 64, 48, 24,
    16, 40, 56, 64, 64, 56, 40, 16,
    8,  32, 40, 48, 48, 40, 32, 8,
    1,  8,  16, 24, 24, 16, 8,  1};
const int8_t* KingCentrality = CentreTable;

void InitMaterialClassTable();

namespace {

constexpr int SideToMoveBonus = 8;
constexpr int MaterialClassLimit = 1888;   // above this for either side the table is not read
constexpr int ClassCorrectionUnit = 32;
constexpr int LazyBase = 16;
constexpr int ForkPenalty = 24;
constexpr int RookTwoPawnsPenalty = 64;
constexpr int MatingDriveBase = 150;
constexpr int DefaultScale = 16;
constexpr int PawnlessEqualScale = 4;
constexpr int HalfScale = 8;
constexpr int InsideWinMargin = 640;
constexpr int InsideWinScore = 1000;
constexpr int InsideWinMinPly = 5;
constexpr int WinningLeadForMatingDrive = 1248;
constexpr int MinorValue = 416;
constexpr int PawnlessDriveBase = 100;
constexpr int PawnlessDistanceWeight = 16;
constexpr int TablebaseWinBase = 8194;
constexpr int TablebaseLossBase = 8193;

// Squares a1, h1, a8, h8.
inline bool CornerSquare(int sq) { return sq == 0 || sq == 7 || sq == 56 || sq == 63; }

inline int KingDistance(int a, int b) { return std::max(std::abs(FileOf(a) - FileOf(b)), std::abs(RankOf(a) - RankOf(b))); }

inline int PawnCount(const Position& p, int c) { return SignaturePawns(p.materialSignature[c]); }
inline int PieceCount(const Position& p, int c) { return SignaturePieces(p.materialSignature[c]); }

// The record of the move that led to the current node; the root position uses its own.
UndoRecord RootRecord;
inline UndoRecord& CurrentRecord(Position& p) { return p.undoTop > 0 ? p.undoStack[p.undoTop - 1] : RootRecord; }
inline UndoRecord& ParentRecord(Position& p) { return p.undoTop > 1 ? p.undoStack[p.undoTop - 2] : RootRecord; }

// Marks, for the duration of the positional terms, the square behind a king checked by a
// slider as attacked by that slider (the king itself hides it from the attack table).
struct KingLineMarks {
  int count = 0;
  uint8_t square[16];
  uint16_t unit[16];
  uint16_t bit[16];
};

void MarkKingLines(Position& p, int side, KingLineMarks& marks) {
  int enemy = side ^ 1, k = p.kingSquare(side);
  AttackEntry* table = p.attackTable[enemy];
  if (!(table[k].counts & CountMaskSliders)) return;
  for (uint32_t set = table[k].attackers & p.allSliders[enemy]; set; set &= set - 1) {
    int slot = LowestSlot(set);
    int from = p.pieceList[enemy][slot];
    int d = Direction(k, from);
    int behind = Geo.nextSquare[d][k];
    if (behind == OffBoard) continue;
    uint16_t unit = CountUnit[p.pieceType[from]], bit = uint16_t(1u << slot);
    table[behind].counts = uint16_t(table[behind].counts + unit);
    table[behind].attackers |= bit;
    table[behind].attackerTotal++;
    marks.square[marks.count] = uint8_t(behind);
    marks.unit[marks.count] = unit;
    marks.bit[marks.count] = bit;
    marks.count++;
  }
}

void UnmarkKingLines(Position& p, int side, const KingLineMarks& marks) {
  AttackEntry* table = p.attackTable[side ^ 1];
  for (int i = marks.count - 1; i >= 0; i--) {
    AttackEntry& e = table[marks.square[i]];
    e.counts = uint16_t(e.counts - marks.unit[i]);
    e.attackers ^= marks.bit[i];
    e.attackerTotal--;
  }
}

}  // namespace

UndoRecord& EvaluationRecord() { return CurrentRecord(Pos); }

void InitEvaluation() {
  InitMaterialClassTable();
  InitPawnTables();
  InitEndgameTables();
}

void PrepareEvaluationForSearch(int engineColour, int style) {
  for (int c = 0; c < 2; c++) {
    PositionalMax[c] = 100;
    PositionalMin[c] = -100;
    ThreatShift[c] = 6;
    PassedShift[c] = 5;
    RootMaterial[c] = Pos.material[c];
  }
  TablebaseMaxPieces = tbMaxPieces;
  KingSafetyPlain = 0;
  int styled = style == 1 ? engineColour : style == 2 ? (engineColour ^ 1) : -1;
  if (styled >= 0) {
    ThreatShift[styled] = 7;
    PassedShift[styled] = 6;
    KingSafetyPlain = styled + 1;
  }
}

void UpdatePhase() {
  Position& p = Pos;
  if (p.material[White] == p.phaseMaterial[White] && p.material[Black] == p.phaseMaterial[Black]) return;
  p.phaseMaterial[White] = p.material[White];
  p.phaseMaterial[Black] = p.material[Black];
  int w = p.material[White] - pieceValue[Pawn] * PawnCount(p, White);
  int b = p.material[Black] - pieceValue[Pawn] * PawnCount(p, Black);
  p.pieceMaterialDiff = w - b;
  int total = w + b;
  p.TradeBonus = 0;
  if (w != b) {
    int pawns = std::min(PawnCount(p, w > b ? White : Black), 5);
    p.TradeBonus = (w - b) * pawns * 256 / (total + 4208);
  }
  p.Phase = total <= 2604 ? 1 : total >= 8002 ? 16 : (total - 1858) / 384;
  p.phaseHalf = p.Phase >> 1;
  p.endgameWeight = 17 - p.Phase;
  p.endgameHalf = p.endgameWeight >> 1;
  p.endgameQuarter = p.endgameWeight >> 2;
  p.endgameEighth = p.endgameWeight >> 3;
}

int PositionalScore(int side, int strong, int code) {
  Position& p = Pos;
  // Step 1: fresh threat records and phase.
  p.largestThreat[White] = p.largestThreat[Black] = 0;
  p.secondThreat[White] = p.secondThreat[Black] = 0;
  UpdatePhase();

  // Step 2: the positional terms, White's view, in this order: king safety (it may post a mating
  // net as the largest threat), threats, pawns (promotion threats), pieces with the trade bonus.
  EvalTrace* trace = ActiveEvalTrace;
  const int king = KingSafety(trace ? trace->kingTerm : nullptr);
  const int threats = ThreatScore(trace ? trace->threatTerm : nullptr);
  const int pawns = PawnStructure(side == White, side == Black);
  const int pieces = PieceScore(trace ? trace->pieceTerm : nullptr);
  int total = king + threats + pawns + pieces;
  if (trace) {
    trace->positionalRan = true;
    trace->pawns = side == White ? pawns : -pawns;
    trace->pawnTable = side == White ? PawnTableSum() : -PawnTableSum();
    trace->tradeBonus = p.TradeBonus;
    for (int c = 0; c < 2; c++) {
      trace->pawnTerm[c] = 0;
      for (uint32_t set = p.pawns(c); set; set &= set - 1) trace->pawnTerm[c] += PawnValues[p.pieceList[c][LowestSlot(set)]];
    }
  }

  // Step 3: two pieces under attack at once (a fork).
  if (p.secondThreat[White]) total -= ForkPenalty;
  if (p.secondThreat[Black]) total += ForkPenalty;
  total += (p.secondThreat[Black] >> ThreatShift[Black]) - (p.secondThreat[White] >> ThreatShift[White]);

  // Step 4: ending adjustments.
  int weak = strong ^ 1;
  if (code < EndingNone) {
    if (code == EndingRookTwoPawnsRook) total += strong == White ? -RookTwoPawnsPenalty : RookTwoPawnsPenalty;
  } else if (p.material[strong] >= p.material[weak] + WinningLeadForMatingDrive && PawnCount(p, weak) == 0) {
    int ks = p.kingSquare(strong), kw = p.kingSquare(weak);
    int m = MatingDriveBase - KingCentrality[kw] - 2 * std::abs(FileOf(ks) - FileOf(kw)) - 2 * std::abs(RankOf(ks) - RankOf(kw));
    total += strong == White ? m : -m;
  } else {
    // Opposite-coloured bishops.
    int units = SignatureUnits(p.materialSignature[White]);
    if (units == SignatureUnits(p.materialSignature[Black]) && units <= 8 && p.bishops(White) && p.bishops(Black) &&
        !(p.bishops(White) & (p.bishops(White) - 1)) && !(p.bishops(Black) & (p.bishops(Black) - 1)) &&
        Geo.shade[p.pieceList[White][LowestSlot(p.bishops(White))]] !=
            Geo.shade[p.pieceList[Black][LowestSlot(p.bishops(Black))]]) {
      int d = PawnCount(p, strong) - PawnCount(p, weak);
      int diff = p.material[Black] - p.material[White];
      if (units == 3) {
        if (d <= 1) total = (total >> 1) + (diff >> 1);
        else if (d == 2) total = (total >> 1) + (diff >> 2);
      } else {
        if (d <= 1) total >>= 1;
        else if (d == 2) total -= total >> 2;
      }
    }
  }

  // Steps 5-6: the side's view, and the margins for the lazy estimate.
  if (side == Black) total = -total;
  if (total > PositionalMax[side]) PositionalMax[side] = total;
  else if (total < PositionalMin[side]) PositionalMin[side] = total;
  return total;
}

int Evaluate(int side, int ply, int depth, int alpha, int beta) {
  Position& p = Pos;
  const int opp = side ^ 1;
  if (p.undoTop == 0) RootRecord.checkFlag = p.InCheck() ? RecordInCheck : 0;
  UndoRecord& record = CurrentRecord(p);
  const bool inCheck = (record.checkFlag & RecordInCheck) != 0;

  // Step 1: per-evaluation state.
  p.secondThreat[side] = 0;
  int flags = 0, code = EndingNone, scale = DefaultScale, endingFlags = 0;
  int classEntry = -1;

  // Step 2: at the search's maximum depth only a full evaluation will do.
  if (ply >= SearchMaxDepth) depth = FullEvalDepth;

  // Step 3: material, with a small bonus for the side to move.
  int score = p.material[side] - p.material[opp] + SideToMoveBonus;
  const int materialScore = score;

  // Step 4: stalemate of a side with only king and pawns.
  if (!inCheck && PieceCount(p, side) == 0 && PawnCount(p, side) <= 5 && HasNoMoves(side)) {
    record.checkFlag |= RecordKindStalemate;
    record.staticScore = int16_t(DrawScore[side]);
    return DrawScore[side];
  }

  EvalCacheEntry* cacheEntry = nullptr;
  const uint32_t keyHigh = uint32_t(p.key >> 32), keyLow = uint32_t(p.key);

  // Step 5: tablebases, where the material has just changed (near the root: always). A table
  // draw counts as a draw of the material on the board; with the swindle marker it is ignored,
  // so that a drawn ending with more material is still played for a win.
  const int pieces = BitCount(p.usedSlots[White]) + BitCount(p.usedSlots[Black]);
  const bool captureOrPromotion = p.undoTop > 0 && (record.move & CaptureOrPromotionBits);
  int tableResult;
  if ((SettingsFlags & FlagUseTablebases) && pieces > 2 && pieces <= TablebaseMaxPieces &&
      ((ply <= 2 && depth == FullEvalDepth) || (depth >= Options.tablebaseDepth && captureOrPromotion)) &&
      ProbeTablebase(p, side, &tableResult) && !(tableResult == 0 && SwindleMarker)) {
    uint16_t kind;
    if (tableResult == 0) {
      score = ((p.material[side] - p.material[opp]) >> 7) + DrawScore[side];
      kind = RecordKindCertainDraw;
    } else if (tableResult > 0) {
      score = TablebaseWinBase - 2 * tableResult - ply;
      kind = RecordKindWon;
    } else {
      score = ply - (tableResult == TablebaseMatedNow ? 0 : 2 * tableResult) - TablebaseLossBase;
      kind = RecordKindLost;
    }
    record.staticScore = int16_t(score);
    record.checkFlag |= uint16_t(kind | RecordFullMarker | RecordFullEvaluation);
    goto finish;
  }

  // Step 6: the evaluation cache.
  if (EvalCacheTable[side]) {
    cacheEntry = &EvalCacheTable[side][keyHigh & EvalCacheMask];
    if ((cacheEntry->w0 ^ cacheEntry->w2) == keyHigh && (cacheEntry->w1 ^ cacheEntry->w3) == keyLow) {
      record.checkFlag |= uint16_t(cacheEntry->w2 & RecordEvaluationBits);
      score = int(cacheEntry->w2 >> 16) - 8192;
      record.staticScore = int16_t(score);
      record.secondThreat = uint16_t(cacheEntry->w3);
      record.threatMove = uint16_t(cacheEntry->w3 >> 16);
      goto finish;
    }
  }

  {
    // Step 7: the stronger side (ties: White).
    const int strong = p.material[White] >= p.material[Black] ? White : Black;
    const int weak = strong ^ 1;

    // Step 8: material classes and recognised endings.
    auto twoOf = [&](int c, int shift) { return (p.materialSignature[c] >> shift & 3) >= 2; };
    bool tableApplies = p.material[White] <= MaterialClassLimit && p.material[Black] <= MaterialClassLimit &&
                        !twoOf(White, 24) && !twoOf(Black, 24) && !twoOf(White, 26) && !twoOf(Black, 26);
    if (tableApplies) {
      int e = MaterialClassTable[MaterialClass(p.materialSignature[side]) * 128 + MaterialClass(p.materialSignature[opp])];
      classEntry = e;
      endingFlags = e & 0x60;
      if (!(e & 0x80)) {
        score += ((e & 31) - 16) * ClassCorrectionUnit;
      } else {
        int c = e & 31;
        if (c == EndingBareDraw) {
          flags |= RecordKindMaterialDraw;
          goto finishScore;
        }
        if (c == EndingMinorDraw) {
          if (!CornerSquare(p.kingSquare(opp))) flags |= RecordKindMaterialDraw;
          else score = DrawScore[side];
          goto finishScore;
        }
        if (c == EndingBishopPawns || c == EndingBareKingBishopPawns || c == EndingQueenPawn || c == EndingRookPawnRook) {
          code = c;
          int result = c == EndingQueenPawn       ? QueenPawnScore(side, strong, &flags)
                       : c == EndingRookPawnRook ? RookPawnScore(strong, &scale)
                                                 : WrongBishopScale(side, strong, &scale, &flags);
          if (flags & RecordKindDrawBit) goto finishScore;
          score += side == strong ? result : -result;
          if ((c == EndingBishopPawns || c == EndingBareKingBishopPawns) && p.material[weak] == 0) code = EndingLoneKing;
        } else {
          code = c;
        }
      }
    } else if (p.material[White] == 0 || p.material[Black] == 0) {
      code = EndingLoneKing;
    }

    // Step 9: pawnless positions: drive the defending king to the edge, or scale down equality.
    if (!p.pawns(White) && !p.pawns(Black)) {
      int k = 0;
      int wk = p.kingSquare(White), bk = p.kingSquare(Black);
      if (p.material[White] == p.material[Black]) {
        k = KingCentrality[wk] - KingCentrality[bk];
        scale = std::min(scale, PawnlessEqualScale);
      } else if (p.material[White] > p.material[Black] && p.material[White] > MinorValue) {
        k = PawnlessDriveBase - PawnlessDistanceWeight * KingDistance(wk, bk) - KingCentrality[bk];
      } else if (p.material[Black] > p.material[White] && p.material[Black] > MinorValue) {
        k = PawnlessDistanceWeight * KingDistance(wk, bk) - PawnlessDriveBase + KingCentrality[wk];
      }
      score += side == White ? k : -k;
    }

    // Step 10: hanging material.
    int threats = (p.threatSum[opp] >> ThreatShift[opp]) - (p.threatSum[side] >> ThreatShift[side]);
    score += threats;
    if (ActiveEvalTrace) ActiveEvalTrace->threats = threats;

    // Steps 11-12: the lazy estimate, taken only at quiescence depths outside the margins.
    bool full = depth > 0 || depth == FullEvalDepth || code >= EndingLoneKing ||
                (!inCheck && score + PositionalMax[side] > alpha && score + PositionalMin[side] < beta);
    if (!full) {
      // The position differs from the parent's by the last move's capture; a null move captures
      // nothing (lastGain still holds the gain of the move before it).
      const int gain = record.move ? p.lastGain : 0;
      score = LazyBase - ParentRecord(p).staticScore - gain;
      goto finishScore;
    }

    // Step 13: the full evaluation.
    record.checkFlag |= RecordFullEvaluation;
    KingLineMarks marks;
    MarkKingLines(p, side, marks);
    if (code < EndingLoneKing) {
      int positional = PositionalScore(side, strong, code);
      score += positional;
      if (ActiveEvalTrace) ActiveEvalTrace->positional = positional;
    } else if (code == EndingLoneKing || code == EndingBareKingBishopPawns) {
      score += LoneKingScore(side, strong);
      if (ply > InsideWinMinPly && ply >= EvalIterationDepth &&
          p.material[strong] - p.threatSum[strong] >= p.material[weak] + InsideWinMargin &&
          RootMaterial[strong] < RootMaterial[weak] + InsideWinMargin) {
        if (score > InsideWinScore) flags |= RecordKindWon;
        else if (score < -InsideWinScore) flags |= RecordKindLost;
      }
    } else if (code == EndingPawns) {
      score = PawnEndingScore(side, score);
    } else if (code == EndingKingPawn) {
      score = KingPawnKingScore(side, strong, &flags, p.attackTable[strong]);
    }
    UnmarkKingLines(p, side, marks);
  }

finishScore:
  // Step 14: draws, "cannot win" flags and scale; store a full evaluation in the cache.
  if (flags & RecordKindDrawBit) {
    score = ((p.material[side] - p.material[opp]) >> 7) + DrawScore[side];
  } else {
    if ((endingFlags & 0x20) && score > DrawScore[side] && scale > 4) scale = HalfScale;
    if ((endingFlags & 0x40) && score < DrawScore[side] && scale > 4) scale = HalfScale;
    if (scale != DefaultScale) score = (scale * score) >> 4;
  }
  record.staticScore = int16_t(score);
  record.secondThreat = uint16_t(p.secondThreat[side]);
  record.checkFlag |= uint16_t(flags);
  if (cacheEntry && (record.checkFlag & RecordFullEvaluation)) {
    uint32_t d0 = (record.checkFlag & RecordEvaluationBits) | uint32_t(score + 8192) << 16;
    uint32_t d1 = record.secondThreat | uint32_t(record.threatMove) << 16;
    *cacheEntry = {d0 ^ keyHigh, d1 ^ keyLow, d0, d1};
  }

finish:
  if (ActiveEvalTrace) {
    ActiveEvalTrace->material = materialScore;
    ActiveEvalTrace->classEntry = classEntry;
    ActiveEvalTrace->classCorrection = classEntry >= 0 && !(classEntry & 0x80) ? ((classEntry & 31) - 16) * 32 : 0;
    ActiveEvalTrace->endingCode = code;
    ActiveEvalTrace->kind = record.checkFlag & RecordKindMask;
    ActiveEvalTrace->scale = scale;
  }
  // Step 15: with the full-evaluation marker, the opponent's hanging material counts in full.
  if (depth == FullEvalDepth) {
    record.checkFlag |= RecordFullMarker;
    if (!(record.checkFlag & RecordKindMask) && code != EndingBishopPawns) {
      int t = p.threatSum[opp];
      if (inCheck) t /= 2;
      if (t > 0) score += t;
    }
  }
  if (ActiveEvalTrace) ActiveEvalTrace->score = score;
  return score;
}
