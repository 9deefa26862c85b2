#include "tool/tool_search.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "board/board.h"
#include "book/book.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "core/settings.h"
#include "core/platform.h"

namespace {


// Standard output goes to /dev/null while the search prints its lines.
class QuietOutput {
 public:
  QuietOutput() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~QuietOutput() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }

 private:
  int saved_ = -1;
};

// The node clock: the nodes of the finished tool searches plus those of the running one. The
// search restarts its count after setting up the root, so the clock holds its highest reading
// rather than step back. The reading is kept in 64 bits and wraps only when returned, like the
// real tick counter; a 32-bit maximum would stop the clock at the wrap.
uint32_t NodesPerMs = 0;
uint64_t NodesBefore = 0;
uint64_t NodeClockMs = 0;
uint32_t NodeClock() {
  NodeClockMs = std::max(NodeClockMs, (NodesBefore + NodeCount) / NodesPerMs);
  return uint32_t(NodeClockMs);
}

}  // namespace

void UseNodeClock(uint32_t nodesPerMs) {
  NodesPerMs = nodesPerMs;
  SetClockSource(nodesPerMs ? NodeClock : nullptr);
}

bool PrepareToolSearches(long tableKB, uint32_t calibratedSpeed) {
  ResetSettings();
  SettingsFlags &= ~FlagOwnBook;
  InputMode = 0;
  CalibratedSpeed = calibratedSpeed;
  SpeedEstimate = 0;
  return ResizeTable(tableKB) != 0;
}

Move SearchFenQuietly(const char* fen, int depth, int moveTimeMs, uint64_t* nodes, uint64_t* ms) {
  ToolSearchResult r;
  Move m = SearchFenQuietly(fen, depth, moveTimeMs, 0, &r);
  *nodes = r.nodes;
  *ms = r.ms;
  return m;
}

Move SearchFenQuietly(const char* fen, int depth, int moveTimeMs, int clockMs, ToolSearchResult* result) {
  ResetGameState();
  if (!ParseFen(fen)) return 0;
  ClearTable(1);
  return SearchGameQuietly(depth, moveTimeMs, clockMs, result);
}

Move SearchGameQuietly(int depth, int moveTimeMs, int clockMs, ToolSearchResult* result) {
  LearnBase = -1;
  PreviousSearchScore = 0;
  IterationDepth = 0;

  SearchLimitsRecord& limits = SearchLimits;
  limits.TimeMode = TimeModeNoClock;
  limits.MoveTimeMs = moveTimeMs > 0 ? moveTimeMs : NoMoveTime;
  limits.DepthLimit = depth > 0 ? depth : SearchMaxDepth;
  limits.SearchMoveCount = 0;
  limits.requestedMode = SearchModeNormal;
  limits.clockTimeMs[White] = limits.clockTimeMs[Black] = clockMs;
  limits.clockIncMs[White] = limits.clockIncMs[Black] = 0;
  limits.movesToGo = 0;

  int side = Game.side & 1;
  if (clockMs > 0) {
    limits.TimeMode = TimeModeClock;
    SetGameClock(0, clockMs, 0);
  }
  EngineColour = side;
  OpponentColour = side ^ 1;
  NodeCount = 0;
  PonderTimeMs = 0;
  uint32_t start = GetTickCount();
  SearchClockStart = start;
  {
    QuietOutput quiet;
    result->stopReason = StartSearch(side, SearchModeNormal);
  }
  result->ms = GetTickCount() - start;
  result->nodes = NodeCount;
  NodesBefore += NodeCount;
  result->score = RootMoveCount > 0 ? RootMoves[0].score : 0;
  SearchMode = SearchModeIdle;
  return RootMoveCount > 0 ? Move(RootMoves[0].line[1] & ~CheckMark) : Move(0);
}
