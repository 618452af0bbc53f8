// Every example configuration in data/examples, run through the velkor
// program in a scratch directory: the KiwiSDR examples on their recordings
// (skipped without the shared data beside the repository), the live examples
// on short synthetic recordings that velkor-synth makes for the example's
// receiver: its position, sample rate, carrier offset and stations. The
// synthetic samples come as one-second raw files that a feeder puts in place
// one by one as a capture program would, at the pace of real time, each once
// velkor has deleted the previous one; an empty raw file ends the run.
//
// Each run uses a copy of the example in which only the input file and the
// lengths (synchronisation time, short and long integration) may differ, and
// must end with status 0 and no warning, print the banner, the station list,
// "TAI match" and status lines, and leave an image of the example's width in
// which the reference station's pulse stands out. The bundled demo of
// data/demo runs as well, on one minute of its recording.
#include "core/config.h"
#include "core/state.h"
#include "image/bmpreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velkor::test {
namespace {

using namespace std::chrono_literals;
using WallClock = std::chrono::system_clock;

const std::filesystem::path kData = std::filesystem::path(VELKOR_SOURCE_DIR) / "data";
constexpr double kSoundCardPpm = 3; // the synthetic sound card's clock error [1e-6]

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(text.begin());
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The example's text with new values for some keys; the comment of each
// changed line stays. Every key named must occur exactly once.
std::string withValues(const std::string& text, const std::map<std::string, std::string>& values) {
  std::map<std::string, int> found;
  std::istringstream in(text);
  std::string out, line;
  while (std::getline(in, line)) {
    const auto comment = line.find(';');
    const std::string setting = line.substr(0, comment);
    const std::string key = lower(trimmed(setting.substr(0, setting.find('='))));
    if (auto value = values.find(key); value != values.end() && setting.find('=') != std::string::npos) {
      ++found[key];
      std::string changed = key + " = " + value->second;
      if (comment != std::string::npos) changed += "   " + line.substr(comment);
      line = changed;
    }
    out += line + "\n";
  }
  for (const auto& [key, value] : values) EXPECT_EQ(found[key], 1) << "the example sets \"" << key << "\" once";
  return out;
}

State settingsOf(const std::string& text) {
  State state;
  std::ostringstream warnings;
  applyConfigurationText(state, text, warnings);
  EXPECT_EQ(warnings.str(), "");
  return state;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.push_back(line);
  }
  return result;
}

// "12:30:10 PC -0.04s max  412 edge 5.02 SR 48000.1234Hz LO -2.4E-08     1.25us"
bool isStatusLine(const std::string& line, bool raw) {
  auto digits = [&](std::size_t at) { return std::isdigit(static_cast<unsigned char>(line[at])) != 0; };
  if (line.size() < 60 || !digits(0) || !digits(1) || line[2] != ':' || !digits(3) || !digits(4) || line[5] != ':' ||
      !digits(6) || !digits(7))
    return false;
  const std::size_t max = line.find(" max");
  const std::size_t edge = line.find(" edge", max);
  const std::size_t rate = line.find("SR ", edge);
  const std::size_t lo = line.find("Hz LO ", rate);
  return max != std::string::npos && edge != std::string::npos && rate != std::string::npos &&
         lo != std::string::npos && line.ends_with("us") && (line.find(" PC") == 8) == raw;
}

// The brightness of a pixel: its grey level, or its brightest colour channel.
int brightness(const BmpImage& image, const std::vector<uint8_t>& row, int pixel) {
  if (image.bitsperpixel == 8) return row[static_cast<std::size_t>(pixel)];
  auto at = static_cast<std::size_t>(3 * pixel);
  return std::max({row[at], row[at + 1], row[at + 2]});
}

struct StripProfile {
  int peakPixel = -1;     // brightest point near the pulse (mean over the rows)
  double peak = 0;        // its mean brightness
  double background = 0;  // median of the mean brightness of the points well after the pulse
};

// A station's strip, averaged over the rows. The pulse is expected to start
// near point 6; points from 0.5 ms later on hold noise only. The first two
// points are left out: they carry the hour ticks.
StripProfile profileOf(const BmpImage& image, int station, int displaysamples, double sr) {
  std::vector<double> mean(static_cast<std::size_t>(displaysamples), 0.0);
  for (const auto& row : image.rows)
    for (int p = 0; p < displaysamples; ++p)
      mean[static_cast<std::size_t>(p)] += brightness(image, row, station * displaysamples + p) /
                                           static_cast<double>(image.rows.size());
  const int quiet = 6 + static_cast<int>(std::ceil(500e-6 * sr));
  StripProfile profile;
  for (int p = 2; p < std::min(quiet, displaysamples); ++p) {
    if (mean[static_cast<std::size_t>(p)] > profile.peak) {
      profile.peak = mean[static_cast<std::size_t>(p)];
      profile.peakPixel = p;
    }
  }
  std::vector<double> noise(mean.begin() + std::min(quiet, displaysamples), mean.end());
  if (!noise.empty()) {
    std::nth_element(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(noise.size() / 2), noise.end());
    profile.background = noise[noise.size() / 2];
  }
  return profile;
}

// What every run must show, whatever its input.
void expectACompleteRun(const ProcessResult& result, const State& settings, const ScratchDir& dir, int minimumRows) {
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "") << "no warning";
  const auto output = lines(result.out);
  ASSERT_GT(output.size(), settings.stationentries.size() + 2) << result.out;
  EXPECT_EQ(output[0], "velkor " VELKOR_VERSION " - Loran-C receiver");

  // The station list: one line per station in the order of [stations], then the summary.
  for (std::size_t i = 0; i < settings.stationentries.size(); ++i) {
    const auto& entry = settings.stationentries[i];
    const std::string& line = output[i + 1];
    SCOPED_TRACE(line);
    EXPECT_TRUE(line.starts_with(" " + std::to_string(std::abs(entry.gri)) + " " + entry.letter + " "));
    EXPECT_EQ(line.find("not found in table"), std::string::npos);
    EXPECT_EQ(line.find("(blanked)") != std::string::npos, entry.gri < 0);
  }
  EXPECT_NE(output[settings.stationentries.size() + 1].find(" blanked, sync to "), std::string::npos);
  EXPECT_EQ(std::count_if(output.begin(), output.end(), [](const auto& l) { return l.starts_with("TAI match"); }), 1)
      << result.out;
  const bool raw = settings.wavinput == 0;
  const auto statusLines =
      std::count_if(output.begin(), output.end(), [&](const auto& l) { return isStatusLine(l, raw); });
  EXPECT_GE(statusLines, int64_t{minimumRows} * settings.longintegration) << result.out;

  const int displayed = static_cast<int>(settings.stationentries.size()) - settings.hidden;
  const BmpImage image = readBmp(dir.read(settings.bmp));
  ASSERT_EQ(image.problem, "") << settings.bmp;
  EXPECT_EQ(image.width, (settings.displaysamples * displayed + 3) / 4 * 4);
  EXPECT_EQ(image.bitsperpixel, settings.colour != 0 ? 24 : 8);
  ASSERT_GE(image.height, minimumRows);

  const StripProfile reference = profileOf(image, settings.referencestation, settings.displaysamples, settings.sr);
  EXPECT_GE(reference.peak, 100) << "the reference station's pulse is bright";
  EXPECT_GE(reference.peak, 4 * (reference.background + 1)) << "and stands out of the noise";
  EXPECT_GE(reference.peakPixel, 4);
}

ProcessResult runVelkor(const ScratchDir& dir, const std::string& config, const std::string& timezone) {
  return runProcess({"/usr/bin/env", "TZ=" + timezone, VELKOR_BINARY, config}, dir.path());
}

// ---- the KiwiSDR examples on their recordings ----

void runRecordingExample(const std::string& example, const std::string& recording) {
  const auto shared = sharedDataDir();
  if (shared.empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
  ScratchDir dir;
  std::filesystem::copy_file(kData / "table.txt", dir.path() / "table.txt");
  const std::string text = withValues(slurp(kData / "examples" / example),
                                      {{"wav", (shared / "recordings" / recording).string()}});
  dir.write(example, text);
  const State settings = settingsOf(text);
  const ProcessResult result = runVelkor(dir, example, "UTC0");
  // Ten seconds of recording: two for the synchronisation, then one row a second.
  expectACompleteRun(result, settings, dir, 6);
}

TEST(ExamplesRun, KiwiSdrG4fuiOnItsRecording) {
  runRecordingExample("kiwisdr-g4fui.ini", "20251207T170403Z_100000_G4FUI_iq.wav");
}

TEST(ExamplesRun, KiwiSdrQtrOnItsRecording) {
  runRecordingExample("kiwisdr-qtr.ini", "20250825T063002Z_100000_QTR_iq.wav");
}

// ---- the live examples on synthetic raw files ----

// velkor-synth's start date and time ("yyyy-mm-dd", "hh:mm:ss.ffffff") of a moment.
std::pair<std::string, std::string> synthTime(WallClock::time_point moment) {
  const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(moment.time_since_epoch()).count();
  const std::time_t whole = static_cast<std::time_t>(micro / 1000000);
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char date[32], time[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d.%06lld", utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long long>(micro % 1000000));
  return {date, time};
}

// Settings of velkor-synth for the example's receiver: one-second raw files
// in spool/, starting at `start` on velkor's time scale. The stations to be
// blanked are four times as strong as the others, there is noise, a DC
// offset, atmospherics, and the sound card runs kSoundCardPpm fast.
std::string synthSettings(const State& example, WallClock::time_point start, int seconds) {
  const auto [date, time] = synthTime(start);
  std::ostringstream out;
  out.precision(17);
  out << "[location]\nlat = " << example.lat << "\nlon = " << example.lon << "\n"
      << "[file]\ntable = table.txt\ndat = spool/audio.dat\nsplit = 1\n"
      << "bits = " << 8 * example.bytespersample << "\n" << (example.channels == 2 ? "stereo" : "mono") << "\n"
      << "date = " << date << "\ntime = " << time << "\n"
      << "[frequency]\nsr = " << example.sr << "\nppm = " << kSoundCardPpm << "\n"
      // The carrier lies at -bandcenter in I + jQ; the digital oscillator takes it down by looffset.
      << "bandcenter = " << example.bandcenter - example.looffset << "\n"
      // Whole files only: round(duration × true rate) = seconds × sr frames.
      << "[time]\nduration = " << seconds / (1 + kSoundCardPpm * 1e-6) << "\nasf = " << example.asf << "\n"
      << "[signal]\namplitude = 1000\nnoise = 700\nseed = 9\ndc = 25, -15\n"
      << "impulserate = 3\nimpulseamplitude = 12000\n"
      << "[stations]\n";
  std::set<std::string> heard;
  int index = 0;
  for (const auto& entry : example.stationentries) {
    const std::string key = std::to_string(std::abs(entry.gri)) + static_cast<char>(std::tolower(entry.letter));
    if (!heard.insert(key).second) continue;
    out << key << " = " << (entry.gri < 0 ? 4 : 1) << ", " << 47 * index++ << "\n";
  }
  return out.str();
}

std::vector<std::filesystem::path> spoolFiles(const ScratchDir& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "spool"))
    if (entry.path().extension() != ".json") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Puts the raw files in place as `target` one by one, each when it has been
// "captured" (at its end in real time) and once velkor has deleted the
// previous one; then an empty file, which ends the run.
void feed(std::stop_token stop, std::vector<std::filesystem::path> files, std::filesystem::path target,
          WallClock::time_point start, std::chrono::microseconds perFile) {
  auto waitUntilTaken = [&](WallClock::time_point due) {
    while (!stop.stop_requested() && (WallClock::now() < due || std::filesystem::exists(target)))
      std::this_thread::sleep_for(2ms);
    return !stop.stop_requested();
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!waitUntilTaken(start + perFile * static_cast<int>(i + 1))) return;
    std::error_code failed;
    std::filesystem::rename(files[i], target, failed);
    if (failed) return;
  }
  if (!waitUntilTaken(start)) return;
  const auto empty = target.parent_path() / "empty.tmp";
  std::ofstream(empty).close();
  std::error_code ignored;
  std::filesystem::rename(empty, target, ignored);
}

struct LiveRun {
  std::map<std::string, std::string> lengths; // the example's length settings for the test
  int seconds = 0;                            // of synthetic recording
  int minimumRows = 0;
};

void runLiveExample(const std::string& example, const LiveRun& run) {
#ifndef VELKOR_SYNTH
  GTEST_SKIP() << "velkor-synth is not built";
#else
  ScratchDir dir;
  std::filesystem::copy_file(kData / "table.txt", dir.path() / "table.txt");
  const std::string text = withValues(slurp(kData / "examples" / example), run.lengths);
  dir.write(example, text);
  const State settings = settingsOf(text);
  ASSERT_EQ(settings.wavinput, 0);
  ASSERT_EQ(settings.inputfile, "audio.dat");
  std::filesystem::create_directory(dir.path() / "spool");

  // The recording starts a moment from now, so that its first second is
  // "captured" soon after velkor has started. velkor's time scale runs
  // `clockoffset` seconds ahead of the one the synthesiser counts (the leap
  // seconds after 2012), so the synthesiser is given that much later a time.
  WallClock::time_point start;
  auto margin = 1500ms;
  for (int attempt = 0;; ++attempt) {
    start = WallClock::now() + margin;
    const auto scaleStart = start + std::chrono::microseconds(std::lround(1e6 * settings.clockoffset));
    dir.write("synth.ini", synthSettings(settings, scaleStart, run.seconds));
    const ProcessResult made = runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    if (WallClock::now() < start + 800ms) break;
    ASSERT_LT(attempt, 3) << "velkor-synth is too slow for the real-time feed";
    margin *= 4;
  }
  const auto files = spoolFiles(dir);
  ASSERT_EQ(files.size(), static_cast<std::size_t>(run.seconds));

  // One file of round(sr) frames lasts that many frames at the true rate.
  const std::chrono::microseconds perFile(std::lround(1e6 / (1 + kSoundCardPpm * 1e-6)));
  std::jthread feeder(feed, files, dir.path() / "audio.dat", start, perFile);
  // The PC clock shows local time, utcoffset hours ahead of UTC.
  const std::string timezone = "UTC" + std::to_string(-settings.utcoffset);
  const ProcessResult result = runVelkor(dir, example, timezone);
  feeder.request_stop();
  feeder.join();

  expectACompleteRun(result, settings, dir, run.minimumRows);
  if (settings.pllcommandgiven) {
    // Locked after four strong periods, velkor runs the oscillator command once a period.
    const auto log = lines(dir.read("pll.log"));
    EXPECT_GE(log.size(), 1u);
    for (const auto& value : log) {
      SCOPED_TRACE(value);
      char* end = nullptr;
      const double argument = std::strtod(value.c_str(), &end);
      EXPECT_TRUE(end != value.c_str() && trimmed(end).empty());
      EXPECT_GE(argument, 0);
      EXPECT_LE(argument, 4095);
    }
  }
#endif
}

// Synchronisation on 2 s, a short integration a second, a row every two:
// at least three rows in ten seconds.
const std::map<std::string, std::string> kShortLengths = {
    {"integrationtime", "2"}, {"shortintegration", "1"}, {"longintegration", "2"}};

TEST(ExamplesRun, SoundCard48kWithBandCenterOnSyntheticRawFiles) {
  runLiveExample("soundcard-48k.ini", {kShortLengths, 10, 3});
}

TEST(ExamplesRun, SoundCard192kOnSyntheticRawFiles) {
  runLiveExample("soundcard-192k.ini", {kShortLengths, 10, 3});
}

TEST(ExamplesRun, LiveRawWithBlankerBlankingTwoChainsAndOscillatorCommandOnSyntheticRawFiles) {
  runLiveExample("live-raw.ini", {kShortLengths, 10, 3});
}

// The bundled demo, one minute of it instead of ten: the synchronisation
// finds the 0.35 s by which the configured time is early, and every
// station's pulse stands out in its strip.
TEST(DemoRun, FindsTheTimeAndShowsEveryStation) {
#ifndef VELKOR_SYNTH
  GTEST_SKIP() << "velkor-synth is not built";
#else
  ScratchDir dir;
  std::filesystem::copy_file(kData / "table.txt", dir.path() / "table.txt");
  const auto demo = dir.path() / "demo";
  std::filesystem::create_directory(demo);
  std::ofstream(demo / "synth.ini") << withValues(slurp(kData / "demo" / "synth.ini"), {{"duration", "60"}});
  const std::string text = slurp(kData / "demo" / "demo.ini");
  std::ofstream(demo / "demo.ini") << text;
  const ProcessResult made = runProcess({VELKOR_SYNTH, "synth.ini"}, demo);
  ASSERT_EQ(made.status, 0) << made.err;
  const ProcessResult result = runProcess({VELKOR_BINARY, "demo.ini"}, demo);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("TAI match at    0.35 s offset"), std::string::npos) << result.out;

  const State settings = settingsOf(text);
  const BmpImage image = readBmp(slurp(demo / settings.bmp));
  ASSERT_EQ(image.problem, "");
  ASSERT_EQ(image.width, 8 * 48);
  ASSERT_EQ(image.height, 3) << "a row every 15 s after 10 s of synchronisation";
  for (int station = 0; station < 8; ++station) {
    SCOPED_TRACE("station " + std::to_string(station));
    const StripProfile strip = profileOf(image, station, settings.displaysamples, settings.sr);
    // The weakest, Bo on 7001 at a tenth of Lessay's amplitude, reaches about
    // twice the noise in three rows; noise alone stays below 100.
    EXPECT_GE(strip.peak, 100);
    EXPECT_GE(strip.peak, 1.6 * strip.background);
    EXPECT_GE(strip.peakPixel, 6);
    EXPECT_LE(strip.peakPixel, 10);
  }
  EXPECT_TRUE(std::filesystem::exists(demo / "stations.txt")) << "the labels of the demo's picture";
#endif
}

TEST(ExamplesRun, EveryExampleHasARun) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kData / "examples"))
    if (entry.path().extension() == ".ini") names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"kiwisdr-g4fui.ini", "kiwisdr-qtr.ini", "live-raw.ini",
                                          "soundcard-192k.ini", "soundcard-48k.ini"}))
      << "a new example needs its run in this file";
}

} // namespace
} // namespace velkor::test
