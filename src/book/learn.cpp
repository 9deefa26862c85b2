// Book learning: after a game, the book moves the engine played gain or lose
// learned weight by the result and by the engine's own scores once the game
// had left the book.
#include "board/board.h"
#include "book/book.h"
#include "core/settings.h"

namespace {

constexpr int MinSelectivity = 2;
constexpr int MinForwardPruning = 8 * 16;  // Forward Pruning 8, kept in sixteenths
constexpr int WonDelta = 2, LostDelta = -4;
constexpr int DeltaBias = 64;    // a learning code keeps delta + 64 in its low byte
constexpr int JudgedPlies = 12;  // the engine's scores up to 12 plies after its last book move
constexpr int WhiteLowerEdge = -64, BlackLowerEdge = -128;
constexpr int EdgeWidth = 128;
constexpr int EdgeRise = 16;      // both edges rise by this after every second ply
constexpr int LearnedFloor = 12;  // a learned move stays playable in the Tournament style

bool IsEngineBookMove(const GameRecord& g) {
  uint16_t flags = g.shellWords[RecordFlagsWord];
  return (flags & RecordEngineResult) && (flags & RecordBookMove);
}

int ScoreOf(const GameRecord& g) { return int16_t(g.shellWords[RecordScoreWord]); }

// Step 3.2: the engine's scores on its moves 2, 4, ... 12 plies after the book
// move at `ply` against edges that rise as the game goes on.
int JudgePlayAfter(int ply, int newestPly, int delta) {
  int lo = (Game.history[ply].mover & 1) == White ? WhiteLowerEdge : BlackLowerEdge;
  int hi = lo + EdgeWidth;
  for (int k = 2; k <= JudgedPlies && ply + k <= newestPly; k += 2) {
    const GameRecord& later = Game.history[ply + k];
    if (later.shellWords[RecordFlagsWord] & RecordEngineResult) {
      int s = ScoreOf(later);
      if (s > lo) {
        if (delta < 0) delta++;
        if (s > hi) delta++;
      } else {
        delta -= 2;
      }
    }
    lo += EdgeRise;
    hi += EdgeRise;
  }
  return delta;
}

}  // namespace

void LearnFromGame(int engineColour, int result, int newestPly) {
  // Step 1: only at full strength, in the Tournament style, with a selective search.
  const uint32_t s = SettingsFlags;
  if (s & FlagLimitStrength) return;
  if (int((s & BookStyleMask) >> BookStyleShift) != BookStyleTournament) return;
  if (int((s & SelectivityMask) >> SelectivityShift) < MinSelectivity) return;
  if (Options.forwardPruning < MinForwardPruning) return;
  if (newestPly >= GameHistorySize) newestPly = GameHistorySize - 1;

  // Step 2: the result; a draw changes nothing by itself.
  int delta = 0, resultClass = 0;
  if (result >= 2) {
    bool won = result == engineColour + 2;
    delta = won ? WonDelta : LostDelta;
    resultClass = won ? LearnClassWon : LearnClassLost;
  }

  // Step 3: back from the newest ply to the engine's last book move, judging the play after it.
  int start = 0;
  bool seen[2] = {false, false};
  for (int ply = newestPly; ply >= 2;) {
    GameRecord& g = Game.history[ply];
    g.learnCode = 0;
    if (!IsEngineBookMove(g)) {
      ply--;
      continue;
    }
    const int mover = g.mover & 1;
    delta = JudgePlayAfter(ply, newestPly, delta);
    if (delta != 0) {
      start = ply;
      break;
    }
    seen[mover] = true;
    if (mover == engineColour || (seen[White] && seen[Black]) || ply - 1 < 2 ||
        !IsEngineBookMove(Game.history[ply - 1])) {
      if (resultClass != 0) start = ply;
      break;
    }
    ply--;
  }
  if (start == 0) return;

  // Step 4: write back, the same side's earlier book moves taking the passed-back delta.
  for (int ply = start; ply >= 2 && (delta != 0 || resultClass != 0); ply -= 2) {
    GameRecord& g = Game.history[ply];
    if (!IsEngineBookMove(g)) continue;
    if (delta < -DeltaBias) delta = -DeltaBias;
    if (delta > 255 - DeltaBias) delta = 255 - DeltaBias;
    uint16_t code = uint16_t((delta + DeltaBias) | (resultClass << 8));
    g.learnCode = code;
    delta = LearnBookMove(BookKey(g.prevKey, g.mover), uint32_t(g.prevKey >> 32), code, g.move);
  }
}

int LearnBookMove(uint32_t key32, uint32_t keyHigh, uint16_t code, Move move) {
  // Step 1.
  int delta = (code & 255) - DeltaBias;
  const int resultClass = code >> 8;

  // Steps 2-3: the target record and the best learned weight of its competitors.
  int index, first;
  if (!FindBookKey(key32, &index, &first)) return 0;
  const uint8_t check = uint8_t(keyHigh >> 8);
  int target = -1, best = 0;
  for (int slot = first; slot < BookWindowEnd && BookWindow[slot].bookKey == key32; slot++) {
    const BookRecord& r = BookWindow[slot];
    if (RecordCheckByte(r) != check) continue;
    if (target < 0 && (r.bookMove & BookMoveMask) == (move & BookMoveMask)) {
      target = slot;
    } else if (LearnedWeight(r) > best) {
      best = LearnedWeight(r);
    }
  }
  if (target < 0) return 0;

  // Step 4: the new weight, never below the floor that keeps the move playable.
  BookRecord& r = BookWindow[target];
  const int old = LearnedWeight(r);
  int learned = old + delta;
  if (learned < LearnedFloor) learned = LearnedFloor;
  if (learned > BookLearnedMax) learned = BookLearnedMax;

  // Step 5: less to pass back while a competitor is as good.
  if (delta < -1 && best >= LearnedFloor && best >= learned)
    delta++;
  else if (delta > 1 && learned >= best)
    delta--;

  // Step 6.
  if (learned == old && resultClass == 0) return delta;

  // Step 7: the weight and the mark (marks are never cleared), written in place.
  r.bookInfo = uint16_t((r.bookInfo & ~BookLearnedMask) | learned);
  if (resultClass == LearnClassLost) r.bookInfo |= BookLostMark;
  if (resultClass == LearnClassWon) r.bookInfo |= BookWonMark;
  WriteBookRecord(BookWindowStart + target, r);  // a read-only book or a failed write changes nothing

  // Step 8.
  return delta;
}
