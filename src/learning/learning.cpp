// Position learning: reading the learning file into the table, collecting the
// table's pinned entries into it, and writing it as a whole.
#include "learning/learning.h"

#include <cstring>

#include "board/board.h"
#include "core/platform.h"
#include "core/settings.h"
#include "search/search_state.h"

int LearnCount;
uint8_t LearnBuffer[LearnMaxRecords * LearnRecordBytes];
LearnWriteFunction LearnWriteHook;

namespace {

constexpr int LoadBlockRecords = 20;   // the loader reads the file 20 records (320 bytes) at a time
constexpr int LoadDistance = 1;         // learned entries are stored as at the root: mate scores unchanged

uint32_t Read32(const uint8_t* b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24; }
uint16_t Read16(const uint8_t* b) { return uint16_t(b[0] | b[1] << 8); }
void Write32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; i++) b[i] = uint8_t(v >> (8 * i));
}
void Write16(uint8_t* b, uint16_t v) {
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
}

// Opens a learning file and checks its magic; null when it is missing or has another one.
FILE* OpenLearnFile(const char* path) {
  FILE* in = std::fopen(path, "rb");
  if (!in) return nullptr;
  uint8_t magic[LearnMagicBytes];
  if (std::fread(magic, 1, sizeof magic, in) != sizeof magic || Read32(magic) != LearnMagic) {
    std::fclose(in);
    return nullptr;
  }
  return in;
}

// Reads up to LearnMaxRecords whole records of the learning file into the buffer; -1 when the
// file cannot be opened or does not start with the magic.
int ReadLearnFile() {
  FILE* in = OpenLearnFile(LearnFileName);
  if (!in) return -1;
  int count = int(std::fread(LearnBuffer, LearnRecordBytes, LearnMaxRecords, in));
  std::fclose(in);
  return count;
}

// A score beyond the mate value cannot come from a search: such a record is damaged.
bool Plausible(const LearnRecord& r) { return r.score >= -MateValue && r.score <= MateValue; }

std::size_t Write(const void* data, std::size_t bytes, FILE* out) {
  return LearnWriteHook ? LearnWriteHook(data, bytes, out) : std::fwrite(data, 1, bytes, out);
}

// Step 3 of the save: the magic and LearnCount records, through a temporary file
// that replaces the old one only when all of it is on disk.
void WriteLearnFile() {
  FileReplacement out;
  if (!BeginFileReplacement(LearnFileName, &out)) return;   // cannot be created: nothing written
  uint8_t magic[LearnMagicBytes];
  Write32(magic, LearnMagic);
  const std::size_t body = std::size_t(LearnCount) * LearnRecordBytes;
  const bool written = Write(magic, sizeof magic, out.stream) == sizeof magic && Write(LearnBuffer, body, out.stream) == body;
  EndFileReplacement(&out, written);
}

}  // namespace

void EncodeLearnRecord(const LearnRecord& r, uint8_t* bytes) {
  Write32(bytes, uint32_t(r.key));
  Write32(bytes + 4, uint32_t(r.key >> 32));
  Write16(bytes + 8, r.move);
  Write16(bytes + 10, uint16_t(r.score));
  Write16(bytes + 12, r.age);
  Write16(bytes + 14, r.flags);
}

LearnRecord DecodeLearnRecord(const uint8_t* bytes) {
  LearnRecord r;
  r.key = uint64_t(Read32(bytes)) | uint64_t(Read32(bytes + 4)) << 32;
  r.move = Read16(bytes + 8);
  r.score = int16_t(Read16(bytes + 10));
  r.age = Read16(bytes + 12);
  r.flags = Read16(bytes + 14);
  return r;
}

void LoadLearning() {
  // Steps 1-2: a missing file or one with another magic loads nothing.
  FILE* in = OpenLearnFile(LearnFileName);
  if (!in) {
    LearnCount = 0;
    LearnDirty = false;
    return;
  }

  // Step 3: every record into the table of its side, under its own key; the
  // board's key is borrowed for the stores and given back.
  const uint64_t boardKey = Pos.key;
  int count = 0;
  std::size_t got;
  do {
    got = std::fread(LearnBuffer, LearnRecordBytes, LoadBlockRecords, in);
    for (std::size_t i = 0; i < got; i++) {
      const LearnRecord r = DecodeLearnRecord(LearnBuffer + i * LearnRecordBytes);
      count++;
      if (!Plausible(r)) continue;
      Pos.key = r.key;
      StoreEntry(LearnSide(r), uint16_t(r.flags & ProbeFlagsMask), r.score, r.age, LearnDraft(r), LoadDistance, r.move);
    }
  } while (got == LoadBlockRecords);

  // Step 4.
  LearnCount = count;
  Pos.key = boardKey;
  std::fclose(in);
  LearnDirty = false;
}

void MergeLearnedEntry(int side, const TableEntry& entry) {
  // Step 1: the entry's key and data, the side in the flags word.
  const uint64_t data = entry.word1;
  LearnRecord r;
  r.key = entry.word0 ^ entry.word1;
  r.move = Move(data >> 32);
  r.score = int16_t(int((data >> 16) & 0xFFFF) - EntryScoreBias);
  r.age = uint16_t(data >> 48);
  r.flags = uint16_t((uint16_t(data) & ~LearnSideBit) | (side == Black ? LearnSideBit : 0));

  // Step 2: the record of the same position with the same side to move is
  // updated in place (the key alone does not tell the sides apart). Meanwhile
  // the candidate to give way: the largest learning age among the records not
  // younger than the entry, the first on ties.
  int giveWay = -1;
  uint16_t giveWayAge = 0;
  for (int i = 0; i < LearnCount; i++) {
    uint8_t* bytes = LearnBuffer + i * LearnRecordBytes;
    const LearnRecord old = DecodeLearnRecord(bytes);
    if (old.key == r.key && LearnSide(old) == side) {
      EncodeLearnRecord(r, bytes);
      return;
    }
    if (old.age >= r.age && (giveWay < 0 || old.age > giveWayAge)) {
      giveWay = i;
      giveWayAge = old.age;
    }
  }

  // Step 3: appended while there is room, else in place of the candidate, else dropped.
  if (LearnCount < LearnMaxRecords) EncodeLearnRecord(r, LearnBuffer + LearnCount++ * LearnRecordBytes);
  else if (giveWay >= 0) EncodeLearnRecord(r, LearnBuffer + giveWay * LearnRecordBytes);
}

void SaveLearning() {
  // Step 1: the records the file has now.
  LearnCount = ReadLearnFile();
  if (LearnCount < 0) LearnCount = 0;

  // Step 2: every pinned entry, White's table first.
  for (int side = White; side <= Black; side++) {
    const TableEntry* entries = TableEntries(side);
    if (!entries) continue;
    for (uint32_t i = 0; i < EntryCount; i++)
      if (uint16_t(entries[i].word1) & EntryPinned) MergeLearnedEntry(side, entries[i]);
  }

  // Steps 3-4.
  if (LearnCount != 0) WriteLearnFile();
  LearnDirty = false;
}

void FinishLearning() {
  if ((SettingsFlags & FlagPositionLearning) && LearnDirty) SaveLearning();
}
