// Finding and registering the table files, the block cache and the probe.
#include "tablebases/tablebases.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/fatal.h"
#include "core/platform.h"
#include "tablebases/emd.h"
#include "tablebases/index.h"
#include "tablebases/tables.h"

int tbMaxPieces = 0;
uint32_t TablebaseHits = 0;
void* (*TablebaseAllocate)(size_t bytes) = std::malloc;

namespace {

constexpr int PathCapacity = 160;                // NalimovPath holds at most 159 characters
constexpr int NameCapacity = PathCapacity + 32;  // a directory, a separator and a file name
constexpr long MinCacheBytes = 1L << 20;
constexpr long CacheEntryBytes = 8260;  // a block and its bookkeeping
constexpr int CacheChains = 32;         // per file: chains by block number modulo 32
constexpr int EntryBits = 13;           // 8192 one-byte entries per block
constexpr int ProbeMapBytes = 5000;     // room for the material codes of up to six men
constexpr int NoEntry = -1;

// The 16-bit values of the table entries: mate in n = 32767 - n, mated in n = n - 32766.
constexpr int NoAnswer = 32767;
constexpr int MatedNowValue = -32766;
constexpr int MatedIn127Value = -32639;

// Seven entries of kppkp with Black to move are "mated in 127 moves", which a byte cannot hold.
constexpr uint64_t MatedIn127Indices[] = {0x0362BC7C, 0x0362DE44, 0x03637648, 0x03639810,
                                          0x038D4F29, 0x040A2CAB, 0x043C778C};

struct TableFile {
  char name[NameCapacity];  // empty while no file is registered
  bool compressed;
  FILE* file;              // opened when first probed
  EmdFile emd;             // header of a compressed file
  int chain[CacheChains];  // cache entries of this file, most recent first
};

struct CacheEntry {
  int lruPrev, lruNext;      // the recency list of all entries, most recent at LruHead
  int chainPrev, chainNext;  // the chain of the entry's file
  int table, side;
  uint32_t block;
  uint8_t data[EmdBlockSize];
};
static_assert(sizeof(CacheEntry) <= size_t(CacheEntryBytes));

TableFile Files[TableCount + 1][2];
char tbPath[PathCapacity];
int ScannedMaxPieces = 0;  // what the last scan found, with or without a cache
long tbCacheBytes = MinCacheBytes;
int FilesRegistered = 0;
uint8_t probeEnabled[ProbeMapBytes];

CacheEntry* Cache = nullptr;
long CacheBytes = 0;
int CacheEntries = 0, CacheUsed = 0;
int LruHead = NoEntry, LruTail = NoEntry, FreeEntries = NoEntry;

// ---- The block cache

void ResetChains() {
  for (auto& table : Files)
    for (TableFile& f : table)
      for (int& head : f.chain) head = NoEntry;
}

void FreeCache() {
  std::free(Cache);
  Cache = nullptr;
  CacheBytes = 0;
  CacheEntries = CacheUsed = 0;
  LruHead = LruTail = FreeEntries = NoEntry;
  ResetChains();
}

// Halves the size from tbCacheBytes until an allocation succeeds, down to 1 MB.
bool AllocateCache() {
  FreeCache();
  long size = tbCacheBytes;
  long tried = size;
  for (; size >= MinCacheBytes; size /= 2) {
    tried = size;
    Cache = static_cast<CacheEntry*>(TablebaseAllocate(size_t(size)));
    if (Cache) break;
  }
  if (!Cache) {
    Print("info string *** Cannot allocate %d bytes of memory\n", int(tried));
    return false;
  }
  CacheBytes = size;
  CacheEntries = int(size / CacheEntryBytes);
  return true;
}

int& ChainHead(const CacheEntry& e) { return Files[e.table][e.side].chain[e.block % CacheChains]; }

void Unlink(int i) {
  CacheEntry& e = Cache[i];
  if (e.lruPrev != NoEntry)
    Cache[e.lruPrev].lruNext = e.lruNext;
  else
    LruHead = e.lruNext;
  if (e.lruNext != NoEntry)
    Cache[e.lruNext].lruPrev = e.lruPrev;
  else
    LruTail = e.lruPrev;
  if (e.chainPrev != NoEntry)
    Cache[e.chainPrev].chainNext = e.chainNext;
  else
    ChainHead(e) = e.chainNext;
  if (e.chainNext != NoEntry) Cache[e.chainNext].chainPrev = e.chainPrev;
}

void LinkFront(int i) {
  CacheEntry& e = Cache[i];
  e.lruPrev = NoEntry;
  e.lruNext = LruHead;
  if (LruHead != NoEntry) Cache[LruHead].lruPrev = i;
  LruHead = i;
  if (LruTail == NoEntry) LruTail = i;
  int& head = ChainHead(e);
  e.chainPrev = NoEntry;
  e.chainNext = head;
  if (head != NoEntry) Cache[head].chainPrev = i;
  head = i;
}

// A free entry, or the least recently used one taken out of its lists.
int TakeEntry() {
  if (FreeEntries != NoEntry) {
    int i = FreeEntries;
    FreeEntries = Cache[i].lruNext;
    return i;
  }
  if (CacheUsed < CacheEntries) return CacheUsed++;
  int i = LruTail;
  Unlink(i);
  return i;
}

// The block of a compressed file holding the entry, decoded into the cache; null when it
// cannot be read or decoded.
const uint8_t* CachedBlock(int table, int side, uint32_t block) {
  TableFile& f = Files[table][side];
  for (int i = f.chain[block % CacheChains]; i != NoEntry; i = Cache[i].chainNext)
    if (Cache[i].block == block) {
      Unlink(i);
      LinkFront(i);
      return Cache[i].data;
    }
  int i = TakeEntry();
  if (EmdReadBlock(f.file, f.emd, block, Cache[i].data, false) != 0) {
    Cache[i].lruNext = FreeEntries;
    FreeEntries = i;
    return nullptr;
  }
  Cache[i].table = table;
  Cache[i].side = side;
  Cache[i].block = block;
  LinkFront(i);
  return Cache[i].data;
}

// The stored byte at `index` of a registered file; false when it cannot be read.
bool ReadEntry(int table, int side, uint64_t index, int8_t* value) {
  TableFile& f = Files[table][side];
  if (!f.file && !(f.file = std::fopen(f.name, "rb"))) return false;
  if (!f.compressed) {
    int c = EOF;
    if (fseeko(f.file, off_t(index), SEEK_SET) == 0) c = std::fgetc(f.file);
    if (c == EOF) return false;
    *value = int8_t(c);
    return true;
  }
  if (!Cache) return false;
  const uint8_t* data = CachedBlock(table, side, uint32_t(index >> EntryBits));
  if (!data) return false;
  *value = int8_t(data[index & (EmdBlockSize - 1)]);
  return true;
}

// The 16-bit value of a stored byte: 0 draw, 1..126 mate in 127 - v, -128 mate in 127,
// -127 mated in 126, -126..-1 mated in v + 126, 127 no answer.
int EntryValue(int8_t v) {
  if (v == 0) return 0;
  if (v == 127) return NoAnswer;
  if (v == -128) return 32640;
  if (v == -127) return -32640;
  return v > 0 ? v + 32640 : v - 32640;
}

// ---- Registering files

void ForgetFiles() {
  for (auto& table : Files)
    for (TableFile& f : table) {
      if (f.file) std::fclose(f.file);
      if (f.compressed) EmdRelease(&f.emd);
      f.file = nullptr;
      f.compressed = false;
      f.name[0] = 0;
    }
  FilesRegistered = 0;
}

// Looks for one file of a table in one directory and registers it. A file that is there but
// damaged ends the engine; false when the file is not available.
bool TakeUpFile(int table, int side, const char* dir) {
  const TableInfo& info = Table(table);

  // Step 1: the first name variant that opens.
  char name[NameCapacity];
  bool compressed = false;
  FILE* file = OpenTableFile(dir, table, side, name, sizeof name, &compressed);
  if (!file) return false;

  // Step 2: the length of the table it holds, from its size or its header.
  EmdFile emd{};
  uint64_t length = 0;
  if (!compressed) {
    if (fseeko(file, 0, SEEK_END) != 0) {
      std::fclose(file);
      FatalError("*** Seek in %s failed\n", name);
      return false;
    }
    length = uint64_t(ftello(file));
  } else {
    int error = EmdReadHeader(file, &emd);
    if (error) {
      if (error == EmdReadError)
        Print("read error\n");
      else if (error == EmdOutOfMemory)
        Print("out of memory\n");
      else if (error == EmdBroken)
        Print("file broken\n");
      else
        Print("error %d\n", error);
      std::fclose(file);
      FatalError2("*** Unable to read %s - %d ", name, error);
      return false;
    }
    if (emd.blockBits != EntryBits) {
      EmdRelease(&emd);
      std::fclose(file);
      FatalError2("*** %s: Unsupported block size %d\n", name, 1 << emd.blockBits);
      return false;
    }
    length = EmdLength(emd);
  }
  std::fclose(file);

  // Step 3: the length check, then what the index functions need.
  const uint64_t expected = info.length[side];
  bool registered = false;
  if (length != expected) {
    Print("*** %s corrupted %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", name, expected, expected, length);
    FatalError("*** %s corrupted ", name);
  } else if (!PrepareTableIndex(table)) {
    FatalError("*** Unable to register %s\n", name);
  } else {
    TableFile& f = Files[table][side];
    std::snprintf(f.name, sizeof f.name, "%s", name);
    f.compressed = compressed;
    f.emd = emd;
    f.file = nullptr;
    FilesRegistered++;
    registered = true;
  }
  if (!registered && compressed) EmdRelease(&emd);
  return registered;
}

// The next directory of the path; false after the last.
bool NextDirectory(const char*& cursor, char* dir) {
  if (!*cursor) return false;
  size_t length = std::strcspn(cursor, ",;");
  std::snprintf(dir, PathCapacity, "%.*s", int(length), cursor);
  cursor += length;
  if (*cursor) cursor++;
  return true;
}

}  // namespace

int ScanTablebases() {
  // Step 1: forget the files and the cache of the last scan.
  FreeCache();
  ForgetFiles();

  // Step 2: every table in every directory, in order; the first directory holding a file keeps it.
  // An empty path stands for the working directory; a directory that does not exist is skipped.
  int highest = 0;
  char dir[PathCapacity];
  const char* cursor = tbPath;
  bool more = tbPath[0] ? NextDirectory(cursor, dir) : (dir[0] = 0, true);
  for (; more; more = NextDirectory(cursor, dir)) {
    if ((tbPath[0] && !dir[0]) || !IsDirectory(dir)) continue;
    for (int t = 1; t <= TableCount; t++)
      for (int side = White; side <= ((Table(t).flags & TableSymmetric) ? White : Black); side++)
        if (!Files[t][side].name[0] && TakeUpFile(t, side, dir)) highest = t;
  }

  // Step 3: the largest number of men.
  return highest == 0 ? 0 : highest <= 5 ? 3 : highest <= LastFourManTable ? 4 : 5;
}

int InitTablebases(int rescan, const char* path, long cacheBytes) {
  std::snprintf(tbPath, sizeof tbPath, "%s", path);
  tbCacheBytes = cacheBytes;
  if (rescan) ScannedMaxPieces = ScanTablebases();
  tbMaxPieces = ScannedMaxPieces;
  if (tbMaxPieces > 0 && !AllocateCache()) {
    tbMaxPieces = 0;
    return 0;
  }
  if (tbMaxPieces > 2) std::memset(probeEnabled, 0xFF, sizeof probeEnabled);
  return 1;
}

int TablebaseFileCount() { return FilesRegistered; }
long TablebaseCacheBytes() { return CacheBytes; }

int ProbeTablebase(const Position& p, int side, int* result) {
  // Step 1: the table of the material, with the colours exchanged where it is stored so.
  const int pieces = __builtin_popcount(p.usedSlots[White]) + __builtin_popcount(p.usedSlots[Black]);
  if (pieces < 3 || pieces > tbMaxPieces) return 0;
  TableMen men;
  if (!PositionMen(p, side, RouteAuto, &men)) return 0;

  // Step 2: the material code (side to move + 2, then a digit per man, Black's men + 5)
  // and its bit in the map of configurations still enabled.
  int code = side + 2;
  for (int colour = White; colour <= Black; colour++)
    for (int type = Pawn; type <= Queen; type++)
      for (int n = __builtin_popcount(p.typeSlots[type][colour]); n > 0; n--) code = code * 10 + type - 1 + 5 * colour;
  const uint8_t bit = uint8_t(1 << (code & 7));
  if (!(probeEnabled[code >> 3] & bit)) return 0;

  // Step 3: the file (a symmetric table keeps both sides in the White file) and the entry.
  const TableInfo& info = Table(men.table);
  const int fileSide = (info.flags & TableSymmetric) ? White : men.side;
  if (!Files[men.table][fileSide].name[0]) return 0;
  const uint64_t index = TableIndex(men);
  if (index >= info.length[fileSide]) return 0;  // a slot of no legal position
  int8_t stored;
  if (!ReadEntry(men.table, fileSide, index, &stored)) {
    probeEnabled[code >> 3] &= uint8_t(~bit);
    return 0;
  }

  // Step 4: the value for the side to move.
  int value = EntryValue(stored);
  if (fileSide == Black && std::strcmp(info.stem, "kppkp") == 0)
    for (uint64_t special : MatedIn127Indices)
      if (index == special) value = MatedIn127Value;
  if (value == NoAnswer) return 0;  // an illegal position
  TablebaseHits++;
  *result = value > 0                ? NoAnswer - value
            : value == 0             ? 0
            : value == MatedNowValue ? TablebaseMatedNow
                                     : MatedNowValue - value;
  return 1;
}
