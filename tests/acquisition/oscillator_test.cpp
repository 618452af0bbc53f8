#include "acquisition/source.h"

#include "acquisition/receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace velkor {

using test::Receiver;
using test::Sample;

namespace {

// A stereo recording of `frames` frames of the constant value (x, y), read
// whole with the oscillator at `looffset` Hz.
std::vector<Sample> shifted(int32_t frames, int16_t x, int16_t y, double looffset, float lodrift = 0,
                            float filescale = 1, int32_t blocklength = 0, State* after = nullptr) {
  Receiver r;
  r.s.looffset = looffset;
  r.s.lodrift = lodrift;
  r.s.filescale = filescale;
  r.s.fileblocklen = blocklength;
  std::vector<int16_t> values;
  for (int32_t k = 0; k < frames; ++k) {
    values.push_back(x);
    values.push_back(y);
  }
  test::writeWav(r.s.inputfile, values, {});
  r.start();
  auto samples = r.readAll();
  if (after) {
    after->looffset = r.s.looffset;
    after->lophase = r.s.lophase;
    after->lore = r.s.lore;
    after->loim = r.s.loim;
    after->locount = r.s.locount;
  }
  return samples;
}

// x e^(-j phase) for a real input x, rounded.
Sample rotated(double x, double cycles) {
  const double angle = 2 * std::numbers::pi * cycles;
  return {static_cast<int16_t>(std::lround(x * std::cos(angle))), static_cast<int16_t>(std::lround(-x * std::sin(angle)))};
}

} // namespace

TEST(Oscillator, QuarterRateTurnsAQuarterPerSampleAndRestartsAtThe100thSample) {
  const auto out = shifted(300, 1000, 0, 22050.0 / 4);
  const Sample turn[4] = {{1000, 0}, {0, -1000}, {-1000, 0}, {0, 1000}};
  for (int32_t k = 0; k < 99; ++k) ASSERT_EQ(out[static_cast<std::size_t>(k)], turn[k % 4]) << k;
  // Sample 99 would be a three-quarter turn; the oscillator is set from
  // lophase = 0 there, and turns on from that restart.
  for (int32_t k = 99; k < 300; ++k) ASSERT_EQ(out[static_cast<std::size_t>(k)], turn[(k - 99) % 4]) << k;
}

TEST(Oscillator, PhaseRunsOnContinuouslyAfterTheRestart) {
  const double f = 1234.5; // [Hz]
  const double sr = 22050;
  const auto out = shifted(20000, 10000, 0, f);
  for (int32_t k = 0; k < 20000; ++k) {
    const double cycles = (k < 99 ? k : k - 99) * f / sr;
    const Sample expected = rotated(10000, cycles);
    const Sample got = out[static_cast<std::size_t>(k)];
    ASSERT_NEAR(got.re, expected.re, 2) << k;
    ASSERT_NEAR(got.im, expected.im, 2) << k;
  }
}

TEST(Oscillator, BlockBoundariesChangeNothing) {
  State whole, pieces;
  const auto one = shifted(10000, 3000, -2000, 777.7, 0, 1, 0, &whole);
  const auto many = shifted(10000, 3000, -2000, 777.7, 0, 1, 64, &pieces);
  EXPECT_EQ(one, many);
  EXPECT_EQ(whole.lophase, pieces.lophase);
  EXPECT_EQ(whole.lore, pieces.lore);
  EXPECT_EQ(whole.loim, pieces.loim);
  EXPECT_EQ(whole.locount, pieces.locount);
}

TEST(Oscillator, AppliesTheScaleOnceInsteadOfTheScaling) {
  const auto out = shifted(10, 1000, 300, 100.0, 0, 2);
  EXPECT_EQ(out[0], (Sample{2000, 600})) << "filescale x (cos 0, -sin 0) on the first sample";
  for (const Sample& s : out) EXPECT_NEAR(std::hypot(s.re, s.im), 2 * std::hypot(1000, 300), 2);
}

TEST(Oscillator, DriftWithoutOffsetScalesTwiceInTheFirstBlock) {
  // looffset = 0 lets the scaling run, and lodrift != 0 runs the oscillator too.
  State after;
  const auto out = shifted(5000, 1000, 0, 0.0, 10.0f, 2, 0, &after);
  EXPECT_EQ(out[0], (Sample{4000, 0}));
  EXPECT_EQ(out[99], (Sample{4000, 0})) << "the whole first block is scaled twice";
  // By the second block the sweep has moved looffset off 0: scaled once only.
  EXPECT_NE(after.looffset, 0);
  EXPECT_NEAR(std::hypot(out[4096].re, out[4096].im), 2000, 1.5);
  EXPECT_NEAR(std::hypot(out[4999].re, out[4999].im), 2000, 1.5);
}

TEST(Oscillator, DriftSweepsTheOffset) {
  const float lodrift = 500; // [Hz/s]
  const double sr = 22050;
  State after;
  const int32_t frames = 22050;
  const auto out = shifted(frames, 10000, 0, 100.0, lodrift, 1, 0, &after);
  // 220 re-anchorings, each adding lodrift x 100 / sr.
  const double expected = 100.0 + 220 * (lodrift * 100.0 / sr);
  EXPECT_NEAR(after.looffset, expected, 1e-9);
  EXPECT_EQ(after.locount, 50);
  // Within the last 100-sample stretch the output turns at the swept rate.
  const double step = 2 * std::numbers::pi * expected / sr;
  for (int32_t k = frames - 40; k < frames - 1; ++k) {
    const auto& a = out[static_cast<std::size_t>(k)];
    const auto& b = out[static_cast<std::size_t>(k + 1)];
    double turn = std::atan2(a.im, a.re) - std::atan2(b.im, b.re);
    turn = std::remainder(turn, 2 * std::numbers::pi);
    ASSERT_NEAR(turn, step, 3e-4) << k;
  }
}

TEST(Oscillator, WidthsOfEveryStepAsWrittenOut) {
  // The steps one sample at a time, each value in its own width: a change in
  // the order or the precision of any operation shows up here bit for bit.
  const float pi = 3.14159265358979323846f;
  const float rate = 22050;
  const float filescale = 1.5f;
  const float lodrift = 37.5f;
  double looffset = -2345.678;
  float lophase = 0, lore = filescale, loim = 0;
  int16_t locount = 0;
  std::vector<Sample> expected;
  std::vector<int16_t> values;
  for (int32_t k = 0; k < 1000; ++k) {
    const int16_t x = static_cast<int16_t>(k * 37 % 20000 - 10000);
    const int16_t y = static_cast<int16_t>(k * 53 % 16000 - 8000);
    values.push_back(x);
    values.push_back(y);
    float step = static_cast<float>(2.0 * pi * looffset / rate);
    float c = std::cos(step), sn = -std::sin(step);
    locount += 1;
    if (locount == 100) {
      locount = 0;
      const float theta = static_cast<float>(2.0 * pi * lophase);
      lore = std::cos(theta) * filescale;
      loim = -std::sin(theta) * filescale;
      lophase = static_cast<float>(lophase + looffset / rate * 100.0);
      lophase -= std::floor(lophase);
      looffset += lodrift * 100.0 / rate;
      step = static_cast<float>(2.0 * pi * looffset / rate);
      c = std::cos(step);
      sn = -std::sin(step);
    }
    const float fx = x, fy = y;
    expected.push_back({static_cast<int16_t>(std::nearbyint(lore * fx - loim * fy)),
                        static_cast<int16_t>(std::nearbyint(loim * fx + lore * fy))});
    const float nextre = c * lore - sn * loim;
    loim = sn * lore + c * loim;
    lore = nextre;
  }
  Receiver r;
  r.s.looffset = -2345.678;
  r.s.lodrift = lodrift;
  r.s.filescale = filescale;
  r.s.fileblocklen = 333;
  test::writeWav(r.s.inputfile, values, {});
  r.start();
  EXPECT_EQ(r.readAll(), expected);
  EXPECT_EQ(r.s.looffset, looffset);
  EXPECT_EQ(r.s.lophase, lophase);
  EXPECT_EQ(r.s.lore, lore);
  EXPECT_EQ(r.s.loim, loim);
}

TEST(Oscillator, MonoInputGetsAnImaginaryPart) {
  Receiver r;
  r.s.channels = 1;
  r.s.looffset = 22050.0 / 4;
  test::writeWav(r.s.inputfile, {1000, 1000, 1000, 1000, 1000}, {1, 2, 22050, 44});
  r.start();
  EXPECT_EQ(r.readAll(), (std::vector<Sample>{{1000, 0}, {0, -1000}, {-1000, 0}, {0, 1000}, {1000, 0}}));
}

TEST(Oscillator, ProductsSaturate) {
  const auto out = shifted(4, 30000, 30000, 22050.0 / 8, 0, 1);
  // The first product is (30000, 30000); the second, a turn of 45 degrees, 42426 and 0.
  EXPECT_EQ(out[0], (Sample{30000, 30000}));
  EXPECT_EQ(out[1].re, 32767);
  EXPECT_NEAR(out[1].im, 0, 1);
}

} // namespace velkor
