// Runs the engine binary as a child process with its standard input and
// output on pipes, in a working directory of the test's choice. Every wait has
// a timeout, so a hung engine fails the test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class EngineProcess {
 public:
  explicit EngineProcess(const std::string& workDir);
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  void Send(const std::string& text);
  void CloseInput();
  // Collects output until `needle` has appeared (true) or the timeout passes (false).
  bool ReadUntil(const std::string& needle, int timeoutMs, size_t from = 0);  // looks from offset `from` on
  // Collects output for the given time.
  void ReadFor(int ms);
  // Waits for the exit and returns the exit status; -1 on timeout (the process is then killed).
  int WaitExit(int timeoutMs);
  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int timeoutMs);
  pid_t pid_ = -1;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  std::string output_;
};

// A fresh temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Small helpers of the session tests.
int64_t NowMs();                                                  // a monotonic clock in milliseconds
std::vector<std::string> Lines(const std::string& text);          // the text split at line feeds
inline bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
