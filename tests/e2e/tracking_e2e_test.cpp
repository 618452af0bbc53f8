// The tracking loops on recordings that start at the origin of the 1958 grid,
// so that velkor without synchronisation (timeorigin 0) places every station
// right from the first sample: the sample-clock loop must find the sound
// card's true rate, the oscillator measurement the local oscillator's error.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace velkor {

namespace {

e2e::Settings originScene(double rate, double seconds) {
  e2e::Settings synth = e2e::synthScene(rate, seconds, e2e::twoChains());
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  return synth;
}

class SampleClockLoop : public testing::TestWithParam<double> {};

TEST_P(SampleClockLoop, ConvergesToTheTrueRate) {
  const double ppm = GetParam();
  const double rate = 48000;
  test::ScratchDir dir;
  const e2e::Truth truth = e2e::synthesise(dir, originScene(rate, 40).set("frequency", "ppm", ppm));
  ASSERT_TRUE(truth.valid);
  ASSERT_TRUE(truth.origin);
  ASSERT_NEAR(truth.truerate, rate * (1 + ppm * 1e-6), 1e-6);

  auto run = e2e::runReceiver(dir, e2e::receiverScene(rate, e2e::twoChains()));
  ASSERT_EQ(run.status, 0) << run.err;
  auto status = e2e::statusLines(run.out);
  ASSERT_GE(status.size(), 18u) << run.out;

  // The first estimate is the nominal rate, 20 ppm (0.96 Hz) off; after 30 s
  // of tracking every estimate is within 3 ppm and their mean within 1 ppm,
  // with the reference edge held at point 5.
  EXPECT_GT(std::abs(status.front().sr - truth.truerate), 0.2) << "the loop has something to find";
  double sum = 0;
  const std::size_t last = 5;
  for (std::size_t i = status.size() - last; i < status.size(); ++i) {
    EXPECT_NEAR(status[i].sr, truth.truerate, 3e-6 * rate) << "status line " << i;
    EXPECT_NEAR(status[i].edge, 5.0, 0.5) << "status line " << i;
    sum += status[i].sr;
  }
  EXPECT_NEAR(sum / last, truth.truerate, 1e-6 * rate);
}

INSTANTIATE_TEST_SUITE_P(SoundCardClock, SampleClockLoop, testing::Values(20.0, -20.0),
                         [](const testing::TestParamInfo<double>& info) {
                           return std::string(info.param > 0 ? "Fast" : "Slow") + "By20ppm";
                         });

// velkor's LO field is the relative frequency of the reference's carrier as
// it comes out of the local oscillator: the turn of its phase per period,
// over 100 kHz. velkor-synth's oscillator runs at 100 kHz × (1 + loerror), so
// the carrier comes out at f_bb = −loerror × 100 kHz, and the field shows
// f_bb / 100 kHz: an oscillator that runs fast shows a negative value.
class OscillatorMeasurement : public testing::TestWithParam<double> {};

TEST_P(OscillatorMeasurement, ShowsTheCarrierDriftWithItsSizeAndSign) {
  const double loerror = GetParam();
  const double rate = 12000;
  test::ScratchDir dir;
  e2e::Settings synth = originScene(rate, 60);
  synth.set("frequency", "loerror", loerror).set("signal", "noise", 100);
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);
  const double expected = truth.basebandfrequency / 100000;
  ASSERT_NEAR(expected, -loerror, 1e-15);

  auto run = e2e::runReceiver(dir, e2e::receiverScene(rate, e2e::twoChains()));
  ASSERT_EQ(run.status, 0) << run.err;
  auto status = e2e::statusLines(run.out);
  ASSERT_GE(status.size(), 25u) << run.out;

  // The first period has no previous phase to compare with; velkor locks
  // after four periods and from then on accumulates the oscillator time.
  const std::size_t first = 5;
  double sum = 0;
  for (std::size_t i = first; i < status.size(); ++i) sum += status[i].lo;
  const double mean = sum / static_cast<double>(status.size() - first);
  EXPECT_NEAR(mean, expected, 0.2 * std::abs(expected)) << "mean LO field of the locked periods";

  // The accumulated time grows by relfreq × 1e6 us per second of stream.
  const double seconds = 2.0 * static_cast<double>(status.size() - 1 - first);
  const double slope = (status.back().lotime - status[first].lotime) / seconds; // [us/s]
  EXPECT_NEAR(slope, expected * 1e6, 0.2 * std::abs(expected) * 1e6)
      << "from " << status[first].lotime << " us to " << status.back().lotime << " us in " << seconds << " s";
}

INSTANTIATE_TEST_SUITE_P(LocalOscillator, OscillatorMeasurement, testing::Values(5e-9, -2e-8),
                         [](const testing::TestParamInfo<double>& info) {
                           return std::string(info.param > 0 ? "Fast" : "Slow");
                         });

} // namespace

} // namespace velkor
