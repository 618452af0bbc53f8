// The keyboard on a real terminal: velkor switches it to single keys without
// echo while it runs and restores it however the run ends. And the console
// on it: warnings start on a row of their own, the last status line stays.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <string>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace velkor {

namespace {

struct Terminal {
  int master = -1;
  int slave = -1;
  Terminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~Terminal() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool canonical() const {
    termios mode{};
    tcgetattr(slave, &mode);
    return (mode.c_lflag & ICANON) != 0 && (mode.c_lflag & ECHO) != 0;
  }
};

// velkor waiting for a raw file that never comes, its stdin on the terminal.
pid_t startWaiting(const test::ScratchDir& dir, const Terminal& terminal) {
  dir.write("velkor.ini", "[file]\ndat = never.dat\ntable = table.txt\n");
  dir.write("table.txt", "");
  test::ProcessStreams streams;
  streams.in = terminal.slave;
  const int child = test::startProcess({VELKOR_BINARY}, dir.path(), streams);
  return child;
}

bool waitForRawMode(const Terminal& terminal) {
  for (int i = 0; i < 300 && terminal.canonical(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !terminal.canonical();
}

int exitStatus(pid_t child) { return test::waitForProcess(child); }

// What the terminal shows within `milliseconds`, up to a pause of 200 ms.
std::string drain(const Terminal& terminal, int milliseconds) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    struct pollfd output {
      terminal.master, POLLIN, 0
    };
    if (std::chrono::steady_clock::now() > end || poll(&output, 1, 200) <= 0) return text;
    char chunk[4096];
    const ssize_t got = read(terminal.master, chunk, sizeof chunk);
    if (got <= 0) return text;
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

} // namespace

TEST(TerminalConsole, WarningsStartTheirOwnRowAndTheLastStatusLineStaysAfterQ) {
  Terminal terminal;
  ASSERT_GE(terminal.slave, 0) << "no pseudo-terminal";
  test::ScratchDir dir;
  // One raw file of 1.2 s: status lines every 0.5 s, then velkor waits for the next file.
  dir.write("velkor.ini", "[file]\ndat = audio.dat\ntable = table.txt\n[time]\nshortintegration = 0.5\n"
                          "[taisync]\nintegrationtime = 0.2\n[stations]\n7499m\n");
  dir.write("table.txt", "");
  dir.write("audio.dat", std::string(26460 * 4, '\0'));
  const test::ProcessStreams streams{terminal.slave, terminal.slave, terminal.slave};
  const int child = test::startProcess({VELKOR_BINARY}, dir.path(), streams);
  ASSERT_GT(child, 0);

  std::string shown;
  for (int i = 0;
       i < 100 && (std::filesystem::exists(dir.path() / "audio.dat") || shown.find("us") == std::string::npos); ++i)
    shown += drain(terminal, 100);
  EXPECT_EQ(write(terminal.master, "q", 1), 1);
  EXPECT_EQ(exitStatus(child), 0);
  shown += drain(terminal, 1000);
  std::erase(shown, '\r');

  // The summary " 0 blanked, sync to" leaves its row open; the warning takes the next.
  const auto warning = shown.find("velkor: warning: integrationtime is set");
  ASSERT_NE(warning, std::string::npos) << shown;
  EXPECT_EQ(shown[warning - 1], '\n') << shown;
  ASSERT_NE(shown.find(" max"), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("us\n")) << shown;
}

TEST(TerminalKeyboard, RestoredAfterQAndAfterSignals) {
  struct Ending {
    int signal; // 0: the key q
    int status; // exit status
  };
  for (Ending ending : {Ending{0, 0}, Ending{SIGINT, 130}, Ending{SIGTERM, 143}}) {
    Terminal terminal;
    ASSERT_GE(terminal.slave, 0) << "no pseudo-terminal";
    test::ScratchDir dir;
    pid_t child = startWaiting(dir, terminal);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(waitForRawMode(terminal)) << "single keys without echo while velkor runs";
    if (ending.signal) {
      kill(child, ending.signal);
    } else {
      EXPECT_EQ(write(terminal.master, "Qq", 2), 2) << "Q is not q";
    }
    EXPECT_EQ(exitStatus(child), ending.status);
    EXPECT_TRUE(terminal.canonical()) << "terminal restored, signal " << ending.signal;
  }
}

} // namespace velkor
