// The compressed table files (".emd"): a table cut into blocks of 8192 bytes, each
// block compressed on its own (LZ77 matches over 24 fixed distances, one Huffman code
// for the whole file), so that one block can be read and decoded alone.
#pragma once

#include <cstdint>
#include <cstdio>

// Error codes of the reader (the numbers the engine prints).
constexpr int EmdReadError = 2;       // unreadable header or block, or not a compressed table file
constexpr int EmdOutOfMemory = 5;     // no memory, or the header is shorter than it says
constexpr int EmdBroken = 6;          // a field, checksum, code table or block makes no sense
constexpr int EmdBadBlock = 7;        // a block number beyond the file

constexpr int EmdBlockSize = 8192;    // the block size of every table file
constexpr int EmdMaxBlockBits = 16;   // the largest block size a file may declare (2^16)
constexpr int EmdDistances = 24;
constexpr int EmdSymbols = 1024;      // 256 literal bytes, then 24 distances x 32 length codes

// A canonical Huffman code, decoded through a table of its first bits.
struct EmdCode {
  static constexpr int FastBits = 10;
  static constexpr int MaxLength = 31;
  int single;                          // the symbol of a code that reads no bits, -1 otherwise
  int maxLength;
  uint32_t first[MaxLength + 2];       // first code of each length
  uint32_t count[MaxLength + 2];       // symbols of each length
  uint32_t offset[MaxLength + 2];      // where each length starts in `sorted`
  uint16_t sorted[EmdSymbols];         // symbols by (length, symbol)
  uint16_t fast[1 << FastBits];        // symbol << 5 | length for codes of at most FastBits bits, 0 otherwise
};

// What a reader keeps of one file's header.
struct EmdFile {
  int blockBits;                       // log2 of the block size
  uint32_t blockCount;
  uint32_t lastBlockSize;              // original size of the last block
  uint32_t headerSize;
  uint64_t* offsets;                   // blockCount + 1 file offsets: block i is [offsets[i], offsets[i + 1])
  uint32_t* checksums;                 // per block: of the decoded bytes, of the stored bytes
  uint16_t distances[EmdDistances];
  EmdCode code;
};

// Reads and checks the header (signature, fields, header checksum, code table). 0 or an error
// code; on success the file's arrays must be given back with EmdRelease.
int EmdReadHeader(FILE* file, EmdFile* emd);
void EmdRelease(EmdFile* emd);
// The length of the table the file holds.
uint64_t EmdLength(const EmdFile& emd);
uint32_t EmdBlockLength(const EmdFile& emd, uint32_t block);

// Reads and decodes one block into `out` (room for the block size). With `checkSums` the
// stored checksums of the block are verified as well. 0 or an error code.
int EmdReadBlock(FILE* file, const EmdFile& emd, uint32_t block, uint8_t* out, bool checkSums);

// The checksum the format uses (a CRC with its own table), over `size` bytes.
uint32_t EmdChecksum(const uint8_t* data, size_t size);
