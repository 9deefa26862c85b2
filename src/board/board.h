// Board and moves: what the rest of the engine may call.
#pragma once

#include <cstdint>

#include "board/position.h"

// Start-up: geometry tables, key tables, exchange tables, piece letters.
void InitBoardTables();

// Set-up (position.cpp, fen.cpp).
constexpr uint32_t SetupWhiteKingSide = 0x0200, SetupWhiteQueenSide = 0x0400, SetupBlackKingSide = 0x1000,
                   SetupBlackQueenSide = 0x2000, SetupEnPassant = 0x0800, SetupChess960Keys = 0x4000,
                   SetupAllCastling = 0x3600;
// Chess960 castling rooks in the set-up flags, by side and wing (KingSide, QueenSide): a bit that
// names the rook and its file in the three bits above the shift.
constexpr uint32_t Setup960RookMask = 0xFFFF0000u;
constexpr uint32_t Setup960RookPresent[2][2] = {{0x08000000u, 0x80000000u}, {0x00080000u, 0x00800000u}};
constexpr int Setup960RookShift[2][2] = {{24, 28}, {16, 20}};
constexpr uint32_t Setup960Rook(int side, int wing, int file) {
  return Setup960RookPresent[side][wing] | uint32_t(file) << Setup960RookShift[side][wing];
}
constexpr int Setup960RookFileOf(uint32_t flags, int side, int wing) {
  return int(flags >> Setup960RookShift[side][wing] & 7);
}
int SetupPosition(int side, uint32_t setupFlags);
void ResetGameState();               // game side White, game ply 1, FEN mark cleared
int ParseFen(const char* text);      // non-zero when set up; the previous position stays otherwise
extern const char* FenRejection;     // after a refused FEN: why, in a few words
bool Chess960Mode();

// Move generation (movegen.cpp). Each returns the number of moves in the ply's list.
int GenerateMoves(int side, int ply, int kingZoneMode);
int GenerateEvasions(int side, int ply, int kingZoneMode, int* checkInfo);
int GenerateQuiescenceMoves(int side, int ply, int mode);
MoveEntry* GenerateQuietChecks(int side, int enemyKing, MoveEntry* list);
MoveEntry* EmitPromotions(MoveEntry* list, int from, int to, int side, int skipRookBishop);
bool IsPinned(int square, int attackerSide);
extern bool CountEveryPromotion;   // perft only: also under-promote to a fourth knight, rook or bishop
inline MoveEntry* MoveListBegin(int ply) { return Pos.moveList + Pos.moveListStart[ply]; }
inline MoveEntry* MoveListEnd(int ply) { return Pos.moveList + Pos.moveListStart[ply + 1]; }

// Making and unmaking (makemove.cpp, history.cpp).
extern uint64_t NodeCount;
// Called by MakeMove as soon as the new position's key is final, with the side to move next,
// while the attack and threat updates of the move are still to come: the search starts loading
// its table entries for that key here, so the probes at the next node find them in the cache.
// Null = nothing to load.
extern void (*MoveKeyHook)(int sideToMove, uint64_t key);
void MakeMove(Move m);
void UnmakeMove();
void MakeNullMove();
void UnmakeNullMove();
int PlayGameMove(Move m, int side);
void TakeBackGameMove();
int CountGameRepetitions();
int IsRepetition();

// Attacks, check and legality (legality.cpp).
int IsPseudoLegal(int side, Move* m);
int CastlingPathOk(int side, int kingSq, int to, int passed, int rookSq);
int CanCastleKingSide960(int side, int kingSq);
int CanCastleQueenSide960(int side, int kingSq);
int GivesCheck(Move m, int side);

// Move text (movetext.cpp).
constexpr uint16_t TextCoordinate = 0x1000, TextNoPadding = 0x2000, TextSan = 0x4000, TextSpace = 0x8000,
                   TextUci = 0x9000, TextPgn = 0x6000;
Move ParseMoveText(const char* text);
int FindOrigin(int side, int type, int fromFile, int fromRank, int to);  // -1 for an unknown file or rank
int SanInfo(Move m);
const char* MoveToText(Move m, uint16_t flags);

// The castling rights the move counts leave: bit side * 2 + wing (KingSide, QueenSide) is set
// while the king and that wing's rook on its castling square have not moved.
int CastlingRights();
// The position as FEN text (castling in the letters of the position's mode); a static buffer.
const char* PositionToFen();

// Consistency (verify.cpp): rebuilds every derived field from the placement and
// compares; returns an empty string when equal, else a description of the first difference.
const char* CheckPositionConsistency();
// Builds with CORVID_CHECKS run the check after every make, unmake and set-up; a mismatch
// prints the difference and the FEN and aborts.
#ifdef CORVID_CHECKS
constexpr bool PositionChecks = true;
#else
constexpr bool PositionChecks = false;
#endif
void VerifyPositionOrAbort(const char* after);
