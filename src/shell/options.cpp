// The option table: defaults, the reset at start-up and the "uci" option list.
#include "shell/options.h"

#include "shell/engine.h"
#include "shell/platform.h"

namespace {

constexpr const char* AuthorName = "Avery Quill";
constexpr const char* AboutText = "UCI chess engine by Avery Quill";

constexpr int DefaultThreatDepth = -5;
constexpr int DefaultForwardPruning = 160;
constexpr int DefaultTablebaseDepth = 2;
constexpr long BytesPerMB = 1048576;
constexpr long KBPerMB = 1024;
constexpr int BookStatusReadOnly = 1;
constexpr int BookStatusNotFound = 2;

// Names by field value; values outside the named range print as an empty name.
constexpr const char* BookStyleNames[8] = {"", "Wild", "Wide", "Varied", "Tournament", "", "", ""};
constexpr const char* PlayingStyleNames[4] = {"Normal", "Aggressive", "Solid", ""};

const char* OnOff(bool on) { return on ? "true" : "false"; }
const char* FlagText(uint32_t flag) { return OnOff((SettingsFlags & flag) != 0); }

}  // namespace

// The UCI_Elo fields hold fixed figures for now: the start-up calibration
// search, which measures the node rate and derives EloMax from it, sets them
// once it exists (EloMin for 16 nodes/s, EloValue for 1024 nodes/s).
OptionTable Options = {
    .settingsFlags = 0,
    .threatDepth = DefaultThreatDepth,
    .forwardPruning = DefaultForwardPruning,
    .tablebaseDepth = DefaultTablebaseDepth,
    .drawValue = 0,
    .multiPv = 1,
    .hashSizeKB = 16384,
    .nalimovCacheBytes = BytesPerMB,
    .nalimovPath = "",
    .bookFile = "Corvid11Book2.cbk",
    .bookStatus = 0,
    .bookPositions = 0,
    .eloValue = 2270,
    .eloMin = 1250,
    .eloMax = 2270,
    .strengthBudget = 0,
    .settingsFlags2 = Flag2AutoSavePgn,
};

void ResetSettings() {
  SettingsFlags = (SettingsFlags & SettingsResetKeepMask) | (DefaultSettingsFlags & ~SettingsResetKeepMask);
  Options.threatDepth = DefaultThreatDepth;
  Options.forwardPruning = DefaultForwardPruning;
  Options.tablebaseDepth = DefaultTablebaseDepth;
  Options.drawValue = 0;
}

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

// Setting options is not written yet: every setoption command is accepted
// and changes nothing for now.
void SetOption(const char* text) {}
