// Registering table files and probing them: names, paths, cache, damaged blocks, evaluation scores.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include "../board/board_helpers.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "tablebase_helpers.h"
#include "tablebases/tablebases.h"

namespace {

constexpr size_t DtmVectorRows = 1072;
constexpr long MB = 1L << 20;
const char* const KqkWin = "8/8/8/4k3/8/8/1KQ5/8 w - - 0 1";  // mate in 8
const char* const KrkLoss = "8/7K/8/8/5k2/8/8/7R b - - 0 1";  // mated in 15

class Tablebases : public BoardTest {
 protected:
  void TearDown() override {
    TablebaseAllocate = std::malloc;
    NoTables();
  }
  static std::string Probe(const std::string& fen) {
    EXPECT_TRUE(SetFen(fen)) << fen;
    int result;
    if (!ProbeTablebase(Pos, Pos.sideToMove, &result)) return "none";
    if (result == 0) return "draw";
    if (result == TablebaseMatedNow) return "mated_in_0";
    return result > 0 ? "mate_in_" + std::to_string(result) : "mated_in_" + std::to_string(-result);
  }
};

TEST_F(Tablebases, EveryDistanceVectorInBothForms) {
  auto rows = ReadCsv(NalimovData("dtm_vectors_3piece.csv"));
  ASSERT_EQ(rows.size(), DtmVectorRows);
  for (const char* form : {"uncompressed", "emd"}) {
    ASSERT_EQ(UseTables(ThreeManDir(form)), 3);
    EXPECT_EQ(TablebaseFileCount(), 10);
    uint32_t hits = TablebaseHits;
    for (const auto& row : rows) EXPECT_EQ(Probe(row[0]), row[6]) << form << " " << row[0];
    EXPECT_EQ(TablebaseHits - hits, DtmVectorRows);
  }
}

TEST_F(Tablebases, NameFormsAndPath) {
  // The file under regenerated-3piece, and its name in the temporary directory.
  const std::pair<const char*, const char*> forms[] = {{"uncompressed/kqk.nbw", "kqk.nbw"},
      {"emd/kqk.nbw.emd", "kqk.nbw.emd"}, {"emd/kqk.nbw.emd", "kqk_nbw.emd"}, {"emd/kqk.nbw.emd", "kqk_nbw_emd"},
      {"emd/kqk.nbw.emd", "kqknbw.emd"}};
  for (const auto& [source, target] : forms) {
    TempDir dir;
    std::filesystem::copy_file(ThreeManDir(source), dir.File(target));
    EXPECT_EQ(UseTables("/no/such/dir;" + dir.Path() + "/"), 3) << target;
    EXPECT_EQ(Probe(KqkWin), "mate_in_8") << target;
    EXPECT_EQ(Probe("8/8/8/4k3/8/8/1KQ5/8 b - - 0 1"), "none") << target;  // only White's file
  }
  TempDir broken;
  WriteFile(broken.File("kqk.nbw"), "short");
  EXPECT_EQ(UseTables(ThreeManDir("emd") + "," + broken.Path()), 3);
  EXPECT_EQ(Probe(KqkWin), "mate_in_8");
  EXPECT_EQ(UseTables("/no/such/dir"), 0);
  EXPECT_EQ(TablebaseFileCount(), 0);
  InDirectory inside(ThreeManDir("uncompressed"));
  EXPECT_EQ(UseTables(""), 3);
  EXPECT_EQ(Probe(KrkLoss), "mated_in_15");
}

TEST_F(Tablebases, LargestTableFound) {
  TempDir dir;
  std::filesystem::copy_file(ThreeManDir("emd/kqk.nbw.emd"), dir.File("kqk.nbw.emd"));
  EXPECT_EQ(UseTables(dir.Path()), 3);
  EXPECT_EQ(Probe("8/8/8/4k3/8/8/1KQ5/5N2 w - - 0 1"), "none");
  WriteFile(dir.File("kqqk.nbw"), std::string(698739, '\0'));  // a four-man table of draws
  EXPECT_EQ(UseTables(dir.Path()), 4);
  EXPECT_EQ(Probe("8/8/8/4k3/8/8/1KQ5/5Q2 w - - 0 1"), "draw");
  EXPECT_EQ(Probe("8/8/8/4k3/8/8/1KQ5/5QQ1 w - - 0 1"), "none");
}

TEST_F(Tablebases, CacheHalvesWhenMemoryIsShort) {
  static long limit;
  TablebaseAllocate = [](size_t bytes) { return long(bytes) <= limit ? std::malloc(bytes) : nullptr; };
  // Cache asked for (MB), largest block granted, cache obtained, pieces, the size the failure message names.
  const std::tuple<long, long, long, int, long> cases[] = {{256, 3 * MB, 2 * MB, 3, 0}, {256, 256 * MB, 256 * MB, 3, 0},
      {4, MB, MB, 3, 0}, {5, MB, 0, 0, 5 * MB / 4}, {1, MB - 1, 0, 0, MB}, {3, MB - 1, 0, 0, 3 * MB / 2}};
  for (const auto& [cacheMB, granted, allocated, pieces, lastTried] : cases) {
    limit = granted;
    testing::internal::CaptureStdout();
    int ok = InitTablebases(1, ThreeManDir("emd").c_str(), cacheMB * MB);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::tuple(ok, tbMaxPieces, TablebaseCacheBytes()), std::tuple(pieces ? 1 : 0, pieces, allocated));
    const std::string message = "info string *** Cannot allocate " + std::to_string(lastTried) + " bytes of memory\n";
    EXPECT_EQ(out, pieces ? "" : message) << cacheMB;
  }
  limit = 256 * MB;
  EXPECT_EQ(InitTablebases(0, ThreeManDir("emd").c_str(), 8 * MB), 1);
  EXPECT_EQ(TablebaseCacheBytes(), 8 * MB);
  EXPECT_EQ(tbMaxPieces, 3);
  EXPECT_EQ(Probe(KqkWin), "mate_in_8");
}

TEST_F(Tablebases, UndecodableBlockDisablesItsConfiguration) {
  TempDir dir;
  for (const char* name : {"kqk.nbw.emd", "kqk.nbb.emd", "krk.nbb.emd"})
    std::filesystem::copy_file(ThreeManDir("emd/") + name, dir.File(name));
  const std::string sound = ReadFile(dir.File("kqk.nbw.emd"));
  std::string bytes = sound;
  for (size_t i = bytes.size() - 500; i < bytes.size(); i++) bytes[i] = char(0xFF);  // the last block
  WriteFile(dir.File("kqk.nbw.emd"), bytes);
  ASSERT_EQ(UseTables(dir.Path()), 3);
  EXPECT_EQ(Probe("8/4k3/8/8/Q3K3/8/8/8 w - - 0 1"), "none");        // index 25073: the last block
  EXPECT_EQ(Probe(KqkWin), "none");                                  // a sound block, but KQK is off
  EXPECT_EQ(Probe("8/8/8/4k3/8/8/1KQ5/8 b - - 0 1"), "mated_in_8");  // Black to move: another code
  EXPECT_EQ(Probe(KrkLoss), "mated_in_15");
  WriteFile(dir.File("kqk.nbw.emd"), sound);
  ASSERT_EQ(UseTables(dir.Path()), 3);
  EXPECT_EQ(Probe(KqkWin), "mate_in_8");
}

TEST_F(Tablebases, EvaluationScores) {
  ASSERT_EQ(UseTables(ThreeManDir("emd")), 3);
  Options.drawValue = -(20 * 128 / 100);
  SetDrawScores(Black);  // the engine plays Black: a draw is worth 25 to Black, -25 to White
  const std::tuple<const char*, int, int, uint16_t> cases[] = {
      // fen, swindle marker, score, kind
      {KqkWin, 0, 8194 - 2 * 8 - 2, RecordKindWon},
      {"8/8/8/4k3/8/8/1KQ5/8 b - - 0 1", 0, 2 + 2 * 8 - 8193, RecordKindLost},
      {"8/8/5K2/6Qk/8/8/8/8 b - - 0 1", 0, 2 - 8193, RecordKindLost},  // checkmated on the board
      {"8/8/8/8/3k4/8/4P3/4K3 b - - 0 1", 0, (-128 >> 7) + 25, RecordKindCertainDraw},
      {"8/8/8/8/3k4/8/4P3/4K3 w - - 0 1", 0, (128 >> 7) - 25, RecordKindCertainDraw},
      {"8/8/8/8/8/8/1kR5/7K b - - 0 1", 0, (-640 >> 7) + 25, RecordKindCertainDraw},  // the rook falls
      {"8/8/8/8/8/8/1kR5/7K b - - 0 1", 1, 0, 0},  // the swindle marker ignores a table draw
  };
  for (const auto& [fen, swindle, expected, kind] : cases) {
    ASSERT_TRUE(SetFen(fen));
    PrepareEvaluationForSearch(Black, 0);
    SwindleMarker = swindle;
    EvalTrace trace{};
    ActiveEvalTrace = &trace;
    int score = Evaluate(Pos.sideToMove, 2, FullEvalDepth, -16384, 16384);
    ActiveEvalTrace = nullptr;
    EXPECT_EQ(std::tuple(trace.kind, kind ? score : 0), std::tuple(kind, expected)) << fen;
  }
  SwindleMarker = 0;
  Options.drawValue = 0;
  SetDrawScores(White);
}

}  // namespace
