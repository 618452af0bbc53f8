// One scene of three chains, recorded by velkor-synth in the sample formats
// velkor reads, with a clock that is wrong by a fraction of a PCI or by
// several, a sound card off by up to 20 ppm and a local oscillator off in
// either direction. From each recording velkor must find the time (TAI
// match, offset = true start minus the 12:00:00 it is given), bring the
// sample-clock loop to the true rate with the reference edge at point 5,
// measure the oscillator error, show every station's pulse where the
// reference's is, and write its console to the log one line per status line.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <ostream>

namespace velkor {
namespace {

struct Case {
  const char* name;
  double rate; // [Hz]
  int bits;
  bool stereo;
  double bandcenter; // [Hz], the same for velkor-synth and velkor
  int points;        // displaysamples
  double seconds;
  const char* start; // true UTC time of the first sample
  double offset;     // [s] true start minus 12:00:00
  double ppm;        // the sound card's clock error
  double loerror;    // the local oscillator's relative frequency error
};

void PrintTo(const Case& r, std::ostream* os) { *os << r.name; }

class Reception : public testing::TestWithParam<Case> {};

TEST_P(Reception, FindsTimeRateOscillatorAndEveryStation) {
  const Case& r = GetParam();
  const auto stations = e2e::threeChains();
  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(r.rate, r.seconds, stations, r.start);
  synth.set("file", "bits", r.bits).set("frequency", "bandcenter", r.bandcenter);
  synth.set("frequency", "ppm", r.ppm).set("frequency", "loerror", r.loerror);
  if (r.loerror != 0) synth.set("signal", "noise", 100); // a steadier carrier phase
  double fullscale = 4000;
  if (r.bits == 8) { // pulses of peak 80 in noise of rms 4
    synth.set("signal", "amplitude", 80).set("signal", "noise", 4);
    fullscale = 160;
  }
  if (!r.stereo) {
    // A mono file holds I only: every carrier is turned to phase 0 at the
    // start, so that I carries the pulses at full strength.
    synth.erase("file", "stereo").set("file", "mono");
    const e2e::Truth first = e2e::synthesise(dir, synth);
    ASSERT_EQ(first.stations.size(), stations.size());
    for (std::size_t s = 0; s < stations.size(); ++s)
      synth.set("stations", stations[s].key,
                e2e::number(stations[s].amplitude) + ", " +
                    e2e::number(stations[s].phase - first.stations[s].carrierphase));
  }
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);

  e2e::Settings receiver = e2e::receiverScene(r.rate, stations);
  receiver.set("file", "bits", r.bits).set("frequency", "bandcenter", r.bandcenter);
  receiver.set("time", "displaysamples", r.points).set("amplitude", "fullscale", fullscale);
  // The first entry fixes the clock modulo its PCI, the other chains decide
  // the whole PCIs: a residual of 1/3000 s weighs 1.
  receiver.set("taisync", "integrationtime", 4).set("taisync", "searchrange", 60);
  for (const char* entry : {"7499x", "6731x", "9007m"}) receiver.set("taisync", entry, 3000);
  if (!r.stereo) receiver.erase("file", "stereo").set("file", "mono");
  const auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(std::filesystem::exists(dir.file("rec.wav"))) << "a recording is never deleted";

  const auto sync = e2e::syncResult(run.out);
  ASSERT_TRUE(sync.has_value()) << run.out;
  EXPECT_TRUE(sync->match) << run.out;
  EXPECT_NEAR(sync->offset, r.offset, 0.006) << "the offset is shown to 10 ms";
  EXPECT_NEAR(sync->start, truth.start, 0.001) << "the time of the first sample";

  // The log: every line ends with CR LF; after the TAI line come only status
  // lines, then the one empty line that ends the status row on a terminal.
  ASSERT_TRUE(run.out.ends_with("\r\n"));
  const auto lines = e2e::consoleLines(run.out);
  for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  EXPECT_EQ(lines.back(), "");
  const auto tai = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("TAI "); });
  ASSERT_NE(tai, lines.end());
  for (auto line = tai + 1; line + 1 < lines.end(); ++line)
    EXPECT_TRUE(e2e::parseStatusLine(*line).has_value()) << "\"" << *line << "\"";
  const auto status = e2e::statusLines(run.out);
  ASSERT_GE(static_cast<double>(status.size()), (r.seconds - 6) / 2) << "a status line every 2 s after the sync";
  ASSERT_EQ(static_cast<std::size_t>(lines.end() - tai), status.size() + 2);

  // The sample-clock loop: from 20 ppm off, every estimate of the last 10 s
  // within 3 ppm of the true rate and their mean within 1 ppm; from a few
  // ppm off (less than the estimates scatter at 12 kHz), within 0.2 Hz.
  double sum = 0;
  for (std::size_t i = status.size() - 5; i < status.size(); ++i) {
    EXPECT_NEAR(status[i].edge, 5.0, 1.0) << "the reference edge held at point 5, status line " << i;
    EXPECT_NEAR(status[i].sr, truth.truerate, std::abs(r.ppm) >= 20 ? 3e-6 * r.rate : 0.2) << "status line " << i;
    sum += status[i].sr;
  }
  EXPECT_NEAR(sum / 5, truth.truerate, std::abs(r.ppm) >= 20 ? 1e-6 * r.rate : 0.2);

  // The LO field is the carrier's relative frequency out of the oscillator,
  // f_bb / 100 kHz = -loerror: a fast oscillator shows a negative value. It
  // counts once velkor has locked (after four periods); the oscillator time
  // grows by it × 1e6 us per second.
  if (r.loerror != 0) {
    const double expected = -r.loerror;
    const std::size_t first = 5;
    double lo = 0;
    for (std::size_t i = first; i < status.size(); ++i) lo += status[i].lo;
    EXPECT_NEAR(lo / double(status.size() - first), expected, 0.2 * std::abs(expected)) << "mean LO field";
    const double slope = (status.back().lotime - status[first].lotime) / (2.0 * double(status.size() - 1 - first));
    EXPECT_NEAR(slope, expected * 1e6, 0.2 * std::abs(expected) * 1e6) << "oscillator time [us/s]";
  }

  // A row every two status lines; every station of every chain peaks where
  // the reference does, with the brightness of its amplitude (a window a
  // whole PCI off would show nothing).
  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  if (auto size = e2e::independentBmpSize(dir.file("image.bmp"))) {
    EXPECT_EQ(*size, std::to_string(image.width) + " " + std::to_string(image.height)) << "as python3 reads it";
  }
  EXPECT_EQ(image.width, 5 * r.points);
  EXPECT_EQ(static_cast<std::size_t>(image.height), status.size() / 2);
  for (std::size_t s = 0; s < stations.size(); ++s) {
    const e2e::Strip strip = e2e::readStrip(image, static_cast<int>(s), r.points, 1);
    EXPECT_NEAR(strip.peak, e2e::trackedPeakColumn(r.rate), 1.0 + r.rate / 96000) << stations[s].key;
    EXPECT_GT(strip.peaklevel, 0.3 * e2e::fullGrey(truth.stations[s].amplitude, fullscale)) << stations[s].key;
    EXPECT_GT(strip.peaklevel, 3 * strip.floor) << stations[s].key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, Reception,
    testing::Values(
        Case{"EightBitMono12kHz", 12000, 8, false, 0, 24, 30, "12:00:00.35", 0.35, 3, 0},
        Case{"Stereo12kHzFractionOfAPciFastOscillator", 12000, 16, true, 0, 24, 60, "12:00:00.035", 0.035, 0, 5e-9},
        Case{"Bandcenter48kHzFivePcisEarlyFastClock", 48000, 16, true, 12000, 24, 40, "11:59:59.3", -0.7, 20, 0},
        Case{"Stereo48kHzFourPcisLateSlowClock", 48000, 16, true, 0, 24, 40, "12:00:00.62", 0.62, -20, 0},
        Case{"Stereo192kHzSlowOscillator", 192000, 16, true, 0, 128, 40, "12:00:00.35", 0.35, 3, -2e-8}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velkor
