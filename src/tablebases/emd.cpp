// Reading the compressed table files: the header with the block table and the Huffman
// code, and the decoder of one block.
#include "tablebases/emd.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int FixedHeaderSize = 80;
constexpr int SignatureSize = 64;
constexpr char Signature[] = "Compressed by DATACOMP v 1.0 (c) 1991--1998 Andrew Kadatch\r\n";
constexpr uint32_t FormatWord = 0x004001F5;  // alphabet 1024, long bits 1, long length 15, length bits 5
constexpr uint32_t MinHeaderSize = FixedHeaderSize + 4;
constexpr int ChecksumWords = 2;  // per block
constexpr int LiteralCount = 256;
constexpr int DirectTableLimit = 128;  // length tables up to this size are stored directly
constexpr int LengthCodeSymbols = 64;  // the two small codes that carry the main code lengths
constexpr int LengthCodesMax = 31;
constexpr int InputPadding = 8;

constexpr std::array<uint32_t, 256> BuildChecksumTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t x = i;
    for (int bit = 0; bit < 8; bit++) x = (x & 1) ? x >> 1 : (x >> 1) ^ 0xEDB88320u;
    table[i] = x;
  }
  return table;
}
constexpr std::array<uint32_t, 256> ChecksumTable = BuildChecksumTable();

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Reads bits most significant first; past the end of the data it reads zeros.
struct BitReader {
  const uint8_t* data;
  size_t size;
  size_t next = 0;
  uint64_t buffer = 0;
  int bits = 0;

  BitReader(const uint8_t* d, size_t n) : data(d), size(n) {}
  void Fill() {
    while (bits <= 56) {
      uint64_t byte = next < size ? data[next] : 0;
      next++;
      buffer |= byte << (56 - bits);
      bits += 8;
    }
  }
  uint32_t Peek(int n) {  // n <= 32
    if (bits < n) Fill();
    return n ? uint32_t(buffer >> (64 - n)) : 0;
  }
  void Skip(int n) {
    buffer <<= n;
    bits -= n;
  }
  uint32_t Read(int n) {
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  bool Overrun() const { return next * 8 - size_t(bits) > size * 8; }
};

// The canonical code of a table of lengths (0 = symbol unused). False when the lengths do not
// make a complete code; no symbol at all, or a single one of length 1, make a code of no bits.
bool BuildCode(const uint8_t* lengths, int symbols, EmdCode* code) {
  int used = 0, only = 0;
  uint64_t kraft = 0;
  for (int s = 0; s < symbols; s++)
    if (lengths[s]) {
      if (lengths[s] > EmdCode::MaxLength) return false;
      used++;
      only = s;
      kraft += uint64_t(1) << (EmdCode::MaxLength - lengths[s]);
    }
  code->single = -1;
  if (used <= 1) {
    code->single = only;
    return used == 0 || lengths[only] == 1;
  }
  if (kraft != uint64_t(1) << EmdCode::MaxLength) return false;

  std::memset(code->count, 0, sizeof code->count);
  std::memset(code->fast, 0, sizeof code->fast);
  code->maxLength = 0;
  for (int s = 0; s < symbols; s++) {
    code->count[lengths[s]]++;
    if (lengths[s] > code->maxLength) code->maxLength = lengths[s];
  }
  code->count[0] = 0;
  uint32_t position = 0, first = 0;
  for (int len = 1; len <= EmdCode::MaxLength; len++) {
    code->offset[len] = position;
    code->first[len] = first;
    position += code->count[len];
    first = (first + code->count[len]) << 1;
  }
  uint32_t filled[EmdCode::MaxLength + 1] = {};
  for (int s = 0; s < symbols; s++) {
    int len = lengths[s];
    if (!len) continue;
    uint32_t rank = filled[len]++;
    code->sorted[code->offset[len] + rank] = uint16_t(s);
    if (len <= EmdCode::FastBits) {
      uint32_t value = code->first[len] + rank;
      int spare = EmdCode::FastBits - len;
      for (uint32_t tail = 0; tail < (1u << spare); tail++) code->fast[value << spare | tail] = uint16_t(s << 5 | len);
    }
  }
  return true;
}

int DecodeSymbol(BitReader& reader, const EmdCode& code) {
  if (code.single >= 0) return code.single;
  uint16_t entry = code.fast[reader.Peek(EmdCode::FastBits)];
  if (entry) {
    reader.Skip(entry & 31);
    return entry >> 5;
  }
  for (int len = EmdCode::FastBits + 1; len <= code.maxLength; len++) {
    uint32_t v = reader.Peek(len) - code.first[len];
    if (v < code.count[len]) {
      reader.Skip(len);
      return code.sorted[code.offset[len] + v];
    }
  }
  return -1;
}

// A table of code lengths: all zero; or stored directly with zero runs (small tables); or
// coded by two small codes read first, one for the lengths and one for run counts.
bool ReadLengths(BitReader& reader, int symbols, uint8_t* lengths) {
  std::memset(lengths, 0, size_t(symbols));
  if (reader.Read(1)) return true;
  int i = 0;
  if (symbols <= DirectTableLimit) {
    int width = int(reader.Read(5));
    while (i < symbols) {
      uint32_t value = reader.Read(width);
      if (value > uint32_t(EmdCode::MaxLength)) return false;
      if (value) {
        lengths[i++] = uint8_t(value);
        continue;
      }
      int run = 1 + int(reader.Read(4));
      if (i + run > symbols) return false;
      i += run;
      if (reader.Overrun()) return false;
    }
    return !reader.Overrun();
  }
  uint8_t small[2 * LengthCodeSymbols];
  if (!ReadLengths(reader, 2 * LengthCodeSymbols, small)) return false;
  static EmdCode valueCode, countCode;
  if (!BuildCode(small, LengthCodeSymbols, &valueCode) ||
      !BuildCode(small + LengthCodeSymbols, LengthCodeSymbols, &countCode))
    return false;
  while (i < symbols) {
    int value = DecodeSymbol(reader, valueCode);
    if (value < 0) return false;
    if (value <= LengthCodesMax) {
      lengths[i++] = uint8_t(value);
      continue;
    }
    int count = DecodeSymbol(reader, countCode);
    if (count < 0) return false;
    int64_t repeat =
        count <= LengthCodesMax ? count : LengthCodesMax + (int64_t(1) << (count - 32)) + reader.Read(count - 32);
    repeat += 2;
    if (i + repeat > symbols) return false;
    std::memset(lengths + i, value - 32, size_t(repeat));
    i += int(repeat);
    if (reader.Overrun()) return false;
  }
  return !reader.Overrun();
}

int DecodeBlock(const uint8_t* in, size_t inSize, uint8_t* out, uint32_t outSize, const EmdFile& emd) {
  BitReader reader(in, inSize);
  uint32_t produced = 0;
  while (produced < outSize) {
    int symbol = DecodeSymbol(reader, emd.code);
    if (symbol < 0) return EmdBroken;
    if (symbol < LiteralCount) {
      out[produced++] = uint8_t(symbol);
      continue;
    }
    int t = symbol - LiteralCount, slot = t >> 5, lengthCode = t & 31;
    uint64_t length;
    if (lengthCode <= 14) {
      length = uint64_t(lengthCode) + 1;
    } else {
      int q = lengthCode <= 30 ? lengthCode - 14 : 17 + int(reader.Read(5));
      uint64_t extra = q > 16 ? uint64_t(reader.Read(16)) << (q - 16) | reader.Read(q - 16) : reader.Read(q);
      length = (uint64_t(1) << q) + extra + 14;
    }
    uint32_t distance = emd.distances[slot];
    if (distance == 0 || distance > produced || length > outSize - produced) return EmdBroken;
    for (uint32_t end = produced + uint32_t(length); produced < end; produced++)
      out[produced] = out[produced - distance];
  }
  return 0;
}

}  // namespace

uint32_t EmdChecksum(const uint8_t* data, size_t size) {
  uint32_t x = 0;
  for (size_t i = 0; i < size; i++) x = ChecksumTable[(x ^ data[i]) & 0xFF] ^ (x >> 8);
  return x;
}

void EmdRelease(EmdFile* emd) {
  std::free(emd->offsets);
  std::free(emd->checksums);
  emd->offsets = nullptr;
  emd->checksums = nullptr;
}

uint64_t EmdLength(const EmdFile& emd) { return ((uint64_t(emd.blockCount) - 1) << emd.blockBits) + emd.lastBlockSize; }

uint32_t EmdBlockLength(const EmdFile& emd, uint32_t block) {
  return block + 1 < emd.blockCount ? uint32_t(1) << emd.blockBits : emd.lastBlockSize;
}

int EmdReadHeader(FILE* file, EmdFile* emd) {
  emd->offsets = nullptr;
  emd->checksums = nullptr;

  // Step 1: the fixed part.
  uint8_t fixed[FixedHeaderSize];
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(fixed, 1, FixedHeaderSize, file) != FixedHeaderSize)
    return EmdReadError;
  uint8_t signature[SignatureSize] = {};
  std::memcpy(signature, Signature, sizeof Signature - 1);
  if (std::memcmp(fixed, signature, SignatureSize) != 0) return EmdReadError;
  const uint32_t headerSize = BigEndian32(fixed + 64);
  const int blockBits = fixed[70];
  const uint32_t blockCount = BigEndian32(fixed + 72);
  if (blockBits > EmdMaxBlockBits || headerSize < MinHeaderSize) return EmdBroken;
  if (fixed[71] != EmdDistances || BigEndian32(fixed + 76) != FormatWord) return EmdBroken;
  const uint64_t tableStart = FixedHeaderSize + uint64_t(ChecksumWords) * 4 * blockCount;
  if (blockCount == 0 || tableStart + 4 > headerSize) return EmdBroken;

  // Step 2: the whole header, and its checksum.
  if (std::fseek(file, 0, SEEK_END) != 0) return EmdReadError;
  long fileSize = std::ftell(file);
  if (fileSize < 0 || uint64_t(fileSize) < headerSize) return EmdOutOfMemory;
  uint8_t* header = static_cast<uint8_t*>(std::malloc(headerSize));
  if (!header) return EmdOutOfMemory;
  int result = 0;
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, headerSize, file) != headerSize) {
    result = EmdOutOfMemory;
  } else if (EmdChecksum(header, headerSize - 4) != BigEndian32(header + headerSize - 4)) {
    result = EmdBroken;
  } else {
    emd->offsets = static_cast<uint64_t*>(std::malloc((size_t(blockCount) + 1) * sizeof(uint64_t)));
    emd->checksums = static_cast<uint32_t*>(std::malloc(size_t(blockCount) * ChecksumWords * sizeof(uint32_t)));
    if (!emd->offsets || !emd->checksums) result = EmdOutOfMemory;
  }

  // Step 3: block sizes (stored, then the last block's original size; 0 stands for a whole
  // block), the distances and the code lengths, all in the bits after the block checksums.
  if (result == 0) {
    emd->blockBits = blockBits;
    emd->blockCount = blockCount;
    emd->headerSize = headerSize;
    const uint32_t whole = uint32_t(1) << blockBits;
    for (uint32_t i = 0; i < blockCount * ChecksumWords; i++)
      emd->checksums[i] = BigEndian32(header + FixedHeaderSize + 4 * i);
    BitReader reader(header + tableStart, headerSize - 4 - tableStart);
    uint64_t offset = headerSize;
    for (uint32_t i = 0; i < blockCount; i++) {
      emd->offsets[i] = offset;
      uint32_t stored = reader.Read(blockBits);
      offset += stored ? stored : whole;
    }
    emd->offsets[blockCount] = offset;
    uint32_t last = reader.Read(blockBits);
    emd->lastBlockSize = last ? last : whole;
    for (int d = 0; d < EmdDistances; d++) emd->distances[d] = uint16_t(reader.Read(blockBits));
    uint64_t used = (uint64_t(blockCount) + 1 + EmdDistances) * uint64_t(blockBits);
    BitReader lengthsReader(header + tableStart + (used + 7) / 8, headerSize - 4 - tableStart - (used + 7) / 8);
    uint8_t lengths[EmdSymbols];
    if (reader.Overrun() || (used + 7) / 8 > headerSize - 4 - tableStart ||
        !ReadLengths(lengthsReader, EmdSymbols, lengths) || !BuildCode(lengths, EmdSymbols, &emd->code))
      result = EmdBroken;
  }
  std::free(header);
  if (result) EmdRelease(emd);
  return result;
}

int EmdReadBlock(FILE* file, const EmdFile& emd, uint32_t block, uint8_t* out, bool checkSums) {
  static uint8_t input[(1 << EmdMaxBlockBits) + InputPadding];
  if (block >= emd.blockCount) return EmdBadBlock;
  const uint64_t start = emd.offsets[block];
  const size_t stored = size_t(emd.offsets[block + 1] - start);
  const uint32_t size = EmdBlockLength(emd, block);
  if (fseeko(file, off_t(start), SEEK_SET) != 0 || std::fread(input, 1, stored, file) != stored) return EmdReadError;
  if (stored == size) {
    std::memcpy(out, input, size);
  } else if (int result = DecodeBlock(input, stored, out, size, emd)) {
    return result;
  }
  if (checkSums && (EmdChecksum(out, size) != emd.checksums[ChecksumWords * block] ||
                    EmdChecksum(input, stored) != emd.checksums[ChecksumWords * block + 1]))
    return EmdBroken;
  return 0;
}
