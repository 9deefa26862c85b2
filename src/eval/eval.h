// Evaluation: the static score of a position from the side to move's view.
#pragma once

#include <cstdint>

// The evaluation cache lives beside the transposition table and is sized with it.
void ResizeEvalCache(long kilobytes);   // reallocates only when the size changes; 0 frees it
void ClearEvalCache();
