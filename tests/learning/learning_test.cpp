// Position learning: learning, merging, loading, switching off, failed saves; whole engines; the tool.
#include "learning/learning.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "board/board.h"
#include "board/board_helpers.h"
#include "book/book.h"
#include "search/report.h"
#include "search/search_state.h"
#include "shell/options.h"
#include "tablebases/tablebase_helpers.h"

namespace {

const Move E2E4 = MakeMoveWord(12, 28), E7E5 = MakeMoveWord(52, 36), G1F3 = MakeMoveWord(6, 21);
constexpr uint64_t KeyA = 0x0123456789ABCDEF, KeyB = 0x1111222233334444, KeyC = 0x5555666677778888;

// A learned record; its move is one the start position allows the side (probes check it).
LearnRecord Rec(uint64_t key, int side, int score, int age, int draft = 10, uint16_t bound = BoundExact) {
  return {key, side == White ? E2E4 : E7E5, int16_t(score), uint16_t(age),
          uint16_t(bound | EntryPinned | draft << EntryDepthShift | (side == Black ? LearnSideBit : 0))};
}

std::string FileImage(const std::vector<LearnRecord>& records, uint32_t magic = LearnMagic) {
  std::string bytes(LearnMagicBytes + records.size() * LearnRecordBytes, '\0');
  for (int i = 0; i < LearnMagicBytes; i++) bytes[i] = char(magic >> (8 * i));
  for (size_t i = 0; i < records.size(); i++)
    EncodeLearnRecord(records[i], reinterpret_cast<uint8_t*>(&bytes[LearnMagicBytes + i * LearnRecordBytes]));
  return bytes;
}

// The learning file's bytes; empty when there is none.
std::string LearnFileBytes() { return std::filesystem::exists(LearnFileName) ? ReadFile(LearnFileName) : ""; }

// Pins a record into the table as the learning store does.
void Pin(const LearnRecord& r) {
  const uint64_t key = Pos.key;
  Pos.key = r.key;
  StoreEntry(LearnSide(r), uint16_t(r.flags & ProbeFlagsMask), r.score, r.age, LearnDraft(r), 1, r.move);
  Pos.key = key;
}

// What the table holds for a key: flags, score, depth, move.
std::tuple<int, int, int, Move> Probe(uint64_t key, int side) {
  const uint64_t saved = Pos.key;
  Pos.key = key;
  TableHit hit{};
  ProbeEntry(side, 1, &hit);
  Pos.key = saved;
  return {hit.flags, hit.flags ? hit.score : 0, hit.flags ? hit.depth : 0, hit.move};
}

class PositionLearning : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardReady();   // start position; Position Learning and Retain Hash on
    inside_ = std::make_unique<InDirectory>(dir_.Path());
    TableAllocatedHook = LoadLearning;
    ResizeTable(0);
    ResizeTable(1024);
    LearnDirty = false;
    LearnBase = -1;
    SearchFlags = SettingsFlags;
  }
  void TearDown() override {
    TableAllocatedHook = nullptr;
    LearnWriteHook = nullptr;
    ResizeTable(0);
    inside_.reset();
  }
  // The end of a search of the game position with e2e4 best.
  static void SearchEnded(int depth, int score, int lowest, int highest, int rootBound = BoundKindExact) {
    RootMoveCount = 1;
    RootMoves[0].line = RootLines[0];
    RootLines[0][1] = E2E4 | CheckMark;
    RootMoves[0].depth = int16_t(depth);
    RootMoves[0].score = int16_t(score);
    RootBound = rootBound;
    LearnFromSearch(White, depth, score, lowest, highest);
  }
  TempDir dir_;
  std::unique_ptr<InDirectory> inside_;
};

TEST_F(PositionLearning, ASearchWhoseScoreSwungIsPinnedWithItsBoundDraftAndAge) {
  constexpr uint32_t Both = FlagPositionLearning | FlagRetainHash;
  // Depth, highest, lowest and last score, root bound, plies from base, options, from a FEN; bound learned.
  const std::tuple<const char*, int, int, int, int, int, int, uint32_t, bool, uint16_t> cases[] = {
      {"+30 to -40, failed low", 5, 30, -40, -40, BoundKindUpper, 10, Both, false, BoundUpper},
      {"+30 to -40, iteration running", 5, 30, -40, -40, BoundKindRunning, 10, Both, false, BoundExact},
      {"+30 to -40, exact", 5, 30, -40, -40, BoundKindExact, 10, Both, false, BoundExact},
      {"+30 to -40, failed high", 5, 30, -40, -40, BoundKindLower, 10, Both, false, BoundLower},
      {"fell by exactly 48", 5, 48, 0, 0, BoundKindExact, 10, Both, false, 0},
      {"rose by 49", 5, 49, 0, 49, BoundKindLower, 10, Both, false, BoundLower},
      {"fell 99 to 400: not above a quarter", 5, 499, 400, 400, BoundKindExact, 10, Both, false, 0},
      {"fell 101 to 400", 5, 501, 400, 400, BoundKindExact, 10, Both, false, BoundExact},
      {"last finished iteration 2", 2, 30, -40, -40, BoundKindExact, 10, Both, false, 0},
      {"49 plies after the base", 5, 30, -40, -40, BoundKindExact, 49, Both, false, BoundExact},
      {"50 plies after the base", 5, 30, -40, -40, BoundKindExact, 50, Both, false, 0},
      {"neither option", 5, 30, -40, -40, BoundKindExact, 10, 0, false, 0},
      {"a game from a FEN", 5, 30, -40, -40, BoundKindExact, 10, Both, true, BoundExact},
  };
  for (const auto& [what, depth, highest, lowest, score, rootBound, pliesFromBase, options, fen, bound] : cases) {
    if (fen) ASSERT_TRUE(SetFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    else BoardReady();
    ClearTable(1);
    std::remove(LearnFileName);
    LearnDirty = false;
    // The root is in the table already, deeper and with another move: the learned entry brings its own.
    StoreEntry(White, uint16_t(BoundLower | CurrentAge), 20, 0, 30, 1, G1F3);
    LearnBase = Game.index - pliesFromBase;
    SearchFlags = options;
    SearchEnded(depth, score, lowest, highest, rootBound);
    EXPECT_EQ(LearnDirty, bound != 0) << what;
    SaveLearning();
    const int age = Game.index - depth + (fen ? 144 : 64);
    EXPECT_EQ(LearnFileBytes(), bound ? FileImage({Rec(Pos.key, White, score, age, depth, bound)}) : "") << what;
  }
}

TEST_F(PositionLearning, SavingMergesThePinnedEntriesIntoTheFile) {
  std::vector<LearnRecord> full, replaced;
  for (int i = 0; i < LearnMaxRecords; i++) full.push_back(Rec(0x9000 + i, i & 1, i, i == 5 ? 120 : i == 7 || i == 9 ? 130 : 100));
  const LearnRecord a = Rec(KeyA, White, 10, 70), aNew = Rec(KeyA, White, 99, 80), aBlack = Rec(KeyA, Black, 10, 70);
  const LearnRecord b = Rec(KeyB, Black, -5, 66), young = Rec(KeyC, White, 1, 110), younger = Rec(KeyC, White, 1, 140);
  replaced = full;
  replaced[7] = young;   // the largest age (130) among those not younger than 110, the first of two
  // The file before, the pinned entries, the file after.
  const std::tuple<const char*, std::string, std::vector<LearnRecord>, std::string> cases[] = {
      {"updated in place", FileImage({a}), {aNew}, FileImage({aNew})},
      {"the other side's record stays", FileImage({aBlack}), {aNew}, FileImage({aBlack, aNew})},
      {"appended", FileImage({a, b}), {young}, FileImage({a, b, young})},
      {"no file: White's table first", "", {b, aNew}, FileImage({aNew, b})},
      {"wrong magic: the table alone", FileImage({a}, 0x4A85F355), {b}, FileImage({b})},
      {"nothing learned, no file", "", {}, ""},
      {"full: the oldest not younger gives way", FileImage(full), {young}, FileImage(replaced)},
      {"full: every record younger, dropped", FileImage(full), {younger}, FileImage(full)},
  };
  for (const auto& [what, file, table, after] : cases) {
    std::remove(LearnFileName);
    if (!file.empty()) WriteFile(LearnFileName, file);
    ClearTable(1);
    for (const LearnRecord& r : table) Pin(r);
    SaveLearning();
    EXPECT_TRUE(LearnFileBytes() == after) << what;   // a full file keeps its size
  }
}

TEST_F(PositionLearning, LoadedPositionsSurviveSoftClearsAReallocationDropsWhatIsUnsaved) {
  WriteFile(LearnFileName, FileImage({Rec(KeyA, White, 77, 70, 12, BoundLower), Rec(KeyA, Black, -33, 71, 9, BoundUpper)}));
  ResizeTable(2048);
  Pin(Rec(KeyB, White, 5, 60));   // learned since, not saved
  LearnDirty = true;
  ClearTable(0);
  for (bool reallocated : {false, true}) {
    EXPECT_EQ(Probe(KeyA, White), std::make_tuple(EntryPinned | BoundLower, 77, 12, E2E4));
    EXPECT_EQ(Probe(KeyA, Black), std::make_tuple(EntryPinned | BoundUpper, -33, 9, E7E5));
    EXPECT_EQ(std::get<0>(Probe(KeyB, White)) != 0, !reallocated);
    EXPECT_EQ(LearnDirty, !reallocated);
    ResizeTable(1024);
  }
}

TEST_F(PositionLearning, DamagedFilesLoadTheirWholeRecordsAndAreWrittenSoundAgain) {
  const LearnRecord a = Rec(KeyA, White, 1, 70), b = Rec(KeyB, Black, 2, 70), c = Rec(KeyC, White, 3, 70);
  const LearnRecord wild = Rec(KeyC + 1, White, 20000, 70);   // beyond any score
  std::string random(3000, '\0');
  std::mt19937 generator(15);
  for (char& ch : random) ch = char(generator());
  // The bytes, the keys loaded and the file saved after c is learned (empty: not checked).
  const std::tuple<const char*, std::string, std::vector<uint64_t>, std::string> cases[] = {
      {"wrong magic", FileImage({a, b}, 0x354F854A), {}, FileImage({c})},
      {"a truncated record", FileImage({a, b}) + FileImage({c}).substr(LearnMagicBytes, 10), {KeyA, KeyB}, FileImage({a, b, c})},
      {"random bytes", random, {}, FileImage({c})},
      {"random records", FileImage({}) + random, {}, ""},
      {"a score beyond mate", FileImage({a, wild}), {KeyA}, FileImage({a, wild, c})},
      {"empty", "", {}, FileImage({c})},
  };
  for (const auto& [what, bytes, loaded, saved] : cases) {
    WriteFile(LearnFileName, bytes);
    ClearTable(1);
    LoadLearning();
    for (uint64_t key : {KeyA, KeyB, KeyC, wild.key}) {
      bool expected = std::find(loaded.begin(), loaded.end(), key) != loaded.end();
      EXPECT_EQ(std::get<0>(Probe(key, White)) || std::get<0>(Probe(key, Black)), expected) << what;
    }
    if (saved.empty()) continue;
    ClearTable(1);
    Pin(c);
    SaveLearning();
    EXPECT_TRUE(LearnFileBytes() == saved) << what;
  }
}

TEST_F(PositionLearning, TheFileIsWrittenBySwitchingLearningOffOrAtShutDownOnlyWhenDirty) {
  auto learn = [](int score) {
    SearchFlags = SettingsFlags;
    SearchEnded(5, score, score, score + 100);
  };
  SetOption("Position Learning value false");
  learn(0);   // Retain Hash alone: learned into the table...
  EXPECT_EQ(std::get<0>(Probe(Pos.key, White)), EntryPinned | BoundExact);
  FinishLearning();   // ...but never written
  SetOption("Position Learning value true");   // a load: nothing unsaved any more
  SetOption("Position Learning value false");
  EXPECT_EQ(LearnFileBytes(), "");
  SetOption("Position Learning value true");
  ASSERT_TRUE(Play("e2e4"));
  learn(-7);
  SetOption("Position Learning value false");   // dirty: written, with both positions
  EXPECT_EQ(LearnFileBytes().size(), LearnMagicBytes + 2u * LearnRecordBytes);
  SetOption("Position Learning value true");
  std::remove(LearnFileName);
  FinishLearning();   // nothing learned since the load
  EXPECT_EQ(LearnFileBytes(), "");
  LearnDirty = true;
  FinishLearning();
  EXPECT_EQ(LearnFileBytes().size(), LearnMagicBytes + 2u * LearnRecordBytes);
}

// Writes stop after KillAt bytes: a failed write here, a SIGKILL in a child.
size_t KillAt, Written;
pid_t TestProcess;
size_t WriteUntil(const void* data, size_t bytes, FILE* out) {
  size_t n = std::fwrite(data, 1, std::min(bytes, KillAt - std::min(KillAt, Written)), out);
  Written += n;
  if (n < bytes && getpid() != TestProcess) {
    std::fflush(out);
    raise(SIGKILL);
  }
  return n;
}

TEST_F(PositionLearning, AnInterruptedSaveLeavesTheOldFile) {
  std::vector<LearnRecord> records;
  for (int i = 0; i < 1000; i++) records.push_back(Rec(0x7000 + i, White, i, 80));
  const std::string old = FileImage(records);
  records.push_back(Rec(KeyA, Black, 5, 90));
  const std::string renewed = FileImage(records);
  Pin(records.back());
  TestProcess = getpid();
  LearnWriteHook = WriteUntil;
  for (size_t at : {size_t(0), size_t(3), size_t(4), size_t(9000), renewed.size() - 1, renewed.size()}) {
    for (bool killed : {false, true}) {
      for (const auto& entry : std::filesystem::directory_iterator(".")) std::filesystem::remove(entry.path());
      WriteFile(LearnFileName, old);
      KillAt = at;
      Written = 0;
      if (!killed) {
        SaveLearning();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1) << "a temporary file left";
      } else if (pid_t child = fork(); child == 0) {
        SaveLearning();
        _exit(0);
      } else {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WIFSIGNALED(status), at < renewed.size()) << at;
      }
      EXPECT_TRUE(ReadFile(LearnFileName) == (at < renewed.size() ? old : renewed)) << at << (killed ? " killed" : "");
    }
  }
}

// ---- Whole engines over pipes, each in a directory of its own.
constexpr int WaitMs = 30000;

// The engine's move for `fen` at `depth`.
std::string BestMove(EngineSession& s, const std::string& fen, int depth, const std::string& before = "") {
  EXPECT_TRUE(s.Search(before + "position fen " + fen + "\ngo depth " + std::to_string(depth) + "\n", WaitMs));
  return s.BestMove();
}

// The first choice leads to a position learned as lost: another move, after any reset.
TEST(LearningSession, ALearnedRefutationChangesTheEnginesMove) {
  const std::string fen = "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 4";
  TempDir plain, learned;
  std::string first;
  {
    EngineSession s(true, plain.Path());
    first = BestMove(s, fen, 6);
    s.Quit();
  }
  BoardReady();
  ASSERT_TRUE(SetFen(fen));
  ASSERT_TRUE(Play(first));
  const uint16_t flags = uint16_t(EntryPinned | BoundExact | 40 << EntryDepthShift | (Game.side ? LearnSideBit : 0));
  WriteFile(learned.File(LearnFileName), FileImage({{Pos.key, 0, 640, 100, flags}}));
  for (const char* restart : {"", "restarted "}) {
    EngineSession s(true, learned.Path());
    for (const char* before : {"", "ucinewgame\n", "setoption name Clear Hash\n", "setoption name Hash value 4\n"})
      EXPECT_NE(BestMove(s, fen, 6, before), first) << restart << before;
    s.Quit();
  }
}

// A position whose score swings in a fresh engine at depth 5 (the tactic is found late).
const char* const RookToE1 = "6k1/6p1/p7/3Pn3/5p2/4rBqP/P4RP1/5QK1 b - - 0 1";

// Quit saves the learning; a fatal error logs, saves the game, exits 1, leaves the file as it was.
TEST(LearningSession, QuitSavesWhatWasLearnedAFatalErrorDoesNot) {
  TempDir dir;
  const std::string learnFile = dir.File(LearnFileName), autoSave = dir.File("Corvid11SPAutoSave.pgn");
  {
    EngineSession s(true, dir.Path());
    EXPECT_EQ(BestMove(s, RookToE1, 5), "e3e1");
    s.Quit();
  }
  BoardReady();
  ASSERT_TRUE(SetFen(RookToE1));
  const std::string learned = ReadFile(learnFile);
  ASSERT_EQ(learned.size(), size_t(LearnMagicBytes + LearnRecordBytes));
  const LearnRecord r = DecodeLearnRecord(reinterpret_cast<const uint8_t*>(learned.data() + LearnMagicBytes));
  EXPECT_EQ(std::make_tuple(r.key, LearnSide(r), r.move, LearnDraft(r), int(r.age)),
            std::make_tuple(Pos.key, int(Black), ParseMoveText("e3e1"), 5, 1 - 5 + 144));

  const std::string table = ReadFile(ThreeManDir("uncompressed") + "/kqk.nbw");
  std::filesystem::create_directory(dir.File("tb"));
  WriteFile(dir.File("tb/kqk.nbw"), table.substr(0, table.size() - 1));
  WriteFile(dir.File("debug.txt"), "earlier\n");
  WriteFile(autoSave, "earlier\n");
  EngineSession s(true, dir.Path());
  BestMove(s, "8/8/2R5/1p2qp1k/1P2r3/2PQ2P1/5K2/8 w - - 0 1", 5);  // Qd1 found late: learned, not saved
  s.engine.Send("position startpos moves e2e4 e7e5\nsetoption name NalimovPath value " + dir.File("tb") + "\n");
  EXPECT_EQ(s.engine.WaitExit(WaitMs), 1);
  const std::string message = "*** " + dir.File("tb/kqk.nbw") + " corrupted ";
  EXPECT_EQ(ReadFile(dir.File("debug.txt")), "earlier\n" + message);
  const std::string games = ReadFile(autoSave);
  EXPECT_TRUE(StartsWith(games, "earlier\n" + message + "[Event ")) << games;
  EXPECT_NE(games.find("\n1.e4 {0} e5 {0} \n*\n"), std::string::npos) << games;
  EXPECT_EQ(ReadFile(learnFile), learned);
}

TEST(LearningTool, ShowListsTheLearnedPositions) {
  TempDir dir;
  const std::string file = dir.File("some.lrn"), wrong = dir.File("wrong.lrn");
  WriteFile(file, FileImage({Rec(KeyA, White, 77, 70, 12, BoundLower), Rec(KeyB, Black, 8185, 140, 7)}) + "12345");
  WriteFile(wrong, FileImage({Rec(KeyA, White, 77, 70)}, 0x4A85F355));
  const std::string listed = file + ": 2 learned positions\n"
                                    "key               side   move     score      bound  draft  age\n"
                                    "0123456789abcdef  white  e2e4     cp 60      lower     12    70\n"
                                    "1111222233334444  black  e7e5     mate 4     exact      7   140\n"
                                    "5 bytes after the last whole record ignored\n";
  const std::tuple<std::string, std::string, int> cases[] = {  // file, output, exit status
      {file, listed, 0},
      {wrong, "learn show: " + wrong + " is not a learning file\n", 1},
      {dir.File("none.lrn"), "learn show: cannot open " + dir.File("none.lrn") + "\n", 1}};
  for (const auto& [path, output, exitStatus] : cases) {
    int status;
    EXPECT_EQ(RunTool("learn show " + path, &status), output);
    EXPECT_EQ(WEXITSTATUS(status), exitStatus);
  }
}

}  // namespace
