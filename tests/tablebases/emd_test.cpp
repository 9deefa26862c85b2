// The compressed container: every test file decodes to its content; damaged headers are refused.
#include "tablebases/emd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "tablebase_helpers.h"

namespace {

constexpr uint32_t T6Blocks = 30;

std::string DecodeAll(const std::string& path, int* error) {
  *error = -1;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "";
  EmdFile emd;
  std::string out;
  *error = EmdReadHeader(file, &emd);
  if (*error == 0) {
    static uint8_t block[EmdBlockSize];
    for (uint32_t b = 0; b < emd.blockCount && *error == 0; b++) {
      *error = EmdReadBlock(file, emd, b, block, true);
      out.append(reinterpret_cast<char*>(block), EmdBlockLength(emd, b));
    }
    EXPECT_TRUE(*error || out.size() == EmdLength(emd)) << path;
    EmdRelease(&emd);
  }
  std::fclose(file);
  return out;
}

TEST(TablebaseContainer, EveryTestFileDecodes) {
  for (const std::string name : {"t1", "t3", "t4", "t5", "t6", "t7"}) {
    int error;
    std::string decoded = DecodeAll(NalimovData("container/") + name + ".emd", &error);
    EXPECT_EQ(error, 0) << name;
    EXPECT_TRUE(name == "t6" ? decoded.size() == T6Blocks * EmdBlockSize
                             : decoded == ReadFile(NalimovData("container/") + name + ".expected"))
        << name;
  }
}

TEST(TablebaseContainer, RebuiltTablesMatchThePlainFiles) {
  for (const char* table : {"kpk", "knk", "kbk", "krk", "kqk"})
    for (const char* side : {".nbw", ".nbb"}) {
      int error;
      std::string decoded = DecodeAll(ThreeManDir("emd/") + table + side + ".emd", &error);
      EXPECT_EQ(error, 0) << table << side;
      EXPECT_TRUE(decoded == ReadFile(ThreeManDir("uncompressed/") + table + side)) << table << side;
    }
}

TEST(TablebaseContainer, DamagedHeaders) {
  const std::string good = ReadFile(NalimovData("container/t1.emd"));
  const std::tuple<const char*, std::string, int> cases[] = {
      // what is damaged, the bytes, the error
      {"signature", Patched(good, 3, 'X', true), EmdReadError},
      {"header checksum", Patched(good, 100, uint8_t(good[100] ^ 1), false), EmdBroken},
      {"distance count", Patched(good, 71, 23, true), EmdBroken},
      {"format word", Patched(good, 79, 0xF6, true), EmdBroken},
      {"block size beyond 2^16", Patched(good, 70, 17, true), EmdBroken},
      {"header size below 84", Patched(Patched(good, 66, 0, false), 67, 80, false), EmdBroken},
      {"header longer than the file", good.substr(0, 120), EmdOutOfMemory},
      {"shorter than the fixed header", good.substr(0, 79), EmdReadError},
      {"no block", Patched(Patched(Patched(Patched(good, 72, 0, false), 73, 0, false), 74, 0, false), 75, 0, true),
       EmdBroken},
  };
  TempDir dir;
  for (const auto& [what, bytes, error] : cases) {
    WriteFile(dir.File("t.emd"), bytes);
    FILE* file = std::fopen(dir.File("t.emd").c_str(), "rb");
    ASSERT_TRUE(file);
    EmdFile emd;
    EXPECT_EQ(EmdReadHeader(file, &emd), error) << what;
    std::fclose(file);
  }
}

}  // namespace
