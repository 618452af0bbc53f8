#include "processing/transfer.h"

#include "support/synthreader.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

std::size_t at(int station, int point) { return static_cast<std::size_t>(station * 24 + point); }

// Stations of letter X (16 pulses) at 48 kHz, each integrated over `pulses`.
State transferState(const std::string& settings, const std::vector<int32_t>& pulses) {
  State s = test::receiverState("[frequency]\nsr = 48000\n" + settings);
  s.pulsesintegrated = pulses;
  return s;
}

// Sums that give the mean (re, im) per pulse at one point.
void setMean(State& s, int station, int point, float re, float im) {
  const int32_t n = s.pulsesintegrated[static_cast<std::size_t>(station)];
  s.shortsumre[at(station, point)] = static_cast<int32_t>(re * static_cast<float>(n));
  s.shortsumim[at(station, point)] = static_cast<int32_t>(im * static_cast<float>(n));
}

} // namespace

TEST(Transfer, ReferenceEdgeAtNinetyDegreesTurnsEveryStationBack) {
  State s = transferState("[stations]\n8000x\n8000x\n", {2, 2});
  s.edgere = 0;
  s.edgeim = 5;
  s.edgeamplitude = 5;
  setMean(s, 1, 3, 0, 10);
  setMean(s, 0, 7, 10, 0);
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(1, 3)], 10.0f);
  EXPECT_EQ(s.longsumim[at(1, 3)], 0.0f);
  EXPECT_EQ(s.longsumre[at(0, 7)], 0.0f);
  EXPECT_EQ(s.longsumim[at(0, 7)], -10.0f);
}

TEST(Transfer, DcOffsetRemovedOnlyWhereTheSignsDoNotCancel) {
  State s = transferState("[stations]\n8000x\n8000x\n", {4, 4});
  s.dcsumre = 300;
  s.dcsumim = -100;
  s.dccount = 100; // (3, -1) per sample
  s.signsum = {0, 4};
  setMean(s, 0, 0, 10, 10);
  setMean(s, 1, 0, 10, 10);
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(0, 0)], 10.0f) << "signsum 0: nothing removed";
  EXPECT_EQ(s.longsumim[at(0, 0)], 10.0f);
  EXPECT_EQ(s.longsumre[at(1, 0)], 7.0f) << "all signs +1: the whole offset";
  EXPECT_EQ(s.longsumim[at(1, 0)], 11.0f);
}

TEST(Transfer, BlankerCorrectionDividesByTheShareOfPulsesKept) {
  State s = transferState("[amplitude]\nnb = 1\n[stations]\n8000x\n", {8});
  for (int p = 2; p <= 4; ++p) setMean(s, 0, p, 30, -10);
  s.nbblankcount[at(0, 2)] = 2; // a quarter blanked
  s.nbblankcount[at(0, 4)] = 8; // all: nothing to divide by
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(0, 2)], 40.0f) << "30 / 0.75";
  EXPECT_EQ(s.longsumre[at(0, 3)], 30.0f);
  EXPECT_EQ(s.longsumre[at(0, 4)], 30.0f);
  EXPECT_EQ(s.nbblankcount[at(0, 2)], 0.0f);
}

TEST(Transfer, BiasEstimatedFromABlankedStationAppliesToTheStationsAfterIt) {
  State s = transferState("[file]\nbiasreal = 8\nbiasimag = -4\n[amplitude]\nnotch100khz = 0\n"
                          "[stations]\nblankedstns = 1\n8000x\n-8000x\n8000x\n",
                          {16, 16, 16});
  for (int p = 3; p <= 10; ++p) setMean(s, 1, p, 3, -1.5f); // the removed points: 384, -192 in all
  s.workbiasre = 5; // left from the last period: not used again
  transferShortSums(s);
  const double g = 4.0 / 48000 / 8000 * 50000 / 16;
  EXPECT_EQ(s.longsumre[at(0, 0)], -2.0f) << "before the blanked station: 4 x 8 / 16";
  EXPECT_EQ(s.longsumre[at(1, 0)], -2.0f) << "the blanked station itself";
  EXPECT_NEAR(s.longsumre[at(2, 0)], -4 * (8 - g * 384) / 16, 1e-6) << "after it: the corrected bias";
  EXPECT_NEAR(s.longsumim[at(2, 0)], -4 * (-4 + g * 192) / 16, 1e-6);
}

TEST(Transfer, StationWithoutPulsesOrWeightAddsNothingAndIsCleared) {
  State s = transferState("[stations]\n8000x\n8000x\n8000x\n", {4, 0, 5});
  s.blankingweight = {1.0f, 1.0f, 0.0f};
  s.signsum = {2, 0, 1};
  for (int st = 0; st < 3; ++st) s.shortsumre[at(st, 5)] = 8;
  transferShortSums(s);
  EXPECT_EQ(s.longsumre[at(0, 5)], 2.0f);
  EXPECT_EQ(s.longsumre[at(1, 5)], 0.0f);
  EXPECT_EQ(s.longsumre[at(2, 5)], 0.0f);
  EXPECT_EQ(s.pulsesintegrated, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(s.signsum, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(s.shortsumre[at(0, 5)], 0);
}

} // namespace velkor
