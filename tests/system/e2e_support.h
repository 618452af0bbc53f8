// Helpers of the end-to-end tests: settings files, recordings made by
// velkor-synth with their truth, runs of the real velkor program and readers
// of what it shows (status lines, the TAI line, the strips of the image).
// Header-only, so that the data tests read velkor's output the same way.
//
// The scene most tests use: a receiver near Brest on 1 March 2015 hearing the
// chains 7499, 6731 and 9007, from the shipped station table, so that
// velkor-synth and velkor place the stations with the same data.
#pragma once

#include "support/bmpreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velkor::e2e {

// A number as the settings files write it: up to 15 significant digits.
inline std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// The text of an INI file, section by section in the order the sections are
// first named. Setting a key again replaces its line; an empty value writes
// the key alone (a flag or a list entry).
class Settings {
public:
  Settings& set(const std::string& section, const std::string& key, const std::string& value = "") {
    auto s = std::find_if(sections_.begin(), sections_.end(), [&](const auto& x) { return x.first == section; });
    if (s == sections_.end()) s = sections_.insert(sections_.end(), {section, {}});
    auto line = std::find_if(s->second.begin(), s->second.end(), [&](const auto& x) { return x.first == key; });
    if (line == s->second.end()) s->second.emplace_back(key, value);
    else line->second = value;
    return *this;
  }
  Settings& set(const std::string& section, const std::string& key, double value) {
    return set(section, key, number(value));
  }
  Settings& erase(const std::string& section, const std::string& key) {
    for (auto& [name, lines] : sections_)
      if (name == section) std::erase_if(lines, [&](const auto& line) { return line.first == key; });
    return *this;
  }
  std::string text() const {
    std::string out;
    for (const auto& [name, lines] : sections_) {
      out += "[" + name + "]\n";
      for (const auto& [key, value] : lines) out += value.empty() ? key + "\n" : key + " = " + value + "\n";
    }
    return out;
  }

private:
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

// A station of a scene: its [stations] key, the synth's relative amplitude
// and extra carrier phase [degrees].
struct SceneStation {
  std::string key;
  double amplitude = 1.0;
  double phase = 0.0;
};

// 7499 X Lessay (the reference, strongest), 7499 M Sylt, 6731 X Soustons,
// 6731 Z Sylt, 9007 M Ejde.
inline std::vector<SceneStation> threeChains() {
  return {{"7499x", 1.0, 0}, {"7499m", 0.5, -60}, {"6731x", 0.6, 30}, {"6731z", 0.4, 120}, {"9007m", 0.5, 45}};
}

// What velkor-synth and velkor share: the place, the table, the sample rate,
// 16-bit stereo samples in "rec.wav".
inline Settings scene(double rate) {
  Settings s;
  s.set("location", "lat", "48.39").set("location", "lon", "-4.49").set("frequency", "sr", rate);
  s.set("file", "table", std::string(VELKOR_SOURCE_DIR) + "/data/table.txt").set("file", "wav", "rec.wav");
  return s.set("file", "bits", 16).set("file", "stereo");
}

// velkor-synth settings: the scene with velkor's 46-byte header, Gaussian
// noise of rms 300, stations of peak 2000 × amplitude; the first sample at
// `start` UTC on 03-01-2015, or at the 1958 origin when empty.
inline Settings synthScene(double rate, double seconds, const std::vector<SceneStation>& stations,
                           const std::string& start = "") {
  Settings s = scene(rate);
  s.set("file", "header", 46).set("time", "duration", seconds);
  if (start.empty()) s.set("file", "origin");
  else s.set("file", "date", "03-01-2015").set("file", "time", start);
  s.set("signal", "amplitude", 2000).set("signal", "noise", 300).set("signal", "seed", 1);
  for (const auto& st : stations) s.set("stations", st.key, number(st.amplitude) + ", " + number(st.phase));
  return s;
}

// velkor settings: the scene said to start at 12:00:00, a grey "image.bmp"
// of fullscale 4000, short integrations of 2 s, image rows of two, 24 points
// per station.
inline Settings receiverScene(double rate, const std::vector<SceneStation>& stations) {
  Settings s = scene(rate);
  s.set("file", "date", "03-01-2015").set("file", "time", "12:00:00").set("file", "bmp", "image.bmp");
  s.set("time", "shortintegration", 2).set("time", "longintegration", 2).set("time", "displaysamples", 24);
  s.set("amplitude", "colour", 0).set("amplitude", "fullscale", 4000);
  for (const auto& st : stations) s.set("stations", st.key);
  return s;
}

// ---- velkor-synth's truth ----------------------------------------------------------

struct StationTruth {
  double amplitude = 0;    // envelope peak [sample units]
  double carrierphase = 0; // at stream time 0 [degrees]
  double arrival = 0;      // pulse start after a PCI start of the 1958 grid [s]
};

struct Truth {
  bool valid = false;
  double start = 0;    // UTC second of the day of the first sample
  double truerate = 0; // [Hz]
  std::vector<StationTruth> stations;
};

// Seconds of the day of "hh:mm:ss[.fff]" at `text`.
inline double secondsOfDay(const char* text) {
  int h = 0, m = 0;
  double s = 0;
  return std::sscanf(text, "%d:%d:%lf", &h, &m, &s) == 3 ? h * 3600.0 + m * 60.0 + s : -1;
}

// The truth file is one JSON object with `"key": value` pairs; the station
// objects, one per line, hold no nested objects.
inline Truth parseTruth(const std::string& json) {
  auto value = [&](const std::string& key, std::size_t from) -> const char* {
    std::size_t at = json.find("\"" + key + "\": ", from);
    return at == std::string::npos ? nullptr : json.c_str() + at + key.size() + 4;
  };
  Truth t;
  const char* utc = value("utc", 0);
  const char* rate = value("true", 0);
  if (!utc || !rate) return t;
  t.start = secondsOfDay(utc + 12);
  t.truerate = std::strtod(rate, nullptr);
  for (std::size_t at = json.find("{\"gri\""); at != std::string::npos; at = json.find("{\"gri\"", at + 1)) {
    const char* fields[] = {value("amplitude", at), value("carrierphase", at), value("arrival", at)};
    if (!fields[0] || !fields[1] || !fields[2]) return t;
    t.stations.push_back(
        {std::strtod(fields[0], nullptr), std::strtod(fields[1], nullptr), std::strtod(fields[2], nullptr)});
  }
  t.valid = !t.stations.empty();
  return t;
}

// Runs velkor-synth in `dir` on `settings` and reads its truth; a failing
// run is a test failure and gives valid = false.
inline Truth synthesise(const test::ScratchDir& dir, const Settings& settings,
                        const std::string& truthFile = "rec.wav.json") {
  dir.write("synth.ini", settings.text());
  auto run = test::runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
  EXPECT_EQ(run.status, 0) << "velkor-synth: " << run.err;
  Truth truth = run.status == 0 ? parseTruth(dir.read(truthFile)) : Truth{};
  EXPECT_TRUE(truth.valid) << "no readable truth in " << truthFile;
  return truth;
}

// ---- velkor's console --------------------------------------------------------------

inline test::ProcessResult runReceiver(const test::ScratchDir& dir, const Settings& settings) {
  dir.write("velkor.ini", settings.text());
  return test::runProcess({VELKOR_BINARY, "velkor.ini"}, dir.path());
}

// The console text split at its line ends "\r\n" (a last piece without one is kept).
inline std::vector<std::string> consoleLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = out.find("\r\n", begin)) != std::string::npos; begin = end + 2)
    lines.push_back(out.substr(begin, end - begin));
  if (begin < out.size()) lines.push_back(out.substr(begin));
  return lines;
}

// "12:00:04 [PC -0.04s ]max 1234 edge 5.00 SR 12000.0000Hz LO +1.0E-09     0.00us";
// a value too wide for its field stands behind "%".
struct StatusLine {
  std::optional<double> pc; // [s], raw input only
  double max = 0, edge = 0, sr = 0, lo = 0, lotime = 0;
};

inline std::optional<StatusLine> parseStatusLine(std::string line) {
  if (line.size() < 9 || line[2] != ':' || line[5] != ':' || !std::isdigit(static_cast<unsigned char>(line[0])))
    return std::nullopt;
  std::replace(line.begin(), line.end(), '%', ' ');
  StatusLine s;
  const char* rest = line.c_str() + 8;
  double pc = 0;
  int used = 0;
  if (std::sscanf(rest, " PC%lfs%n", &pc, &used) == 1 && used > 0) {
    s.pc = pc;
    rest += used;
  }
  used = 0;
  const int fields =
      std::sscanf(rest, " max%lf edge%lf SR%lfHz LO%lf%lfus%n", &s.max, &s.edge, &s.sr, &s.lo, &s.lotime, &used);
  if (fields != 5 || used == 0 || rest[used] != '\0') return std::nullopt;
  return s;
}

inline std::vector<StatusLine> statusLines(const std::string& out) {
  std::vector<StatusLine> result;
  for (const auto& line : consoleLines(out))
    if (auto status = parseStatusLine(line)) result.push_back(*status);
  return result;
}

// "TAI match at    0.05 s offset, rel. error  0.00 rms,  12:00:00.050 UT" (or "TAI guess").
struct SyncResult {
  bool match = false;
  double offset = 0; // [s]
  double start = 0;  // UTC second of the day of the first sample
};

inline std::optional<SyncResult> syncResult(const std::string& out) {
  for (const auto& line : consoleLines(out)) {
    char kind[6] = {};
    SyncResult r;
    double error = 0;
    int used = 0;
    const int fields =
        std::sscanf(line.c_str(), "TAI %5s at%lf s offset, rel. error%lf rms, %n", kind, &r.offset, &error, &used);
    if (fields == 3 && used > 0) {
      r.match = std::string(kind) == "match";
      r.start = secondsOfDay(line.c_str() + used);
      return r;
    }
  }
  return std::nullopt;
}

// ---- The image ------------------------------------------------------------------

// One station's strip, averaged over the image rows from `firstRow` on; grey
// levels, or the brightest colour channel. Columns 0 and 1 carry the hour
// ticks and are left out of `peak`; `floor` is the median level of the last
// third of the window, where the pulse has died away.
struct Strip {
  std::vector<double> level;
  int peak = -1;
  double peaklevel = 0;
  double floor = 0;
};

inline Strip readStrip(const test::BmpImage& image, int station, int points, int firstRow = 0) {
  Strip strip;
  strip.level.assign(static_cast<std::size_t>(points), 0.0);
  const int bytes = image.bitsperpixel / 8;
  const int rows = image.height - firstRow;
  if (rows <= 0 || points < 3) return strip;
  for (int row = firstRow; row < image.height; ++row)
    for (int p = 0; p < points; ++p) {
      const auto at = static_cast<std::size_t>((station * points + p) * bytes);
      const auto* pixel = &image.rows[static_cast<std::size_t>(row)][at];
      strip.level[static_cast<std::size_t>(p)] += *std::max_element(pixel, pixel + bytes) / double(rows);
    }
  auto brightest = std::max_element(strip.level.begin() + 2, strip.level.end());
  strip.peak = static_cast<int>(brightest - strip.level.begin());
  strip.peaklevel = *brightest;
  std::vector<double> tail(strip.level.end() - points / 3, strip.level.end());
  std::nth_element(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(tail.size() / 2), tail.end());
  strip.floor = tail[tail.size() / 2];
  return strip;
}

// The grey level of a pulse of peak `amplitude` drawn with `fullscale`.
// Width and height of a BMP file as Python's standard library reads its
// header ("w h"), after checking that the sizes it states match the file;
// nothing when python3 is not installed.
inline std::optional<std::string> independentBmpSize(const std::string& path) {
  const std::string script =
      "import struct,sys,os\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "assert d[:2]==b'BM' and struct.unpack('<I',d[2:6])[0]==len(d)==os.path.getsize(sys.argv[1])\n"
      "off,hs,w,h,planes,bits=struct.unpack('<IIiiHH',d[10:30])\n"
      "assert hs==40 and planes==1 and bits in (8,24) and off+w*h*bits//8==len(d)\n"
      "print(w,h)\n";
  const auto dir = std::filesystem::absolute(path).parent_path();
  const test::ProcessResult python = test::runProcess({"python3", "-c", script, path}, dir);
  if (python.status == 127) return std::nullopt;
  std::string out = python.out + python.err;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

inline double fullGrey(double amplitude, double fullscale) { return std::min(255.0, 255.0 * amplitude / fullscale); }

// Where a pulse peaks in its window once the sample-clock loop holds the
// reference edge at point 5: the edge (0.4 of the peak) comes 21 us after the
// pulse start, the envelope peaks 65 us after it, 44 us behind point 5.
inline double trackedPeakColumn(double rate) { return 5.0 + 44e-6 * rate; }

// ---- A velkor run under the test's control ---------------------------------------

// Polls `condition` every 2 ms until it holds or `seconds` pass.
inline bool waitUntil(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition())
    if (std::chrono::steady_clock::now() >= deadline) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return true;
}

// velkor with stdin, stdout and stderr on pipes, so that the test can type
// keys while it runs; optionally with a soft limit on the size of the files
// it writes (SIGXFSZ ignored: a write beyond it fails with EFBIG).
class RunningReceiver {
public:
  RunningReceiver(const test::ScratchDir& dir, const Settings& settings, int64_t fileSizeLimit = -1) {
    dir.write("velkor.ini", settings.text());
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "no pipes";
      return;
    }
    test::ProcessStreams streams{in[0], out[1], err[1], fileSizeLimit};
    pid_ = test::startProcess({VELKOR_BINARY, "velkor.ini"}, dir.path(), streams);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    input_ = in[1];
    EXPECT_GT(pid_, 0) << "fork failed";
    outReader_ = std::thread(drain, out[0], std::ref(out_));
    errReader_ = std::thread(drain, err[0], std::ref(err_));
  }
  ~RunningReceiver() { finish(0); }
  RunningReceiver(const RunningReceiver&) = delete;
  RunningReceiver& operator=(const RunningReceiver&) = delete;

  bool running() {
    if (pid_ <= 0 || status_ >= 0) return false;
    int status = 0;
    if (pid_t done = ::waitpid(pid_, &status, WNOHANG); done != pid_) return done == 0;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  void type(const std::string& keys) {
    EXPECT_EQ(::write(input_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())) << "keys lost";
  }
  // Lifts the soft limit to the hard one.
  bool liftFileSizeLimit() {
    struct rlimit limit {};
    if (::prlimit(pid_, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
    limit.rlim_cur = limit.rlim_max;
    return ::prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
  }
  // Waits for the end; after `seconds` velkor is killed (a test failure).
  test::ProcessResult finish(double seconds) {
    if (!waitUntil([this] { return !running(); }, seconds) && pid_ > 0) {
      if (seconds > 0) ADD_FAILURE() << "velkor still ran after " << seconds << " s and was killed";
      ::kill(pid_, SIGKILL);
      waitUntil([this] { return !running(); }, 10);
    }
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
    return {status_, out_, err_};
  }

private:
  static void drain(int fd, std::string& into) {
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;)
      if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
      else if (errno != EINTR) break;
    ::close(fd);
  }
  pid_t pid_ = -1;
  int status_ = -1;
  int input_ = -1;
  std::string out_, err_;
  std::thread outReader_, errReader_;
};

} // namespace velkor::e2e
