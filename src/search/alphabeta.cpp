// Interior search and quiescence search. (A plain first version; the full node procedure follows.)
#include "board/board.h"
#include "eval/eval.h"
#include "search/search_state.h"
#include "shell/engine.h"

int PromotionThreat(int, int, int) { return 0; }

int QuiescenceSearch(int ply, int q, int alpha, int beta, int flags) {
  Position& p = Pos;
  PvTable[ply][0] = 0;
  if (--NodeCountdown < 1) CheckTime();
  if (StopReason) return RootMoveScore[p.sideToMove];
  if (ply > SelDepth) SelDepth = ply;
  int side = p.sideToMove;
  bool inCheck = p.InCheck();
  int best = -MateValue;
  int n;
  if (inCheck) {
    n = GenerateEvasions(side, ply, 0, nullptr);
    if (!n) return ply - 8193;
  } else {
    best = Evaluate(side, ply, q, alpha, beta);
    if (best >= beta || ply >= MaxPly - 2) return best;
    if (best > alpha) alpha = best;
    n = GenerateQuiescenceMoves(side, ply, 1);
  }
  MoveEntry* list = MoveListBegin(ply);
  for (int i = 0; i < n; i++) {
    int pick = i;
    for (int j = i + 1; j < n; j++) if (list[j].score > list[pick].score) pick = j;
    MoveEntry e = list[pick]; list[pick] = list[i]; list[i] = e;
    MakeMove(Move(e.move & ~CheckMark));
    if (p.attackTable[side ^ 1][p.kingSquare(side)].counts) { UnmakeMove(); continue; }
    int score = -QuiescenceSearch(ply + 1, q - 1, -beta, -alpha, flags);
    UnmakeMove();
    if (StopReason) return RootMoveScore[side];
    if (score > best) {
      best = score;
      if (score > alpha) {
        alpha = score;
        PvTable[ply][0] = e.move;
        int k = 0;
        while ((PvTable[ply][k + 1] = PvTable[ply + 1][k]) != 0 && k < PvLength - 2) k++;
        PvTable[ply][k + 1] = 0;
      }
      if (score >= beta) break;
    }
  }
  return best;
}

int Search(int ply, int depth, int budget, int alpha, int beta, int flags) {
  Position& p = Pos;
  PvTable[ply][0] = 0;
  if (depth < 1 || ply >= MaxPly - 4) return QuiescenceSearch(ply, 0, alpha, beta, flags);
  if (--NodeCountdown < 1) CheckTime();
  if (StopReason) return RootMoveScore[p.sideToMove];
  int side = p.sideToMove;
  if (p.ply - p.lastIrreversiblePly > 99) return DrawScore[side];
  int n = p.InCheck() ? GenerateEvasions(side, ply, 0, nullptr) : GenerateMoves(side, ply, 0);
  MoveEntry* list = MoveListBegin(ply);
  int best = -MateValue, legal = 0;
  for (int i = 0; i < n; i++) {
    int pick = i;
    for (int j = i + 1; j < n; j++) if (list[j].score > list[pick].score) pick = j;
    MoveEntry e = list[pick]; list[pick] = list[i]; list[i] = e;
    MakeMove(Move(e.move & ~CheckMark));
    if (p.attackTable[side ^ 1][p.kingSquare(side)].counts) { UnmakeMove(); continue; }
    legal++;
    int score = p.ply - p.lastIrreversiblePly > 3 && IsRepetition() ? DrawScore[side]
                                                                     : -Search(ply + 1, depth - 1, budget, -beta, -alpha, flags);
    UnmakeMove();
    if (StopReason) return RootMoveScore[side];
    if (score > best) {
      best = score;
      if (score > alpha) {
        alpha = score;
        PvTable[ply][0] = e.move;
        int k = 0;
        while ((PvTable[ply][k + 1] = PvTable[ply + 1][k]) != 0 && k < PvLength - 2) k++;
        PvTable[ply][k + 1] = 0;
      }
      if (score >= beta) break;
    }
  }
  if (!legal) return p.InCheck() ? ply - 8193 : DrawScore[side];
  return best;
}
