// The book file, its window of records and the probe at the root.
#include "book/book.h"

#include "board/board.h"
#include "core/settings.h"

FILE* BookStream;
BookRecord BookWindow[BookWindowSize];
int BookWindowStart;
int BookWindowEnd;
uint32_t BookSeed = 1;
int LearnBase = -1;
uint64_t LearnBaseKey;

namespace {

constexpr uint32_t BookRandomFactor = 0x139420C5;
bool BookWritable;  // the open book was opened for writing

// Draw masks and thresholds of the four styles: a move is a candidate only
// when its weight w has w >> 2 at least the style's minimum.
constexpr int WildMinimum = 1, WideMinimum = 2, VariedMinimum = 3, TournamentMinimum = 3;
constexpr uint32_t WildFirstMask = 15, WildSecondMask = 127, WideMask = 255, VariedMask = 7, TournamentMask = 63;
constexpr uint32_t TournamentScale = 256, TournamentWonScale = 512;
constexpr int TournamentLostShift = 10;  // a lost mark divides the score by 1024

// Score of one candidate with weight w; 0 when the style does not play it.
uint32_t CandidateScore(int style, int w, bool learning, uint16_t info) {
  const int u = w >> 2;
  switch (style) {
    case BookStyleWild:
      if (u >= WildMinimum) {
        uint32_t r1 = NextBookRandom(), r2 = NextBookRandom();
        return ((r1 & WildFirstMask) + uint32_t(w)) * ((r2 & WildSecondMask) + 1);
      }
      return 0;
    case BookStyleWide:
      if (u >= WideMinimum) return ((NextBookRandom() & WideMask) + 1) * uint32_t(w);
      return 0;
    case BookStyleVaried:
      if (u >= VariedMinimum) return ((NextBookRandom() & VariedMask) + 1) * uint32_t(w);
      return 0;
    case BookStyleTournament:
      if (u >= TournamentMinimum) {
        uint32_t b = 1u << u;
        uint32_t base = ((uint32_t(w & 3) * b) & ~3u) + 4 * b;
        uint32_t s = base * TournamentScale;
        if (learning) {
          if (info & BookWonMark) s = base * TournamentWonScale;
          if (info & BookLostMark) s >>= TournamentLostShift;
        }
        return ((NextBookRandom() & TournamentMask) + 1) * s;
      }
      return 0;
    default:
      return 0;
  }
}

bool OwnKingAttacked(int side) { return Pos.attackTable[side ^ 1][Pos.kingSquare(side)].counts != 0; }

}  // namespace

void EncodeBookRecord(const BookRecord& r, unsigned char* bytes) {
  for (int i = 0; i < 4; i++) bytes[i] = uint8_t(r.bookKey >> (8 * i));
  bytes[4] = uint8_t(r.bookMove);
  bytes[5] = uint8_t(r.bookMove >> 8);
  bytes[6] = uint8_t(r.bookInfo);
  bytes[7] = uint8_t(r.bookInfo >> 8);
}

BookRecord DecodeBookRecord(const unsigned char* bytes) {
  BookRecord r;
  r.bookKey = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
  r.bookMove = uint16_t(bytes[4] | bytes[5] << 8);
  r.bookInfo = uint16_t(bytes[6] | bytes[7] << 8);
  return r;
}

void CloseBook() {
  if (BookStream) fclose(BookStream);
  BookStream = nullptr;
  BookWritable = false;
  BookWindowStart = BookWindowEnd = 0;
}

int OpenBook(const char* path) {
  // Step 1: close the open book.
  CloseBook();
  Options.bookPositions = 0;

  // Step 2: read-write if possible (learning writes into it), else read-only.
  BookStream = fopen(path, "r+b");
  BookWritable = BookStream != nullptr;
  if (!BookStream) {
    BookStream = fopen(path, "rb");
    Options.bookStatus |= BookStream ? BookStatusReadOnly : BookStatusNotFound;
  }

  // Step 3: the little-endian record count at offset 0. A file without a
  // readable count is no book: it reads as not found rather than loaded.
  unsigned char count[BookHeaderBytes];
  if (!BookStream || fseek(BookStream, 0, SEEK_SET) != 0 || fread(count, 1, sizeof count, BookStream) != sizeof count) {
    CloseBook();
    Options.bookStatus = (Options.bookStatus & ~BookStatusReadOnly) | BookStatusNotFound;
    SettingsFlags &= ~FlagOwnBook;
    return 0;
  }
  Options.bookPositions =
      int32_t(uint32_t(count[0]) | uint32_t(count[1]) << 8 | uint32_t(count[2]) << 16 | uint32_t(count[3]) << 24);

  // Step 4.
  SettingsFlags |= FlagOwnBook;
  return 1;
}

int ReadBookRecords(int start, int count) {
  BookWindowStart = start;
  BookWindowEnd = 0;
  const int total = Options.bookPositions;
  if (!BookStream || start < 0 || start >= total || count <= 0) return 0;
  if (count > total - start) count = total - start;
  if (count > BookWindowSize) count = BookWindowSize;
  unsigned char bytes[BookWindowSize * BookRecordBytes];
  if (fseek(BookStream, long(BookHeaderBytes) + long(BookRecordBytes) * start, SEEK_SET) != 0) return 0;
  size_t got = fread(bytes, BookRecordBytes, size_t(count), BookStream);
  if (got < size_t(count)) clearerr(BookStream);
  for (size_t i = 0; i < got; i++) BookWindow[i] = DecodeBookRecord(bytes + i * BookRecordBytes);
  BookWindowEnd = int(got);
  return BookWindowEnd;
}

int WriteBookRecord(int index, const BookRecord& r) {
  if (!BookStream || !BookWritable || index < 0 || index >= Options.bookPositions) return 0;
  unsigned char bytes[BookRecordBytes];
  EncodeBookRecord(r, bytes);
  long offset = long(BookHeaderBytes) + long(BookRecordBytes) * index;
  if (fseek(BookStream, offset, SEEK_SET) != 0 || fwrite(bytes, 1, sizeof bytes, BookStream) != sizeof bytes ||
      fflush(BookStream) != 0) {
    clearerr(BookStream);
    return 0;
  }
  return 1;
}

int FindBookKey(uint32_t key, int* index, int* first) {
  // Steps 1-2: binary search, one record read per step.
  const int64_t total = Options.bookPositions;
  int64_t lo = 0, hi = total, mid = -1;
  bool found = false;
  while (lo <= hi) {
    mid = (lo + hi) / 2;
    if (mid >= total || ReadBookRecords(int(mid), 1) != 1) break;  // a failed read finds nothing
    uint32_t k = BookWindow[0].bookKey;
    if (k == key) {
      found = true;
      break;
    }
    if (key < k)
      hi = mid - 1;
    else
      lo = mid + 1;
  }

  // Step 3: the window around the hit, back to the position's first record.
  if (found) {
    int start = mid > BookWindowBefore ? int(mid) - BookWindowBefore : 0;
    ReadBookRecords(start, BookWindowSize);
    int slot = int(mid) - start;
    if (slot < BookWindowEnd) {
      while (slot > 0 && BookWindow[slot - 1].bookKey == key) slot--;
      *first = slot;
      *index = start + slot;
      return 1;
    }
  }

  // Step 4.
  *index = int(lo);
  *first = -1;
  return 0;
}

Move ProbeBook(int side, uint32_t searchFlags, MoveEntry* begin, MoveEntry* end) {
  // Step 1: a book, a style, and a game still near its last book position.
  const int style = int((searchFlags & BookStyleMask) >> BookStyleShift);
  if (style == 0 || !(searchFlags & FlagOwnBook) || !BookStream) return 0;
  if (LearnBase != -1 && Game.index > LearnBase + BookPliesAfterBase) return 0;

  // Step 2: the position's records.
  const Position& p = Pos;
  const uint32_t key = BookKey(p.key, side);
  int index, first;
  if (!FindBookKey(key, &index, &first)) return 0;
  if (LearnBase < Game.index) LearnBase = Game.index;

  // Step 3: score every record that is a legal, non-repeating move here.
  const bool learning = searchFlags & FlagBookLearning;
  const uint8_t check = BookCheckByte(p.key);
  uint32_t best = 0;
  Move bestMove = 0;
  for (int slot = first; slot < BookWindowEnd && BookWindow[slot].bookKey == key; slot++) {
    const BookRecord& r = BookWindow[slot];
    if (RecordCheckByte(r) != check) continue;
    MoveEntry* entry = begin;
    while (entry < end && (entry->move & BookMoveMask) != (r.bookMove & BookMoveMask)) entry++;
    if (entry == end) continue;

    Move m = Move(entry->move & ~CheckMark);
    MakeMove(m);
    if (OwnKingAttacked(side) || IsRepetition()) {
      UnmakeMove();
      continue;
    }
    if (Pos.InCheck()) entry->move |= CheckMark;

    int w = learning ? LearnedWeight(r) : StaticWeight(r) * 4;
    uint32_t score = CandidateScore(style, w, learning, r.bookInfo);
    UnmakeMove();
    if (score > best) {
      best = score;
      bestMove = entry->move;
    }
  }
  return best > 0 ? bestMove : 0;
}

uint32_t NextBookRandom() {
  BookSeed = BookSeed * BookRandomFactor + 1;
  return BookSeed;
}

void SeedBookRandom(uint32_t ticks) {
  if (ticks != 0) BookSeed = ticks;
}

void ResetLearnWindow() { LearnBase = -1; }

void LearnWindowBeforeMove(Move m) {
  int next = Game.index + 1;
  if (next >= GameHistorySize) return;
  const GameRecord& g = Game.history[next];
  if ((g.move & BookMoveMask) == (m & BookMoveMask) && (g.shellWords[RecordFlagsWord] & RecordBookMove))
    LearnBase = Game.index + 1;
}

void LearnWindowAfterMove() {
  if (Pos.key == LearnBaseKey) LearnBase = Game.index - 2;
}
