// The operating-system services the receiver uses, behind small interfaces so
// that tests can substitute the console, the keyboard, the clock, the waits and
// the command runner. The real implementations are in posixplatform.h.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace velkor {

// Text display. Lines end with "\r\n"; the status line returns to column 1 of
// its own row so that the next status line overwrites it.
class Console {
public:
  virtual ~Console() = default;
  virtual void write(std::string_view text) = 0;
  virtual void lineEnd() = 0;               // "\r\n"
  virtual void returnToColumnOne() = 0;     // rewrite the current row next
  virtual void endCurrentLine() = 0;        // start the next output on a fresh row
  virtual bool somethingOnLine() const = 0; // text stands left of the cursor
};

// Non-blocking keyboard. readKey returns the next pending key or -1.
class Keyboard {
public:
  virtual ~Keyboard() = default;
  virtual int readKey() = 0;
  // Wait up to `seconds`; returns early (without consuming it) when a key is pending.
  virtual void waitForKey(double seconds) = 0;
};

// Clocks and fixed waits.
class Clock {
public:
  virtual ~Clock() = default;
  virtual double timer() = 0;             // monotonic high-resolution timer [s]
  virtual std::string dateText() = 0;     // local date "MM-DD-YYYY"
  virtual std::string timeText() = 0;     // local time of day "HH:MM:SS"
  virtual void sleep(double seconds) = 0; // fixed wait, keys do not end it
};

// Runs a command line through /bin/sh and waits for it; the exit status is not used.
class CommandRunner {
public:
  virtual ~CommandRunner() = default;
  virtual void run(const std::string& commandLine) = 0;
};

// Uniform random numbers in [0, 1) from a fixed seed.
class Random {
public:
  virtual ~Random() = default;
  virtual double uniform() = 0;
};

// Everything the receiver needs from its surroundings, passed explicitly.
struct Platform {
  Console& console;
  Keyboard& keyboard;
  Clock& clock;
  CommandRunner& commands;
  Random& random;
  std::ostream& errors; // warnings (stderr)
};

} // namespace velkor
