#include "platform/posixplatform.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
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

// ---- The state the signal handlers need --------------------------------------
//
// A signal handler can reach nothing but globals, so the few values it needs
// live here, outside the objects, and nothing else does: the terminal's own
// settings to put back, whether velkor's key mode is wanted and in force,
// whether the console's row is to be ended, and the process group of a
// command that is running (to end it with velkor). StdinKeyboard and
// ShellRunner, of which a program has one each, are their only writers
// outside the handlers; they hold the signals while they do.
struct termios savedTerminal;                     // the terminal's settings before the key mode
volatile std::sig_atomic_t keyModeWanted = 0;     // stdin is a terminal: single keys without echo
volatile std::sig_atomic_t keyModeApplied = 0;    // the key mode is in force, savedTerminal holds what to restore
volatile std::sig_atomic_t outputOnTerminal = 0;  // stdout is a terminal: end its row before dying
volatile std::sig_atomic_t commandGroup = 0;      // process group of the running command, 0: none
volatile std::sig_atomic_t handlersInstalled = 0; // the handlers below are in place

// Signals that end the process and that it can survive long enough to clean
// up after: the terminal is restored and a running command ended, then the
// signal ends velkor as it would have (same exit status, core where due).
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT};
// Faults end it too; caught only while the terminal is in the key mode, so
// that tools that watch for faults themselves keep their own handlers.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kCommandGraceSteps = 20;  // checks of a command group told to end before it is killed
constexpr int kCommandGraceStepMs = 50; // [ms] between them: one second in all

// Everything below up to the handlers is async-signal-safe.

// Whether velkor is in the background of its controlling terminal stdin:
// then the terminal is not its to set (and setting it would stop velkor with
// SIGTTOU). A terminal that is not the controlling one has no foreground.
bool inBackground() {
  const pid_t foreground = tcgetpgrp(STDIN_FILENO);
  return foreground > 0 && foreground != getpgrp();
}

void applyKeyMode() {
  if (!keyModeWanted || keyModeApplied || inBackground()) return;
  // Read again each time: after a stop the shell may have changed the settings.
  if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
  struct termios keys = savedTerminal;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 0;
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0) keyModeApplied = 1;
}

void restoreTerminal() {
  if (!keyModeApplied || inBackground()) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  keyModeApplied = 0;
}

// Tells the running command's process group to end, and kills what is left
// of it after a second.
void endCommandGroup() {
  const pid_t group = commandGroup;
  if (group <= 0) return;
  kill(-group, SIGTERM);
  kill(-group, SIGCONT); // a stopped command could not act on SIGTERM
  for (int step = 0; step < kCommandGraceSteps; ++step) {
    waitpid(group, nullptr, WNOHANG); // the shell itself, so that it counts as gone
    if (kill(-group, 0) != 0) return;
    poll(nullptr, 0, kCommandGraceStepMs);
  }
  kill(-group, SIGKILL);
}

// Restores the terminal, ends a running command, then lets the signal end
// the process: installed with SA_RESETHAND, so the raised signal finds the
// default action when the handler returns (a fault recurs and ends it).
extern "C" void cleanUpAndEnd(int signal) {
  restoreTerminal();
  endCommandGroup();
  // The status line stays above the shell's prompt.
  if (outputOnTerminal && !inBackground() && ::write(STDOUT_FILENO, "\r\n", 2) < 0) {}
  raise(signal);
}

// Ctrl-Z: the terminal as the shell had it while velkor is stopped.
extern "C" void restoreAndStop(int) {
  const int savedErrno = errno;
  restoreTerminal();
  struct sigaction stop {
  }, own{};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTSTP, &stop, &own);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP); // stops here until SIGCONT
  sigaction(SIGTSTP, &own, nullptr);
  applyKeyMode();
  errno = savedErrno;
}

// fg (or any continue): the key mode again, when velkor has the terminal.
extern "C" void reapplyKeyMode(int) {
  const int savedErrno = errno;
  applyKeyMode();
  errno = savedErrno;
}

// Installs `handler` for `signal` unless the signal is ignored: a run under
// nohup, or started in the background by a shell without job control, keeps
// what its starter chose. Every other signal waits while a handler runs, so
// that the clean-up runs once, whole.
void catchUnlessIgnored(int signal, void (*handler)(int), int flags) {
  struct sigaction previous {};
  if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigfillset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void installEndingHandlers() {
  if (handlersInstalled) return;
  handlersInstalled = 1;
  for (int signal : kEndingSignals) catchUnlessIgnored(signal, cleanUpAndEnd, SA_RESETHAND);
}

void installKeyModeHandlers() {
  for (int signal : kFaultSignals) catchUnlessIgnored(signal, cleanUpAndEnd, SA_RESETHAND);
  catchUnlessIgnored(SIGTSTP, restoreAndStop, SA_RESTART);
  catchUnlessIgnored(SIGCONT, reapplyKeyMode, SA_RESTART);
}

// Holds every signal for its lifetime: the main code changes what the
// handlers read only while no handler can run.
class SignalsHeld {
public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  const sigset_t& previous() const { return previous_; }

private:
  sigset_t previous_{};
};

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
  installEndingHandlers();
  terminal_ = isatty(STDIN_FILENO) == 1;
  if (!terminal_) {
    struct pollfd input {
      STDIN_FILENO, POLLIN, 0
    };
    exhausted_ = poll(&input, 1, 0) == 1 && (input.revents & POLLNVAL) != 0;
    return;
  }
  const SignalsHeld held;
  keyModeWanted = 1;
  outputOnTerminal = isatty(STDOUT_FILENO) == 1 ? 1 : 0;
  installKeyModeHandlers();
  applyKeyMode(); // in the background: at the first continue in the foreground
}

StdinKeyboard::~StdinKeyboard() {
  const SignalsHeld held;
  restoreTerminal();
  keyModeWanted = 0;
}

bool StdinKeyboard::terminalElsewhere() {
  if (!terminal_) return false;
  if (inBackground()) return true; // its keys are the foreground program's; reading would stop velkor
  if (!keyModeApplied) {
    const SignalsHeld held;
    applyKeyMode();
  }
  return false;
}

int StdinKeyboard::readKey() {
  if (exhausted_ || terminalElsewhere() || !keyPending(0)) return -1;
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
  if (exhausted_ || terminalElsewhere()) {
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
  installEndingHandlers();
  const char* arguments[] = {"sh", "-c", commandLine.c_str(), nullptr};
  pid_t child = 0;
  {
    // Held until the command's group is on record, so that a signal in
    // between cannot leave the command behind; the command starts with
    // velkor's mask as it was.
    const SignalsHeld held;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own: a signal that ends velkor ends the command and its children with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &held.previous());
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    // The keys on a terminal are velkor's; outside the foreground group a
    // command reading them would be stopped, so it reads an empty stdin.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (isatty(STDIN_FILENO) == 1) posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const int failed =
        posix_spawn(&child, "/bin/sh", &files, &attributes, const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return;
    commandGroup = child;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
  const SignalsHeld held;
  commandGroup = 0;
}

double FixedSeedRandom::uniform() {
  // 53 random bits: every value a double can hold in [0, 1) on a 2^-53 grid.
  return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

} // namespace velkor
