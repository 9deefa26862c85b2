#include "tablebase_helpers.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tablebases/emd.h"
#include "tablebases/tablebases.h"

std::string NalimovData(const std::string& relative) {
  return std::string(CORVID_TEST_DATA_DIR) + "/nalimov/" + relative;
}

std::string ThreeManDir(const std::string& form) { return NalimovData("regenerated-3piece/" + form); }

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.emplace_back();
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, ';');) rows.back().push_back(field);
  }
  return rows;
}

std::string Patched(std::string file, size_t at, uint8_t value, bool resum) {
  file[at] = char(value);
  if (resum) {
    auto byte = [&](size_t i) { return uint32_t(uint8_t(file[i])); };
    uint32_t size = byte(64) << 24 | byte(65) << 16 | byte(66) << 8 | byte(67);
    uint32_t sum = EmdChecksum(reinterpret_cast<const uint8_t*>(file.data()), size - 4);
    for (int i = 0; i < 4; i++) file[size - 4 + i] = char(sum >> (24 - 8 * i));
  }
  return file;
}

std::string WithBlockBits(const std::string& file, int bits) {
  auto byte = [&](size_t i) { return uint32_t(uint8_t(file[i])); };
  const uint32_t oldHeader = byte(64) << 24 | byte(65) << 16 | byte(66) << 8 | byte(67);
  const int oldBits = int(byte(70));
  const uint32_t blocks = byte(72) << 24 | byte(73) << 16 | byte(74) << 8 | byte(75);
  const size_t fieldsAt = 80 + 8 * size_t(blocks), fields = blocks + 25;
  std::string packed;
  uint64_t acc = 0;
  int held = 0;
  for (size_t f = 0; f < fields; f++) {
    uint32_t value = 0;
    for (int b = 0; b < oldBits; b++) {
      size_t bit = f * oldBits + b;
      value = value << 1 | (byte(fieldsAt + bit / 8) >> (7 - bit % 8) & 1);
    }
    acc = acc << bits | value;
    for (held += bits; held >= 8; held -= 8) packed += char(acc >> (held - 8));
  }
  if (held) packed += char(acc << (8 - held));
  const size_t lengthsAt = fieldsAt + (fields * oldBits + 7) / 8;
  std::string out = file.substr(0, fieldsAt) + packed + file.substr(lengthsAt, oldHeader - 4 - lengthsAt) + "0000";
  const uint32_t header = uint32_t(out.size());
  for (int i = 0; i < 4; i++) out[64 + i] = char(header >> (24 - 8 * i));
  return Patched(out, 70, uint8_t(bits), true) + file.substr(oldHeader);
}

int UseTables(const std::string& path) {
  InitTablebases(1, path.c_str(), 1L << 20);
  return tbMaxPieces;
}

void NoTables() { InitTablebases(1, "/nonexistent-corvid-tables", 1L << 20); }

InDirectory::InDirectory(const std::string& dir) {
  char here[4096];
  if (getcwd(here, sizeof here)) previous_ = here;
  if (chdir(dir.c_str()) != 0) previous_.clear();
}

InDirectory::~InDirectory() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) previous_.clear();
}
