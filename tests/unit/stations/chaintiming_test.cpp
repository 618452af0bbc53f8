#include "core/startup.h"
#include "stations/chaintiming.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>

namespace velkor {

namespace {

// Stations given as signed GRI (negative: blanked) and letter, timed.
State timed(std::initializer_list<std::pair<int32_t, char>> stations, int32_t singlepulses = 0, double sr = 22050) {
  State s;
  for (auto [gri, letter] : stations) {
    s.stationgri.push_back(std::abs(gri));
    s.stationletter.push_back(letter);
    s.stationblanked.push_back(gri < 0 ? 1 : 0);
  }
  s.stationcount = static_cast<int32_t>(s.stationgri.size());
  s.singlepulses = singlepulses;
  s.sr = sr;
  buildStationOrder(s);
  dimensionArrays(s);
  computeChainTiming(s);
  return s;
}

} // namespace

TEST(ChainTiming, PulsePatternsAndPropagationSpeed) {
  // Intervals in ms and signs of one phase-code interval (two GRIs).
  const std::tuple<char, int32_t, int32_t, std::vector<double>, std::string> rows[] = {
      {'M', 7499, 0, {1, 1, 1, 1, 1, 1, 1, 2, 65.99, 1, 1, 1, 1, 1, 1, 1, 2, 65.99}, "++--+-+-++--+++++-"},
      {'X', 7499, 0, {1, 1, 1, 1, 1, 1, 1, 67.99, 1, 1, 1, 1, 1, 1, 1, 67.99}, "+++++--++-+-++--"},
      {'A', 7499, 0, {149.98}, "+"},
      {'B', 9940, 0, {99.4, 99.4}, "+-"},
      {'M', 7499, 4, {37.495, 37.495, 37.495, 37.495}, "+-+-"},
      {'X', 9940, 3, {198.8 / 3, 198.8 / 3, 198.8 / 3}, "+-+"}};
  for (const auto& [letter, gri, singlepulses, ms, signs] : rows) {
    const State s = timed({{gri, letter}}, singlepulses);
    ASSERT_EQ(s.pulsecount[0], static_cast<int32_t>(ms.size())) << letter << singlepulses;
    for (std::size_t k = 0; k < 18; ++k) {
      EXPECT_NEAR(s.pulseinterval[0][k], k < ms.size() ? ms[k] / 1000 : 0, 1e-9) << letter << singlepulses << " " << k;
      EXPECT_EQ(s.pulsesign[0][k], k < ms.size() ? (signs[k] == '+' ? 1 : -1) : 0) << letter << singlepulses << " " << k;
    }
  }
  const State letters = timed({{7499, 'K'}, {7499, 'N'}, {7499, 'O'}, {7499, 'Z'}, {7499, 'J'}});
  EXPECT_EQ(letters.pulsecount, (std::vector<int32_t>{18, 18, 16, 16, 1}));
  EXPECT_EQ(letters.propagationspeed, 297145696.0f) << "299522878.3830014 / asf 1.008 in single precision";
}

TEST(ChainTiming, BlankedStationsFirstAndTheirWeights) {
  EXPECT_EQ(timed({{7499, 'M'}, {9940, 'W'}}).blankingweight, (std::vector<float>{1.0f, 1.0f}));
  // Points 3 to 10 of 18 pulses at 20000 Hz in a 180 ms interval: 4 % of the time.
  State s = timed({{9000, 'Y'}, {-9000, 'M'}, {-9000, 'M'}}, 0, 20000);
  EXPECT_EQ(s.stationorder, (std::vector<int32_t>{1, 2, 0}));
  EXPECT_EQ(s.blanklength, 8);
  EXPECT_EQ(s.blankingweight[1], 1.0f);
  EXPECT_FLOAT_EQ(s.blankingweight[2], 0.96f);
  EXPECT_FLOAT_EQ(s.blankingweight[0], 0.96f * 0.96f);
  // A window beyond the station's samples is clamped to them: 24 points, 12 %.
  s.firstblankedsample = -4;
  s.lastblankedsample = 24;
  computeChainTiming(s);
  EXPECT_EQ(s.firstblankedsample, 0);
  EXPECT_EQ(s.lastblankedsample, 23);
  EXPECT_FLOAT_EQ(s.blankingweight[0], 0.88f * 0.88f);
}

TEST(ChainTiming, LineOffsetIsTheHarmonicOfTheGriNearestTheBandCentre) {
  // Band centre [Hz], GRI, harmonic number: round(band centre in kHz / 100 x GRI), halves to even.
  const std::tuple<double, int32_t, int32_t> rows[] = {
      {0, 7499, 0}, {10000, 7499, 750}, {49800, 7499, 3750}, {49800, 9941, 4970}, {-10000, 7499, -750}};
  for (const auto& [bandcenter, gri, harmonic] : rows) {
    State s;
    s.taigri = {gri};
    s.tailineoffset = {0};
    s.taicount = 1;
    s.bandcenter = bandcenter;
    computeChainTiming(s);
    EXPECT_EQ(s.tailineoffset[0], harmonic * 100000.0 / gri - bandcenter) << bandcenter << " " << gri;
  }
}

} // namespace velkor
