// The settings: every option value of the engine and the settings word, with their defaults.
// The shell sets them through setoption; every other floor only reads them.
#pragma once

#include <cstdint>

struct OptionTable {
  uint32_t settingsFlags;
  int threatDepth;          // the negated option value
  int forwardPruning;       // value * 16
  int tablebaseDepth;
  int drawValue;            // -(v * 128 / 100)
  int multiPv;
  long hashSizeKB;
  long nalimovCacheBytes;
  char nalimovPath[160];
  char bookFile[160];
  int bookStatus;           // bit 0 read-only, bit 1 not found
  int bookPositions;
  int eloValue, eloMin, eloMax;
  uint32_t strengthBudget;
  uint32_t settingsFlags2;  // bit 24: AutoSave PGN
};

extern OptionTable Options;
extern char EngineName[64];   // "CORVID 11.2 SP" once the engine has started
// The settings word lives in the option table; this name is how the rest of the engine reads it.
inline uint32_t& SettingsFlags = Options.settingsFlags;

constexpr uint32_t DefaultSettingsFlags = 0xBA24FC83;
constexpr uint32_t SettingsResetKeepMask = 0x05DB000C;

constexpr uint32_t FlagVerboseUci = 1u << 2;
constexpr uint32_t FlagGuiTimeLag = 1u << 3;
constexpr uint32_t FlagSteadySearch = 1u << 4;
constexpr int BookStyleShift = 5;
constexpr uint32_t BookStyleMask = 7u << 5;
constexpr int PlayingStyleShift = 8;
constexpr uint32_t PlayingStyleMask = 3u << 8;
constexpr uint32_t FlagRetainHash = 1u << 10;
constexpr int SelectivityShift = 12;
constexpr uint32_t SelectivityMask = 7u << 12;
constexpr uint32_t FlagSmartSearch = 1u << 15;
constexpr uint32_t FlagOwnBook = 1u << 16;
constexpr uint32_t FlagFutility = 1u << 18;
constexpr uint32_t FlagLimitStrength = 1u << 20;
constexpr uint32_t FlagPonder = 1u << 21;
constexpr uint32_t FlagSwindle = 1u << 25;
constexpr uint32_t FlagChess960 = 1u << 26;
constexpr uint32_t FlagUseTablebases = 1u << 27;
constexpr uint32_t FlagBookLearning = 1u << 28;
constexpr uint32_t FlagPositionLearning = 1u << 29;
constexpr uint32_t FlagCombinations = 1u << 30;
constexpr uint32_t FlagHyperModern = 1u << 31;
constexpr uint32_t Flag2AutoSavePgn = 1u << 24;

constexpr int BookStatusReadOnly = 1;     // Options.bookStatus: the book opened for reading only
constexpr int BookStatusNotFound = 2;     // no book could be opened

// Start-up: the settings word and the search parameters back to their defaults (the bits of
// SettingsResetKeepMask and the other fields keep their values).
void ResetSettings();
