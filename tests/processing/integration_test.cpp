#include "processing/integration.h"

#include "processing/synthetic.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

using test::SyntheticSignal;
using test::TestStation;

namespace {

constexpr int kPoints = 24;

// A test window: distinct values at every point so that any misplaced or
// mis-signed sample shows.
std::complex<double> windowPattern(int point) { return {100.0 + 7 * point, -300.0 + 11 * point}; }

// Rectangular "pulses" that fill exactly the 24-point window the receiver
// opens 6 samples before each pulse, at sample-exact positions.
SyntheticSignal exactWindows(double rate) {
  SyntheticSignal signal;
  signal.rate = rate;
  signal.shapestart = -6 / rate;
  signal.shapelength = kPoints / rate;
  signal.shape = [rate](double seconds) {
    long point = std::lrint(seconds * rate) + 6;
    return point >= 0 && point < kPoints ? windowPattern(static_cast<int>(point)) : std::complex<double>{};
  };
  return signal;
}

std::size_t at(int station, int point) { return static_cast<std::size_t>(station * kPoints + point); }

// Samples equal to their buffer index (real) and minus it (imaginary).
void fillRamp(State& s) {
  for (int32_t i = 0; i < s.buffersize; ++i) {
    s.samplere[static_cast<std::size_t>(i)] = static_cast<int16_t>(i % 1000);
    s.sampleim[static_cast<std::size_t>(i)] = static_cast<int16_t>(-(i % 1000));
  }
}

} // namespace

TEST(Integration, StationSendingItsPhaseCodeAddsTheSameAmountPerPulse) {
  // 50 kHz puts the 1 ms pulse spacing and the GRI 8000 gaps on whole samples.
  for (char letter : {'X', 'M'}) {
    SCOPED_TRACE(letter);
    State s = test::stationState({{8000, letter, 0, 10.0f}}, 50000.0);
    SyntheticSignal signal = exactWindows(50000.0);
    signal.transmitters = {{8000, letter == 'M', 0.010, 1.0, 0.0}};
    test::SyntheticReader reader(signal, 50000);
    test::TestPlatform t;
    setupStationTiming(s);
    int32_t before = 0;
    for (int block = 0; block < 6; ++block) {
      reader(s, t.platform);
      integrateBlock(s);
      int32_t n = s.pulsesintegrated[0];
      EXPECT_GT(n, before) << "every block of 82 ms holds pulses";
      before = n;
      for (int p = 0; p < kPoints; ++p) {
        ASSERT_EQ(s.shortsumre[at(0, p)], n * static_cast<int32_t>(windowPattern(p).real())) << p;
        ASSERT_EQ(s.shortsumim[at(0, p)], n * static_cast<int32_t>(windowPattern(p).imag())) << p;
      }
      // Only the single-precision arrival time (0.01 s, 2e-10 s off) leaves a residue.
      EXPECT_NEAR(s.roundingresidue[0] / n, -1.1e-5, 1e-6);
    }
    // The signs used are those the transmitter sent in the same pulses.
    auto sent = signal.pulses(0, s.nextpulse[0]);
    int32_t signs = 0;
    for (auto& pulse : sent) signs += pulse.sign;
    EXPECT_EQ(static_cast<int32_t>(sent.size()), s.pulsesintegrated[0]);
    EXPECT_EQ(s.signsum[0], signs);
  }
}

TEST(Integration, WindowEndingExactlyAtBlockendWaitsForTheNextBuffer) {
  State s = test::stationState({{8000, 'A'}}, 1024.0, 1024);
  fillRamp(s);
  s.blockstart = 0;
  s.blockend = 1.0;
  s.nextpulse[0] = 1.0 - kPoints / 1024.0; // the window ends exactly at blockend
  integrateBlock(s);
  EXPECT_EQ(s.pulsesintegrated[0], 0);
  EXPECT_EQ(s.nextpulse[0], 1.0 - kPoints / 1024.0);
  EXPECT_EQ(s.shortsumre[0], 0);

  s.blockend = 1.0 + 1 / 1024.0;
  integrateBlock(s);
  EXPECT_EQ(s.pulsesintegrated[0], 1);
  EXPECT_EQ(s.shortsumre[0], 1000 % 1000);
  EXPECT_EQ(s.shortsumre[1], 1001 % 1000);
  EXPECT_EQ(s.shortsumim[23], -(1023 % 1000));
  EXPECT_EQ(s.signsum[0], 1);
  EXPECT_DOUBLE_EQ(s.nextpulse[0], 1.0 - kPoints / 1024.0 + 0.16);
}

TEST(Integration, RoundingResidueSumsPositionMinusIndexWithTiesToEven) {
  State s = test::stationState({{8000, 'B'}}, 1024.0, 1024);
  fillRamp(s);
  s.blockstart = 0;
  s.blockend = 1.0;
  // Letter B: pulses +1, -1 80 ms apart, 81.92 samples; the first at 300.5, a
  // tie that goes to the even index 300.
  s.nextpulse[0] = 300.5 / 1024.0;
  integrateBlock(s);
  double residue = 0;
  int32_t sum = 0;
  int32_t pulses = 0;
  for (int m = 0;; ++m) {
    double pos = 300.5 + 81.92 * m;
    if (pos + kPoints >= 1024) break;
    auto k = static_cast<int32_t>(std::nearbyint(pos));
    residue += pos - k;
    sum += (m % 2 == 0 ? 1 : -1) * (k % 1000);
    ++pulses;
  }
  ASSERT_EQ(pulses, 9);
  EXPECT_EQ(s.pulsesintegrated[0], pulses);
  EXPECT_NEAR(s.roundingresidue[0], residue, 1e-4);
  EXPECT_EQ(s.shortsumre[0], sum);
  EXPECT_EQ(s.signsum[0], 1);
}

TEST(Integration, CrossRateOffsetsForGri6000And7950) {
  std::vector<TestStation> stations;
  for (int i = 0; i < 3; ++i) stations.push_back({6000, 'X'});
  for (int i = 0; i < 9; ++i) stations.push_back({7950, 'X'});
  State s = test::stationState(stations, 48000.0);
  setupStationTiming(s);
  EXPECT_EQ(s.arrivaloffset[0], 0.0f);
  EXPECT_EQ(s.arrivaloffset[1], -0.04f);
  EXPECT_EQ(s.arrivaloffset[2], 0.04f);
  float d = static_cast<float>(0.001 * 1.06f);
  const float expected7950[9] = {0, 0, 0, -d, d, -d, d, -d, d};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(s.arrivaloffset[static_cast<std::size_t>(3 + i)], expected7950[i]) << i;
  EXPECT_EQ(s.gri6000count, 3);
  EXPECT_EQ(s.gri7950count, 9);
  EXPECT_EQ(s.crossrateindex, -8);

  State six = test::stationState({{6000, 'X'}, {6000, 'X'}, {6000, 'X'}}, 48000.0);
  setupStationTiming(six);
  EXPECT_EQ(six.crossrateindex, -2);

  State nine = test::stationState(std::vector<TestStation>(9, {7950, 'X'}), 48000.0);
  setupStationTiming(nine);
  EXPECT_EQ(nine.crossrateindex, -6);

  // A fourth GRI-6000 station keeps its delay, and the strips no longer pair up.
  State four = test::stationState(std::vector<TestStation>(4, {6000, 'X', 0, 5.0f}), 48000.0);
  setupStationTiming(four);
  EXPECT_EQ(four.arrivaloffset[3], four.arrivaloffset[0]);
  EXPECT_EQ(four.crossrateindex, 0);
}

TEST(Integration, FirstWindowIsTheNextPulseZeroAfterTheOverlap) {
  // Pulse 0 of GRI 8000 arrives 10 ms after every multiple of 0.16 s of
  // absolute time. Stream time 0 is absolute 1000.05 s: the pulses fall at
  // stream times -0.04 and 0.12, so the first is at 0.12 s.
  State s = test::stationState({{8000, 'X', 0, 10.0f}}, 48000.0);
  s.timeorigin = 1000.05;
  setupStationTiming(s);
  EXPECT_NEAR(s.arrivalphase[0], 0.12, 1e-9);
  EXPECT_NEAR(s.nextpulse[0], 0.12 - 6 / 48000.0, 1e-9);
  EXPECT_EQ(s.pulseindex[0], 0);

  // With the buffer further on, the next arrival after blockstart + overlap/sr.
  s.blockstart = 5.0;
  setupStationTiming(s);
  double after = 5.0 + 256 / 48000.0;                    // [s]
  double next = 0.12 + std::ceil((after - 0.12) / 0.16) * 0.16;
  EXPECT_NEAR(s.nextpulse[0], next - 6 / 48000.0, 1e-9);
}

TEST(Integration, SetupRestartsCountersThresholdsAndRotation) {
  State s = test::stationState({{8000, 'X'}, {7499, 'M'}}, 48000.0);
  s.resyncrequests = 2;
  s.lockcount = 4;
  s.nbinit = 2500;
  s.pulsesintegrated = {5, 6};
  s.signsum = {1, 2};
  s.roundingresidue = {0.5f, 0.25f};
  s.pulseindex = {3, 4};
  s.phasereference = 90;
  s.phaserotre = 0.3f;
  setupStationTiming(s);
  EXPECT_EQ(s.resyncrequests, 0);
  EXPECT_EQ(s.lockcount, 0);
  for (float threshold : s.nbthreshold) EXPECT_EQ(threshold, 2500.0f);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(s.pulsesintegrated[i], 0);
    EXPECT_EQ(s.signsum[i], 0);
    EXPECT_EQ(s.roundingresidue[i], 0.0f);
    EXPECT_EQ(s.pulseindex[i], 0);
  }
  // 90 degrees with pi in single precision: the cosine is not quite 0.
  EXPECT_EQ(s.phaserefcos, static_cast<float>(std::cos(static_cast<double>(static_cast<float>(M_PI) * 90.0f) / 180.0)));
  EXPECT_NE(s.phaserefcos, 0.0f);
  EXPECT_NEAR(s.phaserefcos, 0.0f, 1e-7f);
  EXPECT_EQ(s.phaserefsin, 1.0f);
  EXPECT_EQ(s.phaserotre, s.phaserefcos);
  EXPECT_EQ(s.phaserotim, s.phaserefsin);
}

// Two single-pulse stations 100 samples apart, the first blanked, each window
// of 10s with one loud sample (power 250000) at point 8.
State loudSampleState(int16_t nb) {
  State s = test::stationState({{8000, 'A', 1}, {8000, 'A', 0}}, 1000.0, 1024);
  s.nb = nb;
  s.blanklength = 0; // keep the blanked station's samples for this check
  s.blockstart = 0;
  s.blockend = 1.0;
  for (auto& v : s.nbthreshold) v = 10000;
  for (int32_t base : {300, 400}) {
    for (int p = 0; p < kPoints; ++p) {
      auto i = static_cast<std::size_t>(base + p);
      s.samplere[i] = static_cast<int16_t>(p == 8 ? 500 : 10);
      s.sampleim[i] = 0;
      s.samplepower[i] = static_cast<float>(s.samplere[i]) * s.samplere[i];
    }
  }
  s.nextpulse = {300 / 1000.0, 400 / 1000.0};
  return s;
}

TEST(Integration, NoiseBlankerModeTwoSparesTheBlankedStations) {
  State s = loudSampleState(2);
  integrateBlock(s);
  EXPECT_EQ(s.shortsumre[at(0, 8)], 500) << "blanked station: no threshold test";
  EXPECT_EQ(s.nbblankcount[at(0, 8)], 0.0f);
  EXPECT_EQ(s.shortsumre[at(1, 8)], 0) << "other station: the loud sample is left out";
  EXPECT_EQ(s.nbblankcount[at(1, 8)], 1.0f);
  EXPECT_EQ(s.shortsumre[at(1, 7)], 10);
  EXPECT_EQ(s.nbpowersum[at(1, 8)], 250000.0f) << "the power is summed either way";
  EXPECT_EQ(s.nbpowersum[at(0, 8)], 0.0f) << "plain path keeps no power sums";
}

TEST(Integration, NoiseBlankerModeOneTestsEveryStation) {
  State s = loudSampleState(1);
  s.nbthreshold[at(0, 7)] = 100; // equal to the power at point 7: blanked
  integrateBlock(s);
  EXPECT_EQ(s.shortsumre[at(0, 8)], 0);
  EXPECT_EQ(s.nbblankcount[at(0, 8)], 1.0f);
  EXPECT_EQ(s.shortsumre[at(0, 7)], 0);
  EXPECT_EQ(s.nbblankcount[at(0, 7)], 1.0f);
  EXPECT_EQ(s.shortsumre[at(0, 6)], 10);
  EXPECT_EQ(s.shortsumre[at(1, 8)], 0);
}

TEST(Integration, BlankedPulsesAreRemovedOnlyForStationsIntegratedLater) {
  // Listed: an unblanked station, then two blanked ones, all on the same pulses.
  State s = test::stationState({{8000, 'A', 0}, {8000, 'A', 1}, {8000, 'A', 1}}, 1000.0, 1024);
  ASSERT_EQ(s.stationorder, (std::vector<int32_t>{1, 2, 0}));
  ASSERT_EQ(s.blanklength, 8); // points 3 ... 10
  s.blockstart = 0;
  s.blockend = 0.6; // one pulse each
  for (int p = 0; p < kPoints; ++p) {
    s.samplere[static_cast<std::size_t>(500 + p)] = static_cast<int16_t>(p + 1);
    s.sampleim[static_cast<std::size_t>(500 + p)] = static_cast<int16_t>(-(p + 1));
  }
  s.nextpulse = {0.5, 0.5, 0.5};
  integrateBlock(s);
  for (int p = 0; p < kPoints; ++p) {
    bool removed = p >= 3 && p <= 10;
    EXPECT_EQ(s.shortsumre[at(1, p)], p + 1) << "first in order sees everything, point " << p;
    EXPECT_EQ(s.shortsumre[at(2, p)], removed ? 0 : p + 1) << "later blanked station, point " << p;
    EXPECT_EQ(s.shortsumim[at(0, p)], removed ? 0 : -(p + 1)) << "listed first, integrated last, point " << p;
  }
  EXPECT_EQ(s.samplere[503], 0);
  EXPECT_EQ(s.samplere[510], 0);
  EXPECT_EQ(s.samplere[511], 12);

  // An empty blanking window (last before first) removes nothing.
  State none = test::stationState({{8000, 'A', 1}, {8000, 'A', 0}}, 1000.0, 1024);
  none.firstblankedsample = 8;
  none.lastblankedsample = 5;
  none.blanklength = static_cast<int16_t>(none.lastblankedsample - none.firstblankedsample + 1);
  none.blockstart = 0;
  none.blockend = 0.6;
  fillRamp(none);
  none.nextpulse = {0.5, 0.5};
  integrateBlock(none);
  EXPECT_EQ(none.shortsumre[at(1, 9)], 509);
  EXPECT_EQ(none.samplere[509], 509);
}

// Letter B (pulses +1, -1, 80 ms apart) with mixing at 250 Hz, every sample
// (1000, 200), and the blanker on with a threshold that would blank everything.
State mixingState(double firstpulse, double blockend) {
  State s = test::stationState({{8000, 'B'}}, 1000.0, 1024);
  s.bandcenter = 250; // [Hz]
  s.nb = 1;
  s.blockstart = 0;
  s.blockend = blockend;
  for (auto& v : s.nbthreshold) v = 1;
  for (int i = 0; i < s.buffersize; ++i) {
    s.samplere[static_cast<std::size_t>(i)] = 1000;
    s.sampleim[static_cast<std::size_t>(i)] = 200;
    s.samplepower[static_cast<std::size_t>(i)] = 1e6f;
  }
  s.nextpulse[0] = firstpulse;
  return s;
}

TEST(Integration, MixingMultipliesEachWindowByItsCarrierPhasor) {
  // Pulse 0 at 1 ms: a quarter cycle of 250 Hz, (1000, 200) turns into (-200, 1000).
  State one = mixingState(0.001, 0.05);
  integrateBlock(one);
  ASSERT_EQ(one.pulsesintegrated[0], 1);
  for (int p = 0; p < kPoints; ++p) {
    EXPECT_EQ(one.shortsumre[static_cast<std::size_t>(p)], -200);
    EXPECT_EQ(one.shortsumim[static_cast<std::size_t>(p)], 1000);
  }
  EXPECT_EQ(one.nbblankcount[0], 0.0f) << "no blanker while mixing";
  EXPECT_EQ(one.nbpowersum[0], 0.0f);

  // Pulse 1 (sign -1) 80 ms later lies 20.25 cycles on, at the same phase: it cancels.
  State two = mixingState(0.001, 0.15);
  integrateBlock(two);
  ASSERT_EQ(two.pulsesintegrated[0], 2);
  EXPECT_EQ(two.shortsumre[0], 0);
  EXPECT_EQ(two.shortsumim[0], 0);

  // An eighth of a cycle: each rotated value is rounded before it is added.
  State eighth = mixingState(0.0005, 0.05);
  integrateBlock(eighth);
  float phi = static_cast<float>(2.0 * static_cast<float>(M_PI) * 0.125);
  float c = std::cos(phi);
  float q = std::sin(phi);
  EXPECT_EQ(eighth.shortsumre[0], std::lrint(c * 1000.0f - q * 200.0f)); // 565.68 -> 566
  EXPECT_EQ(eighth.shortsumim[0], std::lrint(q * 1000.0f + c * 200.0f)); // 848.53 -> 849
  EXPECT_EQ(eighth.shortsumre[0], 566);
  EXPECT_EQ(eighth.shortsumim[0], 849);
}

TEST(Integration, WindowBeforeTheBufferIsPassedOver) {
  State s = test::stationState({{8000, 'B'}}, 1000.0, 1024);
  fillRamp(s);
  s.blockstart = 0;
  s.blockend = 1.0;
  s.nextpulse[0] = -0.003; // index -3, as after a large sample-clock correction
  integrateBlock(s);
  // Pulses at -3, 77, 157, ... 957 with signs +1, -1, ...; the first is skipped.
  int32_t sum = 0;
  int32_t signs = 0;
  for (int m = 1; m <= 12; ++m) {
    int sign = m % 2 == 0 ? 1 : -1;
    sum += sign * (-3 + 80 * m);
    signs += sign;
  }
  EXPECT_EQ(s.pulsesintegrated[0], 12);
  EXPECT_EQ(s.signsum[0], signs);
  EXPECT_EQ(s.shortsumre[0], sum);
  EXPECT_EQ(s.pulseindex[0], 13 % 2);
  EXPECT_NEAR(s.nextpulse[0], -0.003 + 13 * 0.08, 1e-12);
  EXPECT_NEAR(s.roundingresidue[0], 0.0f, 1e-4f) << "the skipped pulse adds no residue";
}

TEST(Integration, NoiseBlankerUpdateFollowsTheLargestNeighbour) {
  State s = test::stationState({{8000, 'X'}, {8000, 'X'}, {8000, 'X'}}, 48000.0);
  for (auto& v : s.nbthreshold) v = 10000;
  s.pulsesintegrated = {10, 10, 0};
  s.nbpowersum[at(0, 5)] = 5000;
  s.nbpowersum[at(0, 23)] = 80000;         // last point of station 0
  s.nbpowersum[at(1, 0)] = 1000;           // first point of station 1
  s.nbpowersum[at(2, 4)] = 7;              // station without pulses
  s.nbupdate = 0.1f;
  s.nbfac = 2;
  s.nbspread = 2;
  updateNoiseBlanker(s);
  auto updated = [](float threshold, float m, int n) {
    return static_cast<float>((1.0 - 0.1f) * threshold + 0.1f * 2.0f * m / n);
  };
  EXPECT_EQ(s.nbthreshold[at(0, 3)], updated(10000, 5000, 10)) << "two points before the sum";
  EXPECT_EQ(s.nbthreshold[at(0, 7)], updated(10000, 5000, 10)) << "two points after";
  EXPECT_EQ(s.nbthreshold[at(0, 8)], updated(10000, 0, 10));
  EXPECT_EQ(s.nbthreshold[at(0, 21)], updated(10000, 80000, 10));
  EXPECT_EQ(s.nbthreshold[at(1, 0)], updated(10000, 1000, 10)) << "never the other station's points";
  EXPECT_EQ(s.nbthreshold[at(1, 1)], updated(10000, 1000, 10));
  EXPECT_EQ(s.nbthreshold[at(2, 4)], 10000.0f) << "no pulses: threshold kept";
  EXPECT_EQ(s.nbpowersum[at(2, 4)], 7.0f) << "no pulses: power sum kept";
  EXPECT_EQ(s.nbpowersum[at(0, 5)], 0.0f);
  EXPECT_EQ(s.nbpowersum[at(1, 0)], 0.0f);
  EXPECT_EQ(updated(10000, 5000, 10), 9100.0f);

  // nbspread 0: each point follows its own sum.
  s.nbspread = 0;
  s.nbpowersum[at(0, 5)] = 5000;
  for (auto& v : s.nbthreshold) v = 10000;
  updateNoiseBlanker(s);
  EXPECT_EQ(s.nbthreshold[at(0, 5)], 9100.0f);
  EXPECT_EQ(s.nbthreshold[at(0, 4)], 9000.0f);
  EXPECT_EQ(s.nbthreshold[at(0, 6)], 9000.0f);
}

} // namespace velkor
