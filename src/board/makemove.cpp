// Making and unmaking moves with incremental updates of every derived field.
#include "board/attack_update.h"
#include "board/board.h"
#include "board/keys.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

uint64_t NodeCount;
void (*MoveKeyHook)(int sideToMove, uint64_t key);

namespace {

using namespace attack_update;

// The attack tables as they stood before each move on the undo stack. Unmaking a search
// move copies them back instead of walking every ray of the move a second time.
alignas(64) AttackEntry savedAttacks[MaxPly][2][64];

// Copies both attack tables (1 KB) in 16-byte pieces. The compiler turns a fixed-size memcpy, and
// a loop that copies one piece at a time, into a string instruction whose start-up cost is large
// for a copy made on every move; four loads before four stores keep it a vector loop.
inline void CopyAttackTables(AttackEntry (*to)[64], const AttackEntry (*from)[64]) {
  static_assert(sizeof(AttackEntry[2][64]) % 16 == 0);
#ifdef __SSE2__
  auto* d = reinterpret_cast<__m128i*>(to);
  auto* s = reinterpret_cast<const __m128i*>(from);
  for (std::size_t i = 0; i < sizeof(AttackEntry[2][64]) / 16; i += 4) {
    const __m128i a = _mm_loadu_si128(s + i), b = _mm_loadu_si128(s + i + 1);
    const __m128i c = _mm_loadu_si128(s + i + 2), e = _mm_loadu_si128(s + i + 3);
    _mm_storeu_si128(d + i, a);
    _mm_storeu_si128(d + i + 1, b);
    _mm_storeu_si128(d + i + 2, c);
    _mm_storeu_si128(d + i + 3, e);
  }
#else
  std::memcpy(to, from, sizeof(AttackEntry[2][64]));
#endif
}

constexpr int CastlingGain = 64;
constexpr int EnPassantGain = 128;
constexpr int QueenPromotionGain = 576;

// Per-type and per-kind slot sets of a piece (everything but usedSlots and the pawn masks).
inline void SetTypeBits(Position& p, int type, int c, uint32_t bit, bool on) {
  if (type == King) return;
  uint32_t mask = on ? bit : 0;
  auto apply = [&](uint32_t& set) { set = (set & ~bit) | mask; };
  apply(p.typeSlots[type][c]);
  if (type == Bishop || type == Queen) apply(p.diagonalSliders[c]);
  if (type == Rook || type == Queen) apply(p.orthogonalSliders[c]);
  if (type >= Bishop && type <= Queen) apply(p.allSliders[c]);
}

inline void SetPawnBits(Position& p, int c, int sq, uint32_t bit, bool on) {
  uint8_t fileBit = uint8_t(1 << RankOf(sq));
  if (on) {
    p.pawnsOnRank[c][RankOf(sq)] |= bit;
    p.pawnFileRef(c)[FileOf(sq)] |= fileBit;
  } else {
    p.pawnsOnRank[c][RankOf(sq)] &= ~bit;
    p.pawnFileRef(c)[FileOf(sq)] &= uint8_t(~fileBit);
  }
}

// Threat-value writes of the move being made, for its unmake.
struct Journal {
  ThreatChange* entries;
  int count;
};

inline void ClearThreat(Position& p, int sq, int c, Journal* journal) {
  int v = p.threatValue[sq];
  if (!v) return;
  if (journal) journal->entries[journal->count++] = {uint8_t(sq), int16_t(v)};
  p.threatSum[c] -= v;
  p.threatValue[sq] = 0;
  p.threatenedSlots[c] &= ~p.slotBit[sq];
}

// Takes a piece's slot, sets, material and key off the board records (its square stays as it is).
inline void LiftPiece(Position& p, int sq) {
  int type = p.pieceType[sq], c = p.colour[sq];
  uint32_t bit = p.slotBit[sq];
  p.usedSlots[c] &= ~bit;
  SetTypeBits(p, type, c, bit, false);
  if (type == Pawn) SetPawnBits(p, c, sq, bit, false);
  p.material[c] -= pieceValue[type];
  p.materialSignature[c] -= SignatureIncrement[type];
  p.key ^= PieceKey(type, c, sq);
  p.pieceList[c][LowestSlot(bit)] = NoSlot;
}

// Gives a piece back its slot, sets and material (the key is restored by the caller).
inline void RestorePiece(Position& p, int sq, int type, int c, uint32_t bit) {
  p.usedSlots[c] |= bit;
  SetTypeBits(p, type, c, bit, true);
  if (type == Pawn) SetPawnBits(p, c, sq, bit, true);
  p.material[c] += pieceValue[type];
  p.materialSignature[c] += SignatureIncrement[type];
  p.pieceList[c][LowestSlot(bit)] = uint8_t(sq);
}

// Changes the occupant of a square, re-walking every slider ray that passes it.
template <bool Mark = true>
inline void SetOccupant(Position& p, int sq, int type, int c, uint32_t bit) {
  RaysThrough rays;
  CollectRays(p, sq, rays);
  if (!rays.Empty()) WalkBeyond<-1, Mark>(p, sq, rays);
  p.pieceType[sq] = uint8_t(type);
  p.colour[sq] = uint8_t(c);
  p.slotBit[sq] = bit;
  if (!rays.Empty()) WalkBeyond<1, Mark>(p, sq, rays);
}

// Replaces one piece on a square by another; only rays whose transparency changes are re-walked.
template <bool Mark = true>
inline void ReplaceOccupant(Position& p, int sq, int type, int c, uint32_t bit) {
  int old = p.pieceType[sq];
  RaysThrough rays;
  CollectRays(p, sq, rays);
  WalkBeyond<-1, Mark>(p, sq, rays, type);
  p.pieceType[sq] = uint8_t(type);
  p.colour[sq] = uint8_t(c);
  p.slotBit[sq] = bit;
  WalkBeyond<1, Mark>(p, sq, rays, old);
}

inline void MovePieceSlot(Position& p, int c, uint32_t bit, int to) { p.pieceList[c][LowestSlot(bit)] = uint8_t(to); }

// King and rook squares of a castling move.
struct CastleSquares {
  int king, kingTo, rook, rookTo;
};

CastleSquares CastlingGeometry(Move m, int side) {
  int f = MoveFrom(m), t = MoveTo(m);
  CastleSquares cs;
  cs.king = f;
  int base = side == White ? 0 : 56;
  if (Chess960Mode()) {
    cs.rook = t;
    bool kingSide = t > f;
    cs.kingTo = base + (kingSide ? 6 : 2);
    cs.rookTo = base + (kingSide ? 5 : 3);
  } else {
    bool kingSide = t > f;
    cs.kingTo = t;
    cs.rook = kingSide ? f + 3 : f - 4;
    cs.rookTo = kingSide ? f + 1 : f - 1;
  }
  return cs;
}

// Moves king and rook between two square pairs; both leave before either arrives.
template <bool Mark = true>
void ShiftCastlingPieces(Position& p, int side, int kingFrom, int rookFrom, int kingTo, int rookTo, bool clearThreats,
                         Journal* journal) {
  uint32_t kingBit = p.slotBit[kingFrom], rookBit = p.slotBit[rookFrom];
  if (clearThreats) {
    ClearThreat(p, kingFrom, side, journal);
    ClearThreat(p, rookFrom, side, journal);
  }
  PieceAttacks<-1, Mark>(p, kingFrom);
  PieceAttacks<-1, Mark>(p, rookFrom);
  p.key ^= PieceKey(King, side, kingFrom) ^ PieceKey(Rook, side, rookFrom) ^ PieceKey(King, side, kingTo) ^
           PieceKey(Rook, side, rookTo);
  SetOccupant<Mark>(p, kingFrom, Empty, NoColour, 0);
  SetOccupant<Mark>(p, rookFrom, Empty, NoColour, 0);
  SetOccupant<Mark>(p, kingTo, King, side, kingBit);
  SetOccupant<Mark>(p, rookTo, Rook, side, rookBit);
  MovePieceSlot(p, side, kingBit, kingTo);
  MovePieceSlot(p, side, rookBit, rookTo);
  PieceAttacks<1, Mark>(p, kingTo);
  PieceAttacks<1, Mark>(p, rookTo);
  p.changedSlots[side] |= rookBit;
}

// Destination of the move now on top: the search's undo stack, else the game's last move.
inline uint8_t LastDestination(const Position& p) {
  if (p.undoTop > 0) return uint8_t(MoveTo(p.undoStack[p.undoTop - 1].move));
  return Game.index > 1 ? uint8_t(MoveTo(Game.history[Game.index].move)) : 0;
}

}  // namespace

void MakeMove(Move m) {
  Position& p = Pos;
  const int s = p.sideToMove, o = s ^ 1;
  const int f = MoveFrom(m), t = MoveTo(m);
  const Move kind = MoveKind(m);

  // Step 1: count the node, push the undo record.
  NodeCount++;
  p.ply++;
  UndoRecord& u = p.undoStack[p.undoTop++];
  u.prevGainScaled = int8_t(p.gainScaled);
  u.prevThreatSwingScaled = int8_t(p.threatSwingScaled);
  u.prevEpSquare = p.epSquare;
  u.mover = uint8_t(s);
  u.capturedMoveCount = p.moveCount[t];
  u.prevLastIrreversiblePly = int16_t(p.lastIrreversiblePly);
  u.prevKey = p.key;
  u.capturedType = 0;
  u.capturedSlotBit = 0;
  p.lastTo = uint8_t(t);
  CopyAttackTables(savedAttacks[p.undoTop - 1], p.attackTable);

  // Step 2: the old en-passant square goes.
  if (p.epSquare) {
    p.key ^= castleEpKey[p.epSquare];
    p.epSquare = 0;
  }

  // Step 3: a first move of the king or a castling rook gives up castling rights.
  const int moverType = p.pieceType[f];
  if (p.moveCount[f] == 0) {
    if (moverType == King) {
      for (int w = 0; w < 2; w++) {
        int r = castleRookSquare[s][w];
        if (p.pieceType[r] == Rook && p.colour[r] == s && p.moveCount[r] == 0) p.key ^= castleEpKey[r];
      }
    } else if (moverType == Rook && p.moveCount[p.kingSquare(s)] == 0 &&
               (f == castleRookSquare[s][KingSide] || f == castleRookSquare[s][QueenSide])) {
      p.key ^= castleEpKey[f];
    }
  }

  // Step 4: prepare the threat bookkeeping.
  u.move = m;
  p.changedSlots[White] = p.changedSlots[Black] = 0;
  p.savedThreatSum[White] = u.prevThreatSum[White] = p.threatSum[White];
  p.savedThreatSum[Black] = u.prevThreatSum[Black] = p.threatSum[Black];
  u.prevThreatenedSlots[White] = p.threatenedSlots[White];
  u.prevThreatenedSlots[Black] = p.threatenedSlots[Black];
  Journal journal{p.threatJournal[p.undoTop - 1], 0};

  if (kind == KindCastle) {
    // Step 5: castling moves king and rook together.
    CastleSquares cs = CastlingGeometry(m, s);
    ShiftCastlingPieces<true>(p, s, cs.king, cs.rook, cs.kingTo, cs.rookTo, true, &journal);
    if (MoveKeyHook) MoveKeyHook(o, p.key);
    p.moveCount[cs.kingTo] = 1;
    p.moveCount[cs.rookTo] = 1;
    p.lastGain = CastlingGain;
    p.changedSlots[s] |= 1;
  } else {
    // Step 6: lift the mover's threat value and attacks.
    const uint32_t bit = p.slotBit[f];
    const int arriving = IsPromotion(m) ? PromotedType[kind >> 12] : moverType;
    ClearThreat(p, f, s, &journal);
    PieceAttacks<-1>(p, f);

    // Step 7: the destination, with or without a victim.
    const int victim = p.pieceType[t];
    if (victim) {
      u.capturedType = uint8_t(victim);
      u.capturedSlotBit = uint16_t(p.slotBit[t]);
      ClearThreat(p, t, o, &journal);
      PieceAttacks<-1>(p, t);
      LiftPiece(p, t);
      p.lastIrreversiblePly = p.ply;
      p.lastGain = pieceValue[victim];
      ReplaceOccupant(p, t, arriving, s, bit);
    } else {
      p.lastGain = 0;
      SetOccupant(p, t, arriving, s, bit);
    }

    // Step 8: en passant removes the pawn behind the destination; the origin empties.
    if (kind == KindEnPassant) {
      int e = s == White ? t - 8 : t + 8;
      u.capturedType = Pawn;
      u.capturedSlotBit = uint16_t(p.slotBit[e]);
      u.capturedMoveCount = p.moveCount[e];
      ClearThreat(p, e, o, &journal);
      PieceAttacks<-1>(p, e);
      LiftPiece(p, e);
      SetOccupant(p, e, Empty, NoColour, 0);
      p.lastIrreversiblePly = p.ply;
      p.lastGain = EnPassantGain;
    }
    MovePieceSlot(p, s, bit, t);
    SetOccupant(p, f, Empty, NoColour, 0);

    // Step 9: pawn bookkeeping, promotion and the new en-passant square.
    if (moverType == Pawn) {
      p.lastIrreversiblePly = p.ply;
      SetPawnBits(p, s, f, bit, false);
      if (arriving != Pawn) {
        p.material[s] += pieceValue[arriving] - pieceValue[Pawn];
        p.materialSignature[s] += SignatureIncrement[arriving] - SignatureIncrement[Pawn];
        SetTypeBits(p, Pawn, s, bit, false);
        SetTypeBits(p, arriving, s, bit, true);
        if (arriving == Queen) p.lastGain += QueenPromotionGain;
      } else {
        SetPawnBits(p, s, t, bit, true);
        if (t - f == 16 || f - t == 16) {
          int passed = (f + t) / 2;
          if (p.attackTable[o][passed].counts & CountMaskPawn) {
            p.epSquare = uint8_t(passed);
            p.key ^= castleEpKey[passed];
          }
        }
      }
    }

    // Step 10: key and the mover's new attacks.
    p.key ^= PieceKey(moverType, s, f) ^ PieceKey(arriving, s, t);
    if (MoveKeyHook) MoveKeyHook(o, p.key);
    PieceAttacks<1>(p, t);
    p.changedSlots[s] |= bit;

    // Step 11: the move count travels with the piece.
    p.moveCount[t] = uint8_t(p.moveCount[f] + 1);
  }
  u.checkFlag = p.attackTable[s][p.kingSquare(o)].counts ? RecordInCheck : 0;

  // Steps 12-13: threat values and the swing the move caused.
  RecomputeThreats(p, journal.entries, &journal.count);
  u.journalCount = uint8_t(journal.count);
  p.threatSwing = (p.threatSum[o] - p.savedThreatSum[o]) - (p.threatSum[s] - p.savedThreatSum[s]);
  p.threatSwingScaled = p.threatSwing >> 6;
  p.gainScaled = p.lastGain >> 5;
  u.gainMinusThreat = int16_t(kind == KindCastle ? p.lastGain : p.lastGain - p.threatValue[t]);

  // Step 14: the other side moves.
  p.sideToMove = o;
  if constexpr (PositionChecks) VerifyPositionOrAbort("MakeMove");
}

namespace {

// Puts an occupant on a square without touching the attack tables.
inline void PlaceOnly(Position& p, int sq, int type, int c, uint32_t bit) {
  p.pieceType[sq] = uint8_t(type);
  p.colour[sq] = uint8_t(c);
  p.slotBit[sq] = bit;
}

// Puts the pieces of the move on top of the undo stack back. With Walk the attack tables are
// brought back by walking the rays again, marking every piece they reach for threat
// recomputation (a move restored from the game history); without, only the piece records
// change and the caller copies the tables saved by MakeMove back.
template <bool Walk>
void UnmakePieces(Position& p, const UndoRecord& u) {
  const Move m = u.move;
  const int s = u.mover, o = s ^ 1;
  const int f = MoveFrom(m), t = MoveTo(m);
  const Move kind = MoveKind(m);
  auto occupy = [&p](int sq, int type, int c, uint32_t bit) {
    if constexpr (Walk) SetOccupant(p, sq, type, c, bit); else PlaceOnly(p, sq, type, c, bit);
  };

  if (kind == KindCastle) {
    CastleSquares cs = CastlingGeometry(m, s);
    if constexpr (Walk) {
      ShiftCastlingPieces<true>(p, s, cs.kingTo, cs.rookTo, cs.king, cs.rook, true, nullptr);
    } else {
      uint32_t kingBit = p.slotBit[cs.kingTo], rookBit = p.slotBit[cs.rookTo];
      // Both leave before either arrives: in Chess960 the squares may overlap.
      PlaceOnly(p, cs.kingTo, Empty, NoColour, 0);
      PlaceOnly(p, cs.rookTo, Empty, NoColour, 0);
      PlaceOnly(p, cs.king, King, s, kingBit);
      PlaceOnly(p, cs.rook, Rook, s, rookBit);
      MovePieceSlot(p, s, kingBit, cs.king);
      MovePieceSlot(p, s, rookBit, cs.rook);
    }
    p.moveCount[cs.king] = 0;
    p.moveCount[cs.rook] = 0;
    p.changedSlots[s] |= 1;
    return;
  }
  const int arriving = p.pieceType[t];
  const int moverType = IsPromotion(m) ? int(Pawn) : arriving;
  const uint32_t bit = p.slotBit[t];
  p.moveCount[f] = uint8_t(p.moveCount[t] - 1);
  if (kind != KindEnPassant) p.moveCount[t] = u.capturedMoveCount;

  if constexpr (Walk) {
    ClearThreat(p, t, s, nullptr);
    PieceAttacks<-1>(p, t);
  }
  occupy(f, moverType, s, bit);
  MovePieceSlot(p, s, bit, f);

  if (moverType == Pawn) {
    SetPawnBits(p, s, f, bit, true);
    if (arriving != Pawn) {
      p.material[s] -= pieceValue[arriving] - pieceValue[Pawn];
      p.materialSignature[s] -= SignatureIncrement[arriving] - SignatureIncrement[Pawn];
      SetTypeBits(p, arriving, s, bit, false);
      SetTypeBits(p, Pawn, s, bit, true);
    } else {
      SetPawnBits(p, s, t, bit, false);
    }
  }

  if (kind == KindEnPassant) {
    int e = s == White ? t - 8 : t + 8;
    uint32_t vbit = u.capturedSlotBit;
    occupy(e, Pawn, o, vbit);
    RestorePiece(p, e, Pawn, o, vbit);
    p.moveCount[e] = u.capturedMoveCount;
    if constexpr (Walk) PieceAttacks<1>(p, e);
    p.changedSlots[o] |= vbit;
    occupy(t, Empty, NoColour, 0);
  } else if (u.capturedType) {
    uint32_t vbit = u.capturedSlotBit;
    RestorePiece(p, t, u.capturedType, o, vbit);
    if constexpr (Walk) {
      ReplaceOccupant(p, t, u.capturedType, o, vbit);
      PieceAttacks<1>(p, t);
    } else {
      PlaceOnly(p, t, u.capturedType, o, vbit);
    }
    p.changedSlots[o] |= vbit;
  } else {
    occupy(t, Empty, NoColour, 0);
  }
  if constexpr (Walk) PieceAttacks<1>(p, f);
  p.changedSlots[s] |= bit;
}

}  // namespace

void UnmakeMove() {
  Position& p = Pos;
  UndoRecord& u = p.undoStack[p.undoTop - 1];
  p.sideToMove = u.mover;
  p.changedSlots[White] = p.changedSlots[Black] = 0;
  // With the move's journal the threat values are put back at the end; a move restored from
  // the game history has none, and its threat values are recomputed instead.
  const bool journaled = u.journalCount != NoJournal;
  if (journaled) {
    UnmakePieces<false>(p, u);
    CopyAttackTables(p.attackTable, savedAttacks[p.undoTop - 1]);
  } else {
    UnmakePieces<true>(p, u);
  }

  // Pop the record and restore the saved fields.
  p.undoTop--;
  p.ply--;
  p.epSquare = u.prevEpSquare;
  p.lastIrreversiblePly = u.prevLastIrreversiblePly;
  p.key = u.prevKey;
  p.threatSwingScaled = u.prevThreatSwingScaled;
  p.gainScaled = u.prevGainScaled;
  p.lastTo = LastDestination(p);
  if (journaled) {
    for (int i = u.journalCount - 1; i >= 0; i--) {
      const ThreatChange& c = p.threatJournal[p.undoTop][i];
      p.threatValue[c.square] = c.value;
    }
    for (int c = 0; c < 2; c++) {
      p.threatSum[c] = u.prevThreatSum[c];
      p.threatenedSlots[c] = u.prevThreatenedSlots[c];
    }
    p.changedSlots[White] = p.changedSlots[Black] = 0;
  } else {
    RecomputeThreats(p);
  }
  if constexpr (PositionChecks) VerifyPositionOrAbort("UnmakeMove");
}

void MakeNullMove() {
  Position& p = Pos;
  NodeCount++;
  UndoRecord& u = p.undoStack[p.undoTop++];
  u.move = 0;
  u.checkFlag = 0;
  u.gainMinusThreat = 0;
  u.capturedType = 0;
  u.capturedSlotBit = 0;
  u.prevEpSquare = p.epSquare;
  u.prevLastIrreversiblePly = int16_t(p.lastIrreversiblePly);
  u.prevKey = p.key;
  u.prevThreatSwingScaled = int8_t(p.threatSwingScaled);
  u.prevGainScaled = int8_t(p.gainScaled);
  u.mover = uint8_t(p.sideToMove);
  p.ply++;
  p.lastTo = 0;
  if (p.epSquare) {
    p.key ^= castleEpKey[p.epSquare];
    p.epSquare = 0;
  }
  p.threatSwingScaled = 0;
  p.gainScaled = 0;
  p.sideToMove ^= 1;
  if constexpr (PositionChecks) VerifyPositionOrAbort("MakeNullMove");
}

void UnmakeNullMove() {
  Position& p = Pos;
  UndoRecord& u = p.undoStack[p.undoTop - 1];
  p.ply--;
  p.sideToMove = u.mover;
  p.epSquare = u.prevEpSquare;
  p.gainScaled = u.prevGainScaled;
  p.threatSwingScaled = u.prevThreatSwingScaled;
  p.lastIrreversiblePly = u.prevLastIrreversiblePly;
  p.key = u.prevKey;
  p.undoTop--;
  p.lastTo = LastDestination(p);
  if constexpr (PositionChecks) VerifyPositionOrAbort("UnmakeNullMove");
}
