// Pull-in of the shipped sound-card examples: each example, unchanged but for
// its input, reads a velkor-synth recording of its own set-up whose sound
// card runs from -100 to +100 ppm off the example's sr. With the example's
// sample-rate search the receiver is locked by the third status line and
// stays so: the reference edge within a point of where the sample-clock loop
// holds it (point 5), its max within 20 % of what a run told the true rate
// shows, and SR within 0.5 ppm of the true rate.
#include "config/config.h"
#include "config/settings.h"
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <set>

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr int kStatusLines = 4;    // status lines recorded after the synchronisation
constexpr int kLockedFromLine = 3; // the receiver must be locked from this line on (1 = first)

struct PullIn {
  std::string example;
  double ppm = 0;
};

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// velkor-synth settings for the example's receiver: its position, format and
// carrier, the reference station and the synchronisation chains, noise, a DC
// offset and atmospherics; the first sample at 12:00:00.35 UTC.
e2e::Settings recordingOf(const Settings& example, double ppm, double seconds) {
  e2e::Settings s = e2e::scene(example.sr);
  s.set("location", "lat", example.lat).set("location", "lon", example.lon);
  s.set("file", "date", "03-01-2015").set("file", "time", "12:00:00.35");
  s.set("frequency", "ppm", ppm).set("frequency", "bandcenter", example.bandcenter - example.looffset);
  s.set("time", "duration", seconds).set("time", "asf", example.asf);
  s.set("signal", "amplitude", 1000).set("signal", "noise", 700).set("signal", "seed", 5);
  s.set("signal", "dc", "25, -15").set("signal", "impulserate", 3).set("signal", "impulseamplitude", 12000);
  std::set<std::string> heard;
  auto hear = [&](int32_t gri, char letter) {
    const std::string key = std::to_string(std::abs(gri)) + static_cast<char>(std::tolower(letter));
    if (heard.insert(key).second) s.set("stations", key, "1, " + std::to_string(47 * heard.size()));
  };
  const auto& reference = example.stationentries[static_cast<std::size_t>(example.referencestation)];
  hear(reference.gri, reference.letter);
  for (const auto& entry : example.taientries) hear(entry.gri, entry.letter);
  return s;
}

void PrintTo(const PullIn& pullin, std::ostream* out) { *out << pullin.example << " at " << pullin.ppm << " ppm"; }

class SampleRatePullIn : public testing::TestWithParam<PullIn> {};

TEST_P(SampleRatePullIn, LocksByTheThirdStatusLine) {
  const std::string original = slurp(fs::path(VELKOR_SOURCE_DIR) / "data" / "examples" / GetParam().example);
  Settings example;
  std::ostringstream warnings;
  applyConfigurationText(example, original, warnings);
  ASSERT_GT(example.srsearch, std::fabs(GetParam().ppm)) << "the example searches this far";

  test::ScratchDir dir;
  const double seconds = example.integrationtime + kStatusLines * example.shortintegration + 0.5;
  const e2e::Truth truth = e2e::synthesise(dir, recordingOf(example, GetParam().ppm, seconds));
  ASSERT_TRUE(truth.valid);
  const std::string input = "\n[file]\nwav = rec.wav\ntable = " + std::string(VELKOR_SOURCE_DIR) +
                            "/data/table.txt\nbmp = image.bmp\ndate = 03-01-2015\ntime = 12:00:00\n";
  auto statusOf = [&](const std::string& text) {
    dir.write("velkor.ini", text);
    const test::ProcessResult run = test::runProcess({VELKOR_BINARY, "velkor.ini"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    return e2e::statusLines(run.out);
  };
  // What the example shows when it is told the true rate.
  double locked = 0;
  for (const auto& line :
       statusOf(original + input + "[frequency]\nsrsearch = 0\nsr = " + e2e::number(truth.truerate) + "\n"))
    locked = std::max(locked, line.max);
  ASSERT_GT(locked, 0);

  const auto status = statusOf(original + input);
  ASSERT_EQ(status.size(), std::size_t(kStatusLines));
  int lockedfrom = kStatusLines + 1; // [line] from which every line is locked
  double worst = 0;                  // [ppm] largest SR error from the third line on
  for (int i = kStatusLines; i >= 1; --i) {
    const auto& line = status[static_cast<std::size_t>(i - 1)];
    const double error = (line.sr / truth.truerate - 1) * 1e6; // [ppm]
    const bool good =
        std::fabs(line.edge - 5) <= 1 && std::fabs(line.max / locked - 1) <= 0.2 && std::fabs(error) <= 0.5;
    if (good && lockedfrom == i + 1) lockedfrom = i;
    if (i >= kLockedFromLine) {
      worst = std::max(worst, std::fabs(error));
      EXPECT_NEAR(line.edge, 5, 1) << "line " << i;
      EXPECT_NEAR(line.max, locked, 0.2 * locked) << "line " << i;
      EXPECT_NEAR(error, 0, 0.5) << "line " << i << ": SR " << line.sr << " Hz, true " << truth.truerate << " Hz";
    }
  }
  std::cout << GetParam().example << " at " << GetParam().ppm << " ppm: locked from status line " << lockedfrom
            << ", SR within " << worst << " ppm from line " << kLockedFromLine << " on\n";
}

INSTANTIATE_TEST_SUITE_P(Examples, SampleRatePullIn,
                         testing::Values(PullIn{"soundcard-48k.ini", -100}, PullIn{"soundcard-48k.ini", -50},
                                         PullIn{"soundcard-48k.ini", 20}, PullIn{"soundcard-48k.ini", 100},
                                         PullIn{"live-raw.ini", -100}, PullIn{"live-raw.ini", -50},
                                         PullIn{"live-raw.ini", 20}, PullIn{"live-raw.ini", 100},
                                         PullIn{"soundcard-192k.ini", -100}, PullIn{"soundcard-192k.ini", 100}),
                         [](const auto& info) {
                           std::string name = info.param.example.substr(0, info.param.example.find('.')) + "_" +
                                              (info.param.ppm < 0 ? "minus" : "plus") +
                                              std::to_string(std::lround(std::fabs(info.param.ppm)));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

} // namespace
} // namespace velkor
