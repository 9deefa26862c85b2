// The engine binary as a child on pipes in a chosen directory; every wait has a timeout.
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

  void Send(const std::string& text);
  void CloseInput();
  // Collects output until `needle` has appeared (true) or the timeout passes (false).
  bool ReadUntil(const std::string& needle, int timeoutMs, size_t from = 0);  // looks from offset `from` on
  void ReadFor(int ms);
  // Waits for the exit and returns the exit status; -1 on timeout (the process is then killed).
  int WaitExit(int timeoutMs);
  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int timeoutMs);
  pid_t pid_ = -1;
  int toEngine_ = -1, fromEngine_ = -1;
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

// An engine in a fresh directory (or `workDir`), past "uci" unless asked otherwise; Fresh() is its output since Mark().
struct EngineSession {
  explicit EngineSession(bool uci = true, const std::string& workDir = "");
  TempDir dir;
  EngineProcess engine;
  size_t mark = 0;

  void Mark() { mark = engine.Output().size(); }
  std::string Fresh() const { return engine.Output().substr(mark); }
  bool WaitFor(const std::string& needle, int ms = 10000) { return engine.ReadUntil(needle, ms, mark); }
  // Marks, sends the lines and "isready"; the output before "readyok".
  std::string Answer(const std::string& lines);
  // Marks, sends the lines and waits for the whole bestmove line (false on a timeout).
  bool Search(const std::string& lines, int ms = 10000);
  std::vector<std::string> Starting(const std::string& prefix) const;  // fresh lines with this start
  std::string BestMove() const;                                        // the move of the last fresh bestmove line
  void Quit();                                                         // quit, expecting exit status 0
};

// Small helpers of the session tests.
int64_t NowMs();                                          // a monotonic clock in milliseconds
std::vector<std::string> Lines(const std::string& text);  // the text split at line feeds
inline bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
// The number after " word " in `line` (the first occurrence), or -99999.
long NumberAfter(const std::string& line, const std::string& word);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Runs a shell command, or corvid-tool with the arguments: the output (stderr included) and exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);
std::string RunTool(const std::string& arguments, int* status = nullptr);
