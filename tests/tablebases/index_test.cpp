// The index of every listed position of every table of three to five men, en passant included.
#include "tablebases/index.h"

#include <gtest/gtest.h>

#include <string>

#include "../board/board_helpers.h"
#include "tablebase_helpers.h"
#include "tablebases/tables.h"

namespace {

constexpr size_t IndexVectorRows = 1482;
constexpr int EnPassantRows = 48;

TEST(TablebaseIndex, EveryVector) {
  BoardReady();
  auto rows = ReadCsv(NalimovData("index_vectors.csv"));
  ASSERT_EQ(rows.size(), IndexVectorRows);
  int enPassant = 0, exchanged = 0;
  for (const auto& row : rows) {
    const std::string& fen = row[0];
    ASSERT_TRUE(SetFen(fen)) << fen;
    const bool flipped = row[4] == "1";
    TableMen men;
    ASSERT_TRUE(PositionMen(Pos, Pos.sideToMove, flipped ? RouteExchanged : RouteDirect, &men)) << fen;
    const TableInfo& info = Table(men.table);
    const int fileSide = (info.flags & TableSymmetric) ? 0 : men.side;
    EXPECT_EQ(info.stem, row[1]) << fen;
    EXPECT_EQ(fileSide ? "nbb" : "nbw", row[2]) << fen;
    EXPECT_EQ(men.side ? "b" : "w", row[3]) << fen;
    EXPECT_EQ(TableIndex(men), std::stoull(row[5])) << fen;
    EXPECT_EQ(info.length[fileSide], std::stoull(row[6])) << fen;

    TableMen chosen;
    ASSERT_TRUE(PositionMen(Pos, Pos.sideToMove, RouteAuto, &chosen));
    EXPECT_TRUE(row[1] == "kpkp" || (chosen.side != Pos.sideToMove) == flipped) << fen;
    enPassant += men.ep >= 0;
    exchanged += flipped;
  }
  EXPECT_EQ(enPassant, EnPassantRows);
  EXPECT_GT(exchanged, 0);
}

}  // namespace
