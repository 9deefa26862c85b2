// Search extensions: threats, checks, mate threats, advanced pawns and recaptures extend a
// node by fractions of a ply; children inherit the fractions through the extension budget.
#include "search/extensions.h"

#include <algorithm>

#include "board/board.h"
#include "search/search_state.h"
#include "core/settings.h"

namespace {

// Flags of the undo record and of the table entry that the extensions read (the node flags
// are the search's, NodePv).
constexpr int TableMateThreat = 0x20;         // table entry: mate threat or single reply

// Extension amounts in 1/32 ply.
constexpr int CheckExtension = 32;
constexpr int MateThreatExtension = 16;
constexpr int RecaptureExtension = 32;
constexpr int MaxExtension = 32;
constexpr int ExtensionGainShift = 5;  // a gain in score units / 32 gives 1/32 plies

// Advanced pawns by rank index 0..7: a pawn on its 6th or 7th rank earns 16. The far ranks of
// the side that moved decide whether the bonus applies at all.
constexpr int PawnAdvanceBonus[8] = {0, 16, 16, 0, 0, 16, 16, 0};

inline bool OnFarRanks(int side, int sq) { return side == White ? RankOf(sq) >= 5 : RankOf(sq) <= 2; }

}  // namespace

void AdjustAccumulatorForTableMove(Move tableMove, int tableScore, int eval) {
  if (!tableMove) return;
  Position& p = Pos;
  if (tableMove & KindCapture) {
    // Step 1: the capture's victim stands on the destination, en passant behind it.
    int sq = MoveTo(tableMove);
    if (MoveKind(tableMove) == KindEnPassant) sq += p.sideToMove == White ? -8 : 8;
    int gain = tableScore - eval;
    if (gain > 0 && p.threatValue[sq] == 0)
      p.threatSwingScaled -= std::min(gain, pieceValue[p.pieceType[sq]]) >> ExtensionGainShift;
  } else if (!(tableMove & CheckMark) && p.threatSwingScaled < 0) {
    // Step 2: otherwise the accumulator starts again from nothing.
    p.threatSwingScaled = 0;
  }
}

int ComputeExtension(int ply, int nodeFlags, int eval, int alpha, int beta, int tableFlags, Move tableMove, int lower,
                     int upper) {
  Position& p = Pos;
  // Step 1: without Combinations the threat and gain fields count half, at every node.
  if (!(SearchFlags & FlagCombinations)) {
    p.threatSwingScaled >>= 1;
    p.gainScaled >>= 1;
  }
  // Step 2: a node whose score is already known to lie outside the window is not extended.
  if (lower >= beta || upper <= alpha) return 0;
  if (p.undoTop < 1) return 0;  // the root is not an interior node

  const int side = p.sideToMove, mover = side ^ 1;
  const UndoRecord& here = p.undoStack[p.undoTop - 1];
  const UndoRecord* before = p.undoTop > 1 ? &p.undoStack[p.undoTop - 2] : nullptr;
  const bool pv = (nodeFlags & NodePv) != 0;
  const bool byTableMove = (here.checkFlag & RecordTableMove) != 0;

  // Step 3: clean the accumulator. Off the PV, a node that did not come from the table move
  // keeps a threat only when the evaluation stands at or above alpha, the threatening move did
  // not lose its piece, and the evaluation plus the threat change (the growth of the side to
  // move's threat sum over the mover's) stays at or below alpha. A growing threat rarely
  // passes that, so threat extensions go mostly to PV nodes and table-move lines, where they
  // pay; extending them everywhere measured weaker in games.
  int& accumulator = p.threatSwingScaled;
  if (pv || byTableMove) {
    if (accumulator < 0) accumulator = 0;
  } else if (accumulator > 0) {
    // The threat change from the record (the threat sums come back exactly on unmake).
    const int threatChange =
        (p.threatSum[side] - here.prevThreatSum[side]) - (p.threatSum[mover] - here.prevThreatSum[mover]);
    if (!(eval >= alpha && here.gainMinusThreat >= 0 && eval + threatChange <= alpha)) accumulator = 0;
  }

  // Step 4: the threat accumulator is the base.
  int ext = accumulator;

  // Steps 5-6: a check extends a full ply; out of check, a mate threat from the table or a
  // mating net that the evaluation found new at this ply extends half a ply.
  if (here.checkFlag & RecordInCheck) {
    ext += CheckExtension;
  } else {
    const uint16_t netFlag = uint16_t(side + 1);
    const bool newNet = (here.checkFlag & netFlag) && !(before && (before->checkFlag & netFlag));
    if ((tableFlags & TableMateThreat) || newNet) ext += MateThreatExtension;
  }

  // Step 7: a pawn that just reached its 6th or 7th rank unopposed and unattacked, half as much
  // again when the side to move does not control the square in front more than the mover.
  if (here.move) {
    const int to = MoveTo(here.move);
    if (p.pieceType[to] == Pawn && !p.attackTable[side][to].counts && OnFarRanks(mover, to)) {
      const int front = to + (mover == White ? 8 : -8);
      if (p.pieceType[front] != Pawn) {
        const int bonus = PawnAdvanceBonus[RankOf(to)];
        ext += bonus;
        if (p.attackTable[side][front].counts <= p.attackTable[mover][front].counts) ext += bonus / 2;
      }
    }
  }

  // Step 8: a recapture on the square of the previous capture or promotion.
  if (ply > 2 && before && here.capturedType && (before->capturedType || IsPromotion(before->move)) &&
      MoveTo(here.move) == MoveTo(before->move)) {
    if (pv) {
      ext += RecaptureExtension;
    } else if ((before->gainMinusThreat >= 0 || (before->checkFlag & RecordTableMove)) &&
               (here.gainMinusThreat >= 0 || byTableMove) && eval < beta &&
               alpha < eval + pieceValue[here.capturedType]) {
      ext += RecaptureExtension;
    }
  }

  // Step 9: far beyond the nominal depth, everything counts half (toward zero).
  if (ply > 2 * IterationDepth) ext /= 2;
  // Step 10: never more than a ply at one node.
  return std::min(ext, MaxExtension);
}
