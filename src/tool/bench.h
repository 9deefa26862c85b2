// Bench: the search's behaviour signature. A fixed set of positions, each
// searched to a fixed depth with a freshly cleared 16 MB table; the total node
// count is the same on every run.
#pragma once

constexpr int BenchDefaultDepth = 9;

// Runs the bench, prints one line per position and ends with
// "bench nodes <N> nps <N>". Returns 0, or 1 when a position is refused.
int RunBench(int depth);
