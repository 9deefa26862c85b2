#include "search/search_glue.h"

#include "search/extensions.h"
#include "search/ordering.h"
#include "search/search_state.h"

int QuiescenceCheckMargin = 152;

void NodeTimeCheck() { CheckTime(); }

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
int QuiescenceMateNet(int) { return 0; }
