// Endgame knowledge: the stalemate test and the evaluators of recognised endings.
#include "board/board.h"
#include "board/geometry.h"
#include "eval/eval_internal.h"

// Whether a side that has only king and pawns (and is not in check) has a legal move.
bool HasLegalMove(int side) {
  const Position& p = Pos;
  const int enemy = side ^ 1;
  const int k = p.kingSquare(side);
  for (const uint8_t* t = Geo.kingTargets[k]; *t != EndOfList; t++)
    if (p.colour[*t] != side && !p.attackTable[enemy][*t].counts) return true;
  const int fwd = side == White ? 8 : -8;
  for (uint32_t pawns = p.pawns(side); pawns; pawns &= pawns - 1) {
    int from = p.pieceList[side][LowestSlot(pawns)];
    bool pinned = IsPinned(from, enemy);
    int line = Direction(from, k);   // the pin line, seen from the king
    auto allowed = [&](int to) { return !pinned || Direction(to, k) == line; };
    int ahead = from + fwd;
    if (!p.pieceType[ahead] && allowed(ahead)) return true;
    for (const uint8_t* t = Geo.pawnTargets[side][from]; *t != EndOfList; t++) {
      bool capture = p.colour[*t] == enemy || (*t == p.epSquare && p.epSquare);
      if (capture && allowed(*t)) return true;
    }
  }
  return false;
}

// The evaluators of recognised endings come with the endgame knowledge; until then they
// add nothing and leave the plain score in force.
int BishopPawnsEnding(int, int, int*, int*) { return 0; }
int QueenPawnEnding(int, int, int*, int*) { return 0; }
int RookPawnRookEnding(int, int, int*, int*) { return 0; }
int LoneKingEnding(int, int) { return 0; }
int PawnEnding(int, int score) { return score; }
int KingPawnEnding(int, int, int score, int*) { return score; }
