// Evaluation: the static score of a position from the side to move's view.
#pragma once

#include <cstdint>

// Depth value that asks for a full evaluation (no lazy result).
constexpr int FullEvalDepth = 128;

// Start-up: the material-class table.
void InitEvaluation();

// The static evaluation. `ply` counts from the root (the root is 1); `depth` is the remaining
// depth, FullEvalDepth for a full evaluation.
int Evaluate(int side, int ply, int depth, int alpha, int beta);
int PositionalScore(int side, int strongSide, int endingCode);
void UpdatePhase();

// Per-search evaluation state, set by the search preparation.
extern int PositionalMax[2], PositionalMin[2];   // by side to move: the lazy-evaluation margins
extern int ThreatShift[2], PassedShift[2];       // by colour
extern int KingSafetyPlain;                      // colour + 1 whose king safety is not amplified; 0 none
extern int RootMaterial[2];
extern int DrawScore[2];                         // score of a draw for each side to move
extern int EvalIterationDepth;                   // the search's current iteration (0 outside one)
// Sets DrawScore from the stored draw value for a search by `engineSide`.
void SetDrawScores(int engineSide);
extern int TablebaseMaxPieces;
extern int SwindleMarker;
extern const int8_t* KingCentrality;             // by square, for defending kings in pawnless endings
extern const int8_t CentreTable[64];
// Resets the margins and shifts for a new search; `style` 0 Normal, 1 Aggressive, 2 Solid.
void PrepareEvaluationForSearch(int engineColour, int style);
// Rebuilds the per-search tables from the root position (phase, pawn plans, king squares).
void PrepareEvaluation();

// The material-class table: index = class of the side to move * 128 + class of the opponent.
extern uint8_t MaterialClassTable[128 * 128];
int MaterialClass(uint32_t signature);

// The evaluation cache lives beside the transposition table and is sized with it.
void ResizeEvalCache(long kilobytes);   // reallocates only when the size changes; 0 frees it
void ClearEvalCache();
void PrefetchEvalCache(int side, uint64_t key);   // starts loading the entry an evaluation at `key` reads
long EvalCacheEntries();                // entries per side table, 0 when there is no cache

// The largest value `side` stands to lose through a pin or skewer of its piece on `sq` (at most
// a queen's value); the pin penalties of the evaluation are added to *penalty.
int PinScore(int side, int sq, int* penalty);

// What the last evaluation found, for corvid-tool eval.
struct EvalTrace {
  int material, classEntry, classCorrection, endingCode, threats, positional, kind, scale, score;
  int pawns, pawnTable;   // the pawn term and its root pawn-table part, side's view
  // The positional terms by colour, each in its colour's own view (pawns: the pawns' values).
  int pawnTerm[2], pieceTerm[2], threatTerm[2], kingTerm[2];
  int tradeBonus;         // White's view
  bool positionalRan;
};
extern EvalTrace* ActiveEvalTrace;
