#include "processing/transfer.h"

#include "processing/integration.h"
#include "processing/synthetic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

namespace {

constexpr int kPoints = 24;

std::size_t at(int station, int point) { return static_cast<std::size_t>(station * kPoints + point); }

// Stations on GRI 8000 at 48 kHz (all of letter X: 16 pulses per interval).
State transferState(const std::vector<int16_t>& blanked) {
  std::vector<test::TestStation> stations;
  for (int16_t b : blanked) stations.push_back({8000, 'X', b});
  State s = test::stationState(stations, 48000.0);
  setupStationTiming(s);
  return s;
}

void setSum(State& s, int station, int point, int32_t re, int32_t im) {
  s.shortsumre[at(station, point)] = re;
  s.shortsumim[at(station, point)] = im;
}

} // namespace

TEST(Transfer, ReferenceAtNinetyDegreesTurnsEveryStationBack) {
  State s = transferState({0, 0});
  s.edgere = 0;
  s.edgeim = 5;
  s.edgeamplitude = 5;
  s.pulsesintegrated = {2, 2};
  setSum(s, 1, 3, 0, 20); // mean (0, 10)
  setSum(s, 0, 7, 20, 0); // mean (10, 0)
  transferShortSums(s);
  EXPECT_EQ(s.phaserotre, 0.0f);
  EXPECT_EQ(s.phaserotim, 1.0f);
  EXPECT_EQ(s.longsumre[at(1, 3)], 10.0f);
  EXPECT_EQ(s.longsumim[at(1, 3)], 0.0f);
  EXPECT_EQ(s.longsumre[at(0, 7)], 0.0f);
  EXPECT_EQ(s.longsumim[at(0, 7)], -10.0f);

  // The next period adds to the long sums; an edge of zero amplitude keeps the rotation.
  s.pulsesintegrated = {2, 2};
  setSum(s, 1, 3, 0, 20);
  s.edgere = 0;
  s.edgeim = 0;
  s.edgeamplitude = 0;
  transferShortSums(s);
  EXPECT_EQ(s.phaserotim, 1.0f);
  EXPECT_EQ(s.longsumre[at(1, 3)], 20.0f);
}

TEST(Transfer, FixedReferenceRotationWithoutPhaseCorrection) {
  State s = transferState({0});
  s.phasecorr = 0;
  s.edgere = 0;
  s.edgeim = 5;
  s.edgeamplitude = 5;
  s.pulsesintegrated = {2};
  setSum(s, 0, 3, 6, 20);
  transferShortSums(s);
  EXPECT_EQ(s.phaserotre, 1.0f);
  EXPECT_EQ(s.phaserotim, 0.0f);
  EXPECT_EQ(s.longsumre[at(0, 3)], 3.0f) << "added unrotated";
  EXPECT_EQ(s.longsumim[at(0, 3)], 10.0f);

  // phasereference 90 with the reference edge at 0 degrees turns by 90 degrees in all.
  State r = transferState({0});
  r.phasereference = 90;
  setupStationTiming(r);
  r.edgere = 5;
  r.edgeim = 0;
  r.edgeamplitude = 5;
  r.pulsesintegrated = {2};
  setSum(r, 0, 3, 0, 20);
  transferShortSums(r);
  EXPECT_NEAR(r.longsumre[at(0, 3)], 10.0f, 1e-5f);
  EXPECT_NEAR(r.longsumim[at(0, 3)], 0.0f, 1e-5f);
}

TEST(Transfer, DcOffsetRemovedInProportionToTheSignSum) {
  State s = transferState({0, 0});
  s.dcsumre = 300;
  s.dcsumim = -100;
  s.dccount = 100; // means (3, -1) per sample
  s.pulsesintegrated = {4, 4};
  s.signsum = {0, 4};
  setSum(s, 0, 0, 40, 40);
  setSum(s, 1, 0, 40, 40);
  transferShortSums(s);
  EXPECT_EQ(s.dcmeanre, 3.0f);
  EXPECT_EQ(s.dcmeanim, -1.0f);
  EXPECT_EQ(s.dcsumre, 0.0f);
  EXPECT_EQ(s.dccount, 0.0f);
  EXPECT_EQ(s.longsumre[at(0, 0)], 10.0f) << "signs cancel: no offset removed";
  EXPECT_EQ(s.longsumim[at(0, 0)], 10.0f);
  EXPECT_EQ(s.longsumre[at(1, 0)], 7.0f) << "all signs +1: the whole offset";
  EXPECT_EQ(s.longsumim[at(1, 0)], 11.0f);

  // A period without retired samples keeps the means.
  s.pulsesintegrated = {4, 4};
  s.signsum = {0, 4};
  transferShortSums(s);
  EXPECT_EQ(s.dcmeanre, 3.0f);
  EXPECT_EQ(s.longsumre[at(1, 0)], 7.0f - 3.0f);

  // notch100khz 0: the DC sums are neither used nor cleared.
  State off = transferState({0});
  off.notch100khz = 0;
  off.dcsumre = 300;
  off.dccount = 100;
  off.pulsesintegrated = {4};
  off.signsum = {4};
  setSum(off, 0, 0, 40, 0);
  transferShortSums(off);
  EXPECT_EQ(off.dcsumre, 300.0f);
  EXPECT_EQ(off.dcmeanre, 0.0f);
  EXPECT_EQ(off.longsumre[at(0, 0)], 10.0f);
}

TEST(Transfer, BlankerCorrectionDividesByTheShareKept) {
  State s = transferState({0});
  s.nb = 1;
  s.pulsesintegrated = {8};
  setSum(s, 0, 2, 240, -80); // mean (30, -10)
  setSum(s, 0, 3, 240, -80);
  setSum(s, 0, 4, 240, -80);
  s.nbblankcount[at(0, 2)] = 2; // a quarter of the pulses blanked
  s.nbblankcount[at(0, 4)] = 8; // all of them: f = 0 is not applied
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(0, 2)], 40.0f) << "30 / 0.75";
  EXPECT_NEAR(s.longsumim[at(0, 2)], -40.0f / 3, 1e-5f);
  EXPECT_EQ(s.longsumre[at(0, 3)], 30.0f);
  EXPECT_EQ(s.longsumre[at(0, 4)], 30.0f);
  EXPECT_EQ(s.nbblankcount[at(0, 2)], 0.0f);
  EXPECT_EQ(s.nbblankcount[at(0, 4)], 0.0f);

  // Without the blanker the counts are neither used nor cleared.
  State off = transferState({0});
  off.pulsesintegrated = {8};
  setSum(off, 0, 2, 240, 0);
  off.nbblankcount[at(0, 2)] = 2;
  transferShortSums(off);
  EXPECT_EQ(off.longsumre[at(0, 2)], 30.0f);
  EXPECT_EQ(off.nbblankcount[at(0, 2)], 2.0f);
}

TEST(Transfer, BiasEstimatedFromABlankedStationAppliesToTheNextOnes) {
  // Index order: an unblanked station, a blanked one, another unblanked one.
  State s = transferState({0, 1, 0});
  s.notch100khz = 0;
  s.biasreal = 8;
  s.biasimag = -4;
  s.pulsesintegrated = {16, 16, 16};
  s.blankingweight = {1.0f, 1.0f, 0.5f};
  for (int p = 3; p <= 10; ++p) setSum(s, 1, p, 48, -24); // removed points: sre 384, sim -192
  transferShortSums(s);
  double g = 4.0 * 1.0 / 48000 / 8000 * 50000 / 16;       // per summed unit
  double biasre = 8 - g * 384;                             // 7.9875
  double biasim = -4 + g * 192;
  EXPECT_EQ(s.longsumre[at(0, 0)], -2.0f) << "before the blanked station: 4 * 8 / 16";
  EXPECT_EQ(s.longsumim[at(0, 0)], 1.0f);
  EXPECT_EQ(s.longsumre[at(1, 0)], -2.0f) << "the blanked station itself: still the configured bias";
  EXPECT_NEAR(s.longsumre[at(2, 0)], -4 * biasre / 16, 1e-6) << "after it: the corrected bias";
  EXPECT_NEAR(s.longsumim[at(2, 0)], -4 * biasim / 16, 1e-6);
  EXPECT_NEAR(s.workbiasre, biasre, 1e-6);
  EXPECT_NEAR(s.longsumre[at(1, 3)], 48.0 / 16 - 2.0, 1e-6);

  // The next period starts again from the configured bias.
  s.pulsesintegrated = {16, 0, 16};
  transferShortSums(s);
  EXPECT_EQ(s.workbiasre, 8.0f);
}

TEST(Transfer, StationsWithoutPulsesOrWeightAddNothingAndAreCleared) {
  State s = transferState({0, 0, 0});
  s.pulsesintegrated = {4, 0, 5};
  s.roundingresidue = {1.0f, 0.3f, 2.0f};
  s.signsum = {2, 0, 1};
  s.blankingweight = {1.0f, 1.0f, 0.0f}; // the third blanked away entirely
  setSum(s, 0, 5, 8, 4);
  setSum(s, 1, 5, 8, 4);
  setSum(s, 2, 5, 8, 4);
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(0, 5)], 2.0f);
  EXPECT_EQ(s.longdrift[0], 0.25f);
  for (int st = 1; st <= 2; ++st) {
    for (int p = 0; p < kPoints; ++p) {
      EXPECT_EQ(s.longsumre[at(st, p)], 0.0f);
      EXPECT_EQ(s.longsumim[at(st, p)], 0.0f);
    }
    EXPECT_EQ(s.longdrift[static_cast<std::size_t>(st)], 0.0f);
  }
  for (std::size_t st = 0; st < 3; ++st) {
    EXPECT_EQ(s.pulsesintegrated[st], 0);
    EXPECT_EQ(s.signsum[st], 0);
    EXPECT_EQ(s.roundingresidue[st], 0.0f);
  }
  for (int32_t v : s.shortsumre) EXPECT_EQ(v, 0);
  for (int32_t v : s.shortsumim) EXPECT_EQ(v, 0);
}

} // namespace velkor
