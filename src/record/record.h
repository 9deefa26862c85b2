// The game record: the end-of-game routine (book learning, the PGN autosave)
// and the fields of a recorded ply.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/types.h"

constexpr const char* AutoSaveFileName = "Corvid11SPAutoSave.pgn";
constexpr int MinPliesToSave = 3;  // ply 1 is the set-up position: at least two moves

// Games finished since the program started; numbers the PGN rounds.
extern int RoundCount;

// What the shell knows about the game that the record needs.
struct GameSummary {
  const char* engineName;
  const char* startFen;  // the FEN fields of a game set up from a FEN
  int pliesPlayed;       // the last recorded ply (the engine's move may not be played back yet)
};

// One ply of the game history as the record shows it.
struct PlyRecord {
  Move move;  // with CheckMark when the move checks
  int mover;
  int score;  // the engine's score from the mover's view
  uint16_t rootFlags;
  int sanInfo;  // SAN information of the move (type, origin file/rank needed)
  int depth;
  uint32_t timeMs;  // the ply's own time (0 where no time was recorded)
};
PlyRecord GetGameRecord(int ply);

// Ends the current game: judges the result from the engine's last recorded
// score, hands it to book learning, counts the round, appends the game to the
// autosave file when AutoSave PGN is on and at least three plies were played,
// and clears the game's recorded words so that nothing of it is judged or
// shown again with a later game.
void GameFinished(const GameSummary& game);

// Appends the game in PGN: tags, the settings comment, the moves with their
// time and score comments, the result. resultClass: 0 "*", 1 draw, 2 White
// won, 3 Black won. Clears the result mark of every ply it shows.
void WritePgn(FILE* out, int engineColour, int resultClass, const GameSummary& game);

// Clears the recorded words (score, flags, depth, time, learning code) of
// every ply: a new game starts without the old one's marks.
void ClearGameRecord();
