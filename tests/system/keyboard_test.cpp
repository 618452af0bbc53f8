// The keyboard on a real terminal: velkor switches it to single keys without
// echo while it runs and restores it however the run ends.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

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
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, terminal.slave, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
  char* argv[] = {const_cast<char*>(VELKOR_BINARY), nullptr};
  pid_t child = -1;
  posix_spawn(&child, VELKOR_BINARY, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

bool waitForRawMode(const Terminal& terminal) {
  for (int i = 0; i < 300 && terminal.canonical(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !terminal.canonical();
}

int exitStatus(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

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
