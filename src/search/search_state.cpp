#include "search/search_state.h"

#include "core/settings.h"

uint32_t SearchFlags;
RootMove RootMoves[MaxRootMoves];
Move RootLines[MaxRootMoves][PvLength + 2];
int RootMoveCount;
int IterationDepth;
int RootAlpha, RootBeta;
int RootBound;
int RootUnstable;
int SettledBestScore;
uint32_t RootResultFlags;
int BestMoveChanges;
int StableIterations;
bool EasyMove;
int SecondScoreAtDepth1;
uint64_t LastIterationNodes;
int LastScore;
int RootMoveScore[2];
int CurrentRootIndex;
int SearchSide;
GameRecord LastGameMoveRecord;
bool LearnDirty;
uint16_t RootHistory[RootHistorySize];

Move PvTable[MaxPly + 2][PvLength + 2];
int SelDepth;
int NullReduction;
uint64_t VerificationSearches;

int ReportFlags;
