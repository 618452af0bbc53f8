// The same scene in the sample formats and rates velkor reads: 8-bit mono,
// 16-bit stereo, 12 kHz, 48 kHz with the carrier off 0 Hz (bandcenter mixing)
// and 192 kHz. Each recording starts 0.35 s after the 12:00:00 velkor is
// given; velkor must synchronise, hold the reference edge at point 5 and show
// every station's pulse where the reference's is.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace velkor {

namespace {

struct Format {
  const char* name;
  double rate;          // [Hz]
  int bits;
  bool stereo;
  double bandcenter;    // [Hz], the same for velkor-synth and velkor
  double seconds;
  int displaysamples;
  double edgeTolerance; // [points] of the reference edge around 5
};

void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

class SampleFormats : public testing::TestWithParam<Format> {};

TEST_P(SampleFormats, AreReceivedAndSynchronised) {
  const Format& f = GetParam();
  const std::vector<e2e::SceneStation> stations = e2e::twoChains();
  test::ScratchDir dir;

  e2e::Settings synth = e2e::synthScene(f.rate, f.seconds, stations, "12:00:00.35");
  synth.set("file", "bits", f.bits).set("frequency", "bandcenter", f.bandcenter).set("frequency", "ppm", 3);
  double fullscale = 4000;
  if (f.bits == 8) {
    // 8-bit samples: pulses of peak 80 in noise of rms 4.
    synth.set("signal", "amplitude", 80).set("signal", "noise", 4);
    fullscale = 160;
  }
  if (!f.stereo) {
    // A mono file holds only I, the real part: every carrier is turned to
    // phase 0 at the start, so that I carries the pulses at full strength.
    synth.erase("file", "stereo").set("file", "mono");
    const e2e::Truth first = e2e::synthesise(dir, synth);
    ASSERT_TRUE(first.valid);
    for (std::size_t s = 0; s < stations.size(); ++s)
      synth.set("stations", stations[s].key,
                e2e::number(stations[s].amplitude) + ", " + e2e::number(stations[s].phase - first.stations[s].carrierphase));
  }
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);
  if (!f.stereo) {
    for (const auto& station : truth.stations) ASSERT_NEAR(std::remainder(station.carrierphase, 360.0), 0, 1e-6);
  }

  e2e::Settings receiver = e2e::receiverScene(f.rate, stations);
  receiver.set("file", "bits", f.bits)
      .set("frequency", "bandcenter", f.bandcenter)
      .set("time", "displaysamples", f.displaysamples)
      .set("amplitude", "fullscale", fullscale)
      .set("taisync", "integrationtime", 4)
      .set("taisync", "searchrange", 60)
      .set("taisync", "7499x", 3000)
      .set("taisync", "6731x", 3000);
  if (!f.stereo) receiver.erase("file", "stereo").set("file", "mono");
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  auto sync = e2e::syncResult(run.out);
  ASSERT_TRUE(sync.has_value()) << run.out;
  EXPECT_TRUE(sync->match) << run.out;
  EXPECT_NEAR(e2e::secondsOfDay(sync->ut), e2e::secondsOfDay(truth.startutc), 0.001) << sync->ut;

  auto status = e2e::statusLines(run.out);
  ASSERT_GE(status.size(), 8u) << run.out;
  for (std::size_t i = status.size() - 3; i < status.size(); ++i)
    EXPECT_NEAR(status[i].edge, 5.0, f.edgeTolerance) << "status line " << i << " at " << status[i].time;

  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  ASSERT_GE(image.height, 3);
  const e2e::Strip reference = e2e::readStrip(image, 0, f.displaysamples, 1);
  EXPECT_NEAR(reference.peak, e2e::trackedPeakColumn(f.rate), 1.0 + f.rate / 96000);
  for (std::size_t s = 0; s < stations.size(); ++s) {
    const e2e::Strip strip = e2e::readStrip(image, static_cast<int>(s), f.displaysamples, 1);
    EXPECT_NEAR(strip.peak, reference.peak, 1.0 + f.rate / 96000) << stations[s].key;
    EXPECT_GT(strip.peaklevel, 0.3 * e2e::fullGrey(truth.stations[s].amplitude, fullscale)) << stations[s].key;
    EXPECT_GT(strip.peaklevel, 3 * strip.floor) << stations[s].key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, SampleFormats,
    // At 192 kHz the pulse peaks 12 points after its start, beyond the edge
    // search (points 2 to 10), and the loop takes longer to settle.
    testing::Values(Format{"EightBitMono12kHz", 12000, 8, false, 0, 30, 24, 1.0},
                    Format{"SixteenBitStereo12kHz", 12000, 16, true, 0, 30, 24, 1.0},
                    Format{"Bandcenter48kHz", 48000, 16, true, 12000, 30, 24, 0.5},
                    Format{"Stereo192kHz", 192000, 16, true, 0, 40, 128, 1.0}),
    [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

} // namespace

} // namespace velkor
