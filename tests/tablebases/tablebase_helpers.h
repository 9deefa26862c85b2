// Shared helpers of the tablebase tests: the project's Nalimov test data, temporary table
// directories, and the engine state a test leaves behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/engine_process.h"

// A path under tests/data/nalimov.
std::string NalimovData(const std::string& relative);
// The rebuilt three-man tables: "uncompressed" or "emd".
std::string ThreeManDir(const std::string& form);
// The fields of each data line of a ';'-separated file (comment lines skipped).
std::vector<std::vector<std::string>> ReadCsv(const std::string& path);
// A compressed file with one header byte changed; with `resum` its header checksum is written anew.
std::string Patched(std::string file, size_t at, uint8_t value, bool resum);
// The same compressed file with its bit fields (block sizes, distances) written `bits` wide:
// a sound file that declares blocks of 2^bits bytes.
std::string WithBlockBits(const std::string& file, int bits);

// Registers the tables of `path` (a rescan) with a 1 MB cache; returns tbMaxPieces.
int UseTables(const std::string& path);
// Forgets every table (a scan of a directory that does not exist).
void NoTables();

// The working directory changed for the lifetime of the object.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir);
  ~InDirectory();

 private:
  std::string previous_;
};
