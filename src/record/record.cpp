// The end of a game: result, book learning, round count and the PGN autosave.
#include "record/record.h"

#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "core/platform.h"
#include "core/settings.h"
#include "search/search_state.h"
#include "tablebases/tablebases.h"

int RoundCount;

namespace {

// Result classes and their PGN texts.
constexpr int ResultNone = 0, ResultDraw = 1, ResultWhiteWon = 2, ResultBlackWon = 3;
constexpr const char* ResultText[4] = {"*", "1/2-1/2", "1-0", "0-1"};

// The result judged from the engine's last score (White's view).
constexpr int DecisiveScore = 256;  // beyond two pawns the game counts as won
constexpr int DrawnScore = 96;      // within three quarters of a pawn as drawn

constexpr int LineLimit = 60;  // a move line is written once it holds more than this
constexpr int LineBufferSize = 256;
constexpr int SanInfoMask = 0x1F;  // piece type and the origin file/rank marks
constexpr int DepthMask = 0x3F;

constexpr const char* PlayingStyleNames[4] = {"Normal", "Aggressive", "Solid", ""};
constexpr const char* BookStyleNames[8] = {"", "Wild", "Wide", "Varied", "Tournament", "", "", ""};

const char* OnOff(bool on) { return on ? "on" : "off"; }

uint16_t& FlagsOf(int ply) { return Game.history[ply].shellWords[RecordFlagsWord]; }

// The result class of a score from White's view.
int ResultOfScore(int s) {
  if (s > DecisiveScore) return ResultWhiteWon;
  if (s < -DecisiveScore) return ResultBlackWon;
  if (s < DrawnScore && s > -DrawnScore) return ResultDraw;
  return ResultNone;
}

// The score comment of an engine move: " 0.31/14} ", " -0.25/11} " or a mate.
// A mate is written as "+M" (White mates) or "-M" (Black mates) and the
// number of moves to mate, as the mating side reports it over UCI.
int FormatScore(char* out, size_t size, int moverScore, int mover, int depth) {
  const int white = mover == White ? moverScore : -moverScore;
  const int magnitude = white < 0 ? -white : white;
  if (magnitude < MateThreshold) {
    int v = white * 100 / 128;
    if (v >= 0) return std::snprintf(out, size, " %d.%02d/%d} ", v / 100, v % 100, depth);
    return std::snprintf(out, size, " -%d.%02d/%d} ", -v / 100, -v % 100, depth);
  }
  if (magnitude == MateThreshold) return std::snprintf(out, size, " MATE N/%d} ", depth);
  const bool moverMates = moverScore > 0;
  int moves = moverMates ? (MateValue + 1 - moverScore) >> 1 : (MateValue + moverScore) >> 1;
  if (moves < 1) moves = 1;
  const bool whiteMates = moverMates == (mover == White);
  return std::snprintf(out, size, " %cM%d/%d} ", whiteMates ? '+' : '-', moves, depth);
}

// The time comment's opening: "{7", "{1:15" or "{1:02:05".
int FormatTime(char* out, size_t size, uint32_t ms) {
  long t = long(ms / 1000);
  if (t < 60) return std::snprintf(out, size, "{%ld", t);
  if (t < 3600) return std::snprintf(out, size, "{%ld:%02ld", t / 60, t % 60);
  return std::snprintf(out, size, "{%01ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
}

void WriteSettings(FILE* out, const GameSummary& game) {
  const uint32_t f = SearchFlags;
  std::fprintf(out, "{CT=%d Hash %ldMb, RetHsh=%s, PosLrn=%s Tbs %d/%ldMb/d=%d L=%s\n", 1, Options.hashSizeKB / 1024,
               OnOff(f & FlagRetainHash), OnOff(f & FlagPositionLearning), TablebaseFileCount(),
               Options.nalimovCacheBytes / 1048576, Options.tablebaseDepth, OnOff(f & FlagGuiTimeLag));
  std::fprintf(out, "Sel=%d Fut=%s ss=%s fp=%d td=%d smart=%s comb=%s %s HM=%s draw=%d swdl=%s\n",
               int((f & SelectivityMask) >> SelectivityShift), OnOff(f & FlagFutility), OnOff(f & FlagSteadySearch),
               Options.forwardPruning / 16, -Options.threatDepth, OnOff(f & FlagSmartSearch),
               OnOff(f & FlagCombinations), PlayingStyleNames[(f & PlayingStyleMask) >> PlayingStyleShift],
               OnOff(f & FlagHyperModern), -Options.drawValue, OnOff(f & FlagSwindle));
  std::fprintf(out, "%s Book=%s/%s Pos=%d BkLrn=%s mpv=%d}\n", Options.bookFile, OnOff(f & FlagOwnBook),
               BookStyleNames[(f & BookStyleMask) >> BookStyleShift], Options.bookPositions,
               OnOff(f & FlagBookLearning), Options.multiPv);
}

}  // namespace

PlyRecord GetGameRecord(int ply) {
  PlyRecord r{};
  if (ply < 0 || ply >= GameHistorySize) return r;
  const GameRecord& g = Game.history[ply];
  r.move = g.move;
  r.mover = g.mover & 1;
  r.score = int16_t(g.shellWords[RecordScoreWord]);
  r.rootFlags = g.shellWords[RecordFlagsWord];
  r.sanInfo = g.sanWord & RecordSanMask;
  r.depth = (g.sanWord >> RecordDepthShift) & DepthMask;
  // The ply's own time; a ply whose time was never recorded shows 0.
  uint32_t earlier = ply >= 2 ? Game.history[ply - 2].extraLong : 0;
  r.timeMs = g.extraLong >= earlier ? g.extraLong - earlier : 0;
  return r;
}

void WritePgn(FILE* out, int engineColour, int resultClass, const GameSummary& game) {
  // Steps 1-7: the tags.
  int year, month, day;
  LocalDate(&year, &month, &day);
  std::fprintf(out, "[Event \"%s\"]\n", AutoSaveFileName);
  std::fprintf(out, "[Site \"\"]\n");
  std::fprintf(out, "[Date \"%04d.%02d.%02d\"]\n", year, month, day);
  std::fprintf(out, "[Round \"%d\"]\n", RoundCount);
  const bool limited = Options.strengthBudget != 0;
  if (engineColour == White) {
    std::fprintf(out, "[White \"%s\"]\n[Black \"Player\"]\n", game.engineName);
    if (limited) std::fprintf(out, "[WhiteElo \"%d\"]\n", Options.eloValue);
  } else {
    std::fprintf(out, "[White \"Player\"]\n[Black \"%s\"]\n", game.engineName);
    if (limited) std::fprintf(out, "[BlackElo \"%d\"]\n", Options.eloValue);
  }
  const char* result = ResultText[resultClass & 3];
  std::fprintf(out, "[Result \"%s\"]\n", result);
  if (Game.setUpFromFen) std::fprintf(out, "[SetUp \"1\"]\n[FEN \"%s\"]\n", game.startFen);

  // Step 8: the settings of the last search.
  WriteSettings(out, game);

  // Step 9: the moves with their comments, in lines of a little over 60 characters.
  char line[LineBufferSize];
  int used = 0;
  const int last = game.pliesPlayed < GameHistorySize ? game.pliesPlayed : GameHistorySize - 1;
  for (int ply = 2; ply <= last; ply++) {
    const PlyRecord r = GetGameRecord(ply);
    const size_t room = sizeof line - size_t(used);
    int n = Game.plyBase + ply;
    if (n % 2 == 0)
      used += std::snprintf(line + used, room, "%d.", n / 2);
    else if (ply == 2)
      used += std::snprintf(line + used, room, "%d...", n / 2);

    char san[16];
    std::snprintf(san, sizeof san, "%s", MoveToText(r.move, uint16_t(TextPgn | (r.sanInfo & SanInfoMask))));
    if (((r.rootFlags & RecordResultKindMask) >> RecordResultKindShift) == RecordKindCheckmate) {
      size_t length = std::strlen(san);
      if (length > 0 && san[length - 1] == '+')
        san[length - 1] = '#';
      else if (length + 1 < sizeof san)
        std::strcat(san, "#");
    }
    used += std::snprintf(line + used, sizeof line - size_t(used), "%s ", san);
    used += FormatTime(line + used, sizeof line - size_t(used), r.timeMs);
    if (!(r.rootFlags & RecordEngineResult)) {
      used += std::snprintf(line + used, sizeof line - size_t(used), "} ");
    } else {
      FlagsOf(ply) &= uint16_t(~RecordEngineResult);  // the same result is not scored twice
      used += FormatScore(line + used, sizeof line - size_t(used), r.score, r.mover, r.depth);
    }
    if (used > LineLimit) {
      std::fprintf(out, "%s\n", line);
      used = 0;
    }
  }

  // Step 10.
  if (used > 0) std::fprintf(out, "%s\n", line);
  std::fprintf(out, "%s\n\n", result);
}

void GameFinished(const GameSummary& game) {
  const int newest = game.pliesPlayed < GameHistorySize - 1 ? game.pliesPlayed : GameHistorySize - 1;

  // Steps 1-2: the engine's last recorded move gives its colour and, while the
  // GUI has not played it back, the result.
  int engineColour = NoColour, resultClass = ResultNone;
  bool resultRecord = false;
  const int next = Game.index + 1;
  if (next < GameHistorySize && (FlagsOf(next) & RecordEngineResult)) {
    const GameRecord& g = Game.history[next];
    engineColour = g.mover & 1;
    int s = int16_t(g.shellWords[RecordScoreWord]);
    resultClass = ResultOfScore(engineColour == Black ? -s : s);
    resultRecord = true;
  } else if (FlagsOf(Game.index) & RecordEngineResult) {
    engineColour = Game.history[Game.index].mover & 1;
    resultRecord = true;
  } else {
    // No result record (a strength limit leaves the mark off, or the game
    // ended on the opponent's move): the engine's colour is that of its last
    // own move, so that the header names the right player.
    for (int ply = newest; ply >= 2 && engineColour == NoColour; ply--)
      if (FlagsOf(ply) & RecordEngineMove) engineColour = Game.history[ply].mover & 1;
  }

  // Step 3.
  if (resultRecord) LearnFromGame(engineColour, resultClass, newest);

  // Step 4.
  RoundCount++;

  // Step 5.
  if ((Options.settingsFlags2 & Flag2AutoSavePgn) && game.pliesPlayed >= MinPliesToSave) {
    if (FILE* out = std::fopen(AutoSaveFileName, "a+")) {
      WritePgn(out, engineColour, resultClass, game);
      std::fclose(out);
    }
  }

  // The game is over whether or not it was written: none of its marks may be
  // learned or shown again.
  ClearGameRecord();
}

void ClearGameRecord() {
  for (GameRecord& g : Game.history) {
    g.shellWords[RecordScoreWord] = 0;
    g.shellWords[RecordFlagsWord] = 0;
    g.sanWord &= RecordSanMask;
    g.learnCode = 0;
    g.extraLong = 0;
  }
}
