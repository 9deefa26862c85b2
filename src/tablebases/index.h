// The Nalimov index: where a position's entry stands in its table file.
#pragma once

#include <cstdint>

constexpr uint64_t IllegalIndex = ~uint64_t(0);

// The men of one lookup, in the colours of the table (after any colour exchange).
struct TableMen {
  int table;               // table number, 1..TableCount
  int side;                // the table's side to move: 0 White (.nbw file), 1 Black (.nbb file)
  int whiteKing, blackKing;
  int white[3];            // White's other men in the order of the name's letters
  int black;               // Black's man, -1 when Black has only the king
  int ep;                  // en-passant square (where the capturing pawn lands), -1 when none
};

// The index of the men in the file of their side to move (for a symmetric table the White
// file holds both sides). A placement with no slot at all (touching kings) gives IllegalIndex;
// other illegal placements give some index, often at or beyond the file's length.
uint64_t TableIndex(const TableMen& men);

// Computes what the table's index functions look up (king-pair block starts), so that no probe
// has to. False when the fixed room for them has run out.
bool PrepareTableIndex(int table);
