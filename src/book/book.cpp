#include "book/book.h"

#include <cstdint>

#include "core/settings.h"

FILE* BookStream;

void CloseBook() {
  if (BookStream) fclose(BookStream);
  BookStream = nullptr;
}

int OpenBook(const char* path) {
  // Step 1: close the open book.
  CloseBook();
  Options.bookPositions = 0;

  // Step 2: read-write if possible (learning writes into it), else read-only.
  BookStream = fopen(path, "r+b");
  if (!BookStream) {
    BookStream = fopen(path, "rb");
    Options.bookStatus |= BookStream ? BookStatusReadOnly : BookStatusNotFound;
  }

  // Step 3: the little-endian record count at offset 0.
  unsigned char count[4];
  if (!BookStream || fseek(BookStream, 0, SEEK_SET) != 0 || fread(count, 1, 4, BookStream) != 4) {
    CloseBook();
    SettingsFlags &= ~FlagOwnBook;
    return 0;
  }
  Options.bookPositions = int32_t(uint32_t(count[0]) | uint32_t(count[1]) << 8 | uint32_t(count[2]) << 16 |
                                  uint32_t(count[3]) << 24);

  // Step 4: a book that opened is played from.
  SettingsFlags |= FlagOwnBook;
  return 1;
}
