// The few operating-system services the engine uses, kept in one place:
// clock, sleep, calendar date, standard input and output, directory test,
// whole-file replacement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Clock and calendar.
uint32_t GetTickCount();                     // milliseconds from a monotonic clock, wraps at 2^32
// Replaces the clock that GetTickCount reads (nullptr: the monotonic clock again). The tools use
// it to run searches on a clock that counts nodes, so that a timed search ends the same way on
// every machine and under any load.
using ClockSource = uint32_t (*)();
void SetClockSource(ClockSource source);
void SleepMs(uint32_t ms);
void LocalDate(int* year, int* month, int* day);

// How standard input was found at start-up: 0 not decided yet (nothing is polled or reported),
// 1 a console, 2 a pipe or file.
extern int InputMode;

// Standard input: one line reader over the raw descriptor, so that the
// "input waiting" test also sees what the reader has buffered already.
constexpr int InputLineCapacity = (1 << 20) + 1;   // a line holds up to 1 MiB of characters
constexpr int LineTooLong = -2;
// Length read; -1 at end of input or on an error (errno set); LineTooLong when the line did not
// fit in `capacity` - 1 characters (it has been read and dropped whole).
int ReadInputLine(char* line, int capacity);
int InputWaiting();                          // non-zero when a read can make progress
bool StdinIsConsole();
void SetInputDescriptor(int fd);             // default 0; also forgets buffered input and poll state

// Standard output.
void SetOutputUnbuffered(bool unbuffered);   // unbuffered for a pipe, line-buffered otherwise
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Large tables: zero-filled memory; from 2 MiB on aligned to 2 MiB and backed by huge pages
// where the system offers them (fewer address-translation misses on random access). Released
// with std::free; nullptr on failure.
void* AllocateLargeTable(std::size_t bytes);

// Files: true when the path names an existing directory (the empty path is the working directory).
bool IsDirectory(const char* path);

// Whole-file replacement: the new contents are written to a temporary file
// beside the old one, which takes the old file's place only once all of it is
// written and on disk. A crash or a full disk on the way leaves the old file
// as it was.
constexpr int ReplacementPathCapacity = 512;
struct FileReplacement {
  FILE* stream = nullptr;                    // the temporary file; the caller writes into it
  char tempPath[ReplacementPathCapacity] = {};
  char path[ReplacementPathCapacity] = {};
};
// Creates the temporary file for `path`; false when it cannot be created.
bool BeginFileReplacement(const char* path, FileReplacement* r);
// Flushes the temporary file to disk and renames it over the old file. When
// any step fails (`written` false: the caller's writes failed) the temporary
// file is removed and the old file stays; returns whether the file was replaced.
bool EndFileReplacement(FileReplacement* r, bool written);
