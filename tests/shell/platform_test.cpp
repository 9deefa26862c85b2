// The input test over a real pipe in-process: waiting bytes, partial lines, the reader buffer, eight failures, console.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "shell/engine.h"
#include "core/platform.h"

namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedMode_ = InputMode;
    ASSERT_EQ(pipe(fds_), 0);
    SetInputDescriptor(fds_[0]);
    InputMode = 2;
  }
  void TearDown() override {
    SetInputDescriptor(0);
    InputMode = savedMode_;
    CloseWriter();
    if (fds_[0] >= 0) close(fds_[0]);
  }
  void Send(const char* text) { ASSERT_EQ(write(fds_[1], text, std::strlen(text)), ssize_t(std::strlen(text))); }
  void CloseWriter() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  std::string Read() {
    static char line[InputLineCapacity];
    return ReadInputLine(line, InputLineCapacity) < 0 ? "<end>" : std::string(line);
  }

  int fds_[2] = {-1, -1};
  int savedMode_ = 0;
};

TEST_F(InputTest, PartlyWrittenLineCountsAsWaiting) {
  Send("isre");
  EXPECT_EQ(InputWaiting(), 4);
  // The read that follows waits for the end of the line.
  std::thread writer([this] {
    SleepMs(100);
    Send("ady\n");
  });
  uint32_t start = GetTickCount();
  EXPECT_EQ(Read(), "isready");
  EXPECT_GE(GetTickCount() - start, 80u);
  writer.join();
  EXPECT_EQ(InputWaiting(), 0);
}

TEST_F(InputTest, BytesInThePipeAndLinesAlreadyReadFromItCount) {
  EXPECT_EQ(InputWaiting(), 0);
  Send("stop\nisready\nqu");
  EXPECT_EQ(InputWaiting(), int(std::strlen("stop\nisready\nqu")));
  EXPECT_EQ(Read(), "stop");
  // The rest sits in the reader's buffer, not in the pipe.
  EXPECT_EQ(InputWaiting(), int(std::strlen("isready\nqu")));
  EXPECT_EQ(Read(), "isready");
  EXPECT_EQ(InputWaiting(), 2);
  Send("it\n");
  EXPECT_EQ(Read(), "quit");
  EXPECT_EQ(InputWaiting(), 0);
}

// A closed pipe is input from the eighth failed peek on; a good peek or a new descriptor restarts the count.
TEST_F(InputTest, BrokenInputAnswersFromTheEighthFailedPeek) {
  Send("quit\n");
  CloseWriter();
  EXPECT_EQ(InputWaiting(), 5);  // written before the writer went
  EXPECT_EQ(Read(), "quit");
  for (int failure = 1; failure <= 7; failure++) EXPECT_EQ(InputWaiting(), 0) << "failure " << failure;
  EXPECT_EQ(InputWaiting(), 1);
  EXPECT_EQ(Read(), "<end>");
  int fresh[2];
  ASSERT_EQ(pipe(fresh), 0);
  SetInputDescriptor(fresh[0]);
  for (int i = 0; i < 7; i++) EXPECT_EQ(InputWaiting(), 0);  // the descriptor goes and comes back
  const int spare = dup(fresh[0]);
  close(fresh[0]);
  EXPECT_EQ(InputWaiting(), 0);
  ASSERT_EQ(dup2(spare, fresh[0]), fresh[0]);
  EXPECT_EQ(InputWaiting(), 0);
  close(fresh[0]);
  for (int i = 0; i < 7; i++) EXPECT_EQ(InputWaiting(), 0);
  EXPECT_EQ(InputWaiting(), 1);
  SetInputDescriptor(fds_[0]);
  close(spare);
  close(fresh[1]);
}

TEST_F(InputTest, ConsoleModeAnswersWhetherAnythingIsWaiting) {
  InputMode = 1;
  EXPECT_EQ(InputWaiting(), 0);
  Send("stop\n");
  EXPECT_EQ(InputWaiting(), 1);
  EXPECT_EQ(Read(), "stop");
  EXPECT_EQ(InputWaiting(), 0);
  // No failure count on a console: a hang-up is input at once.
  CloseWriter();
  EXPECT_NE(InputWaiting(), 0);
}

TEST_F(InputTest, TerminalInPipeModeUsesTheConsoleTest) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
  int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  SetInputDescriptor(terminal);
  EXPECT_TRUE(StdinIsConsole());
  EXPECT_EQ(InputWaiting(), 0);
  ASSERT_EQ(write(master, "stop\n", 5), 5);
  for (int i = 0; i < 100 && !InputWaiting(); i++) SleepMs(5);
  EXPECT_NE(InputWaiting(), 0);
  EXPECT_EQ(Read(), "stop");
  SetInputDescriptor(fds_[0]);
  close(terminal);
  close(master);
}

}  // namespace
