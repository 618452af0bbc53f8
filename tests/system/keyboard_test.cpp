// The keyboard on a real terminal: velkor switches it to single keys without
// echo while it runs and restores it however the run ends (q, a signal, a
// closed pipe on stdout, an abort), while Ctrl-Z has stopped it, and leaves
// it alone in the background. A command it runs ends with it. And the
// console on it: warnings start on a row of their own, the last status line
// stays.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <csignal>
#include <poll.h>
#include <string>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
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

// The state letter of a process in /proc ('T' stopped, 'Z' ended), or 0 when it is gone.
char processState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto close = text.rfind(") ");
  return close == std::string::npos ? 0 : text[close + 2];
}

bool alive(pid_t pid) { return processState(pid) != 0 && processState(pid) != 'Z'; }

bool waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i)
    if (condition()) return true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return false;
}

// velkor under a minimal job-control shell: a session leader with the
// terminal as its controlling terminal, which starts velkor in a process
// group of its own, in the foreground (given the terminal) or in the
// background, and ends with velkor's exit status.
struct Job {
  pid_t shell = -1;
  pid_t velkor = -1;
};

Job startJob(const test::ScratchDir& dir, const Terminal& terminal, bool foreground) {
  // Everything the children need is prepared here: after the fork only async-signal-safe calls.
  const std::string binary = VELKOR_BINARY, directory = dir.path().string();
  int report[2];
  if (pipe(report) != 0) return {};
  Job job;
  job.shell = fork();
  if (job.shell == 0) {
    setsid();
    ioctl(terminal.slave, TIOCSCTTY, 0);
    signal(SIGTTOU, SIG_IGN); // the shell hands the terminal over from wherever it is
    const pid_t velkor = fork();
    if (velkor == 0) {
      setpgid(0, 0);
      if (foreground) tcsetpgrp(terminal.slave, getpid());
      signal(SIGTTOU, SIG_DFL);
      for (int fd = 0; fd < 3; ++fd) dup2(terminal.slave, fd);
      if (chdir(directory.c_str()) != 0) _exit(127);
      execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(velkor, velkor);
    if (foreground) tcsetpgrp(terminal.slave, velkor);
    if (write(report[1], &velkor, sizeof velkor) != sizeof velkor) _exit(127);
    int status = 0;
    while (waitpid(velkor, &status, 0) < 0 && errno == EINTR) {}
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
  close(report[1]);
  if (job.shell < 0 || read(report[0], &job.velkor, sizeof job.velkor) != sizeof job.velkor) job.velkor = -1;
  close(report[0]);
  return job;
}

// The shell's exit status, or -1 when it has not ended in 10 s (then both are killed).
int finishJob(const Job& job) {
  int status = 0;
  if (!waitFor([&] { return waitpid(job.shell, &status, WNOHANG) == job.shell; })) {
    kill(job.velkor, SIGKILL);
    kill(job.shell, SIGKILL);
    waitpid(job.shell, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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
  for (Ending ending : {Ending{0, 0}, Ending{SIGINT, 130}, Ending{SIGTERM, 143}, Ending{SIGHUP, 129},
                        Ending{SIGQUIT, 131}, Ending{SIGABRT, 134}}) {
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

  // velkor | head -c 100, head gone: the first line of the banner ends it.
  Terminal terminal;
  test::ScratchDir dir;
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);
  dir.write("velkor.ini", "[file]\ndat = never.dat\ntable = table.txt\n");
  dir.write("table.txt", "");
  const int child = test::startProcess({VELKOR_BINARY}, dir.path(), {terminal.slave, pipeEnds[1], -1});
  close(pipeEnds[1]);
  EXPECT_EQ(exitStatus(child), 128 + SIGPIPE);
  EXPECT_TRUE(terminal.canonical()) << "terminal restored after SIGPIPE";
}

TEST(TerminalKeyboard, ReleasedWhileStoppedAndLeftAloneInTheBackground) {
  Terminal terminal;
  ASSERT_GE(terminal.slave, 0) << "no pseudo-terminal";
  test::ScratchDir dir;
  dir.write("velkor.ini", "[file]\ndat = audio.dat\ntable = table.txt\n");
  dir.write("table.txt", "");

  Job job = startJob(dir, terminal, true);
  ASSERT_GT(job.velkor, 0);
  EXPECT_TRUE(waitForRawMode(terminal));
  EXPECT_EQ(write(terminal.master, "\x1a", 1), 1) << "Ctrl-Z";
  EXPECT_TRUE(waitFor([&] { return processState(job.velkor) == 'T'; })) << "stopped";
  EXPECT_TRUE(terminal.canonical()) << "the shell's terminal while velkor is stopped";
  kill(job.velkor, SIGCONT);
  EXPECT_TRUE(waitForRawMode(terminal)) << "single keys again after fg";
  EXPECT_EQ(write(terminal.master, "q", 1), 1);
  EXPECT_EQ(finishJob(job), 0);
  EXPECT_TRUE(terminal.canonical());

  // velkor &: a raw file is read and deleted (keys were polled on the way,
  // a line of them pending) without a stop and without a change of the mode.
  termios before{};
  tcgetattr(terminal.slave, &before);
  dir.write("audio.dat", std::string(8192, '\0'));
  job = startJob(dir, terminal, false);
  ASSERT_GT(job.velkor, 0);
  EXPECT_EQ(write(terminal.master, "x\n", 2), 2);
  EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(dir.path() / "audio.dat"); })) << "not stopped";
  EXPECT_NE(processState(job.velkor), 'T');
  termios during{};
  tcgetattr(terminal.slave, &during);
  EXPECT_EQ(during.c_lflag, before.c_lflag) << "the mode is the foreground's";
  kill(job.velkor, SIGTERM);
  EXPECT_EQ(finishJob(job), 143) << "not stopped on the way out either";
}

// bmpcmd hangs: SIGTERM ends velkor and the command with everything it started.
TEST(Commands, EndWithVelkorWhenASignalEndsIt) {
  test::ScratchDir dir;
  dir.write("velkor.ini", "[file]\ndat = audio.dat\ntable = table.txt\nbmp = image.bmp\n"
                          "bmpcmd = sleep 1000 & echo $! > cmd.pid && wait\n"
                          "[time]\nshortintegration = 0.5\nlongintegration = 1\n[stations]\n7499m\n");
  dir.write("table.txt", "");
  dir.write("audio.dat", std::string(26460 * 4, '\0'));
  const int child = test::startProcess({VELKOR_BINARY}, dir.path(), {});
  ASSERT_GT(child, 0);
  pid_t command = 0;
  EXPECT_TRUE(waitFor([&] {
    std::ifstream(dir.path() / "cmd.pid") >> command;
    return command > 0;
  })) << "bmpcmd ran";
  kill(child, SIGTERM);
  EXPECT_EQ(exitStatus(child), 143);
  EXPECT_TRUE(waitFor([&] { return !alive(command); })) << "the command is left running";
  if (command > 0) kill(command, SIGKILL);
}

} // namespace velkor
