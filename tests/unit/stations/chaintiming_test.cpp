#include "top/startup.h"
#include "stations/chaintiming.h"

#include "config/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>

namespace velkor {

namespace {

// Stations given as signed GRI (negative: blanked) and letter, timed.
Record timed(std::initializer_list<std::pair<int32_t, char>> stations, int32_t singlepulses = 0, double sr = 22050) {
  Record s;
  for (auto [gri, letter] : stations) {
    s.stations.stationgri.push_back(std::abs(gri));
    s.stations.stationletter.push_back(letter);
    s.stations.stationblanked.push_back(gri < 0 ? 1 : 0);
  }
  s.settings.singlepulses = singlepulses;
  s.settings.sr = sr;
  buildStationOrder(s.stations);
  computeChainTiming(s.settings, s.stations);
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
    const Record s = timed({{gri, letter}}, singlepulses);
    ASSERT_EQ(s.stations.pulsecount[0], static_cast<int32_t>(ms.size())) << letter << singlepulses;
    for (std::size_t k = 0; k < 18; ++k) {
      EXPECT_NEAR(s.stations.pulseinterval[0][k], k < ms.size() ? ms[k] / 1000 : 0, 1e-9)
          << letter << singlepulses << " " << k;
      EXPECT_EQ(s.stations.pulsesign[0][k], k < ms.size() ? (signs[k] == '+' ? 1 : -1) : 0)
          << letter << singlepulses << " " << k;
    }
  }
  const Record letters = timed({{7499, 'K'}, {7499, 'N'}, {7499, 'O'}, {7499, 'Z'}, {7499, 'J'}});
  EXPECT_EQ(letters.stations.pulsecount, (std::vector<int32_t>{18, 18, 16, 16, 1}));
  EXPECT_EQ(letters.stations.propagationspeed, 297145696.0f) << "299522878.3830014 / asf 1.008 in single precision";
}

TEST(ChainTiming, BlankedStationsFirstAndTheirWeights) {
  EXPECT_EQ(timed({{7499, 'M'}, {9940, 'W'}}).stations.blankingweight, (std::vector<float>{1.0f, 1.0f}));
  // Points 3 to 10 of 18 pulses at 20000 Hz in a 180 ms interval: 4 % of the time.
  Record s = timed({{9000, 'Y'}, {-9000, 'M'}, {-9000, 'M'}}, 0, 20000);
  EXPECT_EQ(s.stations.stationorder, (std::vector<int32_t>{1, 2, 0}));
  EXPECT_EQ(s.stations.blanklength, 8);
  EXPECT_EQ(s.stations.blankingweight[1], 1.0f);
  EXPECT_FLOAT_EQ(s.stations.blankingweight[2], 0.96f);
  EXPECT_FLOAT_EQ(s.stations.blankingweight[0], 0.96f * 0.96f);
  // A window beyond the station's samples is clamped to them: 24 points, 12 %.
  s.settings.firstblankedsample = -4;
  s.settings.lastblankedsample = 24;
  clampBlankingWindow(s.settings);
  computeChainTiming(s.settings, s.stations);
  EXPECT_EQ(s.settings.firstblankedsample, 0);
  EXPECT_EQ(s.settings.lastblankedsample, 23);
  EXPECT_FLOAT_EQ(s.stations.blankingweight[0], 0.88f * 0.88f);
}

TEST(ChainTiming, LineOffsetIsTheHarmonicOfTheGriNearestTheBandCentre) {
  // Band centre [Hz], GRI, harmonic number: round(band centre in kHz / 100 x GRI), halves to even.
  const std::tuple<double, int32_t, int32_t> rows[] = {
      {0, 7499, 0}, {10000, 7499, 750}, {49800, 7499, 3750}, {49800, 9941, 4970}, {-10000, 7499, -750}};
  for (const auto& [bandcenter, gri, harmonic] : rows) {
    Record s;
    s.settings.taientries = {{gri, 'M', 0}};
    s.stations.tailineoffset = {0};
    s.settings.bandcenter = bandcenter;
    computeChainTiming(s.settings, s.stations);
    EXPECT_EQ(s.stations.tailineoffset[0], harmonic * 100000.0 / gri - bandcenter) << bandcenter << " " << gri;
  }
}

} // namespace velkor
