#include "stations/chaintiming.h"

#include <gtest/gtest.h>

#include <numeric>
#include <utility>

namespace velkor {

namespace {

// Stations given as signed GRI (negative: blanked) and letter.
State withStations(std::initializer_list<std::pair<int32_t, char>> stations) {
  State s;
  for (auto [gri, letter] : stations) {
    s.stationgri.push_back(gri < 0 ? -gri : gri);
    s.stationletter.push_back(letter);
    s.stationblanked.push_back(gri < 0 ? 1 : 0);
  }
  s.stationcount = static_cast<int32_t>(s.stationgri.size());
  return s;
}

State timed(State s) {
  buildStationOrder(s);
  computeChainTiming(s);
  return s;
}

std::vector<double> intervals(const State& s, int i) {
  return {s.pulseinterval[i].begin(), s.pulseinterval[i].begin() + s.pulsecount[i]};
}

std::vector<int16_t> signs(const State& s, int i) {
  return {s.pulsesign[i].begin(), s.pulsesign[i].begin() + s.pulsecount[i]};
}

double phaseCodeInterval(const State& s, int i) {
  return std::accumulate(s.pulseinterval[i].begin(), s.pulseinterval[i].end(), 0.0);
}

} // namespace

TEST(ChainTiming, NinePulseMasterPattern) {
  State s = timed(withStations({{7499, 'M'}}));
  ASSERT_EQ(s.pulsecount[0], 18);
  double gap = (7499 - 900) * 1e-5; // 0.06599 s
  std::vector<double> group = {0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.002, gap};
  std::vector<double> expected = group;
  expected.insert(expected.end(), group.begin(), group.end());
  EXPECT_EQ(intervals(s, 0), expected);
  EXPECT_EQ(signs(s, 0), (std::vector<int16_t>{1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1}));
  EXPECT_NEAR(phaseCodeInterval(s, 0), 0.14998, 1e-15);
}

TEST(ChainTiming, EightPulseSecondaryPattern) {
  State s = timed(withStations({{7499, 'X'}}));
  ASSERT_EQ(s.pulsecount[0], 16);
  double gap = (7499 - 700) * 1e-5; // 0.06799 s
  std::vector<double> group = {0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, gap};
  std::vector<double> expected = group;
  expected.insert(expected.end(), group.begin(), group.end());
  EXPECT_EQ(intervals(s, 0), expected);
  EXPECT_EQ(signs(s, 0), (std::vector<int16_t>{1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1}));
  EXPECT_NEAR(phaseCodeInterval(s, 0), 0.14998, 1e-15);
  EXPECT_EQ(s.pulseinterval[0][16], 0.0) << "unused slots stay 0";
  EXPECT_EQ(s.pulsesign[0][17], 0);
}

TEST(ChainTiming, LettersPickTheirPatterns) {
  State s = timed(withStations({{7499, 'K'}, {7499, 'N'}, {7499, 'O'}, {7499, 'Z'}, {7499, 'J'}, {7499, '9'}}));
  EXPECT_EQ(s.pulsecount, (std::vector<int32_t>{18, 18, 16, 16, 1, 1}));
}

TEST(ChainTiming, SinglePulsePatterns) {
  State s = timed(withStations({{7499, 'A'}, {9940, 'B'}}));
  EXPECT_EQ(intervals(s, 0), (std::vector<double>{2e-5 * 7499}));
  EXPECT_EQ(signs(s, 0), (std::vector<int16_t>{1}));
  EXPECT_EQ(intervals(s, 1), (std::vector<double>{2e-5 * 9940 / 2, 2e-5 * 9940 / 2}));
  EXPECT_EQ(signs(s, 1), (std::vector<int16_t>{1, -1}));

  State four = withStations({{7499, 'M'}, {9940, 'X'}, {6000, 'B'}});
  four.singlepulses = 4;
  four = timed(std::move(four));
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(four.pulsecount[i], 4);
    double slot = 2e-5 * four.stationgri[i] / 4; // GRI * 5 us
    EXPECT_EQ(intervals(four, i), (std::vector<double>{slot, slot, slot, slot}));
    EXPECT_EQ(signs(four, i), (std::vector<int16_t>{1, -1, 1, -1}));
  }
}

TEST(ChainTiming, PropagationSpeedKeptInSinglePrecision) {
  State s = timed(withStations({}));
  EXPECT_EQ(s.propagationspeed, 297145696.0f);
  s.asf = 1.0f;
  computeChainTiming(s);
  EXPECT_EQ(s.propagationspeed, 299522880.0f);
}

TEST(ChainTiming, BlankedStationsAreProcessedFirst) {
  State s = timed(withStations({{7499, 'M'}, {-7499, 'X'}, {9940, 'W'}, {-6731, 'Y'}}));
  EXPECT_EQ(s.stationorder, (std::vector<int32_t>{1, 3, 0, 2}));
  EXPECT_TRUE(timed(withStations({})).stationorder.empty());
}

TEST(ChainTiming, BlankingWeights) {
  State none = timed(withStations({{7499, 'M'}, {9940, 'W'}}));
  EXPECT_EQ(none.blankingweight, (std::vector<float>{1.0f, 1.0f}));
  EXPECT_EQ(none.blanklength, 8) << "points 3 to 10";

  // 8 points of 18 pulses at 20000 Hz in a 180 ms interval: 4 % of the time.
  State s = withStations({{9000, 'Y'}, {-9000, 'M'}, {-9000, 'M'}});
  s.sr = 20000;
  s = timed(std::move(s));
  float afterOne = static_cast<float>(1.0f * (1.0 - 0.04));
  float afterTwo = static_cast<float>(afterOne * (1.0 - 0.04));
  EXPECT_EQ(s.blankingweight[1], 1.0f);
  EXPECT_EQ(s.blankingweight[2], afterOne);
  EXPECT_EQ(s.blankingweight[0], afterTwo);
  EXPECT_NEAR(afterTwo, 0.9216f, 1e-6);
}

TEST(ChainTiming, TheBlankingWindowIsClampedIntoTheStationWindow) {
  State s = withStations({{-9000, 'M'}, {9000, 'Y'}});
  s.firstblankedsample = -4;
  s.lastblankedsample = 40;
  s.displaysamples = 24;
  s.sr = 20000;
  s = timed(std::move(s));
  EXPECT_EQ(s.firstblankedsample, 0);
  EXPECT_EQ(s.lastblankedsample, 23);
  EXPECT_EQ(s.blanklength, 24);
  EXPECT_EQ(s.blankingweight[1], static_cast<float>(1.0f * (1.0 - 0.12)));
}

TEST(ChainTiming, LineOffsetsOfTheSynchronisationChains) {
  State s;
  s.taigri = {7499, 9941};
  s.tailineoffset = {0, 0};
  s.taicount = 2;
  computeChainTiming(s);
  EXPECT_EQ(s.tailineoffset, (std::vector<double>{0.0, 0.0})) << "no band centre: harmonic 0";

  // 10 kHz: harmonic round(0.1 * 7499) = 750 of 13.335 Hz lies 1.3335 Hz above.
  s.bandcenter = 10000;
  computeChainTiming(s);
  EXPECT_EQ(s.tailineoffset[0], 75000000.0 / 7499 - 10000);
  EXPECT_NEAR(s.tailineoffset[0], 1.33351, 1e-5);

  // 50 kHz: 0.5 * GRI ends in a half for odd GRIs, which goes to the even
  // harmonic: 3749.5 -> 3750, 4970.5 -> 4970.
  s.bandcenter = 49800; // rounds to 50 kHz
  computeChainTiming(s);
  EXPECT_EQ(s.tailineoffset[0], 375000000.0 / 7499 - 49800);
  EXPECT_EQ(s.tailineoffset[1], 497000000.0 / 9941 - 49800);

  s.bandcenter = -10000; // floor(-9.5) = -10 kHz
  computeChainTiming(s);
  EXPECT_EQ(s.tailineoffset[0], -75000000.0 / 7499 + 10000);
}

} // namespace velkor
