#include "search/search_glue.h"

#include "search/search_state.h"

int QuiescenceCheckMargin = 152;

void NodeTimeCheck() { CheckTime(); }
void AdjustThreatForTableMove(uint16_t, int, Move, int) {}
int ComputeExtensionAt(int, int, int, int, int, uint16_t, Move, int, int) { return 0; }
int HistoryCutoffRatio(int, Move) { return 0; }
void RecordCutoff(int, int, int, Move, MoveEntry*, int) {}
int PinScore(int, int) { return 0; }
int QuiescenceMateNet(int) { return 0; }
