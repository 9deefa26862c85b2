#include "book/book_helpers.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "board/board.h"
#include "eval/eval.h"
#include "search/ordering.h"
#include "core/settings.h"
#include "tool/book_tool.h"

void BookTestReady() {
  static bool ready = false;
  if (!ready) {
    InitBoardTables();
    InitEvaluation();
    ready = true;
  }
  ResetSettings();
  CountEveryPromotion = false;
  PlayLine("");
}

bool PlayLine(const std::string& line) {
  ResetGameState();
  SetupPosition(2, SetupAllCastling);
  std::istringstream in(line);
  for (std::string token; in >> token;) {
    Move m = ParseMoveText(token.c_str());
    if (!m || !IsPseudoLegal(Game.side, &m) || !PlayGameMove(m, Game.side)) return false;
    Game.side ^= 1;
  }
  return true;
}

BookRecord MakeBookRecord(const TestBookMove& m) {
  PlayLine(m.line);
  Move move = ParseMoveText(m.move.c_str());
  BookRecord r;
  r.bookKey = BookKey(Pos.key, Game.side);
  r.bookMove = uint16_t((move & BookMoveMask) | (m.staticWeight << BookStaticShift));
  r.bookInfo = uint16_t(m.learned | m.marks | (BookCheckByte(Pos.key) << BookCheckShift));
  PlayLine("");
  return r;
}

void WriteTestBook(const std::string& path, const std::vector<TestBookMove>& moves) {
  std::vector<BookRecord> records;
  for (const TestBookMove& m : moves) records.push_back(MakeBookRecord(m));
  std::stable_sort(records.begin(), records.end(),
                   [](const BookRecord& a, const BookRecord& b) { return a.bookKey < b.bookKey; });
  WriteBookFile(path.c_str(), records);
  Options.bookStatus = 0;
  OpenBook(path.c_str());
}

std::vector<BookRecord> ReadBookFile(const std::string& path) {
  std::string bytes = FileBytes(path);
  std::vector<BookRecord> records;
  for (size_t at = BookHeaderBytes; at + BookRecordBytes <= bytes.size(); at += BookRecordBytes)
    records.push_back(DecodeBookRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at)));
  return records;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
