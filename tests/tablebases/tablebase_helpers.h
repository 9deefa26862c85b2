// Shared helpers of the tablebase tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/engine_process.h"

std::string NalimovData(const std::string& relative);  // a path under tests/data/nalimov
std::string ThreeManDir(const std::string& form);      // the rebuilt three-man tables: "uncompressed" or "emd"
// The fields of each data line of a ';'-separated file (comment lines skipped).
std::vector<std::vector<std::string>> ReadCsv(const std::string& path);
// A compressed file with one header byte changed; with `resum` its header checksum is written anew.
std::string Patched(std::string file, size_t at, uint8_t value, bool resum);
// The compressed file with its bit fields written `bits` wide: a sound file of 2^bits-byte blocks.
std::string WithBlockBits(const std::string& file, int bits);

// Registers the tables of `path` (a rescan) with a 1 MB cache; returns tbMaxPieces.
int UseTables(const std::string& path);
void NoTables();  // forgets every table (a scan of a directory that does not exist)

// The working directory changed for the lifetime of the object.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir);
  ~InDirectory();

 private:
  std::string previous_;
};
