// The settings and their defaults.
#include "core/settings.h"

namespace {

constexpr int DefaultThreatDepth = -5;
constexpr int DefaultForwardPruning = 160;
constexpr int DefaultTablebaseDepth = 2;
constexpr long BytesPerMB = 1048576;

}  // namespace

// The UCI_Elo range stands for speeds of 16 and 1024 nodes per second until
// the start-up calibration sets it from the measured speed.
char EngineName[64];

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

