// Damaged table files end the engine through the fatal-error routine, logged and saved once each.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "../board/board_helpers.h"
#include "core/fatal.h"
#include "tablebase_helpers.h"
#include "tablebases/tablebases.h"

namespace {

int ExitStatus, SavedGames;

class DamagedTables : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();
    ExitStatus = -1;
    SavedGames = 0;
    FatalExitHook = [](int status) { ExitStatus = status; };
    FatalGameSaveHook = [] { SavedGames++; };
  }
  void TearDown() override {
    FatalExitHook = [](int status) { std::exit(status); };
    FatalGameSaveHook = nullptr;
    NoTables();
  }
};

TEST_F(DamagedTables, EndTheEngineWithTheirMessages) {
  const std::string plain = ReadFile(ThreeManDir("uncompressed/kqk.nbw"));
  const std::string packed = ReadFile(ThreeManDir("emd/kqk.nbw.emd"));
  // The file's name and bytes, what the scan prints and the message logged.
  const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
      {"kqk.nbw", plain.substr(0, plain.size() - 1), "*** kqk.nbw corrupted 25629 25629 25628\n",
       "*** kqk.nbw corrupted "},
      {"kqk.nbw.emd", ReadFile(ThreeManDir("emd/kqk.nbb.emd")), "*** kqk.nbw.emd corrupted 25629 25629 28644\n",
       "*** kqk.nbw.emd corrupted "},
      {"kqk.nbw.emd", Patched(packed, 90, uint8_t(packed[90] ^ 4), false), "file broken\n",
       "*** Unable to read kqk.nbw.emd - 6 "},
      {"kqk_nbw.emd", Patched(packed, 0, 'c', true), "read error\n", "*** Unable to read kqk_nbw.emd - 2 "},
      {"kqknbw.emd", WithBlockBits(packed, 14), "", "*** kqknbw.emd: Unsupported block size 16384\n"},
  };
  for (const auto& [name, bytes, printed, message] : cases) {
    TempDir dir;
    InDirectory inside(dir.Path());
    WriteFile(name, bytes);
    for (int round = 1; round <= 2; round++) {
      ExitStatus = -1;
      testing::internal::CaptureStdout();
      EXPECT_EQ(UseTables(""), 0) << name;
      EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
      EXPECT_EQ(std::tuple(ExitStatus, SavedGames), std::tuple(1, round)) << name;
      const std::string logged = round == 2 ? message + message : message;
      EXPECT_EQ(ReadFile("debug.txt"), logged) << name;
      EXPECT_EQ(ReadFile("Corvid11SPAutoSave.pgn"), logged) << name;
    }
    SavedGames = 0;
  }
}

TEST_F(DamagedTables, SoundFilesStayUsable) {
  TempDir dir;
  InDirectory inside(dir.Path());
  WriteFile("kqk.nbw", "too short");
  WriteFile("krk.nbw.emd", ReadFile(ThreeManDir("emd/krk.nbw.emd")));
  testing::internal::CaptureStdout();
  EXPECT_EQ(UseTables(""), 3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(TablebaseFileCount(), 1);
  EXPECT_EQ(ExitStatus, 1);
}

}  // namespace
