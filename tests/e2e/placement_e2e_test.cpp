// Where each station's pulse lands in the image. The recording starts at the
// origin of the 1958 grid and its sample clock is exact, and velkor runs with
// the sample-clock loop off: every window then starts exactly 6 samples
// before the predicted pulse start, and a chain delay that velkor is told but
// that the transmitters do not have moves that chain's windows by as much, so
// its pulses appear that much earlier in their strips.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

namespace {

struct Placement {
  const char* key;
  double chaindelay; // [ms] told to velkor only
};

TEST(ImageOfARecording, EveryStationRisesAtItsExpectedColumn) {
  const double rate = 48000;
  const std::vector<e2e::SceneStation> stations = {
      {"7499x", 1.0, 0}, {"7499m", 0.5, -60}, {"6731x", 0.6, 30}, {"6731z", 0.4, 120}, {"9007m", 0.5, 45}};
  const std::vector<Placement> placements = {
      {"7499x", 0}, {"7499m", 0}, {"6731x", 0.1}, {"6731z", 0.1}, {"9007m", -0.15}};

  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(rate, 20, stations);
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);

  e2e::Settings receiver = e2e::receiverScene(rate, stations);
  receiver.set("frequency", "srcorr", 0).set("chaindelay", "6731", 0.1).set("chaindelay", "9007", -0.15);
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;

  // The reference (7499 X) reaches 0.4 of its peak 21 us after its start.
  auto status = e2e::statusLines(run.out);
  ASSERT_GE(status.size(), 8u) << run.out;
  EXPECT_NEAR(status.back().edge, 6 + 21e-6 * rate, 0.3);

  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  ASSERT_GE(image.height, 4);
  for (std::size_t s = 0; s < stations.size(); ++s) {
    const double start = 6 - placements[s].chaindelay * 1e-3 * rate; // [points]
    const double peak = start + 65e-6 * rate;                         // the envelope's maximum
    const e2e::Strip strip = e2e::readStrip(image, static_cast<int>(s), 24);
    EXPECT_NEAR(strip.peak, peak, 1.0) << placements[s].key;
    EXPECT_GT(strip.peaklevel, 0.5 * e2e::fullGrey(truth.stations[s].amplitude, 4000)) << placements[s].key;
    // Nothing before the pulse start, the first bright point after it.
    int rising = 2;
    while (rising < 24 && strip.level[static_cast<std::size_t>(rising)] < 0.3 * strip.peaklevel) ++rising;
    EXPECT_GT(rising, start) << placements[s].key;
    EXPECT_LE(rising, peak) << placements[s].key;
  }
}

} // namespace

} // namespace velkor
