// Search reporting: the text of every line the search writes to standard output.
#include "search/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "core/settings.h"
#include "core/platform.h"
#include "tablebases/tablebases.h"

namespace {

constexpr uint32_t OutputLevelMask = 3;        // bits 0-1 of the settings word
constexpr int SilentSearchMode = 7;            // the start-up calibration prints nothing
constexpr int MaxReportedMoves = 64;
constexpr int MoveTextWidth = 7;               // at most 6 characters and a blank
constexpr int HeaderSize = 256;
constexpr int LineBufferSize = HeaderSize + MaxReportedMoves * MoveTextWidth + 16;

char LineBuffer[LineBufferSize];

// Appends the moves of a 0-terminated line in UCI style, each with its blank.
int AppendMoves(char* out, int used, const Move* line) {
  for (int i = 0; i < MaxReportedMoves && line[i] != 0; i++)
    used += std::snprintf(out + used, size_t(LineBufferSize - used), "%s", MoveToText(Move(line[i] & ~CheckMark), TextUci));
  return used;
}

}  // namespace

const char* ScoreText(int score, int boundKind) {
  static char text[48];
  if (score > -MateThreshold && score < MateThreshold) {
    const char* bound = boundKind == BoundKindUpper ? " upperbound " : boundKind == BoundKindLower ? " lowerbound " : "";
    std::snprintf(text, sizeof text, "cp %ld%s", long(score * 100 / 128), bound);
  } else {
    int moves = score <= -MateThreshold ? -((score + MateValue) >> 1) : (MateValue + 1 - score) >> 1;
    std::snprintf(text, sizeof text, "mate %d", moves);
  }
  return text;
}

void PrintPvLine(const Move* line, int boundKind, int score, int depth, int selDepth, int multiPv) {
  if (SearchMode == SilentSearchMode) return;
  char multiPvText[24] = "";
  if (multiPv != 0) std::snprintf(multiPvText, sizeof multiPvText, "multipv %d ", multiPv);
  int used = std::snprintf(LineBuffer, sizeof LineBuffer,
                           "info %sdepth %d seldepth %d time %lu nodes %" PRIu64 " nps %lu score %s", multiPvText,
                           depth, selDepth, (unsigned long)ElapsedMs(), NodeCount, (unsigned long)SpeedEstimate,
                           ScoreText(score, boundKind));
  if (TablebaseHits != 0)
    used += std::snprintf(LineBuffer + used, sizeof LineBuffer - size_t(used), " tbhits %lu", (unsigned long)TablebaseHits);
  used += std::snprintf(LineBuffer + used, sizeof LineBuffer - size_t(used), " pv ");
  AppendMoves(LineBuffer, used, line);
  Print("%s\n", LineBuffer);
}

void PrintDepthLine(int depth, int selDepth) { Print("info depth %d seldepth %d\n", depth, selDepth); }

void PrintCurrentMove(int rootIndex, Move m) {
  Print("info currmovenumber %d currmove %s\n", rootIndex + 1, MoveToText(Move(m & ~CheckMark), TextUci));
}

void PrintNodeLine() {
  Print("info nodes %" PRIu64 " nps %lu hashfull %lu\n", NodeCount, (unsigned long)SpeedEstimate,
        (unsigned long)HashFull());
  StatusCounter = 0;
}

void PrintBestMove(Move best, Move ponder) {
  int used = std::snprintf(LineBuffer, sizeof LineBuffer, "info nps %lu nodes %" PRIu64 " hashfull %lu time %lu\nbestmove ",
                           (unsigned long)SpeedEstimate, NodeCount, (unsigned long)HashFull(),
                           (unsigned long)(ElapsedMs() + 1));
  if (best == 0) {
    std::snprintf(LineBuffer + used, sizeof LineBuffer - size_t(used), "(none)");
  } else {
    used += std::snprintf(LineBuffer + used, sizeof LineBuffer - size_t(used), "%s",
                          MoveToText(Move(best & ~CheckMark), TextUci));
    if (ponder != 0)
      std::snprintf(LineBuffer + used, sizeof LineBuffer - size_t(used), " ponder %s",
                    MoveToText(Move(ponder & ~CheckMark), TextUci));
  }
  Print("%s\n", LineBuffer);
}

bool PvOutputAllowed() {
  int level = int(SearchFlags & OutputLevelMask);
  return level != 0 && SearchMode - 3 <= level && SearchMode != SilentSearchMode;
}

bool PvOutputActive() { return (ReportFlags & ReportStarted) && PvOutputAllowed(); }

void ReportRootLines() {
  if (!PvOutputActive() || RootMoveCount == 0) return;
  int lines = Options.multiPv;
  if (lines < 2) {
    PrintPvLine(RootMoves[0].line + 1, RootBound, RootMoves[0].score, IterationDepth, SelDepth, 0);
    return;
  }
  if (lines > RootMoveCount) lines = RootMoveCount;
  for (int i = 0; i < lines; i++)
    PrintPvLine(RootMoves[i].line + 1, BoundKindExact, RootMoves[i].shownScore, RootMoves[i].depth,
                RootMoves[i].depth, i + 1);
}

void ReportProgress() {
  if (InputMode == 0 || !PvOutputAllowed() || RootMoveCount == 0) return;
  uint32_t elapsed = ElapsedMs();
  if (!(ReportFlags & ReportStarted)) {
    if (elapsed <= FirstReportMs) return;
    PrintPvLine(RootMoves[0].line + 1, RootBound, RootMoves[0].score, IterationDepth, SelDepth, 0);
    ReportFlags |= ReportStarted;
  }
  if ((ReportFlags & ReportCurrMovePending) &&
      (elapsed > CurrentMoveReportMs || ((SearchFlags & FlagVerboseUci) && elapsed > FirstReportMs))) {
    PrintCurrentMove(CurrentRootIndex, RootMoves[CurrentRootIndex].line[1]);
    ReportFlags &= ~ReportCurrMovePending;
  }
}

void ReportFinalLine() {
  if (InputMode == 0 || (ReportFlags & ReportStarted) || !PvOutputAllowed() || RootMoveCount == 0) return;
  PrintPvLine(RootMoves[0].line + 1, BoundKindRunning, RootMoves[0].score, IterationDepth, SelDepth, 0);
}
