// The fatal-error routine: for the few failures the engine cannot go on from
// (damaged tablebase files, memory the tablebase code cannot get).
#pragma once

// Appends the formatted message to "debug.txt" and to the autosave file, runs the
// game-saving hook and ends the process with status 1 through the exit hook. A
// file that cannot be opened only loses its copy of the message. FatalError2 is
// the same routine, for messages with two values.
void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FatalError2(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Saves the game in progress (the shell installs the end-of-game routine); none by default.
extern void (*FatalGameSaveHook)();
// Ends the process with the status (std::exit by default). Tests install a hook that
// returns: FatalError then returns too, and its caller goes on as after a failure.
extern void (*FatalExitHook)(int status);
