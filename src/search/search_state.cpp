#include "search/search_state.h"

uint32_t SearchFlags;
int IterationDepth;
int DrawScore[2];
