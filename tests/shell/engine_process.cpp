#include "shell/engine_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

long NumberAfter(const std::string& line, const std::string& word) {
  size_t p = line.find(" " + word + " ");
  return p == std::string::npos ? -99999 : std::stol(line.substr(p + word.size() + 2));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string RunCommand(const std::string& command, int* status) {
  std::string text;
  FILE* out = popen((command + " 2>&1").c_str(), "r");
  for (char buffer[512]; out && std::fgets(buffer, sizeof buffer, out);) text += buffer;
  const int exit = out ? pclose(out) : -1;
  if (status) *status = exit;
  return text;
}

std::string RunTool(const std::string& arguments, int* status) {
  return RunCommand(CORVID_TOOL_BINARY " " + arguments, status);
}

EngineSession::EngineSession(bool uci, const std::string& workDir) : engine(workDir.empty() ? dir.Path() : workDir) {
  if (uci) {
    engine.Send("uci\n");
    EXPECT_TRUE(engine.ReadUntil("uciok\n", 15000)) << engine.Output();
    Mark();
  }
}

std::string EngineSession::Answer(const std::string& lines) {
  Mark();
  engine.Send(lines + "isready\n");
  EXPECT_TRUE(WaitFor("readyok\n")) << Fresh();
  std::string text = Fresh();
  return text.substr(0, text.rfind("readyok\n"));
}

bool EngineSession::Search(const std::string& lines, int ms) {
  Mark();
  engine.Send(lines);
  return WaitFor("bestmove", ms) && engine.ReadUntil("\n", 2000, engine.Output().find("bestmove", mark));
}

std::vector<std::string> EngineSession::Starting(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& line : Lines(Fresh()))
    if (StartsWith(line, prefix)) found.push_back(line);
  return found;
}

std::string EngineSession::BestMove() const {
  auto lines = Starting("bestmove ");
  return lines.empty() ? "" : lines.back().substr(9, lines.back().find(' ', 9) - 9);
}

void EngineSession::Quit() {
  engine.Send("quit\n");
  EXPECT_EQ(engine.WaitExit(15000), 0);
}

EngineProcess::EngineProcess(const std::string& workDir) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, 2);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    execl(CORVID_BINARY, CORVID_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  pid_ = pid;
  toEngine_ = in[1];
  fromEngine_ = out[0];
}

EngineProcess::~EngineProcess() {
  CloseInput();
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (fromEngine_ >= 0) close(fromEngine_);
}

void EngineProcess::Send(const std::string& text) {
  size_t done = 0;
  while (toEngine_ >= 0 && done < text.size()) {
    ssize_t n = write(toEngine_, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
}

void EngineProcess::CloseInput() {
  if (toEngine_ >= 0) close(toEngine_);
  toEngine_ = -1;
}

bool EngineProcess::ReadSome(int timeoutMs) {
  if (fromEngine_ < 0) return false;
  pollfd p{fromEngine_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char buffer[4096];
  ssize_t n = read(fromEngine_, buffer, sizeof buffer);
  if (n <= 0) {
    close(fromEngine_);
    fromEngine_ = -1;
    return false;
  }
  output_.append(buffer, size_t(n));
  return true;
}

bool EngineProcess::ReadUntil(const std::string& needle, int timeoutMs, size_t from) {
  int64_t deadline = NowMs() + timeoutMs;
  while (output_.find(needle, from) == std::string::npos) {
    int64_t left = deadline - NowMs();
    if (left <= 0 || fromEngine_ < 0) return false;
    ReadSome(int(left));
  }
  return true;
}

void EngineProcess::ReadFor(int ms) {
  int64_t deadline = NowMs() + ms;
  for (int64_t left = ms; left > 0 && fromEngine_ >= 0; left = deadline - NowMs()) ReadSome(int(left));
}

int EngineProcess::WaitExit(int timeoutMs) {
  const int64_t deadline = NowMs() + timeoutMs;
  for (int status = 0; pid_ > 0; usleep(2000)) {
    ReadSome(0);
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      while (ReadSome(0)) continue;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (NowMs() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  return -1;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvid-shell-XXXXXX").string();
  if (char* made = mkdtemp(pattern.data())) path_ = made;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}
