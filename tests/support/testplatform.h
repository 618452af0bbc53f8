// Test doubles of the platform: a console that records its text, scripted
// keys, a fake clock, a recording command runner; and a scratch directory.
#pragma once

#include "top/record.h"
#include "platform/platform.h"
#include "platform/posixplatform.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace velkor::test {

class ScriptedKeyboard final : public Keyboard {
public:
  std::deque<int> keys;         // keys in the order they are pressed
  int waits = 0;                // calls of waitForKey
  double waited = 0;            // seconds asked for in all waits [s]
  std::function<void()> onWait; // runs at every wait (e.g. to create a file)
  int readKey() override;
  void waitForKey(double seconds) override;
};

class FakeClock final : public Clock {
public:
  double now = 1000.0; // timer reading [s]
  std::string date = "01-01-2001";
  std::string timeOfDay = "00:00:00";
  std::function<std::string(double)> timeAt; // time of day for a timer reading, when set
  double slept = 0;                          // [s] in all sleeps
  double timer() override { return now; }
  std::string dateText() override { return date; }
  std::string timeText() override { return timeAt ? timeAt(now) : timeOfDay; }
  void sleep(double seconds) override {
    now += seconds;
    slept += seconds;
  }
};

class RecordingRunner final : public CommandRunner {
public:
  std::vector<std::string> commands;
  void run(const std::string& commandLine) override { commands.push_back(commandLine); }
};

class SequenceRandom final : public Random {
public:
  std::vector<double> values{0.25};
  std::size_t next = 0;
  double uniform() override { return values[next++ % values.size()]; }
};

// A platform whose console output and warnings are kept in strings.
struct TestPlatform {
  explicit TestPlatform(bool terminal = false) : console(out, terminal) {}
  std::ostringstream out;
  std::ostringstream errors;
  StreamConsole console;
  ScriptedKeyboard keyboard;
  FakeClock clock;
  RecordingRunner commands;
  SequenceRandom random;
  Platform platform{console, keyboard, clock, commands, random, errors};
  std::string text() const { return out.str(); }
};

// A fresh empty directory under the system's temporary directory, removed at the end.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;

private:
  std::filesystem::path path_;
};

// Runs f with the working directory set to dir, then restores it.
void inDirectory(const std::filesystem::path& dir, const std::function<void()>& f);

// The shared data folder beside the repository, or empty when it is absent.
std::filesystem::path sharedDataDir();

// Result of running a program: exit status and what it wrote.
struct ProcessResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Where a started program's standard streams go: an open descriptor each, or
// -1 for /dev/null; and a limit on the size of the files it writes [bytes]
// (-1: none; with a limit SIGXFSZ is ignored, so a write beyond it fails).
struct ProcessStreams {
  int in = -1;
  int out = -1;
  int err = -1;
  int64_t fileSizeLimit = -1;
};

// Starts argv[0] (a path, or a name looked up in PATH) with the arguments in
// dir; its process id, or -1 when it could not be started. Every test that
// runs a program starts it here.
int startProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir, const ProcessStreams& streams);

// Waits for a started program: its exit status, 128 + the signal that ended
// it, or 127 when it could not be run.
int waitForProcess(int pid);

// Runs argv[0] with the arguments in dir, stdin from `input` (empty: /dev/null).
ProcessResult runProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                         const std::string& input = {});

} // namespace velkor::test
