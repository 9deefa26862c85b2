// The single board record with its derived state, the undo stack and the
// game history. Everything here is fixed-size and global.
#pragma once

#include <cstdint>

#include "core/types.h"

// One square of one side's attack table.
struct AttackEntry {
  uint16_t counts;          // attackers by kind: bit 0 king, 1-3 queens, 4-5 rooks, 6-7 bishops, 8-9 knights, 10-11 pawns
  uint16_t attackers;       // slot set of the direct attackers
  uint8_t xrayCounts;       // 2 per slider attacking through a piece that moves along the same line
  uint8_t attackerTotal;    // direct plus x-ray attackers
  uint16_t xrayAttackers;   // slot set of the x-ray attackers
};

// Unit added to `counts` by one attacker of each piece type.
constexpr uint16_t CountUnit[7] = {0, 0x400, 0x100, 0x40, 0x10, 0x2, 0x1};
constexpr uint16_t CountMaskKing = 0x1, CountMaskQueen = 0xE, CountMaskRook = 0x30, CountMaskBishop = 0xC0,
                   CountMaskKnight = 0x300, CountMaskPawn = 0xC00;
// The low byte without the king bit: a slider's ray passes a square where this or xrayCounts is set.
constexpr uint16_t CountMaskSliders = 0xFE;

// One write to a threat value, so that unmaking a move can put the old value back.
struct ThreatChange {
  uint8_t square;
  int16_t value;
};
constexpr int ThreatJournalSize = 40;   // a move rewrites at most 34 threat values
constexpr uint8_t NoJournal = 255;

// Bits of UndoRecord::checkFlag, the flag word of the node a move leads to. The search writes the
// check and path bits, the evaluation the result kind and the per-side flags.
constexpr uint16_t RecordInCheck = 0x8000;          // the move gave check: the side to move is in check
constexpr uint16_t RecordReducedMove = 0x4000;      // reached by a reduced move
constexpr uint16_t RecordTableMove = 0x2000;        // reached by the parent's table move
constexpr uint16_t RecordFullMarker = 0x1000;       // evaluated with the full-evaluation depth marker
constexpr uint16_t RecordKindMask = 0x0F00;         // result kind written by the evaluation
constexpr uint16_t RecordKindDrawBit = 0x0800;      // every kind with this bit is a draw
constexpr uint16_t RecordKindLost = 0x0600;
constexpr uint16_t RecordKindWon = 0x0700;
constexpr uint16_t RecordKindStalemate = 0x0C00;
constexpr uint16_t RecordKindMaterialDraw = 0x0D00;
constexpr uint16_t RecordKindCertainDraw = 0x0E00;
constexpr uint16_t RecordTerminalKinds = RecordFullMarker | RecordKindMask;   // the evaluation ended the node
constexpr uint16_t RecordFullEvaluation = 0x0080;   // a full evaluation ran
constexpr uint16_t RecordThreatMoveSet = 0x0040;    // threatMove holds the evaluation's threat
constexpr uint16_t RecordEvaluationBits = 0x1FFF;   // everything the evaluation writes (its cache keeps these)
// Per-side evaluation flags, by colour.
constexpr uint16_t RecordMatingNet[2] = {0x0001, 0x0002};    // a mating net around that colour's king
constexpr uint16_t RecordThreat[2] = {0x0004, 0x0008};       // a further threat against that colour
constexpr uint16_t RecordKingAttack[2] = {0x0010, 0x0020};   // that colour's king is under attack

struct UndoRecord {
  Move move;                       // 0 for a null move
  uint16_t capturedSlotBit;
  uint8_t capturedType;
  uint8_t mover;
  uint8_t capturedMoveCount;
  uint8_t prevEpSquare;
  int16_t prevLastIrreversiblePly;
  uint16_t historyCheck;           // the game history's copy of the check flag
  uint64_t prevKey;
  uint16_t checkFlag;              // Record* bits: check, path and evaluation flags of the node
  int16_t staticScore;             // the evaluation's result for the position after the move
  uint16_t evalSpare;
  uint16_t secondThreat;
  uint16_t threatMove;             // valid when checkFlag has RecordThreatMoveSet
  int8_t prevThreatSwingScaled;
  int8_t prevGainScaled;
  int16_t gainMinusThreat;
  uint8_t journalCount;            // threat-value writes of the move, NoJournal when not kept
  int32_t prevThreatSum[2];
  uint32_t prevThreatenedSlots[2];
};

// One game ply. The first fields mirror UndoRecord up to prevKey.
struct GameRecord {
  Move move;                       // bit 15 set when the move gave check
  uint16_t capturedSlotBit;
  uint8_t capturedType;
  uint8_t mover;
  uint8_t capturedMoveCount;
  uint8_t prevEpSquare;
  int16_t prevLastIrreversiblePly;
  uint16_t historyCheck;
  uint64_t prevKey;
  uint16_t shellWords[2];          // used by the shell and the learning code
  uint16_t sanWord;                // low 10 bits: SAN information of the move
  uint16_t learnCode;              // book learning's code for this ply (0 = not learned)
  uint32_t extraLong;              // milliseconds used so far by the side that moved here
};

// What a recorded ply keeps in its GameRecord: the search's record of its own
// move, the opponent's time at ponderhit; read by the game record and book
// learning. Replaying the same move later keeps these words.
constexpr int RecordScoreWord = 0;              // shellWords[0]: the mover's score (int16)
constexpr int RecordFlagsWord = 1;              // shellWords[1]: flags of the chosen root move
constexpr int NoRecordedScore = -32768;         // "no score": the stored score stays
constexpr int RecordDepthShift = 10;            // sanWord bits 10-15: the search depth
constexpr uint16_t RecordSanMask = 0x3FF;       // sanWord bits 0-9: SAN information
constexpr uint16_t RecordEngineResult = 0x10;   // an engine move whose score is shown and judged
constexpr uint16_t RecordResultKindMask = 0xF00;
constexpr int RecordResultKindShift = 8;
constexpr int RecordKindCheckmate = 5;
constexpr uint16_t RecordBookMove = 0x2000;     // the move came from the opening book
constexpr uint16_t RecordEngineMove = 0x4000;   // a move the engine chose (with or without a result)

struct MoveEntry {
  Move move;
  int16_t score;
};

constexpr int MaxPly = 64;
constexpr int MoveListCapacity = 3008;
constexpr int GameHistorySize = 400;
constexpr int CompactionPly = 398;
constexpr uint8_t NoSlot = 255;

// The material signature of a side: material in pawn units (bits 0-7), pieces other than pawns
// and the king (bits 8-15), pawns (bits 16-19), then two bits each for knights, bishops, rooks and
// queens (bits 20, 22, 24, 26; a field holds at most 3).
constexpr int SignatureUnits(uint32_t s) { return int(s & 255); }
constexpr int SignaturePieces(uint32_t s) { return int(s >> 8 & 255); }
constexpr int SignaturePawns(uint32_t s) { return int(s >> 16 & 15); }
constexpr int SignatureKnights(uint32_t s) { return int(s >> 20 & 3); }
constexpr int SignatureBishops(uint32_t s) { return int(s >> 22 & 3); }
constexpr int SignatureRooks(uint32_t s) { return int(s >> 24 & 3); }
constexpr int SignatureQueens(uint32_t s) { return int(s >> 26 & 3); }

struct Position {
  int32_t sideToMove;
  uint8_t pieceType[64];
  uint8_t colour[64];
  uint8_t moveCount[64];
  uint8_t pieceList[2][16];
  uint32_t usedSlots[2];
  uint32_t diagonalSliders[2];
  uint32_t orthogonalSliders[2];
  uint32_t allSliders[2];
  uint32_t pawnsOnRank[2][8];
  int32_t undoTop;                 // records on the undo stack; the top one is undoStack[undoTop - 1]
  int32_t ply;
  int32_t lastIrreversiblePly;
  int32_t threatSwing;
  int32_t threatSwingScaled;
  int32_t gainScaled;
  uint64_t key;                    // low word carries the castling and en-passant keys
  uint8_t lastTo;
  uint8_t epSquare;
  uint32_t typeSlots[7][2];        // per piece type the slot sets (pawns..queens); the king's entry stays 0
  uint32_t materialSignature[2];
  uint32_t threatenedSlots[2];
  uint32_t slotBit[64];
  int32_t threatValue[64];
  uint8_t pawnFiles[2][10];        // files -1..8; bit r set while a pawn stands on rank r of the file
  uint32_t changedSlots[2];
  int32_t threatSum[2];
  int32_t material[2];
  int32_t savedThreatSum[2];
  uint16_t killers[2][MaxPly];
  AttackEntry attackTable[2][64];
  UndoRecord undoStack[MaxPly];
  ThreatChange threatJournal[MaxPly][ThreatJournalSize];   // per undo record
  int32_t lastGain;

  // Evaluation fields, written only by the evaluation.
  int32_t largestThreat[2];        // largest and second-largest threat against each colour's pieces
  int32_t secondThreat[2];
  int32_t phaseMaterial[2];        // the material for which the phase fields were computed
  int32_t pieceMaterialDiff;       // White's piece material minus Black's, pawns excluded
  int32_t TradeBonus;              // White's view: reward for trading pieces while ahead
  int32_t Phase;                   // 16 full piece material .. 1 bare ending
  int32_t phaseHalf, endgameWeight, endgameHalf, endgameQuarter, endgameEighth;
  uint16_t lineAttackers[2];        // slots of each colour's line pieces bearing on the lines next to the enemy king

  MoveEntry moveList[MoveListCapacity];
  int32_t moveListStart[MaxPly + 1];  // index into moveList per ply

  // The attack table of the side to move, and of the other side.
  AttackEntry* ownAttacks() { return attackTable[sideToMove]; }
  AttackEntry* enemyAttacks() { return attackTable[sideToMove ^ 1]; }
  uint32_t pawns(int c) const { return typeSlots[Pawn][c]; }
  uint32_t knights(int c) const { return typeSlots[Knight][c]; }
  uint32_t bishops(int c) const { return typeSlots[Bishop][c]; }
  uint32_t rooks(int c) const { return typeSlots[Rook][c]; }
  uint32_t queens(int c) const { return typeSlots[Queen][c]; }
  int kingSquare(int c) const { return pieceList[c][0]; }
  uint8_t* pawnFileRef(int c) { return &pawnFiles[c][1]; }
  bool InCheck() const { return attackTable[sideToMove ^ 1][pieceList[sideToMove][0]].counts != 0; }
};

extern Position Pos;

// Game state beside the board.
struct GameState {
  GameRecord history[GameHistorySize];
  int index;                 // current game record (equals the game ply)
  int side;                  // game side to move
  int plyBase;               // 2 * move number - 2 (+1 with Black to move), from the FEN
  int setUpFromFen;
  int searchRootPly;
  int ply;                   // copies of the board's ply, lastIrreversiblePly and epSquare
  int lastIrreversiblePly;
  int epSquare;
  int changed;               // set when a game move is played
};

extern GameState Game;

// The FEN fields of the last "position fen" (the game's start for the game record).
constexpr int PositionTextSize = 4096;   // kept position texts are cut to 4095 characters
extern char StartFen[PositionTextSize];

// Castling geometry: the squares of the castling rooks by side and wing.
constexpr int KingSide = 0, QueenSide = 1;
extern int castleRookSquare[2][2];

// Piece letters ".PNBRQKpnbrqk": index = type for White, type + 6 for Black.
extern char PieceLetters[14];

// Material signature increments by piece type.
constexpr uint32_t SignatureIncrement[7] = {0, 0x10000, 0x100103, 0x400103, 0x1000105, 0x400010A, 0};
