// The real platform: a console on stdout, the keyboard on stdin, the system
// clocks, /bin/sh for commands and a fixed-seed random generator.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <iosfwd>
#include <streambuf>
#include <random>

namespace velkor {

// Writes to a stream. On a terminal the status line returns with "\r"; in a
// log (not a terminal) every status line is kept on its own line instead, and
// no empty lines are added.
class StreamConsole final : public Console {
public:
  StreamConsole(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void write(std::string_view text) override;
  void lineEnd() override;
  void returnToColumnOne() override;
  void endCurrentLine() override;
  bool somethingOnLine() const override { return column_ > 0; }
  // On a terminal, moves to a fresh row when the cursor's row holds text
  // (also a status line the cursor has returned to the start of), so that
  // what comes next, a warning or the shell's prompt, leaves it standing.
  void leaveRow();

private:
  std::ostream& out_;
  bool terminal_;
  std::size_t column_ = 0;  // characters after the last line start [characters]
  bool rowHasText_ = false; // the cursor's row shows text, even with the cursor at its start
};

// Standard error beside a console: when both go to the same terminal, the
// console's row is left (see leaveRow) before the first character of every
// message, so a warning never joins a status line. Otherwise the bytes pass
// through unchanged.
class ConsoleAwareErrors final : public std::streambuf {
public:
  ConsoleAwareErrors(std::streambuf* target, StreamConsole* sharedTerminal)
      : target_(target), console_(sharedTerminal) {}

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override { return target_->pubsync(); }

private:
  void beforeText();
  std::streambuf* target_;
  StreamConsole* console_; // null: stderr is not the console's terminal
  bool lineStart_ = true;  // the next character begins a message line
};

// Whether the two descriptors are one and the same terminal.
bool sameTerminal(int first, int second);

// Keys from stdin. On a terminal stdin is switched to non-canonical, no-echo
// input (the key mode) for the lifetime of the object and restored
// afterwards, also when a signal ends the program (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE, an abort or a fault: the signal then ends it as it
// would have) and while Ctrl-Z has stopped it; SIGCONT applies the key mode
// again. In the background of its terminal velkor neither sets the mode nor
// reads keys (either would stop it); it does both once it is brought to the
// foreground. Without a terminal, bytes of a pipe or file on stdin are read
// as keys; at its end no key is ever pending.
class StdinKeyboard final : public Keyboard {
public:
  StdinKeyboard();
  ~StdinKeyboard() override;
  StdinKeyboard(const StdinKeyboard&) = delete;
  StdinKeyboard& operator=(const StdinKeyboard&) = delete;
  int readKey() override;
  void waitForKey(double seconds) override;

private:
  // A terminal stdin that velkor cannot use now: in the background. In the
  // foreground the key mode is applied when it is not in force yet.
  bool terminalElsewhere();
  bool exhausted_ = false; // stdin is closed or at its end
  bool terminal_ = false;
};

class SystemClock final : public Clock {
public:
  double timer() override;
  std::string dateText() override;
  std::string timeText() override;
  void sleep(double seconds) override;
};

// Runs the command in a process group of its own, with stdin from /dev/null
// when velkor's stdin is a terminal. A signal that ends velkor sends SIGTERM
// to that group and, after a second, SIGKILL to what is left of it.
class ShellRunner final : public CommandRunner {
public:
  void run(const std::string& commandLine) override;
};

class FixedSeedRandom final : public Random {
public:
  explicit FixedSeedRandom(uint64_t seed = 1) : engine_(seed) {}
  double uniform() override;

private:
  std::mt19937_64 engine_;
};

} // namespace velkor
