// Time management: how long a search may run.
//
// The values it keeps (TargetTime, MaxTime, MinTime, TimeBonus, HardLimit,
// NodeCountdown, SpeedEstimate, CalibratedSpeed, StatusCounter,
// AverageBestMoveShare, LastScoreDelta, PreviousIterationScore,
// PreviousSearchScore, ReductionThreshold) are search-wide state and are
// declared in search/search_state.h. All times are milliseconds of the search
// clock (ElapsedMs).
#pragma once

#include <cstdint>

// ---- Answers of NextIteration
constexpr int IterationContinue = 3;
constexpr int IterationStop = 5;

// ---- Bonus time after a falling score, in sixteenths of TargetTime, by
// (best-move changes x 8 - score drop) / 8
constexpr int BonusTableSize = 64;
extern const int BonusTable[BonusTableSize];

// ---- The side to move's clock, as the shell hands it over at "go"
struct GameClockRecord {
  int movesToGo;      // 30 when the time control has no move count
  int timeLeftMs;
  int incrementMs;
};
extern GameClockRecord GameClock;

// Stores the clock of the side to move; a movestogo of 0 (absent) becomes 30.
void SetGameClock(int movesToGo, int timeLeftMs, int incrementMs);

// ---- Operations
// At search start, after SearchFlags, SearchMode and the search clock are set:
// target, maximum and minimum time, reduction tuning, first limit and check.
void SetupTimeControl(int movesToGo, int timeLeftMs, int incrementMs);

// Before every iteration: increments IterationDepth and answers
// IterationContinue, or IterationStop with the increment taken back.
// Reads the root list (RootMoves[0] is the best move), LastIterationNodes,
// StableIterations, EasyMove, RootUnstable, SecondScoreAtDepth1,
// BestMoveChanges; resets BestMoveChanges when it continues.
int NextIteration();

// Whenever a root move becomes best or fails high or low (`score` is that
// move's score); grants or withdraws bonus time. Call SetTimeLimit after it.
void UpdateTimeBonus(int score);

// Computes HardLimit from the target, the bonus and the limits of "go", then
// makes a time check (which measures the speed, as a node check does).
void SetTimeLimit();

// From the search nodes when NodeCountdown runs out: enforces the hard limit,
// polls the input, measures the speed, renews NodeCountdown, prints the
// periodic node line and, with a strength budget, sleeps. Returns the elapsed
// time.
int CheckTime();
