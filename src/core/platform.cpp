// POSIX implementation of the platform layer.
#include "core/platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>


// ---------------------------------------------------------------- clock and calendar

namespace {
ClockSource Clock = nullptr;
}  // namespace

void SetClockSource(ClockSource source) { Clock = source; }

uint32_t GetTickCount() {
  if (Clock) return Clock();
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return uint32_t(uint64_t(ms));
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void LocalDate(int* year, int* month, int* day) {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  *year = local.tm_year + 1900;
  *month = local.tm_mon + 1;
  *day = local.tm_mday;
}

// ---------------------------------------------------------------- input

int InputMode;

namespace {

constexpr int ReadChunk = 8192;
// Consecutive failed polls of a pipe before it is reported as input, so that
// the next read meets the end of input and the engine quits.
constexpr int PollFailuresForEnd = 8;

int InputFd = 0;
char InputBuffer[ReadChunk];
int InputBegin = 0;   // first unread byte
int InputEnd = 0;     // one past the last buffered byte
bool InputAtEnd = false;
int PollState = 0;    // 0 before the first poll in mode 2, then failed pipe polls in a row + 1
bool PipeInput = false;   // mode 2: standard input is a pipe or file, not a console

int Buffered() { return InputEnd - InputBegin; }

// Reads more bytes into the buffer, blocking. Returns the count, 0 at end, -1 on error.
int FillBuffer() {
  if (InputBegin == InputEnd) InputBegin = InputEnd = 0;
  if (InputBegin > 0 && InputEnd == ReadChunk) {
    std::memmove(InputBuffer, InputBuffer + InputBegin, size_t(Buffered()));
    InputEnd -= InputBegin;
    InputBegin = 0;
  }
  for (;;) {
    ssize_t n = read(InputFd, InputBuffer + InputEnd, size_t(ReadChunk - InputEnd));
    if (n > 0) {
      InputEnd += int(n);
      return int(n);
    }
    if (n < 0 && errno == EINTR) continue;
    return n == 0 ? 0 : -1;
  }
}

}  // namespace

void SetInputDescriptor(int fd) {
  InputFd = fd;
  InputBegin = InputEnd = 0;
  InputAtEnd = false;
  PollState = 0;
}

// Reads one whole line into `line` (room for `capacity` bytes with the terminator), however
// much input it takes. The line feed is removed, and a carriage return before it (text-mode line
// ends). A line that does not fit is read to its end and thrown away whole, so that no tail of it
// is ever taken for a command of its own.
int ReadInputLine(char* line, int capacity) {
  int length = 0;
  int status = 1;
  bool tooLong = false, ended = false;
  errno = 0;
  for (;;) {
    if (Buffered() == 0) {
      if (InputAtEnd) break;
      status = FillBuffer();
      if (status <= 0) {
        InputAtEnd = true;
        break;
      }
    }
    char c = InputBuffer[InputBegin++];
    if (c == '\n') {
      ended = true;
      break;
    }
    if (length < capacity - 1)
      line[length++] = c;
    else
      tooLong = true;
  }
  line[length] = 0;
  if (tooLong) {
    line[0] = 0;
    return LineTooLong;
  }
  if (length == 0 && !ended) {
    if (status == 0) errno = 0;
    return -1;
  }
  if (length > 0 && line[length - 1] == '\r') line[--length] = 0;
  return length;
}

bool StdinIsConsole() { return isatty(InputFd) != 0; }

namespace {

// Console test: a readable byte (or a hang-up, so that the read meets the end).
int ConsoleWaiting() {
  pollfd p{};
  p.fd = InputFd;
  p.events = POLLIN;
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP)) ? 1 : 0;
}

// Pipe test: the number of bytes in the pipe, a partly written line included;
// -1 when the pipe cannot be peeked (an error, or the writer has gone and
// nothing is left to read).
int PipeBytesWaiting() {
  pollfd p{};
  p.fd = InputFd;
  p.events = POLLIN;
  int ready = poll(&p, 1, 0);
  if (ready < 0 || (p.revents & (POLLERR | POLLNVAL))) return -1;
  if (ready == 0) return 0;
  int count = 0;
  if ((p.revents & POLLIN) && ioctl(InputFd, FIONREAD, &count) == 0 && count > 0) return count;
  return -1;   // readable without bytes, or hung up: the writer has gone
}

}  // namespace

// Bytes the line reader holds already count first. Mode 2 decides on its first
// poll whether standard input is a pipe (or file) or a console after all; a
// pipe that cannot be peeked answers 0 until the eighth failure in a row, then
// 1, so that the next read meets the end of input.
int InputWaiting() {
  if (Buffered() > 0) return Buffered();
  if (InputMode != 2) return ConsoleWaiting();

  if (PollState == 0) {
    PollState = 1;
    PipeInput = isatty(InputFd) == 0;
  }
  if (!PipeInput) return ConsoleWaiting();

  int waiting = PipeBytesWaiting();
  if (waiting >= 0) {
    PollState = 1;
    return waiting;
  }
  PollState += 1;
  return PollState > PollFailuresForEnd ? 1 : 0;
}

// ---------------------------------------------------------------- output

void SetOutputUnbuffered(bool unbuffered) {
  setvbuf(stdout, nullptr, unbuffered ? _IONBF : _IOLBF, unbuffered ? 0 : BUFSIZ);
}

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}

// ---------------------------------------------------------------- files

bool IsDirectory(const char* path) {
  struct stat info {};
  return stat(*path ? path : ".", &info) == 0 && S_ISDIR(info.st_mode);
}

// The temporary file is named after the file and this process, and made with O_EXCL so that
// two engines in one directory never write into the same temporary file.
bool BeginFileReplacement(const char* path, FileReplacement* r) {
  r->stream = nullptr;
  int length = std::snprintf(r->tempPath, sizeof r->tempPath, "%s.%ld.tmp", path, long(getpid()));
  if (length < 0 || length >= int(sizeof r->tempPath)) return false;
  std::snprintf(r->path, sizeof r->path, "%s", path);
  int fd = open(r->tempPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0 && errno == EEXIST) {   // left behind by an earlier process of the same number
    unlink(r->tempPath);
    fd = open(r->tempPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
  }
  if (fd < 0) return false;
  r->stream = fdopen(fd, "wb");
  if (!r->stream) {
    close(fd);
    unlink(r->tempPath);
    return false;
  }
  return true;
}

bool EndFileReplacement(FileReplacement* r, bool written) {
  if (!r->stream) return false;
  bool ok = written && std::fflush(r->stream) == 0 && !std::ferror(r->stream) && fsync(fileno(r->stream)) == 0;
  ok = std::fclose(r->stream) == 0 && ok;
  r->stream = nullptr;
  ok = ok && std::rename(r->tempPath, r->path) == 0;
  if (!ok) unlink(r->tempPath);
  return ok;
}

void* AllocateLargeTable(std::size_t bytes) {
  constexpr std::size_t HugePage = std::size_t(2) << 20;
  if (bytes < HugePage) return std::calloc(bytes, 1);   // small tables are not worth a whole huge page
  if (bytes > SIZE_MAX - HugePage) return nullptr;
  const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;   // aligned_alloc needs a multiple
  void* memory = std::aligned_alloc(HugePage, rounded);
  if (!memory) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(memory, rounded, MADV_HUGEPAGE);   // a hint: without huge pages the table works the same
#endif
  std::memset(memory, 0, rounded);
  return memory;
}
