// Temporary: placeholders removed as the board code lands.
#include "board/board.h"
Position Pos;
GameState Game;
int castleRookSquare[2][2] = {{7, 0}, {63, 56}};
char PieceLetters[14] = ".PNBRQKpnbrqk";
uint64_t NodeCount;
void InitBoardTables() {}
int SetupPosition(int, uint32_t) { return 1; }
void ResetGameState() {}
int ParseFen(const char*) { return 0; }
bool Chess960Mode() { return false; }
Move ParseMoveText(const char*) { return 0; }
int IsPseudoLegal(int, Move*) { return 0; }
int PlayGameMove(Move, int) { return 0; }
const char* MoveToText(Move, uint16_t) { return "        "; }
