// corvid-tool learn show.
#include "tool/learn_tool.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "board/board.h"
#include "learning/learning.h"
#include "search/report.h"
#include "search/tt.h"

namespace {

const char* BoundText(uint16_t flags) {
  switch (flags & BoundMask) {
    case BoundExact: return "exact";
    case BoundLower: return "lower";
    case BoundUpper: return "upper";
    default: return "none";
  }
}

}  // namespace

int ShowLearnFile(const char* path) {
  FILE* in = std::fopen(path, "rb");
  if (!in) {
    std::fprintf(stderr, "learn show: cannot open %s\n", path);
    return 1;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(in);

  const uint32_t magic = bytes.size() >= LearnMagicBytes
                             ? uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24
                             : 0;
  if (bytes.size() < LearnMagicBytes || magic != LearnMagic) {
    std::fprintf(stderr, "learn show: %s is not a learning file\n", path);
    return 1;
  }
  const std::size_t count = (bytes.size() - LearnMagicBytes) / LearnRecordBytes;
  const std::size_t rest = (bytes.size() - LearnMagicBytes) % LearnRecordBytes;
  std::printf("%s: %zu learned positions\n", path, count);
  std::printf("key               side   move     score      bound  draft  age\n");
  for (std::size_t i = 0; i < count; i++) {
    const LearnRecord r = DecodeLearnRecord(bytes.data() + LearnMagicBytes + i * LearnRecordBytes);
    const char* move = r.move ? MoveToText(PlainMove(r.move), TextUci) : "none";
    std::printf("%016" PRIx64 "  %-5s  %-7s  %-9s  %-5s  %5d  %4u\n", r.key, LearnSide(r) == White ? "white" : "black",
                move, ScoreText(r.score, BoundKindExact), BoundText(r.flags), LearnDraft(r), unsigned(r.age));
  }
  if (rest) std::printf("%zu bytes after the last whole record ignored\n", rest);
  return 0;
}
