// Game moves, take-backs, the game history and repetition tests.
#include <cstring>

#include "board/board.h"

namespace {

// Keeps the records from `first` on, moved to the start of the history.
void ShiftHistory(int first) {
  Position& p = Pos;
  int count = p.ply - first + 1;
  std::memmove(&Game.history[0], &Game.history[first], size_t(count) * sizeof(GameRecord));
  for (int i = 0; i < count; i++) {
    int prev = Game.history[i].prevLastIrreversiblePly - first;
    Game.history[i].prevLastIrreversiblePly = int16_t(prev < 0 ? 0 : prev);
  }
  p.ply -= first;
  p.lastIrreversiblePly = p.lastIrreversiblePly - first < 0 ? 0 : p.lastIrreversiblePly - first;
  Game.index = p.ply;
}

// Frees history records once the game reaches the end of the history. Normally everything
// since two plies before the last capture or pawn move is kept. When that frees too little
// (a long run of reversible moves), the oldest records are dropped as well; positions that
// far back can no longer repeat within the fifty-move distance that still counts.
constexpr int KeptPliesWhenFull = 200;

void CompactHistory() {
  Position& p = Pos;
  int first = p.lastIrreversiblePly - 2;
  if (first < 1) first = p.ply - KeptPliesWhenFull;
  ShiftHistory(first);
}

void CopyUndoToGame(const UndoRecord& u, GameRecord& g) {
  g.move = u.move;
  g.capturedSlotBit = u.capturedSlotBit;
  g.capturedType = u.capturedType;
  g.mover = u.mover;
  g.capturedMoveCount = u.capturedMoveCount;
  g.prevEpSquare = u.prevEpSquare;
  g.prevLastIrreversiblePly = u.prevLastIrreversiblePly;
  g.historyCheck = u.checkFlag;
  g.prevKey = u.prevKey;
}

void CopyGameToUndo(const GameRecord& g, UndoRecord& u) {
  u = UndoRecord{};
  u.journalCount = NoJournal;   // the game history keeps no threat journal: recompute on unmake
  u.move = Move(g.move & ~CheckMark);
  u.capturedSlotBit = g.capturedSlotBit;
  u.capturedType = g.capturedType;
  u.mover = g.mover;
  u.capturedMoveCount = g.capturedMoveCount;
  u.prevEpSquare = g.prevEpSquare;
  u.prevLastIrreversiblePly = g.prevLastIrreversiblePly;
  u.checkFlag = g.historyCheck;
  u.prevKey = g.prevKey;
}

void SyncGameState() {
  Game.searchRootPly = Pos.ply;
  Game.ply = Pos.ply;
  Game.lastIrreversiblePly = Pos.lastIrreversiblePly;
  Game.epSquare = Pos.epSquare;
}

}  // namespace

int PlayGameMove(Move m, int side) {
  Position& p = Pos;
  // Step 1: game moves pass through the first undo record.
  p.undoTop = 0;

  // Step 2: redo, null move or a new move.
  if (m == 0) {
    if (Game.index + 1 >= GameHistorySize) return 0;
    Game.index++;
    Move stored = Move(Game.history[Game.index].move & ~CheckMark);
    if (stored) MakeMove(stored); else MakeNullMove();
  } else if (m == NullGameMove) {
    MakeNullMove();
    Game.index++;
    CopyUndoToGame(p.undoStack[0], Game.history[Game.index]);
  } else {
    m = Move(m & ~CheckMark);
    int san = SanInfo(m);
    MakeMove(m);
    Game.index++;
    GameRecord& g = Game.history[Game.index];
    CopyUndoToGame(p.undoStack[0], g);
    g.sanWord = uint16_t((g.sanWord & ~0x3FFu) | (san & 0x3FF));
    Game.changed = 1;
  }

  // Step 3: a checking move is marked in the history.
  if (p.undoStack[0].checkFlag) Game.history[Game.index].move |= CheckMark;

  // Step 4: a move that leaves the own king attacked is taken back.
  if (p.attackTable[side ^ 1][p.kingSquare(side)].counts) {
    TakeBackGameMove();
    return 0;
  }

  // Step 5: keep the history within its records.
  if (p.ply >= CompactionPly) CompactHistory();

  // Step 6: the game state follows the board.
  p.undoTop = 0;
  SyncGameState();
  return 1;
}

void TakeBackGameMove() {
  Position& p = Pos;
  if (Game.index < 1) return;
  p.undoTop = 1;
  CopyGameToUndo(Game.history[Game.index], p.undoStack[0]);
  Game.index--;
  if (p.undoStack[0].move == 0) UnmakeNullMove(); else UnmakeMove();
  SyncGameState();
}

int CountGameRepetitions() {
  const Position& p = Pos;
  int count = 0;
  for (int q = p.ply - 4; q >= p.lastIrreversiblePly && q >= 0; q -= 2)
    if (Game.history[q + 1].prevKey == p.key) count++;
  return count;
}

int IsRepetition() {
  const Position& p = Pos;
  // Positions of the current line are in the undo stack, older ones in the game history.
  for (int q = p.ply - 4; q >= p.lastIrreversiblePly && q >= 0; q -= 2) {
    int i = q - Game.searchRootPly;
    uint64_t key = i >= 0 ? p.undoStack[i].prevKey : Game.history[q + 1].prevKey;
    if (key == p.key) return 1;
  }
  return 0;
}
