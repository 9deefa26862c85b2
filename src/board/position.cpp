// Setting up the position: the slot plan, the derived sets and tables, castling and en passant.
#include <cstring>

#include "board/attack_update.h"
#include "board/board.h"
#include "board/keys.h"
#include "core/settings.h"

Position Pos;
GameState Game;
char StartFen[PositionTextSize];
int castleRookSquare[2][2];
char PieceLetters[14];

namespace {

constexpr char PieceLetterText[] = ".PNBRQKpnbrqk";

// The standard start position, a1..h8.
constexpr uint8_t StartTypes[64] = {
    Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook,
    Pawn, Pawn, Pawn, Pawn, Pawn, Pawn, Pawn, Pawn,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    Pawn, Pawn, Pawn, Pawn, Pawn, Pawn, Pawn, Pawn,
    Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook};

int StartColour(int sq) { return sq < 16 ? White : sq >= 48 ? Black : NoColour; }

constexpr int DefaultRookSquare[2][2] = {{7, 0}, {63, 56}};   // [side][king-side, queen-side]

// Slot plan: fixed first choices, then the lowest free slot from 8 up (pawns: highest free from 15 down).
// A placement that finds its range full takes any free slot, so a legal set-up never overflows.
int AssignSlot(uint32_t used, int type, int sq) {
  auto freeSlot = [&](int s) { return !(used >> s & 1); };
  switch (type) {
    case King: return 0;
    case Queen: if (freeSlot(1)) return 1; break;
    case Rook: if (freeSlot(2)) return 2; if (freeSlot(3)) return 3; break;
    case Bishop: { int s = Geo.shade[sq] ? 5 : 4; if (freeSlot(s)) return s; break; }
    case Knight: if (freeSlot(6)) return 6; if (freeSlot(7)) return 7; break;
    case Pawn:
      for (int s = 15; s >= 8; s--) if (freeSlot(s)) return s;
      for (int s = 7; s >= 1; s--) if (freeSlot(s)) return s;
      return -1;
  }
  for (int s = 8; s < 16; s++) if (freeSlot(s)) return s;
  for (int s = 1; s < 8; s++) if (freeSlot(s)) return s;
  return -1;
}

void PlacePieceBookkeeping(Position& p, int sq) {
  int type = p.pieceType[sq], c = p.colour[sq];
  uint32_t bit = p.slotBit[sq];
  if (type == King) return;
  p.typeSlots[type][c] |= bit;
  if (type == Bishop || type == Queen) p.diagonalSliders[c] |= bit;
  if (type == Rook || type == Queen) p.orthogonalSliders[c] |= bit;
  if (type >= Bishop && type <= Queen) p.allSliders[c] |= bit;
  if (type == Pawn) {
    p.pawnsOnRank[c][RankOf(sq)] |= bit;
    p.pawnFileRef(c)[FileOf(sq)] |= uint8_t(1 << RankOf(sq));
  }
  p.material[c] += pieceValue[type];
  p.materialSignature[c] += SignatureIncrement[type];
}

}  // namespace

bool Chess960Mode() { return (SettingsFlags & FlagChess960) != 0; }

void InitBoardTables() {
  std::memcpy(PieceLetters, PieceLetterText, sizeof PieceLetterText);
  InitGeometry();
  InitExchangeTables();
  std::memcpy(castleRookSquare, DefaultRookSquare, sizeof castleRookSquare);
}

void ResetGameState() {
  Game.side = White;
  Game.index = 1;
  Game.plyBase = 0;
  Game.setUpFromFen = 0;
}

int SetupPosition(int side, uint32_t setupFlags) {
  Position& p = Pos;
  using namespace attack_update;

  // A placement without exactly one king per side cannot be set up (the board stays as it is).
  if (side <= 1) {
    int kings[3] = {0, 0, 0};
    for (int sq = 0; sq < 64; sq++)
      if (p.pieceType[sq] == King) kings[p.colour[sq] > 1 ? 2 : p.colour[sq]]++;
    if (kings[White] != 1 || kings[Black] != 1 || kings[2]) return 0;
  }

  // Step 1: the game history starts over at record 1.
  std::memset(&Game.history[0], 0, 2 * sizeof(GameRecord));
  Game.index = 1;
  Game.history[1].move = 1;

  // Step 2: the start array when asked for.
  if (side > 1) {
    for (int sq = 0; sq < 64; sq++) {
      p.pieceType[sq] = StartTypes[sq];
      p.colour[sq] = uint8_t(StartColour(sq));
    }
    side = White;
  }
  p.sideToMove = side;

  // Step 3: clear what the placement rebuilds.
  p.epSquare = 0;
  p.key = 0;
  std::memset(p.material, 0, sizeof p.material);
  std::memset(p.usedSlots, 0, sizeof p.usedSlots);
  std::memset(p.pieceList, NoSlot, sizeof p.pieceList);
  std::memset(p.slotBit, 0, sizeof p.slotBit);

  // Step 4: castling geometry and the Chess960 mode.
  SettingsFlags &= ~FlagChess960;
  std::memcpy(castleRookSquare, DefaultRookSquare, sizeof castleRookSquare);
  if (setupFlags & Setup960RookMask) {
    SettingsFlags |= FlagChess960;
    for (int c = 0; c < 2; c++)
      for (int w = 0; w < 2; w++)
        if (setupFlags & Setup960RookPresent[c][w])
          castleRookSquare[c][w] = (c == White ? 0 : 56) + Setup960RookFileOf(setupFlags, c, w);
  }

  // Step 5: slots and piece keys.
  for (int sq = 0; sq < 64; sq++) {
    p.threatValue[sq] = 0;
    p.moveCount[sq] = 0;
    if (!p.pieceType[sq]) {
      p.colour[sq] = NoColour;
      continue;
    }
    int type = p.pieceType[sq], c = p.colour[sq];
    if (type != StartTypes[sq] || c != StartColour(sq)) p.moveCount[sq] = 1;
    int slot = AssignSlot(p.usedSlots[c], type, sq);
    p.usedSlots[c] |= 1u << slot;
    p.pieceList[c][slot] = uint8_t(sq);
    p.slotBit[sq] = 1u << slot;
    p.key ^= PieceKey(type, c, sq);
  }

  // Step 6: derived sets, material and the attack tables from scratch.
  std::memset(p.savedThreatSum, 0, sizeof p.savedThreatSum);
  std::memset(p.threatSum, 0, sizeof p.threatSum);
  std::memset(p.threatenedSlots, 0, sizeof p.threatenedSlots);
  std::memset(p.typeSlots, 0, sizeof p.typeSlots);
  std::memset(p.diagonalSliders, 0, sizeof p.diagonalSliders);
  std::memset(p.orthogonalSliders, 0, sizeof p.orthogonalSliders);
  std::memset(p.allSliders, 0, sizeof p.allSliders);
  std::memset(p.pawnsOnRank, 0, sizeof p.pawnsOnRank);
  std::memset(p.pawnFiles, 0, sizeof p.pawnFiles);
  std::memset(p.materialSignature, 0, sizeof p.materialSignature);
  std::memset(p.attackTable, 0, sizeof p.attackTable);
  for (int c = 0; c < 2; c++)
    for (int slot = 15; slot >= 1; slot--)
      if (p.pieceList[c][slot] != NoSlot) PlacePieceBookkeeping(p, p.pieceList[c][slot]);
  for (int sq = 0; sq < 64; sq++)
    if (p.pieceType[sq]) PieceAttacks<1>(p, sq);
  p.changedSlots[White] = p.usedSlots[White];
  p.changedSlots[Black] = p.usedSlots[Black];
  RecomputeThreats(p);

  // Step 7: castling rights live in the move counts of the king and the castling rooks.
  if (setupFlags & SetupChess960Keys) {
    const int corner[2][2] = {{7, 0}, {63, 56}};
    for (int c = 0; c < 2; c++)
      for (int w = 0; w < 2; w++) castleEpKey[castleRookSquare[c][w]] = castleEpKey[corner[c][w]];
  }
  const uint32_t rightFlag[2][2] = {{SetupWhiteKingSide, SetupWhiteQueenSide}, {SetupBlackKingSide, SetupBlackQueenSide}};
  for (int c = 0; c < 2; c++) {
    if (setupFlags & (rightFlag[c][0] | rightFlag[c][1])) p.moveCount[p.kingSquare(c)] = 0;
    for (int w = 0; w < 2; w++) {
      int r = castleRookSquare[c][w];
      if (setupFlags & rightFlag[c][w]) {
        p.moveCount[r] = 0;
      } else {
        p.moveCount[r] = 1;
        p.key ^= castleEpKey[r];
      }
    }
  }

  // Step 8: an en-passant square only when a pawn of the side to move can capture there.
  if (setupFlags & SetupEnPassant) {
    int ep = int(setupFlags & 63);
    if (p.attackTable[side][ep].counts & CountMaskPawn) {
      p.epSquare = uint8_t(ep);
      p.key ^= castleEpKey[ep];
    }
  }

  // Step 9: the clocks of the new position.
  p.ply = 1;
  p.lastIrreversiblePly = 1;
  p.undoTop = 0;
  p.lastTo = 0;
  p.lastGain = 0;
  p.threatSwing = p.threatSwingScaled = p.gainScaled = 0;
  for (int i = 0; i <= MaxPly; i++) p.moveListStart[i] = 0;

  // Step 10: the side to move must not be able to take the enemy king.
  if (p.attackTable[side][p.kingSquare(side ^ 1)].counts) return 0;
  if (p.InCheck()) Game.history[1].historyCheck = RecordInCheck;
  Game.ply = p.ply;
  Game.lastIrreversiblePly = p.lastIrreversiblePly;
  Game.epSquare = p.epSquare;
  Game.searchRootPly = p.ply;
  if constexpr (PositionChecks) VerifyPositionOrAbort("SetupPosition");
  return 1;
}
