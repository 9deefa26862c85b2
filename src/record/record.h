// The game record: the end-of-game routine and the PGN autosave.
#pragma once

// Ends the current game: book learning and the PGN autosave.
// (Placeholder until the game record is written; it does nothing yet.)
void GameFinished();
