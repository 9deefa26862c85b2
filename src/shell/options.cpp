// The "uci" option list and setoption.
#include "shell/options.h"

#include <climits>
#include <cstring>

#include "book/book.h"
#include "learning/learning.h"
#include "search/search_state.h"
#include "search/strength.h"
#include "search/tt.h"
#include "shell/engine.h"
#include "shell/keyword.h"
#include "core/platform.h"
#include "tablebases/tablebases.h"

namespace {

constexpr const char* AuthorName = "Avery Quill";
constexpr const char* AboutText = "UCI chess engine by Avery Quill";

constexpr long BytesPerMB = 1048576;
constexpr long KBPerMB = 1024;

// Names by field value; values outside the named range print as an empty name.
constexpr const char* BookStyleNames[8] = {"", "Wild", "Wide", "Varied", "Tournament", "", "", ""};
constexpr const char* PlayingStyleNames[4] = {"Normal", "Aggressive", "Solid", ""};

const char* OnOff(bool on) { return on ? "true" : "false"; }
const char* FlagText(uint32_t flag) { return OnOff((SettingsFlags & flag) != 0); }

// ---- setoption: value kinds and the effect of each option

enum class OptionKind { Check, Spin, Combo, Text, Button };

constexpr int TextLimit = 160;          // texts of 160 characters or more are refused
constexpr long KBPerHashMB = 1024;
constexpr int ForwardPruningUnit = 16;
constexpr long DrawValueUnit = 128;     // the draw value is stored in internal units, 128 per pawn
constexpr long DrawValueScale = 100;

// `value`: 0/1 for a check, the number of a spin, the word's index for a
// combo; `text` is the value text (text options, Book File and NalimovPath).
using OptionEffect = void (*)(long value, const char* text);

struct OptionRule {
  const char* name;
  OptionKind kind;
  long min, max;                        // spin range
  const char* const* words;             // combo words, in value order
  int wordCount;
  uint32_t flag;                        // a check option that is one bit of SettingsFlags
  OptionEffect effect;                  // the effect beyond the bit, or null
};

void SetField(uint32_t mask, int shift, long value) {
  SettingsFlags = (SettingsFlags & ~mask) | ((uint32_t(value) << shift) & mask);
}
void SetFlag(uint32_t flag, bool on) { SettingsFlags = on ? SettingsFlags | flag : SettingsFlags & ~flag; }

constexpr const char* PlayingStyleWords[] = {"Normal", "Aggressive", "Solid"};
constexpr const char* BookStyleWords[] = {"Wild", "Wide", "Varied", "Tournament"};

void SetPlayingStyle(long index, const char*) { SetField(PlayingStyleMask, PlayingStyleShift, index); }
void SetBookStyle(long index, const char*) { SetField(BookStyleMask, BookStyleShift, index + 1); }
void SetSelectivity(long value, const char*) { SetField(SelectivityMask, SelectivityShift, value); }
void SetForwardPruning(long value, const char*) { Options.forwardPruning = int(value * ForwardPruningUnit); }
void SetDrawValue(long value, const char*) { Options.drawValue = int(-(value * DrawValueUnit / DrawValueScale)); }
void SetThreatDepth(long value, const char*) { Options.threatDepth = int(-value); }
void SetTablebaseDepth(long value, const char*) { Options.tablebaseDepth = int(value); }
void SetMultiPv(long value, const char*) { Options.multiPv = int(value); }

void SetRetainHash(long on, const char*) {
  if (on) {
    SettingsFlags |= FlagRetainHash;
  } else if (SettingsFlags & FlagRetainHash) {
    SettingsFlags &= ~FlagRetainHash;
    ClearTable(0);
  }
}

void ClearHash(long, const char*) { ClearTable(0); }

void SetHash(long megabytes, const char*) {
  // Re-allocating also reloads the learned positions (Position Learning on).
  if (megabytes * KBPerHashMB != Options.hashSizeKB) ResizeTable(megabytes * KBPerHashMB);
}

void SetPositionLearning(long on, const char*) {
  if (on) {
    if (SettingsFlags & FlagPositionLearning) return;
    SettingsFlags |= FlagPositionLearning;
    LoadLearning();
  } else if (SettingsFlags & FlagPositionLearning) {
    if (LearnDirty) SaveLearning();
    SettingsFlags &= ~FlagPositionLearning;
  }
}

void SetNalimovCache(long megabytes, const char*) {
  Options.nalimovCacheBytes = megabytes * BytesPerMB;
  InitTablebases(0, Options.nalimovPath, Options.nalimovCacheBytes);   // the known files stay
}

void SetNalimovPath(long, const char* text) {
  std::strcpy(Options.nalimovPath, text);
  InitTablebases(1, Options.nalimovPath, Options.nalimovCacheBytes);   // a new scan of the path
}

void SetBookFile(long, const char* text) {
  std::strcpy(Options.bookFile, text);
  Options.bookStatus = 0;
  OpenBook(Options.bookFile);   // closes the old book; sets OwnBook, the status and the count
  PrintBookStatus();
}

void SetElo(long elo, const char*) {
  if (elo < Options.eloMin || elo > Options.eloMax) return;
  Options.eloValue = int(elo);
  if (SettingsFlags & FlagLimitStrength) Options.strengthBudget = RateForElo(Options.eloValue);
}

void SetLimitStrength(long on, const char*) {
  SetFlag(FlagLimitStrength, on != 0);
  Options.strengthBudget = on ? RateForElo(Options.eloValue) : 0;
}

void AcceptChess960(long, const char*) {}

void SetAutoSavePgn(long on, const char*) {
  Options.settingsFlags2 = on ? Options.settingsFlags2 | Flag2AutoSavePgn : Options.settingsFlags2 & ~Flag2AutoSavePgn;
}

constexpr OptionRule Check(const char* name, uint32_t flag, OptionEffect effect = nullptr) {
  return {name, OptionKind::Check, 0, 1, nullptr, 0, flag, effect};
}
constexpr OptionRule Spin(const char* name, long min, long max, OptionEffect effect) {
  return {name, OptionKind::Spin, min, max, nullptr, 0, 0, effect};
}
template <int N>
constexpr OptionRule Combo(const char* name, const char* const (&words)[N], OptionEffect effect) {
  return {name, OptionKind::Combo, 0, N - 1, words, N, 0, effect};
}
constexpr OptionRule Text(const char* name, OptionEffect effect) {
  return {name, OptionKind::Text, 0, 0, nullptr, 0, 0, effect};
}
constexpr OptionRule Button(const char* name, OptionEffect effect) {
  return {name, OptionKind::Button, 0, 0, nullptr, 0, 0, effect};
}

// The names are tried in this order: the first group, then the second.
constexpr OptionRule FirstGroup[] = {
    Combo("Playing Style", PlayingStyleWords, SetPlayingStyle),
    Combo("Book Style", BookStyleWords, SetBookStyle),
    Spin("Selectivity", 0, 7, SetSelectivity),
    Check("Steady Search", FlagSteadySearch),
    Check("Futility", FlagFutility),
    Spin("Forward Pruning", 0, 15, SetForwardPruning),
    Spin("Corvid Draw Value", -128, 128, SetDrawValue),   // wider than the -100..100 the list shows
    Check("Retain Hash", 0, SetRetainHash),
    Check("Smart Search", FlagSmartSearch),
    Check("Swindle", FlagSwindle),
    Check("Ponder", FlagPonder),
    Button("Clear Hash", ClearHash),
    Spin("Hash", 1, 2048, SetHash),
    Check("Use Tablebases", FlagUseTablebases),
    Check("Book Learning", FlagBookLearning),
    Check("Position Learning", 0, SetPositionLearning),
    Check("Combinations", FlagCombinations),
    Check("Hyper-Modern Play", FlagHyperModern),
    Spin("Threat Depth", 0, 7, SetThreatDepth),
    Spin("Tablebase Depth", 0, 7, SetTablebaseDepth),
};

constexpr OptionRule SecondGroup[] = {
    Check("OwnBook", FlagOwnBook),
    Spin("MultiPV", 1, 127, SetMultiPv),
    Spin("NalimovCache", 1, 256, SetNalimovCache),
    Text("NalimovPath", SetNalimovPath),
    Text("Book File", SetBookFile),
    Spin("UCI_Elo", LONG_MIN, LONG_MAX, SetElo),   // EloMin..EloMax, checked by SetElo
    Check("UCI_LimitStrength", 0, SetLimitStrength),
    Check("UCI_Chess960", 0, AcceptChess960),
    Check("GUI Time Lag", FlagGuiTimeLag),
    Check("Verbose UCI", FlagVerboseUci),
    Check("AutoSave PGN", 0, SetAutoSavePgn),
};

// A decimal integer at the start of the text (a sign allowed; no digits read
// as 0), held within the long range.
long ReadSpinValue(const char* text) {
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value > LONG_MAX / 10 - 10 ? LONG_MAX / 10 : value * 10 + (*text - '0');
  return negative ? -value : value;
}

// The option's name has been matched; the cursor stands after it. Applies the
// value that follows the word "value" and leaves the cursor on that value.
void ApplyOption(const OptionRule& rule, const char*& cursor) {
  if (rule.kind == OptionKind::Button) {
    rule.effect(0, cursor);
    return;
  }
  if (!MatchKeyword(cursor, "value")) return;   // no value: nothing changes
  const char* word = cursor;
  long value = 0;
  switch (rule.kind) {
    case OptionKind::Check:
      if (MatchKeyword(word, "true"))
        value = 1;
      else if (!MatchKeyword(word, "false"))
        return;
      if (rule.flag) SetFlag(rule.flag, value != 0);
      break;
    case OptionKind::Spin:
      value = ReadSpinValue(cursor);
      if (value < rule.min || value > rule.max) return;
      break;
    case OptionKind::Combo:
      for (value = 0; value < rule.wordCount; ++value)
        if (MatchKeyword(word, rule.words[value])) break;
      if (value == rule.wordCount) return;
      break;
    case OptionKind::Text:
      if (std::strlen(cursor) >= TextLimit) return;
      break;
    case OptionKind::Button:
      break;
  }
  if (rule.effect) rule.effect(value, cursor);
}

template <int N>
void TryGroup(const OptionRule (&group)[N], const char*& cursor) {
  for (const OptionRule& rule : group)
    if (MatchKeyword(cursor, rule.name)) {
      ApplyOption(rule, cursor);
      return;
    }
}

}  // namespace

void PrintBookStatus() {
  const char* status = (Options.bookStatus & BookStatusReadOnly)   ? "READ ONLY BOOK - NO LEARNING"
                       : (Options.bookStatus & BookStatusNotFound) ? "NO BOOK FOUND"
                                                                   : "Loaded OK";
  Print("option name Book Status type string default %s\n", status);
  Print("option name Book Positions type combo default %d var %d\n", Options.bookPositions, Options.bookPositions);
}

void PrintOptionList() {
  const char* bookStyle = BookStyleNames[(SettingsFlags & BookStyleMask) >> BookStyleShift];
  const char* playingStyle = PlayingStyleNames[(SettingsFlags & PlayingStyleMask) >> PlayingStyleShift];

  Print("id name %s\n", EngineName);
  Print("id author %s\n", AuthorName);
  Print("option name Ponder type check default true\n");
  Print("option name OwnBook type check default %s\n", FlagText(FlagOwnBook));
  Print("option name Book File type string default %s\n", Options.bookFile);
  PrintBookStatus();
  Print("option name Book Style type combo default %s var %s var %s var %s var %s\n", bookStyle, BookStyleNames[1],
        BookStyleNames[2], BookStyleNames[3], BookStyleNames[4]);
  Print("option name Book Learning type check default %s\n", FlagText(FlagBookLearning));
  Print("option name Position Learning type check default %s\n", FlagText(FlagPositionLearning));
  Print("option name Hash type spin min 1 max 2048 default %ld\n", Options.hashSizeKB / KBPerMB);
  Print("option name Clear Hash type button\n");
  Print("option name Retain Hash type check default %s\n", FlagText(FlagRetainHash));
  Print("option name Use Tablebases type check default %s\n", FlagText(FlagUseTablebases));
  Print("option name Tablebase Depth type spin min 0 max 7 default %d\n", Options.tablebaseDepth);
  Print("option name NalimovCache type spin min 1 max 256 default %ld\n", Options.nalimovCacheBytes / BytesPerMB);
  Print("option name NalimovPath type string default %s\n", Options.nalimovPath);
  Print("option name Corvid Draw Value type spin min -100 max 100 default %d\n", -Options.drawValue);
  Print("option name Playing Style type combo default %s var %s var %s var %s\n", playingStyle, PlayingStyleNames[0],
        PlayingStyleNames[1], PlayingStyleNames[2]);
  Print("option name Selectivity type spin min 0 max 7 default %ld\n",
        long((SettingsFlags & SelectivityMask) >> SelectivityShift));
  Print("option name Forward Pruning type spin min 0 max 15 default %ld\n", long(Options.forwardPruning >> 4));
  Print("option name Threat Depth type spin min 0 max 7 default %ld\n", long(-Options.threatDepth));
  Print("option name Smart Search type check default %s\n", FlagText(FlagSmartSearch));
  Print("option name Futility type check default %s\n", FlagText(FlagFutility));
  Print("option name Steady Search type check default %s\n", FlagText(FlagSteadySearch));
  Print("option name Combinations type check default %s\n", FlagText(FlagCombinations));
  Print("option name Hyper-Modern Play type check default %s\n", FlagText(FlagHyperModern));
  Print("option name Swindle type check default %s\n", FlagText(FlagSwindle));
  Print("option name GUI Time Lag type check default false\n");
  Print("option name Verbose UCI type check default false\n");
  Print("option name AutoSave PGN type check default true\n");
  Print("option name UCI_Elo type spin min %d max %d default %d\n", Options.eloMin, Options.eloMax, Options.eloValue);
  Print("option name UCI_LimitStrength type check default false\n");
  Print("option name UCI_Chess960 type check default false\n");
  Print("option name MultiPV type spin min 1 max 127 default %d\n", Options.multiPv);
  Print("option name UCI_EngineAbout type string default %s %s\n", EngineName, AboutText);
}

// The option name is matched as one keyword; an option of the first group
// leaves the cursor on its value, where the second group finds no name.
// Unknown names, a missing "value" and refused values change nothing and
// print nothing.
void SetOption(const char* text) {
  const char* cursor = SkipBlanks(text);
  TryGroup(FirstGroup, cursor);
  TryGroup(SecondGroup, cursor);
}
