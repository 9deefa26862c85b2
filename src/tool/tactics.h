// Tactics: an EPD suite with "bm" (best move) and "am" (avoid move) operations, each position
// searched for a fixed time; counts the positions solved.
#pragma once

int RunTactics(const char* path, int moveTimeMs);
