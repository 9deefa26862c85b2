// The UCI dispatcher: one command line at a time.
#include <climits>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "record/record.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/keyword.h"
#include "shell/options.h"
#include "core/platform.h"
#include "shell/uci_rules.h"

namespace {

constexpr int Unknown = 0, Done = 1, Busy = 2;
constexpr int RootResultBit = 32;
constexpr int MoveTokenSize = 16;            // longer tokens cannot be moves
constexpr int MinGamePliesToSave = 3;

// A decimal integer at the start of the token (sign allowed, no digits = 0),
// clamped to the int range; the cursor moves past the token and its blanks.
int ReadNumber(const char*& cursor) {
  const char* p = cursor;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) value = INT_MAX + 1LL;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  while (*cursor && *cursor != ' ') ++cursor;
  cursor = SkipBlanks(cursor);
  return int(value);
}

// Copies the blank-delimited token at the cursor into `token` (cut to the
// buffer, which then holds no move) and moves past it and its blanks.
bool NextToken(const char*& cursor, char (&token)[MoveTokenSize]) {
  const char* start = cursor;
  while (*cursor && *cursor != ' ') ++cursor;
  size_t length = size_t(cursor - start);
  bool fits = length < MoveTokenSize;
  if (fits) {
    std::memcpy(token, start, length);
    token[length] = 0;
  }
  cursor = SkipBlanks(cursor);
  return fits;
}

// Plays the move tokens into the game; tokens that do not parse, are not
// pseudo-legal or leave the king in check are skipped.
void PlayMoveList(const char* cursor) {
  char token[MoveTokenSize];
  while (*cursor) {
    if (!NextToken(cursor, token)) continue;
    Move m = ParseMoveText(token);
    if (m == 0 || !IsPseudoLegal(Game.side, &m)) continue;
    LearnWindowBeforeMove(m);
    if (!PlayGameMove(m, Game.side)) continue;
    LearnWindowAfterMove();
    Game.side ^= 1;
    PliesPlayed = Pos.ply;
  }
}

// Whether the position text shares at least two thirds of the last one.
bool ContinuesLastPosition(const char* text) {
  size_t common = 0;
  while (text[common] && text[common] == LastPositionText[common]) ++common;
  return common * 3 / 2 >= std::strlen(LastPositionText);
}

int PositionCommand(const char* cursor) {
  // Step 1: a text that shares less than two thirds of the last one starts a
  // new game. A game too short to be finished leaves nothing behind either.
  if (PositionEndsGame(cursor)) FinishGame();
  else if (!NewGameFlag && !ContinuesLastPosition(cursor)) ClearGameRecord();

  // Step 2: this text is the game's position text from now on.
  NewGameFlag = false;
  std::snprintf(LastPositionText, sizeof LastPositionText, "%s", cursor);

  // Step 3: the start position, a FEN, or the current game position.
  if (MatchKeyword(cursor, "startpos")) {
    NewGame();
  } else if (MatchKeyword(cursor, "fen")) {
    const char* moves = std::strstr(cursor, "moves");
    size_t fenLength = moves ? size_t(moves - cursor) : std::strlen(cursor);
    while (fenLength > 0 && cursor[fenLength - 1] == ' ') --fenLength;
    std::snprintf(StartFen, sizeof StartFen, "%.*s", int(fenLength), cursor);
    // A refused FEN leaves the previous position; the GUI is told, since its next "go" would
    // otherwise be answered with a move of that old position.
    if (!ParseFen(cursor)) Print("info string invalid FEN: %s\n", FenRejection);
    else ResetLearnWindow();
    if (!moves) return Done;
    cursor = moves;
  }

  // Step 4: the moves.
  if (MatchKeyword(cursor, "moves")) PlayMoveList(cursor);
  return Done;
}

void ClockOff() {
  // The per-side clocks of the time management restart here once it exists.
  SearchLimits.TimeMode = TimeModeNoClock;
}

int GoCommand(const char* cursor) {
  SearchLimitsRecord& limits = SearchLimits;
  limits.clockTimeMs[White] = limits.clockTimeMs[Black] = 0;
  limits.clockIncMs[White] = limits.clockIncMs[Black] = 0;
  limits.movesToGo = 0;
  limits.SearchMoveCount = 0;
  limits.MoveTimeMs = NoMoveTime;
  limits.DepthLimit = SearchMaxDepth;
  limits.requestedMode = SearchModeNormal;
  bool infinite = false;

  while (*cursor) {
    if (MatchKeyword(cursor, "searchmoves")) {
      // Tokens that do not read as a move add nothing.
      char token[MoveTokenSize];
      while (*cursor) {
        if (!NextToken(cursor, token)) continue;
        Move m = ParseMoveText(token);
        if (m != 0 && limits.SearchMoveCount < MaxSearchMoves) limits.SearchMoves[limits.SearchMoveCount++] = m;
      }
    } else if (MatchKeyword(cursor, "ponder")) {
      limits.requestedMode = SearchModePonder;
    } else if (MatchKeyword(cursor, "wtime")) {
      int n = ReadNumber(cursor);
      limits.clockTimeMs[White] = n < 1 ? 1 : n;
    } else if (MatchKeyword(cursor, "btime")) {
      int n = ReadNumber(cursor);
      limits.clockTimeMs[Black] = n < 1 ? 1 : n;
    } else if (MatchKeyword(cursor, "winc")) {
      limits.clockIncMs[White] = ReadNumber(cursor);
    } else if (MatchKeyword(cursor, "binc")) {
      limits.clockIncMs[Black] = ReadNumber(cursor);
    } else if (MatchKeyword(cursor, "movestogo")) {
      limits.movesToGo = ReadNumber(cursor);
    } else if (MatchKeyword(cursor, "depth")) {
      int n = ReadNumber(cursor);
      limits.DepthLimit = n < 1 ? 1 : n;
      ClockOff();
    } else if (MatchKeyword(cursor, "nodes") || MatchKeyword(cursor, "mate")) {
      ReadNumber(cursor);   // read and not used
    } else if (MatchKeyword(cursor, "movetime")) {
      limits.MoveTimeMs = ReadNumber(cursor);
      ClockOff();
    } else if (MatchKeyword(cursor, "infinite")) {
      infinite = true;
      ClockOff();
    } else {
      Print("info string unknown UCI go <%s> command\n", cursor);
      while (*cursor && *cursor != ' ') ++cursor;
      cursor = SkipBlanks(cursor);
    }
  }

  int side = Game.side & 1;
  EngineColour = side;
  OpponentColour = side ^ 1;
  if (limits.clockTimeMs[side] != 0) {
    SetGameClock(limits.movesToGo, limits.clockTimeMs[side], limits.clockIncMs[side]);
    limits.TimeMode = TimeModeClock;
  }
  limits.infinite = infinite && limits.TimeMode == TimeModeNoClock;
  PonderTimeMs = 0;
  SearchClockStart = GetTickCount();
  int result = StartSearch(side, limits.requestedMode);
  if (result & RootResultBit) {
    // The root result is recorded in the game history here once the game record exists.
  }
  return Done;
}

}  // namespace

bool PositionEndsGame(const char* text) {
  if (NewGameFlag || PliesPlayed < MinGamePliesToSave) return false;
  return !ContinuesLastPosition(text);
}

void FinishGame() {
  GameFinished({EngineName, StartFen, PliesPlayed});
  PliesPlayed = 1;   // finished: a second end (ucinewgame, then quit) does not save it again
}

int DispatchCommand(const char* line) {
  const char* cursor = SkipBlanks(line);

  // 1-3: quit and uci; nothing else before uci has been answered.
  if (MatchKeyword(cursor, "quit")) {
    if (SearchRunning()) return Busy;
    if (!QuitFlag) FinishGame();
    QuitFlag = 1;
    return Done;
  }
  if (MatchKeyword(cursor, "uci")) {
    PrintOptionList();
    Print("uciok\n");
    UciStarted = 2;
    return Done;
  }
  if (UciStarted != 2) return Done;

  // 4-5: position and go need an idle engine.
  if (MatchKeyword(cursor, "position")) return SearchRunning() ? Busy : PositionCommand(cursor);
  if (MatchKeyword(cursor, "go")) return SearchRunning() ? Busy : GoCommand(cursor);

  // 6: ponderhit turns the ponder search into a normal one at once.
  if (MatchKeyword(cursor, "ponderhit")) {
    PonderTimeMs = GetTickCount() - SearchClockStart;
    if (SearchMode == SearchModePonder) RecordGameMove(OpponentColour, Game.index, NoRecordedScore, 0, 0, 0);
    PonderHit();
    return Done;
  }

  // 7: isready waits only when a stop is pending.
  if (MatchKeyword(cursor, "isready")) {
    if (SearchRunning() && StopReason != StopNone) return Busy;
    Print("readyok\n");
    return Done;
  }

  // 8: setoption name ...; "setoption" without "name" is an unknown command.
  if (MatchKeyword(cursor, "setoption")) {
    if (MatchKeyword(cursor, "name")) {
      if (SearchRunning()) return Busy;
      SetOption(cursor);
      return Done;
    }
  } else if (MatchKeyword(cursor, "ucinewgame")) {
    // 9: the game ends here; the next position command sets the board.
    if (SearchRunning()) return Busy;
    FinishGame();
    NewGameFlag = true;
    ClearTable(0);   // soft: learned entries survive
    return Done;
  }

  // 10: anything else is unknown.
  Print("info string unknown UCI <%s> command\n", cursor);
  return Unknown;
}
