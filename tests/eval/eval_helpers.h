// Shared helpers of the evaluation tests.
#pragma once

#include <string>
#include <vector>

#include "../board/board_helpers.h"

void EvalTablesReady();  // builds the static tables the first time (settings reset then, never again)
// Sets the FEN up as a search would, the engine to move, `style` 0 Normal, 1 Aggressive, 2 Solid.
void SetUpForSearch(const std::string& fen, int style = 0);
// The board turned over with the colours exchanged (and the other side to move).
std::string MirrorFen(const std::string& fen);
// The FEN fields of every line of a test data file (tests/data), with "0 1" added.
std::vector<std::string> DataPositions(const std::string& file);
