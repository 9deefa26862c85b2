// Search-wide state shared by the search, its move ordering, extensions and the evaluation.
#pragma once

#include <cstdint>

extern uint32_t SearchFlags;   // snapshot of the settings word taken when a search starts
extern int IterationDepth;     // depth of the current iteration
extern int DrawScore[2];       // score of a draw for each side to move
