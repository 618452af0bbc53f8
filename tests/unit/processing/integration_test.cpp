#include "processing/integration.h"

#include "support/synthreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace velkor {

namespace {

constexpr int kPoints = 24;

std::size_t at(int station, int point) { return static_cast<std::size_t>(station * kPoints + point); }

// 1024 Hz with blocks of 1024: buffer index i holds (i mod 1000, -(i mod 1000)).
Record rampState(const std::string& stations) {
  Record s = test::receiverState("[frequency]\nsr = 1024\n[file]\nfileblocklen = 1024\n[stations]\nblankedstns = 9\n" +
                                 stations);
  for (int32_t i = 0; i < s.acquisition.buffersize; ++i) {
    s.acquisition.samplere[static_cast<std::size_t>(i)] = static_cast<int16_t>(i % 1000);
    s.acquisition.sampleim[static_cast<std::size_t>(i)] = static_cast<int16_t>(-(i % 1000));
  }
  s.acquisition.clock.blockstart = 0;
  s.acquisition.clock.blockend = 1.0;
  return s;
}

} // namespace

// At 50 kHz every pulse of GRI 8000 falls on the same sample phase: with the
// phase code taken off, each pulse adds exactly the same window; mixed down
// from a carrier at -250 Hz, the same up to the rounding of each value.
TEST(Integration, StationSendingItsPhaseCodeAddsTheSameWindowPerPulse) {
  const struct {
    char letter;
    double bandcenter;
  } cases[] = {{'X', 0}, {'M', 0}, {'X', 250}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.letter) + " " + std::to_string(c.bandcenter));
    const std::vector<TableRecord> table{{8000, std::string(1, c.letter), "", 0, 0, 10000}}; // here, 10 ms delay
    const synth::Scenario scenario = synth::buildScenario(
        {.date = "", .sr = 50000, .bandcenter = c.bandcenter, .duration = 0.5, .stations = {{8000, c.letter}}}, table);
    Record s = test::receiverState("[location]\nlat = 0\nlon = 0\n[frequency]\nsr = 50000\nbandcenter = " +
                                       std::to_string(c.bandcenter) + "\n[stations]\n8000" + c.letter + "\n",
                                   table);
    test::SynthReader reader(scenario);
    test::TestPlatform t;
    reader.open(s);
    setupStationTiming(s.settings, s.stations, s.acquisition, s.timing, s.processing);
    while (s.acquisition.inputremaining > 0) {
      reader(s);
      integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
    }
    // The first pulse starts at 10 ms = sample 500; the window opens 6 samples earlier.
    std::vector<float> re(600), im(600);
    synth::Generator(scenario).next(600, re.data(), im.data());
    const int32_t n = s.processing.pulsesintegrated[0];
    ASSERT_GE(n, 45);
    int32_t signs = 0;
    const std::vector<int>& codes = scenario.stations[0].pulseSigns; // as sent
    for (int32_t k = 0; k < n; ++k) signs += codes[static_cast<std::size_t>(k) % codes.size()];
    EXPECT_EQ(s.processing.signsum[0], signs);
    for (int p = 0; p < kPoints; ++p) {
      const std::complex<double> one(std::lround(re[494u + p]), std::lround(im[494u + p]));
      const std::complex<double> sum(s.processing.shortsumre[at(0, p)], s.processing.shortsumim[at(0, p)]);
      if (c.bandcenter == 0) EXPECT_EQ(sum, one * static_cast<double>(n)) << p;
      else EXPECT_NEAR(std::abs(sum), n * std::abs(one), n) << p;
    }
  }
}

TEST(Integration, WindowEndingExactlyAtBlockendWaitsForTheNextBuffer) {
  Record s = rampState("8000a\n");
  s.processing.nextpulse[0] = 1.0 - kPoints / 1024.0;
  integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.pulsesintegrated[0], 0);
  s.acquisition.clock.blockend = 1.0 + 1 / 1024.0;
  integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.pulsesintegrated[0], 1);
  EXPECT_EQ(s.processing.shortsumre[1], 1001 % 1000);
  EXPECT_DOUBLE_EQ(s.processing.nextpulse[0], 1.0 - kPoints / 1024.0 + 0.16);
}

TEST(Integration, WindowBeforeTheBufferIsPassedOver) {
  Record s = rampState("8000b\n"); // pulses +1, -1 every 80 ms
  s.processing.nextpulse[0] = -3 / 1024.0;
  integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
  int32_t sum = 0;
  for (int m = 1; m <= 12; ++m) sum += (m % 2 == 0 ? 1 : -1) * static_cast<int32_t>(std::lrint(-3 + 81.92 * m));
  EXPECT_EQ(s.processing.pulsesintegrated[0], 12);
  EXPECT_EQ(s.processing.shortsumre[0], sum);
  EXPECT_EQ(s.processing.signsum[0], 0);
}

TEST(Integration, CrossRateStripsOfGri6000And7950) {
  const float d = static_cast<float>(0.001 * 1.06f);
  const std::string six = "6000x\n6000x\n6000x\n";
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "7950x\n";
  const std::vector<float> sixOffsets{0, -0.04f, 0.04f}, nineOffsets{0, 0, 0, -d, d, -d, d, -d, d};
  std::vector<float> both = sixOffsets;
  both.insert(both.end(), nineOffsets.begin(), nineOffsets.end());
  const struct {
    std::string stations;
    std::vector<float> offsets;
    int index;
  } cases[] = {{six, sixOffsets, -2},
               {nine, nineOffsets, -6},
               {six + nine, both, -8},
               {six + "6000x\n", {0, -0.04f, 0.04f, 0}, 0}}; // a fourth: no strips
  for (const auto& c : cases) {
    Record s = test::receiverState("[stations]\n" + c.stations);
    setupStationTiming(s.settings, s.stations, s.acquisition, s.timing, s.processing);
    EXPECT_EQ(s.processing.arrivaloffset, c.offsets) << c.stations;
    EXPECT_EQ(crossRateStart(s.stations), c.index) << c.stations;
  }
}

// Listed: an unblanked station, then two blanked ones, all on one pulse at
// buffer index 500 with a loud sample at point 12; blanker mode 2.
TEST(Integration, BlankedPulsesAndTheNoiseBlankerAffectOnlyTheStationsTheyShould) {
  Record s = rampState("[amplitude]\nnb = 2\n[stations]\n8000a\n-8000a\n-8000a\n");
  ASSERT_EQ(s.stations.stationorder, (std::vector<int32_t>{1, 2, 0}));
  std::fill(s.processing.nbthreshold.begin(), s.processing.nbthreshold.end(), 10000.0f);
  s.processing.nbthreshold[at(0, 14)] = 15 * 15; // a power equal to the threshold is blanked
  s.processing.nbthreshold[at(0, 16)] = 400;     // 17 x 17 below it: kept
  for (int p = 0; p < kPoints; ++p) {
    auto i = static_cast<std::size_t>(500 + p);
    s.acquisition.samplere[i] = static_cast<int16_t>(p == 12 ? 500 : p + 1);
    s.acquisition.sampleim[i] = 0;
    s.acquisition.samplepower[i] = static_cast<float>(s.acquisition.samplere[i] * s.acquisition.samplere[i]);
  }
  s.processing.nextpulse = {500 / 1024.0, 500 / 1024.0, 500 / 1024.0};
  s.acquisition.clock.blockend = 0.6;
  integrateBlock(s.settings, s.stations, s.acquisition, s.processing);
  for (int p = 0; p < kPoints; ++p) {
    const int32_t value = p == 12 ? 500 : p + 1;
    const int32_t afterBlanking = p >= 3 && p <= 10 ? 0 : value;
    EXPECT_EQ(s.processing.shortsumre[at(1, p)], value) << "first in order sees everything, point " << p;
    EXPECT_EQ(s.processing.shortsumre[at(2, p)], afterBlanking) << "blanked: no threshold test, point " << p;
    EXPECT_EQ(s.processing.shortsumre[at(0, p)], p == 12 || p == 14 ? 0 : afterBlanking)
        << "unblanked, integrated last, " << p;
  }
  EXPECT_EQ(s.processing.nbblankcount[at(0, 12)], 1.0f);
  EXPECT_EQ(s.processing.nbblankcount[at(0, 14)], 1.0f);
  updateNoiseBlanker(s.settings, s.stations,
                     s.processing); // the loud power raises the thresholds two points either side
  EXPECT_FLOAT_EQ(s.processing.nbthreshold[at(0, 10)], 9000 + 0.2f * 250000);
  EXPECT_FLOAT_EQ(s.processing.nbthreshold[at(0, 14)], 0.9f * 225 + 0.2f * 250000);
}

} // namespace velkor
