#include "tablebases/tablebases.h"

// The scan, the block cache and the probe join here with the tablebase code.
int InitTablebases(int rescan) { return 1; }
