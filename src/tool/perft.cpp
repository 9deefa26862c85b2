#include "tool/perft.h"

#include "board/board.h"

uint64_t Perft(int depth, int ply) {
  Position& p = Pos;
  int side = p.sideToMove;
  int count = p.InCheck() ? GenerateEvasions(side, ply, 0, nullptr) : GenerateMoves(side, ply, 0);
  uint64_t leaves = 0;
  MoveEntry* list = MoveListBegin(ply);
  for (int i = 0; i < count; i++) {
    MakeMove(Move(list[i].move & ~CheckMark));
    if (!p.attackTable[side ^ 1][p.kingSquare(side)].counts) leaves += depth > 1 ? Perft(depth - 1, ply + 1) : 1;
    UnmakeMove();
  }
  return leaves;
}

bool SetupPerftPosition(const char* fen) {
  CountEveryPromotion = true;
  ResetGameState();
  return ParseFen(fen) != 0;
}
