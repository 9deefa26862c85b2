#include "book/book_helpers.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "../board/board_helpers.h"
#include "board/board.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "record/record.h"
#include "tool/book_tool.h"

void BookTestReady() {
  BoardReady();
  SettingsFlags &= ~FlagLimitStrength;  // the reset keeps the strength limit as it was
  Options.settingsFlags2 |= Flag2AutoSavePgn;
  ClearGameRecord();
  std::remove(AutoSaveFileName);
}

bool PlayLine(const std::string& line, const std::string& fen) {
  ResetGameState();
  if (fen.empty())
    SetupPosition(2, SetupAllCastling);
  else if (!ParseFen(fen.c_str()))
    return false;
  std::istringstream in(line);
  for (std::string token; in >> token;)
    if (!Play(token)) return false;
  return true;
}

static BookRecord MakeRecord(const TestBookMove& m) {
  PlayLine(m.line);
  Move move = ParseMoveText(m.move.c_str());
  BookRecord r{BookKey(Pos.key, Game.side), uint16_t((move & BookMoveMask) | (m.staticWeight << BookStaticShift)),
               uint16_t((m.learned | BookCheckByte(Pos.key) << BookCheckShift) ^ m.marks)};
  PlayLine("");
  return r;
}

void WriteTestBook(const std::string& path, const std::vector<TestBookMove>& moves) {
  std::vector<BookRecord> records;
  for (const TestBookMove& m : moves) records.push_back(MakeRecord(m));
  std::stable_sort(records.begin(), records.end(),
                   [](const BookRecord& a, const BookRecord& b) { return a.bookKey < b.bookKey; });
  WriteBookFile(path.c_str(), records);
  Options.bookStatus = 0;
  OpenBook(path.c_str());
}

BookRecord RecordIn(const std::string& path, const std::string& line, const std::string& move) {
  const BookRecord wanted = MakeRecord({line, move, 0, 0});
  const std::string bytes = ReadFile(path);
  for (size_t at = BookHeaderBytes; at + BookRecordBytes <= bytes.size(); at += BookRecordBytes) {
    BookRecord r = DecodeBookRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at));
    if (r.bookKey == wanted.bookKey && RecordCheckByte(r) == RecordCheckByte(wanted) &&
        (r.bookMove & BookMoveMask) == (wanted.bookMove & BookMoveMask))
      return r;
  }
  return {};
}

std::string BookHeader(uint32_t count) { return {char(count), char(count >> 8), char(count >> 16), char(count >> 24)}; }
