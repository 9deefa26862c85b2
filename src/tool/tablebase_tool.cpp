// corvid-tool tb probe and tb check.
#include "tool/tablebase_tool.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "board/board.h"
#include "core/fatal.h"
#include "tablebases/emd.h"
#include "tablebases/tablebases.h"
#include "tablebases/tables.h"
#include "tool/perft.h"

namespace {

constexpr long ToolCacheBytes = 1L << 20;
constexpr int NameRoom = 512;
const char* const ExtensionText[2] = {"nbw", "nbb"};

// A damaged file met while the tables are registered: the message is in debug.txt.
void ToolFatalExit(int status) {
  std::fprintf(stderr, "corvid-tool: a table file is damaged (see debug.txt); run \"corvid-tool tb check\"\n");
  std::exit(status);
}

// Checks one file; prints its line and returns true when it is sound.
bool CheckFile(FILE* file, const char* name, bool compressed, uint64_t expected) {
  if (!compressed) {
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    if (size < 0 || uint64_t(size) != expected) {
      std::printf("FAIL %s: %ld bytes, expected %" PRIu64 "\n", name, size, expected);
      return false;
    }
    std::printf("ok   %s: %" PRIu64 " entries\n", name, expected);
    return true;
  }
  EmdFile emd;
  if (int error = EmdReadHeader(file, &emd)) {
    std::printf("FAIL %s: header unreadable (error %d)\n", name, error);
    return false;
  }
  bool sound = true;
  if (emd.blockBits != 13) {
    std::printf("FAIL %s: block size %d, expected 8192\n", name, 1 << emd.blockBits);
    sound = false;
  } else if (EmdLength(emd) != expected) {
    std::printf("FAIL %s: holds %" PRIu64 " entries, expected %" PRIu64 "\n", name, EmdLength(emd), expected);
    sound = false;
  } else {
    static uint8_t block[EmdBlockSize];
    for (uint32_t b = 0; b < emd.blockCount && sound; b++)
      if (int error = EmdReadBlock(file, emd, b, block, true)) {
        std::printf("FAIL %s: block %u of %u does not decode (error %d)\n", name, b, emd.blockCount, error);
        sound = false;
      }
    if (sound) std::printf("ok   %s: %" PRIu64 " entries, %u blocks\n", name, expected, emd.blockCount);
  }
  EmdRelease(&emd);
  return sound;
}

}  // namespace

int ProbeTool(const char* dir, const char* fen) {
  FatalExitHook = ToolFatalExit;
  InitTablebases(1, dir, ToolCacheBytes);
  if (tbMaxPieces == 0) {
    std::printf("no tables found in \"%s\"\n", dir);
    return 1;
  }
  if (!SetupPerftPosition(fen)) {
    std::fprintf(stderr, "invalid FEN\n");
    return 1;
  }
  TableMen men;
  const int side = Pos.sideToMove;
  if (!PositionMen(Pos, side, RouteAuto, &men)) {
    std::printf("no table of three to five men holds this material\n");
    return 1;
  }
  const TableInfo& info = Table(men.table);
  const int fileSide = (info.flags & TableSymmetric) ? 0 : men.side;
  const uint64_t index = TableIndex(men);
  std::printf("table %s.%s%s, index ", info.stem, ExtensionText[fileSide],
              men.side != side ? " (colours exchanged)" : "");
  if (index == IllegalIndex)
    std::printf("none\n");
  else
    std::printf("%" PRIu64 " of %" PRIu64 "\n", index, info.length[fileSide]);
  int result;
  if (!ProbeTablebase(Pos, side, &result)) {
    std::printf("no answer (table file missing, unreadable, or an illegal position)\n");
    return 1;
  }
  if (result == 0)
    std::printf("draw\n");
  else if (result == TablebaseMatedNow)
    std::printf("checkmated\n");
  else if (result > 0)
    std::printf("mate in %d\n", result);
  else
    std::printf("mated in %d\n", -result);
  return 0;
}

int CheckTool(const char* dir) {
  int found = 0, failed = 0;
  for (int t = 1; t <= TableCount; t++) {
    const TableInfo& info = Table(t);
    for (int side = 0; side <= ((info.flags & TableSymmetric) ? 0 : 1); side++) {
      char name[NameRoom];
      bool compressed;
      FILE* file = OpenTableFile(dir, t, side, name, sizeof name, &compressed);
      if (!file) continue;
      found++;
      if (!CheckFile(file, name, compressed, info.length[side])) failed++;
      std::fclose(file);
    }
  }
  std::printf("%d files checked, %d failed\n", found, failed);
  return found == 0 || failed ? 1 : 0;
}
