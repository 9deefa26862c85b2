// Endgame tablebases.
#pragma once

// Re-reads the tablebase set-up from the options: with `rescan` set the
// directories of NalimovPath are scanned again, otherwise the files already
// known are kept; the block cache is re-created for NalimovCache. Returns 1.
// No tablebase files are read yet: this changes nothing for now.
int InitTablebases(int rescan);
