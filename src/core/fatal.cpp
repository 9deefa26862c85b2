// The fatal-error log.
#include "core/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* DebugLogFile = "debug.txt";
constexpr const char* AutoSaveFile = "Corvid11SPAutoSave.pgn";
constexpr int FatalExitStatus = 1;
constexpr int MessageCapacity = 1024;

void ExitProcess(int status) { std::exit(status); }

void AppendTo(const char* fileName, const char* text) {
  if (FILE* log = std::fopen(fileName, "a+")) {
    std::fputs(text, log);
    std::fclose(log);
  }
}

void Fatal(const char* format, va_list args) {
  char message[MessageCapacity];
  std::vsnprintf(message, sizeof message, format, args);
  AppendTo(DebugLogFile, message);
  AppendTo(AutoSaveFile, message);
  if (FatalGameSaveHook) FatalGameSaveHook();
  FatalExitHook(FatalExitStatus);
}

}  // namespace

void (*FatalGameSaveHook)() = nullptr;
void (*FatalExitHook)(int status) = ExitProcess;

void FatalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Fatal(format, args);
  va_end(args);
}

void FatalError2(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Fatal(format, args);
  va_end(args);
}
