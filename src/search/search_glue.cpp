#include "search/search_glue.h"

#include "board/board.h"
#include "board/geometry.h"
#include "search/extensions.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/report.h"

int QuiescenceCheckMargin = 152;

void NodeTimeCheck() {
  CheckTime();
  if (!StopReason) ReportProgress();
}

void AdjustThreatForTableMove(uint16_t tableFlags, int tableScore, Move tableMove, int eval) {
  if (tableFlags && tableMove) AdjustAccumulatorForTableMove(tableMove, tableScore, eval);
}

int ComputeExtensionAt(int ply, int flags, int eval, int alpha, int beta, uint16_t tableFlags, Move tableMove, int lower,
                       int upper) {
  return ComputeExtension(ply, flags, eval, alpha, beta, tableFlags, tableMove, lower, upper);
}

int HistoryCutoffRatio(int side, Move m) { return CutoffRatioOf(side, m); }

void RecordCutoff(int ply, int side, int depth, Move m, MoveEntry* list, int count) {
  UpdateHistoryOnCutoff(ply, side, depth, m, list, list + count);
}

int PinScore(int, int) { return 0; }
namespace {

// Number of pieces encoded in an attack-count word.
int PiecesIn(unsigned w) { return int((w & 1) + ((w >> 1) & 7) + ((w >> 4) & 3) + ((w >> 6) & 3) + ((w >> 8) & 3)); }

}  // namespace

int QuiescenceMateNet(int s) {
  Position& p = Pos;
  const int e = s ^ 1;
  const int k = p.kingSquare(s);
  UndoRecord& rec = p.undoStack[p.undoTop - 1];
  // Step 1: the king zone with e as the attacker.
  BuildKingZone(s, e);
  const KingZone& z = CurrentKingZone;
  // Step 2: contact and near checks on the neighbours e controls.
  unsigned covered = 0;
  for (int dir = 0; dir < 8; dir++) {
    int x = Geo.nextSquare[dir][k];
    if (x == OffBoard || p.colour[x] == e) continue;
    const AttackEntry& ea = p.attackTable[e][x];
    const AttackEntry& sa = p.attackTable[s][x];
    if (ea.attackerTotal <= sa.attackerTotal) continue;
    int d = Direction(k, x);   // from x toward the king
    unsigned L = DirectionCountsMask[d];
    unsigned a = ea.counts & L;
    unsigned withXray = a + (ea.xrayCounts & L);
    if (!a || PiecesIn(withXray) < sa.attackerTotal) continue;
    uint32_t pieces = ea.attackers & p.allSliders[e];
    while (pieces) {
      int slot = HighestSlot(pieces);
      pieces &= ~(1u << slot);
      int from = p.pieceList[e][slot];
      int type = p.pieceType[from];
      if (!((DirectionTypeMask[d] >> type) & 1)) continue;
      unsigned m = z.flight[slot] ^ z.free;
      unsigned mask;
      if (type == Queen && sa.attackerTotal <= 1) mask = QueenContactMask[z.blocked & 15][d];
      else if (PiecesIn(withXray & L & 0x3E) < sa.attackerTotal) mask = NarrowCheckMask[d];
      else mask = WideCheckMask[d];
      if (!(m & ~mask)) {
        rec.checkFlag |= uint16_t(s + 1);
        return 1;
      }
      covered |= mask;
    }
  }
  // Step 3: several attackers around the king that leave it no free square.
  if (!(z.free & ~covered) && covered && __builtin_popcount(z.zone & 0xFF) > 1)
    rec.checkFlag |= uint16_t(s == White ? 0x4 : 0x8);
  return 0;
}
