// The search driver: start of a search, the iterative-deepening loop, the end
// of a search (learning store, ponder wait, bestmove, game record) and the
// ponderhit switch.
#include "search/search.h"

#include "board/board.h"
#include "book/book.h"
#include "eval/eval.h"
#include "search/root.h"
#include "search/ordering.h"
#include "search/search_state.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "core/settings.h"
#include "core/platform.h"
#include "search/report.h"
#include "tablebases/tablebases.h"

int SearchMode;
uint8_t StopReason;
SearchLimitsRecord SearchLimits;
int EngineColour, OpponentColour;
int PliesPlayed;
uint64_t NodeTotals[2];
InputHandler ReadInputHook;
uint32_t SearchClockStart;
uint32_t PonderTimeMs;
SearchFunction SearchHook;

namespace {

constexpr uint32_t OnlyMoveMinMs = 250;
constexpr int OnlyMoveMinDepth = 3;
constexpr int EasyMoveMargin = 96;
constexpr int SpreadFromDepth = 3;           // lowest and highest score are tracked from this depth
constexpr int TablebaseEnoughScore = 7700;   // a root mate this good needs no more table probes

// Learning store of a root whose score swung.
constexpr int LearnMaxGamePlies = 50;    // plies after the learning base in which positions are learned
constexpr int LearnSwing = 48;           // a swing must exceed this (three eighths of a pawn)...
constexpr int LearnSwingShare = 4;       // ...and a quarter of the final score's size
constexpr int LearnAgeBase = 64;         // learning age = game ply - draft + 64,
constexpr int LearnAgeFen = 144;         // or + 144 in a game set up from a FEN
constexpr int LearnMinDepth = 3;         // the last finished iteration must be this deep
constexpr uint32_t StrengthMarkDivisor = 16;   // a budget of at least CalibratedSpeed/16 still marks the move

uint32_t SearchSideNodes;   // nodes of this search, for the game record
int LowestScore, HighestScore;
int FinishedDepth;          // the deepest iteration that ran to its end

bool SwingsFrom(int score, int reference) {
  int diff = score - reference;
  if (diff < 0) diff = -diff;
  int magnitude = score < 0 ? -score : score;
  return diff > LearnSwing && diff > magnitude / LearnSwingShare;
}

// Step 3 of StartSearch: the root moves of the game position, restricted to
// the moves of "go searchmoves" when any of them is there.
int GenerateRootCandidates(int side) {
  int count = Pos.InCheck() ? GenerateOrderedEvasions(side, 1, 0, nullptr) : GenerateOrderedMoves(side, 1, 0);
  const SearchLimitsRecord& limits = SearchLimits;
  if (limits.SearchMoveCount == 0) return count;
  MoveEntry* list = MoveListBegin(1);
  int kept = 0;
  for (int i = 0; i < count; i++) {
    Move m = Move(list[i].move & ~CheckMark);
    for (int j = 0; j < limits.SearchMoveCount; j++)
      if (Move(limits.SearchMoves[j] & ~CheckMark) == m) {
        list[kept++] = list[i];
        break;
      }
  }
  return kept ? kept : count;   // none of them playable: search every move
}

// Step 5: the iterations.
void Iterate() {
  const bool clockDriven = SearchMode == SearchModeNormal && SearchLimits.TimeMode == TimeModeClock;
  while (StopReason == StopNone && NextIteration() == IterationContinue) {
    // 5.1: a fresh iteration: no bound yet, stable until a move fails.
    EvalIterationDepth = IterationDepth;
    RootBound = BoundKindRunning;
    uint64_t nodesBefore = NodeCount;
    RootUnstable = 0;
    if (InputMode != 0 && PvOutputActive()) PrintDepthLine(IterationDepth, SelDepth);

    // 5.2 and 5.3: search the root moves, then sort them for the next iteration.
    int score = SearchRoot(IterationDepth);
    // An iteration cut short by a stop does not count as finished (a root whose
    // every move is settled has been searched to its end).
    if (StopReason == StopNone || StopReason == StopAllSettled) FinishedDepth = IterationDepth;
    if (StopReason == StopNone) {
      LastScore = score;
      if (IterationDepth == 1)
        SortRootMovesByScore();
      else
        SortRootMovesByNodes();
      StableIterations++;
    }

    // 5.4: the next aspiration window. Once the root has a mate, the tables have done their part.
    if (score > TablebaseEnoughScore) TablebaseMaxPieces = 0;
    if (score > MateThreshold) {
      RootResultFlags |= ResultMateSeen;
      RootAlpha = score - 1;
      RootBeta = MateValue;
    } else if (score < -MateThreshold) {
      RootResultFlags |= ResultMateSeen | ResultBeingMated;
      RootAlpha = -MateValue;
      RootBeta = score + 1;
    } else {
      RootAlpha = score - RootWindowMargin;
      RootBeta = score + RootWindowMargin;
    }

    // 5.5: a mate within the iteration depth.
    if (StopReason == StopNone && score > MateThreshold && MateValue - score <= IterationDepth) StopReason = StopMateFound;

    // 5.6: only one move worth playing.
    if (StopReason == StopNone && clockDriven && IterationDepth >= OnlyMoveMinDepth && ElapsedMs() > OnlyMoveMinMs) {
      bool others = false;
      for (int i = 1; i < RootMoveCount; i++)
        if (RootMoves[i].score > -MateThreshold) others = true;
      if (!others) StopReason = StopOnlyMove;
    }

    // 5.7 and 5.8: statistics for the time decisions.
    int reported = RootMoves[0].score;
    if (IterationDepth < SpreadFromDepth) {
      LowestScore = HighestScore = reported;
    } else {
      if (reported < LowestScore) LowestScore = reported;
      if (reported > HighestScore) HighestScore = reported;
    }
    if (IterationDepth == 1) {
      SecondScoreAtDepth1 = RootMoveCount > 1 ? RootMoves[1].score : -MateValue;
      EasyMove = reported > SecondScoreAtDepth1 + EasyMoveMargin;
    }
    LastIterationNodes = NodeCount - nodesBefore;
    ReportProgress();
  }
}

// A search that has finished by itself while pondering, or in "go infinite",
// waits for the GUI: ponderhit (pondering only) or stop, or a command that
// needs an idle engine. While it waits no stop is pending, so isready is
// answered at once.
void WaitForGui() {
  const bool infinite = SearchLimits.infinite && SearchMode == SearchModeNormal;
  if (StopReason == StopByGui || !(SearchMode == SearchModePonder || infinite)) return;
  uint8_t reason = StopReason;
  StopReason = StopNone;
  bool quitting = false;
  while (StopReason == StopNone && (SearchMode == SearchModePonder || infinite) && !quitting)
    quitting = ReadInputHook ? ReadInputHook() != 0 : true;
  if (StopReason != StopByGui && !(StopReason & StopFromInputMask)) StopReason = reason;
}

}  // namespace

int StartSearch(int side, int mode) {
  if (SearchHook) {
    StopReason = StopNone;
    SearchMode = mode;
    int result = SearchHook(side, mode);
    SearchMode = SearchModeAfterQuit;
    return result;
  }

  // Step 1: the first search of a game marks where the game started.
  if (LearnBase < 0) {
    LearnBase = Game.index - 2;
    LearnBaseKey = Pos.key;
  }

  // Step 2: settings snapshot, mode, draw scores, output state. (The shell has
  // started the search clock.)
  SearchFlags = SettingsFlags;
  SearchMode = mode;
  StopReason = StopNone;
  Game.searchRootPly = Pos.ply;   // the search path's positions start here (repetition tests)
  Pos.undoTop = 0;
  SearchSide = side;
  SetDrawScores(side);
  ReportFlags = 0;
  TablebaseHits = 0;
  LastGameMoveRecord = Game.history[Game.index];

  // Step 3: search-start preparation and the root moves.
  if (IterationDepth == 0) {
    PrepareEvaluationForSearch(side, int((SearchFlags & PlayingStyleMask) >> PlayingStyleShift));
    NewSearchAge();
    AgeHistoryForSearch();
    int count = GenerateRootCandidates(side);
    NodeCount = 0;
    SelDepth = 0;
    VerificationSearches = 0;
    StableIterations = 0;
    SecondScoreAtDepth1 = 0;
    EasyMove = false;
    RootResultFlags = 0;
    BestMoveChanges = 0;
    LastIterationNodes = 0;
    LastScore = 0;
    LowestScore = HighestScore = 0;
    FinishedDepth = 0;
    EntriesTouched = EntriesTouchedAtSearchStart;
    RootMoveCount = 0;

    // The opening book, in timed games only: a book move ends the search at once.
    Move bookMove = 0;
    if (SearchLimits.TimeMode != TimeModeNoClock && mode == SearchModeNormal)
      bookMove = ProbeBook(side, SearchFlags, MoveListBegin(1), MoveListBegin(1) + count);
    if (bookMove) {
      RootMove& rm = RootMoves[0];
      rm.line = RootLines[0];
      rm.line[0] = 0;
      rm.line[1] = bookMove;
      rm.line[2] = 0;
      rm.flags = RecordBookMove;
      rm.nodes = 0;
      rm.depth = 0;
      rm.score = 0;
      RootMoveCount = 1;
      StopReason = StopBookMove;
    } else {
      // The evaluation's tables for this search, built from the root position.
      PrepareEvaluation();
      RootAlpha = -MateThreshold;
      RootBeta = MateThreshold;
      PrepareRootMoves(count);
      if ((RootResultFlags & ResultGameOver) || (SearchLimits.TimeMode == TimeModeNone && mode != SearchModeAnalysis))
        StopReason = StopNothingToSearch;
    }
  } else if ((RootMoves[0].flags & RootSettled) || (RootMoveCount > 1 && RootMoves[1].score < -MateThreshold) ||
             IterationDepth > SearchMaxDepth) {
    StopReason = StopKeptSearchDone;
  }

  // Step 4: the time control; several lines are shown from the first iteration on.
  SetupTimeControl(GameClock.movesToGo, GameClock.timeLeftMs, GameClock.incrementMs);
  if (Options.multiPv > 1 && (SearchLimits.TimeMode != TimeModeNone || mode == SearchModeAnalysis)) ReportFlags |= ReportStarted;

  // Step 5: the iterations.
  Iterate();

  // Step 6: the final report of a search whose output never started.
  const bool gameOver = RootResultFlags & ResultGameOver;
  if (!gameOver) ReportFinalLine();

  // Step 7: a root whose score swung is learned.
  if (!gameOver) LearnFromSearch(side, FinishedDepth, RootMoves[0].score, LowestScore, HighestScore);

  // Step 8: the answer.
  SearchSideNodes = uint32_t(NodeCount);
  if (mode != SearchModeCalibration) {
    WaitForGui();
    if (gameOver) {
      PrintBestMove(0, 0);
      Game.history[Game.index].shellWords[RecordFlagsWord] |= uint16_t(RootResultFlags & RootResultKindMask);
      if (SearchMode < SearchModePonder) StopReason = StopNone;
    } else {
      RootMove& best = RootMoves[0];
      PrintBestMove(best.line[1], best.line[2]);
      uint32_t budget = Options.strengthBudget;
      if (budget == 0 || (best.flags & RecordBookMove) || budget >= CalibratedSpeed / StrengthMarkDivisor)
        best.flags |= RootBestRecorded;
      int ply = Game.index + 1;
      if (ply < GameHistorySize) {
        // The move as the game record shows it until the GUI plays it back:
        // its SAN information, and the mark of a move the engine chose.
        GameRecord& g = Game.history[ply];
        g.move = best.line[1];
        g.mover = uint8_t(side);
        g.sanWord = uint16_t((g.sanWord & ~RecordSanMask) | (SanInfo(Move(best.line[1] & ~CheckMark)) & RecordSanMask));
        RecordGameMove(side, ply, best.score, SearchSideNodes, IterationDepth, best.flags | RecordEngineMove);
      }
    }
  }

  // Step 9: the state left behind.
  if (mode == SearchModeNormal) {
    PreviousSearchScore = LastScore;
    SearchMode = (StopReason & StopFromInputMask) ? SearchModeAfterQuit : SearchModeAfterTimed;
  } else {
    SearchMode = StopReason < StopLeavesIdleState ? SearchModeAfterOther : SearchModeAfterQuit;
  }
  IterationDepth = EvalIterationDepth = 0;
  return StopReason;
}

void LearnFromSearch(int side, int finishedDepth, int score, int lowest, int highest) {
  // Step 1: a search deep enough, a table, a game still near its learning base, and one of
  // the two options that keep learned positions.
  if (finishedDepth < LearnMinDepth || !TableExists() || RootMoveCount == 0) return;
  if (Game.index - LearnBase >= LearnMaxGamePlies) return;
  if (!(SearchFlags & (FlagRetainHash | FlagPositionLearning))) return;

  // Step 2: the final score fell from the highest or rose from the lowest of the iterations.
  if (!SwingsFrom(score, highest) && !SwingsFrom(score, lowest)) return;

  // Step 3: the bound the root had reached.
  const uint16_t bound = RootBound <= BoundKindUpper ? BoundUpper : RootBound >= BoundKindLower ? BoundLower : BoundExact;

  // Step 4: a pinned entry for the side to move, its learning age kept in the move-depth word.
  const RootMove& best = RootMoves[0];
  const int age = Game.index - best.depth + (Game.setUpFromFen ? LearnAgeFen : LearnAgeBase);
  StoreEntry(side, uint16_t(bound | EntryPinned), score, age, best.depth, 1, Move(best.line[1] & ~CheckMark));
  LearnDirty = true;
}

void PonderHit() {
  if (SearchMode != SearchModePonder) return;
  SearchMode = SearchModeNormal;
  SearchClockStart = GetTickCount();
  SetTimeLimit();   // the hard limit of a timed search, with the time control's only-move check
  ReportRootLines();
}

void RecordGameMove(int side, int ply, int score, uint32_t nodes, int depth, int rootFlags) {
  if (ply < 1 || ply >= GameHistorySize) return;
  GameRecord& g = Game.history[ply];
  uint32_t earlier = ply >= 2 ? Game.history[ply - 2].extraLong : 0;
  g.extraLong = earlier + (GetTickCount() - SearchClockStart);
  g.shellWords[RecordFlagsWord] = uint16_t(rootFlags);
  g.sanWord = uint16_t((g.sanWord & RecordSanMask) | ((depth & 0x3F) << RecordDepthShift));
  if (score != NoRecordedScore) g.shellWords[RecordScoreWord] = uint16_t(int16_t(score));
  NodeTotals[side & 1] += nodes;
  PliesPlayed = ply;
  SearchClockStart = GetTickCount();
}

void RequestStop() {
  if (SearchRunning()) StopReason = StopByGui;
}
