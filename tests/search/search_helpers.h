// Shared helpers of the search tests.
#pragma once

#include "core/platform.h"
#include "search/report.h"
#include "search/search.h"
#include "search/search_state.h"

// A search about to start: normal mode, no stop, no polling or report, iteration running, clock started now.
inline void SearchStarting(int reportFlags = 0) {
  SearchMode = SearchModeNormal;
  StopReason = StopNone;
  InputMode = 0;
  ReportFlags = reportFlags;
  SearchLimits.DepthLimit = SearchMaxDepth;
  RootBound = BoundKindRunning;
  RootUnstable = 0;
  SearchClockStart = GetTickCount();
}
