// The interior search's links to move ordering, extensions, king-zone tests and reporting.
#pragma once

#include <cstdint>

#include "board/position.h"

// The periodic clock and input check of a node, with the progress reports it may print.
void NodeTimeCheck();
// The table move's adjustment of the threat accumulator, before the extension.
void AdjustThreatForTableMove(uint16_t tableFlags, int tableScore, Move tableMove, int eval);
// The node's extension in 1/32 ply.
int ComputeExtensionAt(int ply, int flags, int eval, int alpha, int beta, uint16_t tableFlags, Move tableMove, int lower,
                       int upper);
// The history cut-off ratio (0..255) of a quiet move.
int HistoryCutoffRatio(int side, Move m);
// Killers and history after a cut-off by a quiet move.
void RecordCutoff(int ply, int side, int depth, Move m, MoveEntry* list, int count);
// Whether `side`'s king is caught in a mating net by a contact check; may set record flags.
int QuiescenceMateNet(int side);
// The ordering base for checking moves at the current quiescence ply.
extern int QuiescenceCheckMargin;
