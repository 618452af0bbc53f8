#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velkor::e2e {

// ---- Settings files ---------------------------------------------------------

Settings& Settings::set(const std::string& section, const std::string& key, const std::string& value) {
  auto found = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.name == section; });
  if (found == sections_.end()) found = sections_.insert(sections_.end(), Section{section, {}});
  auto line = std::find_if(found->lines.begin(), found->lines.end(), [&](const auto& l) { return l.first == key; });
  if (line == found->lines.end()) found->lines.emplace_back(key, value);
  else line->second = value;
  return *this;
}

Settings& Settings::set(const std::string& section, const std::string& key, double value) {
  return set(section, key, number(value));
}

Settings& Settings::erase(const std::string& section, const std::string& key) {
  for (auto& s : sections_)
    if (s.name == section)
      s.lines.erase(std::remove_if(s.lines.begin(), s.lines.end(), [&](const auto& l) { return l.first == key; }),
                    s.lines.end());
  return *this;
}

std::string Settings::text() const {
  std::ostringstream out;
  for (const auto& section : sections_) {
    out << '[' << section.name << "]\n";
    for (const auto& [key, value] : section.lines) {
      out << key;
      if (!value.empty()) out << " = " << value;
      out << '\n';
    }
  }
  return out.str();
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string stationTable() { return (std::filesystem::path(VELKOR_SOURCE_DIR) / "data" / "table.txt").string(); }

std::vector<SceneStation> twoChains() {
  return {{"7499x", 1.0, 0}, {"7499m", 0.5, -60}, {"6731x", 0.6, 30}, {"6731z", 0.4, 120}};
}

namespace {
constexpr const char* kLatitude = "48.39"; // near Brest
constexpr const char* kLongitude = "-4.49";
constexpr const char* kDate = "03-01-2015";
} // namespace

Settings synthScene(double samplerate, double seconds, const std::vector<SceneStation>& stations,
                    const std::string& start) {
  Settings s;
  s.set("location", "lat", kLatitude).set("location", "lon", kLongitude);
  s.set("file", "table", stationTable())
      .set("file", "wav", "rec.wav")
      .set("file", "header", 46)
      .set("file", "bits", 16)
      .set("file", "stereo")
      .set("file", "date", kDate)
      .set("file", "time", start);
  s.set("frequency", "sr", samplerate);
  s.set("time", "duration", seconds);
  s.set("signal", "amplitude", 2000).set("signal", "noise", 300).set("signal", "seed", 1);
  for (const auto& station : stations)
    s.set("stations", station.key, number(station.amplitude) + ", " + number(station.phase));
  return s;
}

Settings receiverScene(double samplerate, const std::vector<SceneStation>& stations) {
  Settings s;
  s.set("location", "lat", kLatitude).set("location", "lon", kLongitude);
  s.set("file", "table", stationTable())
      .set("file", "wav", "rec.wav")
      .set("file", "bits", 16)
      .set("file", "stereo")
      .set("file", "date", kDate)
      .set("file", "time", "12:00:00")
      .set("file", "bmp", "image.bmp");
  s.set("frequency", "sr", samplerate);
  s.set("time", "shortintegration", 2).set("time", "longintegration", 2).set("time", "displaysamples", 24);
  s.set("amplitude", "colour", 0).set("amplitude", "fullscale", 4000);
  for (const auto& station : stations) s.set("stations", station.key);
  return s;
}

// ---- The truth of a recording ---------------------------------------------

namespace {

// Position just behind `"key":` at or after `from`, or npos.
std::size_t afterKey(const std::string& json, const std::string& key, std::size_t from) {
  std::size_t at = json.find("\"" + key + "\":", from);
  return at == std::string::npos ? at : at + key.size() + 3;
}

double numberAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
  std::size_t at = afterKey(json, key, from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << key << "\" in the truth";
    return 0;
  }
  return std::strtod(json.c_str() + at, nullptr);
}

std::string textAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
  std::size_t at = afterKey(json, key, from);
  if (at == std::string::npos) return {};
  std::size_t open = json.find('"', at);
  std::size_t close = json.find('"', open + 1);
  return json.substr(open + 1, close - open - 1);
}

} // namespace

Truth parseTruth(const std::string& json) {
  Truth truth;
  std::size_t start = afterKey(json, "start", 0);
  std::size_t rate = afterKey(json, "samplerate", 0);
  std::size_t list = afterKey(json, "stations", 0);
  if (start == std::string::npos || rate == std::string::npos || list == std::string::npos) return truth;
  truth.startutc = textAfter(json, "utc", start);
  truth.startinternal = numberAfter(json, "internal", start);
  std::size_t origin = afterKey(json, "origin", start);
  truth.origin = origin != std::string::npos && json.compare(origin, 5, " true") == 0;
  truth.nominalrate = numberAfter(json, "nominal", rate);
  truth.truerate = numberAfter(json, "true", rate);
  truth.duration = numberAfter(json, "duration");
  truth.loerror = numberAfter(json, "loerror");
  truth.basebandfrequency = numberAfter(json, "basebandfrequency");
  // The station objects hold no nested objects: each runs from "{" to "}".
  for (std::size_t open = json.find('{', list); open != std::string::npos; open = json.find('{', open + 1)) {
    std::size_t close = json.find('}', open);
    const std::string object = json.substr(open, close - open + 1);
    StationTruth station;
    station.gri = static_cast<int>(numberAfter(object, "gri"));
    station.letter = textAfter(object, "letter");
    station.amplitude = numberAfter(object, "amplitude");
    station.carrierphase = numberAfter(object, "carrierphase");
    station.pci = numberAfter(object, "pci");
    station.arrival = numberAfter(object, "arrival");
    station.streamarrival = numberAfter(object, "streamarrival");
    station.streamarrivalsamples = numberAfter(object, "streamarrivalsamples");
    truth.stations.push_back(station);
  }
  truth.valid = true;
  return truth;
}

Truth synthesise(const test::ScratchDir& dir, const Settings& settings, const std::string& truthFile) {
  dir.write("synth.ini", settings.text());
  auto run = test::runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
  if (run.status != 0) {
    ADD_FAILURE() << "velkor-synth failed (" << run.status << "): " << run.err;
    return {};
  }
  Truth truth = parseTruth(dir.read(truthFile));
  if (!truth.valid) ADD_FAILURE() << "no readable truth in " << truthFile;
  return truth;
}

double secondsOfDay(const std::string& text) {
  std::size_t blank = text.find(' ');
  const std::string time = blank == std::string::npos ? text : text.substr(blank + 1);
  return std::atoi(time.substr(0, 2).c_str()) * 3600.0 + std::atoi(time.substr(3, 2).c_str()) * 60.0 +
         std::strtod(time.c_str() + 6, nullptr);
}

// ---- velkor runs and their console --------------------------------------------

test::ProcessResult runReceiver(const test::ScratchDir& dir, const Settings& settings) {
  dir.write("velkor.ini", settings.text());
  return test::runProcess({VELKOR_BINARY, "velkor.ini"}, dir.path());
}

std::vector<std::string> consoleLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end = out.find("\r\n"); end != std::string::npos; end = out.find("\r\n", begin)) {
    lines.push_back(out.substr(begin, end - begin));
    begin = end + 2;
  }
  if (begin < out.size()) lines.push_back(out.substr(begin));
  return lines;
}

namespace {

// The number of a template field behind `label`, starting the search at `at`;
// a value too wide for its field stands behind "%". Moves `at` past it.
std::optional<double> fieldAfter(const std::string& line, const std::string& label, std::size_t& at) {
  std::size_t found = line.find(label, at);
  if (found == std::string::npos) return std::nullopt;
  std::size_t begin = line.find_first_not_of(" %", found + label.size());
  if (begin == std::string::npos) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(line.c_str() + begin, &end);
  if (end == line.c_str() + begin) return std::nullopt;
  at = static_cast<std::size_t>(end - line.c_str());
  return value;
}

bool isClockText(const std::string& text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

} // namespace

std::optional<StatusLine> parseStatusLine(const std::string& line) {
  if (line.size() < 9 || !isClockText(line.substr(0, 8))) return std::nullopt;
  StatusLine status;
  status.time = line.substr(0, 8);
  std::size_t at = 8;
  if (line.compare(8, 3, " PC") == 0) status.pc = fieldAfter(line, " PC", at);
  auto max = fieldAfter(line, " max", at);
  auto edge = fieldAfter(line, " edge", at);
  auto sr = fieldAfter(line, " SR ", at);
  auto lo = fieldAfter(line, "Hz LO ", at);
  auto lotime = fieldAfter(line, "", at);
  if (!max || !edge || !sr || !lo || !lotime || line.compare(line.size() - 2, 2, "us") != 0) return std::nullopt;
  status.max = *max;
  status.edge = *edge;
  status.sr = *sr;
  status.lo = *lo;
  status.lotime = *lotime;
  return status;
}

std::vector<StatusLine> statusLines(const std::string& out) {
  std::vector<StatusLine> result;
  for (const auto& line : consoleLines(out))
    if (auto status = parseStatusLine(line)) result.push_back(*status);
  return result;
}

std::optional<SyncResult> syncResult(const std::string& out) {
  for (const auto& line : consoleLines(out)) {
    bool match = line.rfind("TAI match", 0) == 0;
    if (!match && line.rfind("TAI guess", 0) != 0) continue;
    SyncResult result;
    result.match = match;
    std::size_t at = 9;
    auto offset = fieldAfter(line, " at ", at);
    auto error = fieldAfter(line, "rel. error ", at);
    std::size_t ut = line.rfind(" UT");
    if (!offset || !error || ut == std::string::npos || ut < 12) return std::nullopt;
    result.offset = *offset;
    result.error = *error;
    result.ut = line.substr(ut - 12, 12);
    return result;
  }
  return std::nullopt;
}

// ---- The image ------------------------------------------------------------------

Strip readStrip(const test::BmpImage& image, int station, int displaysamples, int firstRow) {
  Strip strip;
  strip.level.assign(static_cast<std::size_t>(displaysamples), 0.0);
  const int bytes = image.bitsperpixel / 8;
  int rows = 0;
  for (int row = firstRow; row < image.height; ++row, ++rows)
    for (int column = 0; column < displaysamples; ++column)
      strip.level[static_cast<std::size_t>(column)] +=
          image.rows[static_cast<std::size_t>(row)][static_cast<std::size_t>((station * displaysamples + column) * bytes)];
  if (rows == 0) return strip;
  for (double& level : strip.level) level /= rows;
  std::vector<double> rest(strip.level.begin() + std::min(2, displaysamples), strip.level.end());
  if (rest.empty()) return strip;
  auto brightest = std::max_element(rest.begin(), rest.end());
  strip.peak = static_cast<int>(brightest - rest.begin()) + 2;
  strip.peaklevel = *brightest;
  std::nth_element(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(rest.size() / 2), rest.end());
  strip.floor = rest[rest.size() / 2];
  return strip;
}

double fullGrey(double amplitude, double fullscale) { return std::min(255.0, 255.0 * amplitude / fullscale); }

double trackedPeakColumn(double samplerate) { return 5.0 + 44e-6 * samplerate; }

// ---- A velkor run under the test's control ---------------------------------------

namespace {

void drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
    else if (got == 0 || errno != EINTR) break;
  }
  ::close(fd);
}

} // namespace

RunningReceiver::RunningReceiver(const test::ScratchDir& dir, const Settings& settings, int64_t fileSizeLimit) {
  dir.write("velkor.ini", settings.text());
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return;
  }
  // Everything the child needs is prepared before the fork: after it only
  // async-signal-safe calls are made.
  const std::string program = VELKOR_BINARY;
  const std::string directory = dir.path().string();
  const char* arguments[] = {program.c_str(), "velkor.ini", nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    if (fileSizeLimit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      // Only the soft limit: the hard one stays, so that the test can lift the limit again.
      struct rlimit limit {};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(fileSizeLimit);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (::chdir(directory.c_str()) != 0 || ::dup2(in[0], 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0)
      _exit(127);
    ::execv(program.c_str(), const_cast<char* const*>(arguments));
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  input_ = in[1];
  if (pid_ < 0) {
    ADD_FAILURE() << "fork failed";
    ::close(out[0]);
    ::close(err[0]);
    return;
  }
  outReader_ = std::thread(drain, out[0], std::ref(out_));
  errReader_ = std::thread(drain, err[0], std::ref(err_));
}

RunningReceiver::~RunningReceiver() {
  if (running()) finish(0);
  if (input_ >= 0) ::close(input_);
  if (outReader_.joinable()) outReader_.join();
  if (errReader_.joinable()) errReader_.join();
}

bool RunningReceiver::running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int status = 0;
  pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done != pid_) return done == 0;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

void RunningReceiver::type(const std::string& keys) {
  if (input_ >= 0 && ::write(input_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
    ADD_FAILURE() << "the keys did not reach velkor";
}

bool RunningReceiver::liftFileSizeLimit() {
  struct rlimit limit {};
  if (::prlimit(pid_, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
  limit.rlim_cur = limit.rlim_max;
  return ::prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

test::ProcessResult RunningReceiver::finish(double timeoutSeconds) {
  if (!waitUntil([this] { return !running(); }, timeoutSeconds) && pid_ > 0) {
    ADD_FAILURE() << "velkor still ran after " << timeoutSeconds << " s and was killed";
    ::kill(pid_, SIGKILL);
    waitUntil([this] { return !running(); }, 10);
  }
  if (input_ >= 0) ::close(input_);
  input_ = -1;
  if (outReader_.joinable()) outReader_.join();
  if (errReader_.joinable()) errReader_.join();
  return {status_, out_, err_};
}

bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

} // namespace velkor::e2e
