// The real platform: a console on stdout, the keyboard on stdin, the system
// clocks, /bin/sh for commands and a fixed-seed random generator.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <iosfwd>
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

private:
  std::ostream& out_;
  bool terminal_;
  std::size_t column_ = 0; // characters after the last line start [characters]
};

// Keys from stdin. On a terminal stdin is switched to non-canonical, no-echo
// input for the lifetime of the object and restored afterwards, also when the
// program is ended by SIGINT (exit 130) or SIGTERM (exit 143). Without a
// terminal, bytes of a pipe or file on stdin are read as keys; at its end no
// key is ever pending.
class StdinKeyboard final : public Keyboard {
public:
  StdinKeyboard();
  ~StdinKeyboard() override;
  StdinKeyboard(const StdinKeyboard&) = delete;
  StdinKeyboard& operator=(const StdinKeyboard&) = delete;
  int readKey() override;
  void waitForKey(double seconds) override;

private:
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
