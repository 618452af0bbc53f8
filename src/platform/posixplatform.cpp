#include "platform/posixplatform.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace velkor {

void StreamConsole::write(std::string_view text) {
  out_ << text;
  out_.flush();
  auto lastEnd = text.find_last_of("\r\n");
  column_ = lastEnd == std::string_view::npos ? column_ + text.size() : text.size() - lastEnd - 1;
  if (!text.empty()) rowHasText_ = text.back() != '\n';
}

void StreamConsole::lineEnd() {
  out_ << "\r\n";
  out_.flush();
  column_ = 0;
  rowHasText_ = false;
}

void StreamConsole::leaveRow() {
  if (terminal_ && rowHasText_) lineEnd();
}

void ConsoleAwareErrors::beforeText() {
  if (lineStart_ && console_ != nullptr) console_->leaveRow();
}

ConsoleAwareErrors::int_type ConsoleAwareErrors::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  beforeText();
  lineStart_ = traits_type::to_char_type(c) == '\n';
  return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize ConsoleAwareErrors::xsputn(const char* text, std::streamsize count) {
  if (count <= 0) return 0;
  beforeText();
  lineStart_ = text[count - 1] == '\n';
  return target_->sputn(text, count);
}

bool sameTerminal(int first, int second) {
  struct stat a {
  }, b{};
  return isatty(first) == 1 && isatty(second) == 1 && fstat(first, &a) == 0 && fstat(second, &b) == 0 &&
         a.st_rdev == b.st_rdev;
}

void StreamConsole::returnToColumnOne() {
  if (terminal_) {
    out_ << '\r';
    out_.flush();
    column_ = 0;
  } else if (column_ > 0) {
    lineEnd();
  }
}

void StreamConsole::endCurrentLine() {
  if (terminal_ || column_ > 0) lineEnd();
}

namespace {

// The terminal settings to restore. A signal handler can reach nothing else,
// so this one value lives outside the objects.
struct termios savedTerminal;
volatile std::sig_atomic_t terminalSaved = 0;
volatile std::sig_atomic_t outputOnTerminal = 0; // stdout is a terminal: end its row before exit

extern "C" void restoreTerminalAndExit(int signal) {
  if (terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  // The status line stays above the shell's prompt.
  if (outputOnTerminal && ::write(STDOUT_FILENO, "\r\n", 2) < 0) _exit(128 + signal);
  _exit(128 + signal);
}

void installSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = restoreTerminalAndExit;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool keyPending(int timeoutMilliseconds) {
  struct pollfd input {
    STDIN_FILENO, POLLIN, 0
  };
  int ready;
  do {
    ready = poll(&input, 1, timeoutMilliseconds);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

} // namespace

StdinKeyboard::StdinKeyboard() {
  terminal_ = isatty(STDIN_FILENO) == 1;
  if (!terminal_) {
    struct pollfd input {
      STDIN_FILENO, POLLIN, 0
    };
    exhausted_ = poll(&input, 1, 0) == 1 && (input.revents & POLLNVAL) != 0;
    return;
  }
  if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
  terminalSaved = 1;
  outputOnTerminal = isatty(STDOUT_FILENO) == 1 ? 1 : 0;
  installSignalHandlers();
  struct termios raw = savedTerminal;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

StdinKeyboard::~StdinKeyboard() {
  if (terminalSaved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalSaved = 0;
  }
}

int StdinKeyboard::readKey() {
  if (exhausted_ || !keyPending(0)) return -1;
  unsigned char key = 0;
  ssize_t got;
  do {
    got = ::read(STDIN_FILENO, &key, 1);
  } while (got < 0 && errno == EINTR);
  if (got == 1) return key;
  if (!terminal_) exhausted_ = true;
  return -1;
}

void StdinKeyboard::waitForKey(double seconds) {
  if (seconds <= 0) return;
  auto milliseconds = static_cast<int>(seconds * 1000.0 + 0.5);
  if (exhausted_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  auto start = std::chrono::steady_clock::now();
  if (!keyPending(milliseconds)) return;
  // A pipe at its end reads as pending: find out, and sleep out the rest then.
  struct pollfd input {
    STDIN_FILENO, POLLIN, 0
  };
  poll(&input, 1, 0);
  if (!terminal_ && (input.revents & (POLLHUP | POLLNVAL)) != 0 && (input.revents & POLLIN) == 0) {
    exhausted_ = true;
    auto left = std::chrono::milliseconds(milliseconds) - (std::chrono::steady_clock::now() - start);
    if (left.count() > 0) std::this_thread::sleep_for(left);
  }
}

double SystemClock::timer() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

namespace {
std::string localTimeText(const char* format) {
  // Not time(): on Linux it reads the coarse clock, whose second ticks up to
  // a scheduler tick (4 ms) late, and the PC clock is calibrated at the tick.
  struct timespec exact {};
  clock_gettime(CLOCK_REALTIME, &exact);
  std::time_t now = exact.tv_sec;
  struct tm local {};
  localtime_r(&now, &local);
  char text[32];
  std::size_t length = std::strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}
} // namespace

std::string SystemClock::dateText() { return localTimeText("%m-%d-%Y"); }

std::string SystemClock::timeText() { return localTimeText("%H:%M:%S"); }

void SystemClock::sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void ShellRunner::run(const std::string& commandLine) {
  std::fflush(stdout);
  const char* arguments[] = {"sh", "-c", commandLine.c_str(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(arguments), environ) != 0) return;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
}

double FixedSeedRandom::uniform() {
  // 53 random bits: every value a double can hold in [0, 1) on a 2^-53 grid.
  return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

} // namespace velkor
