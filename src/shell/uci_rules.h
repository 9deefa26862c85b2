// Rules of the dispatcher that tests check on their own.
#pragma once

// True when a position command with this text (after "position" and its
// blanks) ends the game in progress: the game has at least three plies, no
// ucinewgame came in between, and the text shares less than two thirds of the
// last position text.
bool PositionEndsGame(const char* text);
