#include "tablebase_helpers.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "../board/board_helpers.h"
#include "tablebases/emd.h"
#include "tablebases/tablebases.h"

std::string NalimovData(const std::string& relative) {
  return std::string(CORVID_TEST_DATA_DIR) + "/nalimov/" + relative;
}

std::string ThreeManDir(const std::string& form) { return NalimovData("regenerated-3piece/" + form); }

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    std::string field;
    while (std::getline(split, field, ';')) fields.push_back(field);
    rows.push_back(fields);
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
