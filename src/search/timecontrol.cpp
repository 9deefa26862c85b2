// Time management: the target, maximum and minimum time of a search, the
// decision whether another iteration fits, bonus time for unstable searches,
// the hard limit, and the periodic check made from the search nodes (speed,
// input polling, node line, strength throttling).
#include "search/timecontrol.h"

#include "search/report.h"

#include <algorithm>
#include <climits>

#include "board/board.h"
#include "book/book.h"
#include "search/search.h"
#include "search/search_state.h"
#include "core/settings.h"
#include "core/platform.h"

// ---- Search-wide time state (declared in search_state.h)
int TargetTime, MaxTime, MinTime, TimeBonus, HardLimit;
int NodeCountdown;
uint32_t SpeedEstimate, CalibratedSpeed;
int StatusCounter;
int AverageBestMoveShare, LastScoreDelta, PreviousIterationScore, PreviousSearchScore;
int ReductionThreshold;

GameClockRecord GameClock = {30, 0, 0};

// index (best-move changes x 8 - score drop) / 8; value in sixteenths of TargetTime
const int BonusTable[BonusTableSize] = {
    2,   5,   8,   11,  15,  20,  26,  32,  37,  42,  47,  52,  56,  60,  64,  68,
    72,  75,  78,  81,  84,  87,  90,  93,  96,  99,  101, 103, 105, 107, 108, 109,
    110, 111, 112, 113, 114, 115, 115, 116, 116, 117, 117, 118, 118, 119, 119, 120,
    120, 121, 121, 122, 122, 123, 123, 124, 124, 125, 125, 126, 126, 127, 127, 128};

namespace {

// ---- Clock allocation
constexpr int Unlimited = 2000000000;
constexpr int UnlimitedTarget = 238000000;
constexpr int UnlimitedMax = 1524000000;
constexpr int DefaultMovesToGo = 30;
constexpr int ClockReserveMs = 1500;        // held back from every clock, besides 1/16
constexpr int GuiTimeLagMs = 6500;          // held back as well without increment under GUI Time Lag
constexpr int MinimumTimeLeftMs = 60;
constexpr int MaxSearchDepth = 62;
constexpr int MateThresholdScore = 7800;

// ---- Reduction tuning by expected effort (calibrated speed / 256 x target / 256)
constexpr int ReductionStep = 16;
constexpr int ReductionTunableLow = 16, ReductionTunableHigh = 240;
constexpr int64_t LowEffort = 153600, HighEffort = 307200;
constexpr int64_t EffortTargetCap = 14400;

// ---- Easy move
constexpr int EasyMoveMargin = 96;          // best score ahead of the second at depth 1
constexpr int EasyShareMargin = 68;         // share of nodes above the game phase
constexpr int EasyScoreRise = 64;           // gain over the last search that halves the saving
constexpr int MinimumShare = 16;

// ---- Check intervals
constexpr int NearLimitMs = 2000;           // closer than this to HardLimit: check 4 times as often
constexpr int PonderShortTargetMs = 2000;
constexpr int StatusLineChecks = 8;
constexpr uint32_t CalibratedFloorDivisor = 8;

// The mover's game record flag "the side being mated" (RootResultFlags bit 0).
constexpr uint32_t RootBeingMated = 0x1;
constexpr int RootBoundRunning = 3, RootBoundFailLow = 2;

int ClampToInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

int Elapsed() { return int(ElapsedMs()); }

// Reads and dispatches the input that is waiting, through the shell's hook; true when it did.
bool PollInput() {
  if (InputMode == 0 || StopReason != StopNone || !ReadInputHook || !InputWaiting()) return false;
  ReadInputHook();
  return true;
}

// A stop that is already pending keeps its reason (a "stop" or a quit from the input).
void Stop(uint8_t reason) {
  if (StopReason == StopNone) StopReason = reason;
}

// The opponent's last game move landed where the best move captures, and took
// a piece of the same value as the one the best move takes.
bool EvenRecapture(Move best) {
  if (Game.index < 1) return false;
  const GameRecord& last = Game.history[Game.index];
  Move lastMove = Move(last.move & ~CheckMark);
  if (lastMove == 0 || lastMove == NullGameMove || last.capturedType == 0) return false;
  int to = MoveTo(best);
  if (to != MoveTo(lastMove) || Pos.pieceType[to] == 0 || Pos.colour[to] == Pos.sideToMove) return false;
  return pieceValue[Pos.pieceType[to]] == pieceValue[last.capturedType];
}

// Sleeps while the search runs ahead of the strength budget (nodes per second),
// in slices of an eighth of the remaining wait (never past HardLimit), polling
// input before each slice.
// Answers false when the search is not ahead (the countdown is then not renewed).
bool Throttle(uint32_t budget, int elapsed) {
  int64_t due = int64_t(NodeCount * 1000 / budget);
  if (due - PonderTimeMs - elapsed - 1 <= 0) return false;
  for (;;) {
    int64_t remaining = due - PonderTimeMs - elapsed - 1;
    if (remaining <= 0) break;
    PollInput();
    if (StopReason) break;
    int64_t slice = std::min<int64_t>(remaining / 8, int64_t(HardLimit) - elapsed);
    SleepMs(uint32_t(std::max<int64_t>(slice, 1)));
    elapsed = Elapsed();
    if (elapsed >= HardLimit) {
      Stop(StopHardLimit);
      break;
    }
  }
  return true;
}

void CountStatusCheck(bool print) {
  StatusCounter += 1;
  if (print && StatusCounter >= StatusLineChecks) PrintNodeLine();
}

// The time check. It measures the speed, except at search start, where nothing
// has been searched yet and the estimate is only lowered to the calibrated speed.
int RunCheck(bool startMode) {
  // Step 1: the hard limit.
  int elapsed = Elapsed();
  if (elapsed >= HardLimit) {
    Stop(StopHardLimit);
    return elapsed;
  }

  // Step 2: before the first report, only a used-up countdown goes further.
  if (NodeCountdown > 0 && !(ReportFlags & ReportStarted)) return elapsed;

  // Step 3: waiting input is read and dispatched here, inside the search.
  if (PollInput()) {
    elapsed = Elapsed();   // a ponderhit restarts the search clock
    if (StopReason) return elapsed;
  }

  // Step 4: the speed, counting the time spent pondering before a ponderhit.
  uint32_t budget = Options.strengthBudget;
  if (!startMode) {
    uint64_t speed = NodeCount * 1000 / (uint64_t(PonderTimeMs) + uint64_t(elapsed) + 1);
    if (budget == 0) speed = std::max<uint64_t>(speed, CalibratedSpeed / CalibratedFloorDivisor);
    SpeedEstimate = uint32_t(std::min<uint64_t>(speed, UINT32_MAX));
  } else if (CalibratedSpeed != 0) {
    SpeedEstimate = std::min(SpeedEstimate, CalibratedSpeed);
  }

  // Step 5: without a strength budget, the next check and the node line.
  if (budget == 0) {
    if (int64_t(HardLimit) - elapsed < NearLimitMs) {
      if (int64_t(HardLimit) <= elapsed + (int64_t(PonderTimeMs) + elapsed) / 64) {
        Stop(StopHardLimit);
        return elapsed;
      }
      NodeCountdown = int(SpeedEstimate / 32);
    } else {
      bool shortPonder = SearchMode == SearchModePonder && TargetTime < PonderShortTargetMs;
      NodeCountdown = int(shortPonder ? SpeedEstimate / 32 : SpeedEstimate / 8);
      CountStatusCheck((SearchFlags & FlagVerboseUci) != 0);
    }
    return elapsed;
  }

  // Step 6: with a strength budget, wait until the node count is due.
  if (!Throttle(budget, elapsed)) return elapsed;
  NodeCountdown = int(budget / 8);
  CountStatusCheck(true);
  return Elapsed();
}

// Computes HardLimit, then runs the check (in start mode from SetupTimeControl).
void SetTimeLimitAndCheck(bool startMode) {
  // Step 1: a timed search: target plus bonus within the maximum and the move time.
  if (SearchMode == SearchModeNormal) {
    if (IterationDepth > SearchLimits.DepthLimit) {
      Stop(StopDepthLimit);
    } else {
      int64_t limit = int64_t(TargetTime) + TimeBonus;
      limit = std::min<int64_t>(limit, MaxTime);
      limit = std::min<int64_t>(limit, SearchLimits.MoveTimeMs);
      HardLimit = ClampToInt(limit);
    }
  } else if (SearchMode == SearchModeCalibration) {
    // Step 2: the calibration runs for its move time; pondering and analysis without limit.
    HardLimit = SearchLimits.MoveTimeMs;
  } else {
    HardLimit = Unlimited;
  }
  // Step 3: the check.
  RunCheck(startMode);
}

}  // namespace

uint32_t ElapsedMs() { return GetTickCount() - SearchClockStart; }

void SetGameClock(int movesToGo, int timeLeftMs, int incrementMs) {
  GameClock.movesToGo = movesToGo > 0 ? movesToGo : DefaultMovesToGo;
  GameClock.timeLeftMs = timeLeftMs;
  GameClock.incrementMs = incrementMs;
}

void SetupTimeControl(int movesToGo, int timeLeftMs, int incrementMs) {
  // Step 1: no bonus, no minimum, the reduction threshold from Forward Pruning.
  TimeBonus = 0;
  MinTime = Unlimited;
  ReductionThreshold = Options.forwardPruning;
  AverageBestMoveShare = 0;
  LastScoreDelta = 0;
  PreviousIterationScore = 0;
  TargetTime = UnlimitedTarget;
  MaxTime = UnlimitedMax;

  int timeMode = SearchLimits.TimeMode;
  if (SearchMode == SearchModeAnalysis || timeMode == TimeModeNoClock) {
    // Step 2: analysis and searches without a clock are effectively unlimited.
  } else if (timeMode == TimeModeClock) {
    // Step 3: the clock.
    int64_t m = movesToGo > 0 ? movesToGo : DefaultMovesToGo;
    int64_t t = timeLeftMs;
    int64_t i = std::max(incrementMs, 0);   // a negative increment counts as none
    t = t - t / 16 - ClockReserveMs;
    if (i == 0 && (SearchFlags & FlagGuiTimeLag)) t -= GuiTimeLagMs;
    t = std::max<int64_t>(t, MinimumTimeLeftMs);
    i = i - i / 16;
    int64_t total = (m - 1) * i + t;
    m = std::min<int64_t>(m, DefaultMovesToGo);
    int64_t target = total / m;
    int n = Game.index - LearnBase;
    if (n >= 1 && n <= 5) target += target * (6 - n) / 16;
    if (SearchFlags & FlagPonder) target += target / 4;
    target = std::min(target, t);
    TargetTime = ClampToInt(target);
    MinTime = int(int64_t(TargetTime) * 6 / 10);
    MaxTime = ClampToInt(std::min(std::max<int64_t>(total / 2, TargetTime), t));
  } else if (timeMode == TimeModeFixed) {
    // Step 4: the whole time left for this move.
    int64_t t = timeLeftMs;
    TargetTime = ClampToInt(t - t / 8);
    MaxTime = ClampToInt(int64_t(TargetTime) * 8);
  }

  // Step 5: fewer reductions when little effort is expected, more when much is.
  if (SearchMode != SearchModeAnalysis && !(SearchFlags & FlagSteadySearch) &&
      ReductionThreshold >= ReductionTunableLow && ReductionThreshold <= ReductionTunableHigh) {
    int64_t effort = int64_t(CalibratedSpeed / 256) * std::min<int64_t>(TargetTime / 256, EffortTargetCap);
    if (CalibratedSpeed < 256 || TargetTime < 256 || effort < LowEffort)
      ReductionThreshold -= ReductionStep;
    else if (effort > HighEffort)
      ReductionThreshold += ReductionStep;
  }

  // Step 6: the first limit and check.
  StatusCounter = 0;
  NodeCountdown = 0;
  SetTimeLimitAndCheck(true);
}

int NextIteration() {
  // Step 1: the best move's share of the last iteration's nodes.
  const RootMove* best = RootMoveCount > 0 ? &RootMoves[0] : nullptr;
  int score = best ? best->score : LastScore;
  int share = int(uint64_t(best ? best->nodes : 0) * 100 / (LastIterationNodes + 1));

  // Step 2: depth limits.
  IterationDepth += 1;
  if ((IterationDepth > SearchLimits.DepthLimit && SearchMode == SearchModeNormal) ||
      SearchLimits.TimeMode == TimeModeIterationOnly || IterationDepth > MaxSearchDepth) {
    IterationDepth -= 1;
    return IterationStop;
  }

  // Step 3: the first iteration always runs.
  if (IterationDepth == 1) {
    LastScoreDelta = 0;
    PreviousIterationScore = score;
    BestMoveChanges = 0;
    return IterationContinue;
  }

  // Step 4: an easy move gives back part of the target.
  if (best && StableIterations == IterationDepth - 1 && EasyMove && RootUnstable == 0 &&
      score > SecondScoreAtDepth1 + EasyMoveMargin) {
    TimeBonus = -(TargetTime / 2);
    int h = TargetTime / 2;
    if (EvenRecapture(Move(best->line[1] & ~CheckMark))) {
      h /= 2;
      TimeBonus -= h;
    }
    if (share >= Pos.Phase + EasyShareMargin) TimeBonus -= h / 2;
    if (score > PreviousSearchScore + EasyScoreRise) TimeBonus /= 2;
  }

  // Step 5: running statistics.
  share = std::max(share, MinimumShare);
  AverageBestMoveShare = (AverageBestMoveShare + share) / 2;
  LastScoreDelta = score - PreviousIterationScore;
  PreviousIterationScore = score;

  // Step 6: in a timed search, stop when the next iteration does not fit.
  if (SearchMode == SearchModeNormal) {
    int64_t elapsed = Elapsed();
    int64_t budget = int64_t(TargetTime) + TimeBonus;
    bool overBudget = elapsed > budget;
    bool wontFinish = elapsed > MinTime && RootUnstable == 0 && BestMoveChanges == 0 &&
                      elapsed + 2 * elapsed * AverageBestMoveShare / 100 > budget;
    if (overBudget || wontFinish) {
      Stop(StopNoTimeForIteration);
      IterationDepth -= 1;
      return IterationStop;
    }
  }

  // Step 7: the limit for the next iteration.
  SetTimeLimit();
  BestMoveChanges = 0;
  return IterationContinue;
}

void UpdateTimeBonus(int score) {
  // Step 1: being mated: use everything.
  if (score <= -MateThresholdScore && !(RootResultFlags & RootBeingMated)) {
    TimeBonus = MaxTime;
    return;
  }
  // Step 2: no fail yet in this iteration.
  if (RootBound == RootBoundRunning) return;
  // Step 3: a fail low of the first move.
  if (RootBound == RootBoundFailLow) {
    TimeBonus = ClampToInt(int64_t(TargetTime) * 8);
    return;
  }
  // Step 4: a new best move: bonus by the score drop and the changes of mind.
  int drop = score - PreviousIterationScore;
  if (LastScoreDelta < 0) drop += LastScoreDelta;
  if (drop >= -3) {
    if (TimeBonus > 0 || BestMoveChanges != 0) TimeBonus = 0;
    return;
  }
  if (RootUnstable) drop -= 32;
  int k = std::min((BestMoveChanges * 8 - drop) >> 3, BonusTableSize - 1);
  TimeBonus = ClampToInt(int64_t(BonusTable[k]) * (TargetTime / 16));
}

void SetTimeLimit() { SetTimeLimitAndCheck(false); }

int CheckTime() { return RunCheck(false); }
