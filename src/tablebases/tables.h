// The tables of the Nalimov set for three to five men: names, file lengths, and
// which table answers a position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "board/position.h"
#include "tablebases/index.h"

constexpr int TableCount = 145;        // tables numbered 1..145: 5 of three men, 30 of four, 110 of five
constexpr int LastFourManTable = 35;
constexpr uint8_t TableSymmetric = 1;  // equal material: the White-to-move file serves both sides

// One table. The men besides the kings are listed in the order of the name's letters
// (queen, rook, bishop, knight, pawn), which is also the order of the index slots.
struct TableInfo {
  const char* stem;            // "kqkr"
  uint64_t length[2];          // entries of the White-to-move and Black-to-move files
  uint8_t flags;
  int men;                     // kings included
  int whiteCount, blackCount;  // men besides the king
  uint8_t white[3];            // piece types
  uint8_t black;               // piece type, Empty when Black has only the king
  bool pawns;
  bool whitePawns, blackPawns;

  constexpr TableInfo(const char* name, uint64_t whiteLength, uint64_t blackLength, uint8_t tableFlags)
      : stem(name), length{whiteLength, blackLength}, flags(tableFlags), men(0), whiteCount(0), blackCount(0),
        white{0, 0, 0}, black(0), pawns(false), whitePawns(false), blackPawns(false) {
    int colour = -1;
    for (const char* c = name; *c; c++) {
      men++;
      if (*c == 'k') {
        colour++;
        continue;
      }
      uint8_t type = *c == 'q' ? Queen : *c == 'r' ? Rook : *c == 'b' ? Bishop : *c == 'n' ? Knight : Pawn;
      if (colour == 0) {
        white[whiteCount++] = type;
        whitePawns |= type == Pawn;
      } else {
        black = type;
        blackCount++;
        blackPawns |= type == Pawn;
      }
    }
    pawns = whitePawns || blackPawns;
  }
};

// The table by number, 1..TableCount.
const TableInfo& Table(int number);
// The number of the table with this name, 0 when there is none.
int FindTable(const char* stem);

// Opens the file of a table and side in one directory, trying the name variants in order:
// stem.nbw, stem.nbw.emd, stem_nbw.emd, stem_nbw_emd, stemnbw.emd (".nbb" for Black to move).
// Null when none opens; `name` receives the name opened, `compressed` its form.
FILE* OpenTableFile(const char* dir, int table, int side, char* name, size_t room, bool* compressed);

// How a position is looked up: in the table stored for its colours when there is one, else
// colour-exchanged (RouteAuto); or forced one way (a kpkp position can be read both ways).
constexpr int RouteAuto = 0, RouteDirect = 1, RouteExchanged = 2;

// The men of the position with `side` to move, in the colours of the table that answers it.
// False when no table of three to five men covers the material (lone kings included).
// The en-passant square is kept only for tables where both sides have pawns.
bool PositionMen(const Position& p, int side, int route, TableMen* men);
