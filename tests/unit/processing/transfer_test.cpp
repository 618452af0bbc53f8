#include "processing/transfer.h"

#include "support/synthreader.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

std::size_t at(int station, int point) { return static_cast<std::size_t>(station * 24 + point); }

// Stations of letter X (16 pulses) at 48 kHz, each integrated over `pulses`.
Record transferState(const std::string& settings, const std::vector<int32_t>& pulses) {
  Record s = test::receiverState("[frequency]\nsr = 48000\n" + settings);
  s.processing.pulsesintegrated = pulses;
  return s;
}

// Sums that give the mean (re, im) per pulse at one point.
void setMean(Record& s, int station, int point, float re, float im) {
  const int32_t n = s.processing.pulsesintegrated[static_cast<std::size_t>(station)];
  s.processing.shortsumre[at(station, point)] = static_cast<int32_t>(re * static_cast<float>(n));
  s.processing.shortsumim[at(station, point)] = static_cast<int32_t>(im * static_cast<float>(n));
}

} // namespace

TEST(Transfer, ReferenceEdgeAtNinetyDegreesTurnsEveryStationBack) {
  Record s = transferState("[stations]\n8000x\n8000x\n", {2, 2});
  s.processing.edgere = 0;
  s.processing.edgeim = 5;
  s.processing.edgeamplitude = 5;
  setMean(s, 1, 3, 0, 10);
  setMean(s, 0, 7, 10, 0);
  transferShortSums(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.longsumre[at(1, 3)], 10.0f);
  EXPECT_EQ(s.processing.longsumim[at(1, 3)], 0.0f);
  EXPECT_EQ(s.processing.longsumre[at(0, 7)], 0.0f);
  EXPECT_EQ(s.processing.longsumim[at(0, 7)], -10.0f);
}

TEST(Transfer, DcOffsetRemovedOnlyWhereTheSignsDoNotCancel) {
  Record s = transferState("[stations]\n8000x\n8000x\n", {4, 4});
  s.acquisition.dcsumre = 300;
  s.acquisition.dcsumim = -100;
  s.acquisition.dccount = 100; // (3, -1) per sample
  s.processing.signsum = {0, 4};
  setMean(s, 0, 0, 10, 10);
  setMean(s, 1, 0, 10, 10);
  transferShortSums(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.longsumre[at(0, 0)], 10.0f) << "signsum 0: nothing removed";
  EXPECT_EQ(s.processing.longsumim[at(0, 0)], 10.0f);
  EXPECT_EQ(s.processing.longsumre[at(1, 0)], 7.0f) << "all signs +1: the whole offset";
  EXPECT_EQ(s.processing.longsumim[at(1, 0)], 11.0f);
}

TEST(Transfer, BlankerCorrectionDividesByTheShareOfPulsesKept) {
  Record s = transferState("[amplitude]\nnb = 1\n[stations]\n8000x\n", {8});
  for (int p = 2; p <= 4; ++p) setMean(s, 0, p, 30, -10);
  s.processing.nbblankcount[at(0, 2)] = 2; // a quarter blanked
  s.processing.nbblankcount[at(0, 4)] = 8; // all: nothing to divide by
  transferShortSums(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.longsumre[at(0, 2)], 40.0f) << "30 / 0.75";
  EXPECT_EQ(s.processing.longsumre[at(0, 3)], 30.0f);
  EXPECT_EQ(s.processing.longsumre[at(0, 4)], 30.0f);
  EXPECT_EQ(s.processing.nbblankcount[at(0, 2)], 0.0f);
}

TEST(Transfer, BiasEstimatedFromABlankedStationAppliesToTheStationsAfterIt) {
  Record s = transferState("[file]\nbiasreal = 8\nbiasimag = -4\n[amplitude]\nnotch100khz = 0\n"
                           "[stations]\nblankedstns = 1\n8000x\n-8000x\n8000x\n",
                           {16, 16, 16});
  for (int p = 3; p <= 10; ++p) setMean(s, 1, p, 3, -1.5f); // the removed points: 384, -192 in all
  s.processing.workbiasre = 5;                              // left from the last period: not used again
  transferShortSums(s.settings, s.stations, s.acquisition, s.processing);
  const double g = 4.0 / 48000 / 8000 * 50000 / 16;
  EXPECT_EQ(s.processing.longsumre[at(0, 0)], -2.0f) << "before the blanked station: 4 x 8 / 16";
  EXPECT_EQ(s.processing.longsumre[at(1, 0)], -2.0f) << "the blanked station itself";
  EXPECT_NEAR(s.processing.longsumre[at(2, 0)], -4 * (8 - g * 384) / 16, 1e-6) << "after it: the corrected bias";
  EXPECT_NEAR(s.processing.longsumim[at(2, 0)], -4 * (-4 + g * 192) / 16, 1e-6);
}

TEST(Transfer, StationWithoutPulsesOrWeightAddsNothingAndIsCleared) {
  Record s = transferState("[stations]\n8000x\n8000x\n8000x\n", {4, 0, 5});
  s.stations.blankingweight = {1.0f, 1.0f, 0.0f};
  s.processing.signsum = {2, 0, 1};
  for (int st = 0; st < 3; ++st) s.processing.shortsumre[at(st, 5)] = 8;
  transferShortSums(s.settings, s.stations, s.acquisition, s.processing);
  EXPECT_EQ(s.processing.longsumre[at(0, 5)], 2.0f);
  EXPECT_EQ(s.processing.longsumre[at(1, 5)], 0.0f);
  EXPECT_EQ(s.processing.longsumre[at(2, 5)], 0.0f);
  EXPECT_EQ(s.processing.pulsesintegrated, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(s.processing.signsum, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(s.processing.shortsumre[at(0, 5)], 0);
}

} // namespace velkor
