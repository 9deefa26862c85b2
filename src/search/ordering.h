// Move ordering: the final ordering scores of the generated moves, the killers,
// the history tables and the cut-off ratios that drive late-move reductions.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "search/search_state.h"

// ---- Ordering scores
// Final order: table move > captures and promotions that lose nothing (30003 and up, by value)
// > killer 1 (30002) > killer 2 (30001) > quiet moves by history (up to 30000) > losing
// captures and promotions (below -30000).
constexpr int16_t TableMoveScore = 0x7FFF;  // set by MarkTableMove
constexpr int16_t SearchedMoveScore = 0;    // the search writes it over a move it has searched
constexpr int16_t CutoffMoveScore = 1;      // the search writes it over the move that caused a cut-off

// ---- History tables: one half per side, entry side * HistorySize + HistoryIndex(move). RootHistory
// (success counts of quiet moves, depth * depth per cut-off or best root move) is the search's.
constexpr int HistorySize = 384;
static_assert(RootHistorySize == 2 * HistorySize);
extern uint16_t TryCount[RootHistorySize];     // depth-weighted: searched at a node that was cut off
extern uint16_t CutoffCount[RootHistorySize];  // depth-weighted: caused the cut-off
extern uint8_t CutoffRatio[RootHistorySize];   // CutoffCount * 256 / TryCount, 256 stored as 0

// History index of a move of the side to move, (moving piece type - 1) * 64 + destination;
// the moving piece is read from the board.
inline int HistoryIndex(Move m) { return (Pos.pieceType[(m >> 6) & 63] - 1) * 64 + (m & 63); }
inline int HistoryEntry(int side, Move m) { return side * HistorySize + HistoryIndex(m); }
// The cut-off ratio (0..255) that decides whether a quiet move may be reduced.
inline int CutoffRatioOf(int side, Move m) { return CutoffRatio[HistoryEntry(side, m)]; }
// The two killer slots of a ply hold history indices (without the side), not moves.
inline uint16_t& Killer1(int ply) { return Pos.killers[0][ply]; }
inline uint16_t& Killer2(int ply) { return Pos.killers[1][ply]; }

// ---- Switches and inputs
// Off for move counting (perft) and for tests of the generators' initial scores.
// The check margin of the current quiescence ply; the quiescence node sets it before it
// generates, and the king-zone pass adds it to every checking move. Defined with the search.
extern int QuiescenceCheckMargin;

// ---- King zone: scratch values of the last BuildKingZone, read by the quiescence mating-net test.
// Direction bits over the king's neighbours: bit d for the neighbour in direction d (0 E .. 7 SE).
struct KingZone {
  uint8_t blocked;         // neighbours that hold a piece of the king's side or a P/N/B/K of the attacker
  uint8_t free;            // neighbours that the attacker does not attack
  uint16_t zone;           // slot set: the attacker's direct and x-ray attackers of the neighbours
  uint32_t soleAttackers;  // slot set: attackers that alone attack some neighbour
  uint8_t flight[16];      // per attacker slot: the neighbours it alone attacks
};
extern KingZone CurrentKingZone;

// Which of the king's neighbours a check covers, indexed by the direction from the checking
// square toward the king (0-7). The contact mask depends on `blocked` AND 15 as well.
constexpr uint8_t NarrowCheckMask[8] = {5, 10, 5, 10, 144, 96, 96, 144};
constexpr uint8_t WideCheckMask[8] = {164, 56, 81, 194, 0, 0, 0, 0};
constexpr uint8_t QueenDistanceTwoMask[8] = {165, 58, 85, 202, 144, 96, 96, 144};
constexpr uint8_t QueenContactMask[16][8] = {
    {174, 61, 91, 199, 230, 211, 188, 121}, {174, 61, 91, 199, 230, 83, 188, 89},
    {174, 61, 91, 199, 198, 195, 188, 121}, {174, 61, 91, 199, 198, 67, 188, 89},
    {174, 61, 91, 199, 166, 211, 172, 121}, {174, 61, 91, 199, 166, 83, 172, 89},
    {174, 61, 91, 199, 134, 195, 172, 121}, {174, 61, 91, 199, 134, 67, 172, 89},
    {174, 61, 91, 199, 230, 211, 60, 57},   {174, 61, 91, 199, 230, 83, 60, 25},
    {174, 61, 91, 199, 198, 195, 60, 57},   {174, 61, 91, 199, 198, 67, 60, 25},
    {174, 61, 91, 199, 166, 211, 44, 57},   {174, 61, 91, 199, 166, 83, 44, 25},
    {174, 61, 91, 199, 134, 195, 44, 57},   {174, 61, 91, 199, 134, 67, 44, 25},
};

// ---- Operations
// The ordering passes over the list of `ply` (run by the generators as their last step).
// The generators followed by the ordering pass over the ply's list (the king-zone pass when a
// king-zone mode is given, and always for the quiescence moves): the search's move lists.
int GenerateOrderedMoves(int side, int ply, int kingZoneMode);
int GenerateOrderedEvasions(int side, int ply, int kingZoneMode, int* checkInfo);
int GenerateOrderedQuiescenceMoves(int side, int ply, int mode);

void OrderMoves(int side, int ply);
void OrderMovesKingZone(int side, int ply, int mode);  // mode & 2: also score checks
void BuildKingZone(int kingSide, int attackerSide);

// Gives the table move the top score (and its check mark); false when it is not in the list.
bool MarkTableMove(int ply, Move tableMove);
// Swaps the strictly highest-scored entry of [current, end) into current (the first of equal
// ones wins) and returns current; null when the list is exhausted.
MoveEntry* SelectNextMove(MoveEntry* current, MoveEntry* end);

// After a cut-off by a quiet move at `ply` with remaining `depth`: killers, history, try and
// cut-off counts. [list, end) is the node's move list with searched moves scored 0.
void UpdateHistoryOnCutoff(int ply, int side, int depth, Move cutoffMove, const MoveEntry* list, const MoveEntry* end);
// Adds depth * depth to the history of a quiet move (the root's credit for its best move).
void CreditRootHistory(int side, Move m, int depth);

// At every search start: ages the tables when Retain Hash is on, else resets them; clears the killers.
void AgeHistoryForSearch();
// With every clear of the transposition table: resets all tables and the killers.
void ClearHistoryTables();
