// The opening book file.
#pragma once

#include <cstdio>

extern FILE* BookStream;            // the open book file, or null

// Opens the book at `path` (read-write, else read-only) and reads its
// position count; sets OwnBook, BookStatus and BookPositions. 1 on success.
int OpenBook(const char* path);
void CloseBook();
