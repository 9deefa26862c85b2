// The root search: root-move preparation, one iteration with its windows and
// re-searches, promotion of a new best move and the two sorts of the list.
#include "search/root.h"

#include "board/board.h"
#include "book/book.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "core/settings.h"
#include "search/report.h"

namespace {

constexpr int EvalWindow = 16384;             // the full window of a root move's static evaluation

int MultiPvCount() { return Options.multiPv < 1 ? 1 : Options.multiPv; }

bool OwnKingAttacked(int side) { return Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts != 0; }

// Whether the side to move has a legal move (it is in check here).
bool HasLegalReply(int side, int ply) {
  int n = GenerateOrderedEvasions(side, ply, 0, nullptr);
  MoveEntry* list = MoveListBegin(ply);
  for (int i = 0; i < n; i++) {
    MakeMove(Move(list[i].move & ~CheckMark));
    bool legal = !OwnKingAttacked(side);
    UnmakeMove();
    if (legal) return true;
  }
  return false;
}

// Makes a move of a stored line if it is still playable here; false (nothing made) otherwise.
bool MakeLineMove(Move m) {
  int side = Pos.sideToMove;
  Move plain = Move(m & ~CheckMark);
  if (plain == 0 || !IsPseudoLegal(side, &plain)) return false;
  MakeMove(plain);
  if (OwnKingAttacked(side)) {
    UnmakeMove();
    return false;
  }
  return true;
}

// Step 2 of a root move: the previous line goes into the table where the
// position is missing, so that the search finds it first.
void SeedLine(const RootMove& rm, int depth) {
  int made = 0;
  for (int ply = 2; ply <= depth - 1 && rm.line[ply] != 0; ply++) {
    int side = Pos.sideToMove;
    int found, storedDepth;
    Move stored;
    if (!ProbeRootEntry(side, &found, &storedDepth, ply, &stored)) {
      // Even plies belong to the opponent of the root side.
      int score = (ply & 1) == 0 ? -rm.score : rm.score;
      StoreEntry(side, CurrentAge, score, 0, depth - ply - 1, ply, Move(rm.line[ply] & ~CheckMark));
    }
    if (!MakeLineMove(rm.line[ply])) break;
    made++;
  }
  while (made-- > 0) UnmakeMove();
}

// Step 8 of a root move: the child's line, then the table's moves where it ends.
void TakeLine(RootMove& rm) {
  int k = 0;
  while (k + 2 < RootLineLimit && PvTable[2][k] != 0) {
    rm.line[k + 2] = PvTable[2][k];
    k++;
  }
  rm.line[k + 2] = 0;
  if (!TableExists() || StopReason) return;

  int length = k + 2, made = 0;
  for (int i = 2; i < length; i++) {
    if (!MakeLineMove(rm.line[i])) {
      rm.line[i] = 0;
      length = i;
      break;
    }
    made++;
  }
  while (length < RootLineLimit) {
    if (Pos.ply - Pos.lastIrreversiblePly > FiftyMoveLimit || IsRepetition()) break;
    int score, storedDepth;
    Move m = 0;
    int flags = ProbeRootEntry(Pos.sideToMove, &score, &storedDepth, length, &m);
    if (!(flags & BoundLower) || m == 0 || !MakeLineMove(m)) break;
    made++;
    rm.line[length++] = m;
    rm.line[length] = 0;
  }
  while (made-- > 0) UnmakeMove();
}

// The reply to the root move just made, from the root side's view.
int SearchReply(int depth, int lower, int upper, int flags) {
  if (depth > 1) return -Search(2, depth - 1, 0, -upper, -lower, flags);
  return -QuiescenceSearch(2, 0, -upper, -lower, flags);
}

}  // namespace

void PrepareRootMoves(int count) {
  Position& p = Pos;
  const int side = p.sideToMove;
  MoveEntry* list = MoveListBegin(1);
  int drawScore = DrawScore[side];

  // Step 1: static evaluation of the root. The swindle marker needs the root's
  // result kind from the evaluation; until it is exposed the marker stays off.
  Evaluate(side, 1, FullEvalDepth, -EvalWindow, EvalWindow);
  SwindleMarker = 0;

  // Step 2: every legal move, settled or statically scored.
  RootMoveCount = 0;
  SettledBestScore = -MateValue;
  for (int i = 0; i < count; i++) {
    Move m = Move(list[i].move & ~CheckMark);
    MakeMove(m);
    if (OwnKingAttacked(side)) {
      UnmakeMove();
      continue;
    }
    RootMove& rm = RootMoves[RootMoveCount];
    rm.line = RootLines[RootMoveCount];
    RootMoveCount++;
    rm.line[0] = 0;
    rm.line[1] = m;
    rm.line[2] = 0;
    rm.flags = 0;
    rm.nodes = 0;
    rm.depth = 0;
    int score;
    if (p.InCheck()) {
      rm.line[1] |= CheckMark;
      if (!HasLegalReply(side ^ 1, 2)) {
        rm.flags = RootSettled | KindCheckmateGiven;
        score = MateInOneScore;
        goto scored;
      }
    }
    if (IsRepetition()) {
      rm.flags = RootSettled | KindRepetitionTest;
      score = drawScore;
    } else {
      int repetitions = CountGameRepetitions();
      if (repetitions >= 2) {
        rm.flags = RootSettled | KindRepetitionCount;
        score = drawScore;
      } else if (p.ply - p.lastIrreversiblePly > FiftyMoveLimit) {
        rm.flags = RootSettled | KindFiftyMoves;
        score = drawScore;
      } else if (repetitions == 1) {
        score = drawScore;
      } else {
        score = -Evaluate(side ^ 1, 2, FullEvalDepth, -EvalWindow, EvalWindow);
        uint16_t kind = p.undoStack[p.undoTop - 1].checkFlag & RootResultKindMask;
        if (kind) rm.flags = uint16_t(RootSettled | kind);
        if (SearchLimits.TimeMode == TimeModeNone) {
          score += int(NextBookRandom() & 7) - 4;   // the book's generator
        }
      }
    }
  scored:
    rm.score = rm.shownScore = int16_t(score);
    if ((rm.flags & RootSettled) && score > SettledBestScore) SettledBestScore = score;
    UnmakeMove();
  }

  // Step 3: no legal move: the game is over at the root.
  if (RootMoveCount == 0) {
    RootResultFlags |= p.InCheck() ? ResultCheckmated : ResultStalemate;
    LastScore = p.InCheck() ? -MateValue : drawScore;
    return;
  }

  // Step 4. (The tablebase re-preparation joins with the tablebases.)
  SortRootMovesByScore();
}

int PromoteRootMove(int index) {
  int k = index;
  if (index > 0) {
    BestMoveChanges++;
    StableIterations = 0;
    int limit = MultiPvCount() - 1;
    if (limit > index) limit = index;
    k = limit;
    for (int j = 0; j < limit; j++)
      if (RootMoves[j].score < RootMoves[index].score) {
        k = j;
        break;
      }
    RootMove moved = RootMoves[index];
    for (int j = index; j > k; j--) RootMoves[j] = RootMoves[j - 1];
    RootMoves[k] = moved;
  }
  UpdateTimeBonus(RootMoves[k].score);
  SetTimeLimit();
  ReportRootLines();
  return k;
}

void SortRootMovesByScore() {
  for (int i = 0; i < RootMoveCount; i++) {
    int pick = i;
    for (int j = i + 1; j < RootMoveCount; j++)
      if (RootMoves[j].score > RootMoves[pick].score) pick = j;
    if (pick != i) {
      RootMove m = RootMoves[pick];
      for (int j = pick; j > i; j--) RootMoves[j] = RootMoves[j - 1];
      RootMoves[i] = m;
    }
  }
  for (int i = 0; i < RootMoveCount; i++) RootMoves[i].flags &= uint16_t(~RootExactInWindow);
}

void SortRootMovesByNodes() {
  for (int i = 0; i < RootMoveCount; i++) {
    if (RootMoves[i].flags & RootExactInWindow) continue;
    int pick = i;
    for (int j = i + 1; j < RootMoveCount; j++)
      if (!(RootMoves[j].flags & RootExactInWindow) && RootMoves[j].nodes > RootMoves[pick].nodes) pick = j;
    if (pick != i) {
      RootMove m = RootMoves[pick];
      RootMoves[pick] = RootMoves[i];
      RootMoves[i] = m;
    }
  }
}

int SearchRoot(int depth) {
  const int side = Pos.sideToMove;
  const int multiPv = MultiPvCount();
  bool repeated = false;

restart:
  // Step 1: the window; a settled move on top must be beaten by the others.
  int alpha = RootAlpha, beta = RootBeta;
  if (multiPv > 1) alpha = -MateValue;
  int best = -MateValue, kth = -MateValue;
  int nodeFlags = NodePv;
  bool first = true;
  // The searched moves then have to beat the settled move's score through null windows.
  if (multiPv == 1 && RootMoveCount > 0 && (RootMoves[0].flags & RootSettled)) {
    best = kth = RootMoves[0].score;
    if (kth > alpha) alpha = kth;
    first = false;
  }

  // Step 2: the root moves in list order.
  for (int i = 0; i < RootMoveCount && !StopReason; i++) {
    if ((RootMoves[i].flags & RootSettled) || RootMoves[i].depth >= depth) continue;
    int idx = i;
    RootMove* rm = &RootMoves[idx];
    const Move m = Move(rm->line[1] & ~CheckMark);
    CurrentRootIndex = idx;
    ReportFlags |= ReportCurrMovePending;

    // 2.1 and 2.2: make the move, hand over its previous score, seed its line.
    uint64_t nodesBefore = NodeCount;
    MakeMove(m);
    RootMoveScore[side] = rm->score;
    RootMoveScore[side ^ 1] = -rm->score;
    if (TableExists() && rm->line[2] != 0) SeedLine(*rm, depth);

    // 2.3 and 2.4: full window for the first move, null windows for the others.
    int lower, upper;
    if (first) {
      lower = alpha;
      upper = beta;
    } else {
      int edge = kth > alpha ? kth : alpha;
      lower = depth == 1 ? alpha - DepthOneWindowMargin : edge;
      upper = edge + 1;
    }
    int score = SearchReply(depth, lower, upper, nodeFlags ^ NodeNullWindow);
    if (StopReason) {
      UnmakeMove();
      break;
    }

    // 2.5: the first move failed low; a settled move at least as good takes its place.
    int candidate = -1;
    bool research;
    if (first && score <= alpha) {
      RootBound = BoundKindUpper;
      RootUnstable = 1;
      if (multiPv == 1 && score <= SettledBestScore) {
        for (int j = idx + 1; j < RootMoveCount; j++)
          if ((RootMoves[j].flags & RootSettled) && RootMoves[j].score == SettledBestScore) {
            candidate = j;
            break;
          }
      }
    }
    if (candidate >= 0) {
      alpha = SettledBestScore - 1;
      research = false;
    } else if (first) {
      research = score >= beta || (score > -MateThreshold && score <= alpha);   // 2.6
    } else {
      research = score > alpha;
    }

    // 2.7: re-searches with a wider window.
    for (int round = 0; research && round < MaxRootResearches; round++) {
      int oldScore = score;
      bool failLow = first && score <= alpha;
      if (failLow) {
        lower = -MateThreshold;
        upper = score;
        RootBound = BoundKindUpper;
        RootUnstable = 1;
        alpha = -MateThreshold;
        nodesBefore = NodeCount;
      } else {
        lower = score;
        if (score >= beta) {
          RootBound = BoundKindLower;
          beta = score >= MateThreshold ? MateValue : MateThreshold;
        }
        upper = beta;
      }
      rm->score = int16_t(score);
      rm->line[2] = 0;
      UnmakeMove();
      idx = PromoteRootMove(idx);
      rm = &RootMoves[idx];
      CurrentRootIndex = idx;
      MakeMove(m);
      if (StopReason) break;
      score = SearchReply(depth, lower, upper, NodePv);
      if (StopReason) break;
      if (failLow ? score >= oldScore : score <= oldScore) {
        score = oldScore;
        RootUnstable = 2;
      }
      research = score >= beta || (score <= alpha && score > -MateThreshold);
    }
    if (StopReason) {
      UnmakeMove();
      break;
    }

    // 2.8 and 2.9: the line, then back to the root.
    rm->nodes = uint32_t(NodeCount - nodesBefore);
    rm->score = int16_t(score);
    TakeLine(*rm);
    UnmakeMove();

    // 2.10: bookkeeping.
    rm->depth = int16_t(depth);
    if (candidate >= 0) {
      // The settled move takes the searched move's place and is the one that counts: it is
      // done at this depth, so it sets the score the later moves must beat. The searched
      // move failed low, outside the window.
      rm->flags &= uint16_t(~RootExactInWindow);
      RootMove settled = RootMoves[candidate];
      RootMoves[candidate] = RootMoves[idx];
      RootMoves[idx] = settled;
      rm = &RootMoves[idx];
      rm->depth = int16_t(depth);
      score = rm->score;
    }
    rm->shownScore = rm->score;
    // The mark tells whether the move's last score lay inside the window.
    if (score > alpha && score < beta) {
      rm->flags |= RootExactInWindow;
      if ((score > MateThreshold || score < -MateThreshold) && score > SettledBestScore) SettledBestScore = score;
    } else {
      rm->flags &= uint16_t(~RootExactInWindow);
    }
    if (score > kth) {
      if (score > best) {
        best = score;
        if (score > alpha && score < beta) RootBound = BoundKindExact;
      }
      idx = PromoteRootMove(idx);
      if (RootMoveCount >= multiPv && RootMoves[multiPv - 1].depth == depth) {
        kth = RootMoves[multiPv - 1].score;
        if (kth > alpha) alpha = kth;
      }
    }
    // 2.11: the moves after the first are searched with null windows.
    nodeFlags = 0;
    first = false;
    ReportProgress();
  }
  if (StopReason) return RootMoves[0].score;

  // Step 3: everything loses to mate: open the window below and search all moves again.
  if (RootBound == BoundKindUpper && best <= -MateThreshold && !repeated) {
    RootAlpha = -MateValue;
    RootBeta = best + 1;
    for (int i = 0; i < RootMoveCount; i++) RootMoves[i].depth = int16_t(depth - 1);
    RootResultFlags |= ResultMateSeen;
    repeated = true;
    goto restart;
  }

  // A settled move further down that beats the searched best takes the first place.
  if (multiPv == 1 && !(RootMoves[0].flags & RootSettled) && SettledBestScore > RootMoves[0].score) {
    for (int j = 1; j < RootMoveCount; j++)
      if ((RootMoves[j].flags & RootSettled) && RootMoves[j].score == SettledBestScore) {
        // Marked as in the window, so that the sort by nodes keeps it on top.
        RootMoves[PromoteRootMove(j)].flags |= RootExactInWindow;
        break;
      }
    if (best < SettledBestScore) best = SettledBestScore;
  }

  // Step 4: history credit for a quiet best move.
  Move bestMove = Move(RootMoves[0].line[1] & ~CheckMark);
  if (!(bestMove & (KindCapture | PromoBit))) CreditRootHistory(side, bestMove, depth);

  // Step 5: nothing left to search.
  bool allSettled = true;
  for (int i = 0; i < RootMoveCount; i++)
    if (!(RootMoves[i].flags & RootSettled)) allSettled = false;
  if (allSettled) {
    StopReason = StopAllSettled;
    return RootMoves[0].score;
  }
  return best;
}
