// corvid-tool book: builds opening books from PGN games and lists the book
// moves of a position.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/types.h"
#include "book/book.h"

struct BookBuildOptions {
  int plies = 24;    // plies of each game that enter the book
  int minGames = 3;  // a move enters when at least this many games played it
};

struct BookBuildStats {
  long games = 0;      // games read
  long skipped = 0;    // games stopped early by a move that could not be played
  long positions = 0;  // positions in the book
  long records = 0;    // book moves
};

// The static weight (0..7) of a move played in `moveGames` of the
// `positionGames` games through its position, scoring `points` for the mover
// (2 per win, 1 per draw): how often it was chosen, lowered when it scored
// badly and raised a little when it scored well over enough games.
int StaticWeightFor(uint32_t moveGames, uint32_t positionGames, uint32_t points);

// The move of a SAN token (castling as O-O or 0-0 included) for the game side
// to move in the game position; 0 when it is not a pseudo-legal move.
Move GameMoveFromSan(const std::string& token);

class BookBuilder {
 public:
  explicit BookBuilder(const BookBuildOptions& options) : options_(options) {}
  // Counts the moves of every game of a PGN text (the first `plies` plies).
  void AddGames(const std::string& pgnText);
  // The book: at most 20 records per key (so the probe's window sees them
  // all), sorted by key, static and learned weights set, check bytes filled.
  std::vector<BookRecord> Records();
  const BookBuildStats& Stats() const { return stats_; }

 private:
  struct MoveCount {
    uint32_t key;
    uint8_t check;
    uint16_t move;
    uint32_t games;
    uint32_t points;
  };
  BookBuildOptions options_;
  BookBuildStats stats_;
  std::unordered_map<uint64_t, MoveCount> moves_;
};

// Writes a book file: the little-endian record count, then the records. 1 on success.
int WriteBookFile(const char* path, const std::vector<BookRecord>& records);

// corvid-tool book build|show ...; returns the exit status.
int RunBookTool(int argc, char** argv);
