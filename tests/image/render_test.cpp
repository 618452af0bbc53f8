#include "image/render.h"

#include "core/startup.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace velkor {

namespace {

using Bgr = std::array<int, 3>; // blue, green, red

// `stations` stations of `points` display samples, the last `hidden` not drawn;
// fullscale 200 and longintegration 10 as configured by default, high-pass off.
struct RenderHarness {
  State s;

  RenderHarness(int32_t colour, int32_t points, int32_t stations = 1, int32_t hidden = 0) {
    s.colour = colour;
    s.displaysamples = points;
    s.stationcount = stations;
    s.displayedstations = stations - hidden;
    s.hipass = 0;
    s.jittercorr = 0;
    const auto count = static_cast<std::size_t>(stations);
    s.stationgri.assign(count, 7499);
    s.stationdistance.assign(count, 0);
    s.stationpower.assign(count, 0);
    dimensionArrays(s);
  }

  void set(int32_t station, int32_t point, float re, float im = 0) {
    auto index = static_cast<std::size_t>(station * s.displaysamples + point);
    s.longsumre[index] = re;
    s.longsumim[index] = im;
  }
  void strip(int32_t station, const std::vector<float>& re) {
    for (std::size_t i = 0; i < re.size(); ++i) set(station, static_cast<int32_t>(i), re[i]);
  }
  float sumre(int32_t station, int32_t point) const {
    return s.longsumre[static_cast<std::size_t>(station * s.displaysamples + point)];
  }

  std::vector<int> greys() {
    renderImageRow(s);
    return {s.rowbuffer.begin(), s.rowbuffer.end()};
  }
  Bgr colourPixel(std::size_t pixel) const {
    return {s.rowbuffer[3 * pixel], s.rowbuffer[3 * pixel + 1], s.rowbuffer[3 * pixel + 2]};
  }
};

// The grey level of one sum, with the harness adjusted by `setup`.
template <typename Setup>
int greyOf(float re, float im, Setup setup) {
  RenderHarness h(0, 1);
  setup(h.s);
  h.set(0, 0, re, im);
  return h.greys()[0];
}
int greyOf(float re, float im = 0) {
  return greyOf(re, im, [](State&) {});
}

template <typename Setup>
Bgr colourOf(float re, float im, Setup setup) {
  RenderHarness h(1, 1);
  setup(h.s);
  h.set(0, 0, re, im);
  renderImageRow(h.s);
  return h.colourPixel(0);
}
Bgr colourOf(float re, float im = 0) {
  return colourOf(re, im, [](State&) {});
}

} // namespace

// ---- Grey levels ----------------------------------------------------------

TEST(RenderGrey, LinearScaleAgainstFullScale) {
  EXPECT_EQ(greyOf(1000), 127) << "mean 100 is half of full scale 200";
  EXPECT_EQ(greyOf(600, 800), 127) << "the magnitude counts, not the phase";
  EXPECT_EQ(greyOf(-1000), 127);
  EXPECT_EQ(greyOf(1990), 254);
  EXPECT_EQ(greyOf(2000), 255);
  EXPECT_EQ(greyOf(5000), 255) << "clipped at full scale";
  EXPECT_EQ(greyOf(0), 0);
  EXPECT_EQ(greyOf(1000, 0, [](State& s) { s.fullscale = 100; }), 255);
  EXPECT_EQ(greyOf(1000, 0, [](State& s) { s.longintegration = 20; }), 63);
}

TEST(RenderGrey, KneeGivesOneGreyStepPerDecibelAboveThreeQuarters) {
  auto knee = [](State& s) { s.fullscaleknee = 1; };
  EXPECT_EQ(greyOf(4000, 0, knee), 200) << "0.75 + 8.6859 ln(2 / 0.75) / 256";
  EXPECT_EQ(greyOf(1000, 0, knee), 127) << "below the knee the scale is linear";
  EXPECT_EQ(greyOf(1500, 0, knee), 191) << "three quarters exactly is not above the knee";
  EXPECT_EQ(greyOf(2000, 0, knee), 194);
  EXPECT_EQ(greyOf(20000, 0, knee), 214) << "ten times full scale still shows";
}

TEST(RenderGrey, GammaCurve) {
  auto gamma = [](float g) { return [g](State& s) { s.gamma = g; }; };
  EXPECT_EQ(greyOf(1000, 0, gamma(2)), 63);
  EXPECT_EQ(greyOf(500, 0, gamma(0.5f)), 127);
  EXPECT_EQ(greyOf(0, 0, gamma(0.5f)), 0);
  // Exponents of 0 and below: a zero sum stays black.
  EXPECT_EQ(greyOf(0, 0, gamma(0)), 0);
  EXPECT_EQ(greyOf(0, 0, gamma(-1)), 0);
  EXPECT_EQ(greyOf(1000, 0, gamma(0)), 255);
  EXPECT_EQ(greyOf(1000, 0, gamma(-1)), 255);
  EXPECT_EQ(greyOf(4000, 0, gamma(-1)), 127);
}

TEST(RenderGrey, DecibelScale) {
  auto db = [](float range) { return [range](State& s) { s.dbrange = range; }; };
  EXPECT_EQ(greyOf(2000, 0, db(40)), 255) << "full scale";
  EXPECT_EQ(greyOf(200, 0, db(40)), 127) << "20 dB below";
  EXPECT_EQ(greyOf(20, 0, db(40)), 0) << "40 dB below";
  EXPECT_EQ(greyOf(2, 0, db(40)), 0);
  EXPECT_EQ(greyOf(0, 0, db(40)), 0);
  EXPECT_EQ(greyOf(200, 0, db(-40)), 127) << "the sign of the range does not matter";
  EXPECT_EQ(greyOf(200, 0, db(20)), 0);
  // Gamma and knee belong to the linear scale only.
  auto all = [](State& s) {
    s.dbrange = 40;
    s.gamma = 2;
    s.fullscaleknee = 1;
  };
  EXPECT_EQ(greyOf(200, 0, all), 127);
  EXPECT_EQ(greyOf(20000, 0, all), 255);
}

TEST(RenderGrey, DistanceAndPowerNormalisation) {
  EXPECT_EQ(greyOf(500, 0, [](State& s) {
              s.normalizedistance = 1000;
              s.stationdistance[0] = 2000;
            }),
            127);
  EXPECT_EQ(greyOf(500, 0, [](State& s) { s.normalizedistance = 1000; }), 63) << "distance unknown";
  EXPECT_EQ(greyOf(500, 0, [](State& s) { s.stationdistance[0] = 2000; }), 63) << "normalisation off";
  EXPECT_EQ(greyOf(2000, 0, [](State& s) {
              s.normalizepower = 100;
              s.stationpower[0] = 400;
            }),
            127);
  EXPECT_EQ(greyOf(2000, 0, [](State& s) { s.normalizepower = 100; }), 255) << "power unknown";
  EXPECT_EQ(greyOf(1000, 0, [](State& s) {
              s.normalizedistance = 1000;
              s.stationdistance[0] = 2000;
              s.normalizepower = 100;
              s.stationpower[0] = 400;
            }),
            127);
}

TEST(RenderGrey, PixelsSitSideBySideAndPaddingIsKept) {
  RenderHarness h(0, 101);
  h.s.rowbuffer.assign(104, 0x20);
  for (int32_t i = 0; i < 101; ++i) h.set(0, i, 2000);
  std::vector<int> row = h.greys();
  EXPECT_EQ(std::vector<int>(row.begin(), row.begin() + 101), std::vector<int>(101, 255));
  EXPECT_EQ(std::vector<int>(row.begin() + 101, row.end()), std::vector<int>(3, 0x20));

  RenderHarness g(0, 2, 3, 1);
  g.s.rowbuffer.assign(8, 0x20);
  g.strip(0, {0, 1000});
  g.strip(1, {2000, 400});
  g.strip(2, {2000, 2000});
  EXPECT_EQ(g.greys(), (std::vector<int>{0, 127, 255, 51, 0x20, 0x20, 0x20, 0x20})) << "the hidden station is not drawn";
}

TEST(RenderGrey, OverflowingSumsStayWithinTheByte) {
  EXPECT_EQ(greyOf(3e38f, 3e38f), 255);
  EXPECT_LE(colourOf(3e38f, 3e38f)[2], 255);
}

// ---- Filters ---------------------------------------------------------------

TEST(RenderFilters, HighPassSparesTheEndsOfEachStrip) {
  RenderHarness h(0, 3, 2);
  h.s.hipass = 0.1f;
  h.strip(0, {1000, 1000, 1000});
  h.strip(1, {1000, 1000, 1000});
  EXPECT_EQ(h.greys(), (std::vector<int>{127, 102, 127, 127, 102, 127}));

  // A single display sample has no neighbours.
  EXPECT_EQ(greyOf(1000, 0, [](State& s) { s.hipass = 0.5f; }), 127);
}

TEST(RenderFilters, DriftCorrectionWeightsTheNeighboursUnequally) {
  auto ramp = [](float hipass, float jittercorr, float drift) {
    RenderHarness h(0, 3);
    h.s.hipass = hipass;
    h.s.jittercorr = jittercorr;
    h.s.longdrift[0] = drift;
    h.strip(0, {0, 1000, 2000});
    return h.greys();
  };
  // jc = 1 x 0.5 / 10; drift 2 moves all weight to the earlier neighbour.
  EXPECT_EQ(ramp(0.1f, 1, 2), (std::vector<int>{0, 127, 255}));
  EXPECT_EQ(ramp(0.1f, 1, -2), (std::vector<int>{0, 76, 255}));
  EXPECT_EQ(ramp(0, 1, 2), (std::vector<int>{0, 153, 255})) << "jittercorr alone switches the filter on";
  EXPECT_EQ(ramp(0, 0, 2), (std::vector<int>{0, 127, 255})) << "both 0: no filter";
}

TEST(RenderFilters, FirTapsReadTheUnfilteredSums) {
  auto fir = [](int32_t firbegin, std::vector<std::pair<float, float>> taps, std::vector<float> re, float hipass = 0) {
    RenderHarness h(0, static_cast<int32_t>(re.size()));
    h.s.hipass = hipass;
    h.s.firbegin = firbegin;
    for (auto [tre, tim] : taps) {
      h.s.tapre.push_back(tre);
      h.s.tapim.push_back(tim);
    }
    h.s.tapcount = static_cast<int32_t>(taps.size());
    h.strip(0, re);
    return h.greys();
  };
  EXPECT_EQ(fir(1, {{0.5f, 0}}, {1000, 0, 0}), (std::vector<int>{127, 63, 0}));
  EXPECT_EQ(fir(1, {{1, 0}}, {1000, 1000, 1000}, 0.1f), (std::vector<int>{127, 230, 255}))
      << "800 after the high-pass plus the unfiltered 1000";
  EXPECT_EQ(fir(-1, {{1, 0}, {0.5f, 0}}, {0, 1000, 0}), (std::vector<int>{127, 191, 0}))
      << "taps in order, terms outside the strip left out";
  // One display sample: with firbegin 0 only tap 0 reaches the sample itself.
  EXPECT_EQ(fir(0, {{1, 0}, {5, 0}}, {1000}), (std::vector<int>{255}));
  EXPECT_EQ(fir(0, {{-0.5f, 0}}, {1000}), (std::vector<int>{63}));
  EXPECT_EQ(fir(1, {{5, 0}}, {1000}), (std::vector<int>{127}));
}

TEST(RenderFilters, FirTapsAreComplex) {
  RenderHarness h(0, 1);
  h.s.tapre = {0};
  h.s.tapim = {1};
  h.s.tapcount = 1;
  h.set(0, 0, 1000);
  EXPECT_EQ(h.greys()[0], 181) << "1000 + j 1000";

  // (400 + j200) + (0.5 - j0.25)(400 + j200) = 650 + j200
  RenderHarness g(0, 1);
  g.s.tapre = {0.5f};
  g.s.tapim = {-0.25f};
  g.s.tapcount = 1;
  g.set(0, 0, 400, 200);
  EXPECT_EQ(g.greys()[0], 87);
}

// ---- Cross-rate subtraction --------------------------------------------------

TEST(RenderCrossRate, ThreeGri6000StationsSubtractTheHiddenStrips) {
  RenderHarness h(0, 2, 3, 2);
  h.s.stationgri = {6000, 6000, 6000};
  h.s.gri6000count = 3;
  for (int row = 0; row < 2; ++row) {
    h.strip(0, {3000, 1000});
    h.strip(1, {2000, 0});
    h.strip(2, {1000, 0});
    h.set(0, 1, 1000, 600);
    h.set(2, 1, 0, 1200);
    std::vector<int> greys = h.greys();
    EXPECT_EQ(h.sumre(0, 0), 1500.0f) << "3000 - 2000 / 2 - 1000 / 2, row " << row;
    EXPECT_EQ(h.s.longsumim[1], 0.0f);
    EXPECT_EQ(greys[0], 191);
    EXPECT_EQ(greys[1], 127);
    EXPECT_EQ(h.s.crossrateindex, 0);
  }

  // With only two such stations nothing is subtracted.
  RenderHarness g(0, 1, 2, 1);
  g.s.stationgri = {6000, 6000};
  g.s.gri6000count = 2;
  g.set(0, 0, 3000);
  g.set(1, 0, 2000);
  renderImageRow(g.s);
  EXPECT_EQ(g.sumre(0, 0), 3000.0f);
}

TEST(RenderCrossRate, BothChainsTakeTheirStripsInListOrder) {
  RenderHarness h(0, 1, 12, 8);
  h.s.stationgri = {7950, 6000, 7950, 7950, 7950, 7950, 6000, 6000, 7950, 7950, 7950, 7950};
  h.s.gri6000count = 3;
  h.s.gri7950count = 9;
  h.s.crossrateindex = 0; // each row starts from the start-up value, whatever is left
  for (int32_t s = 0; s < 4; ++s) h.set(s, 0, 10000);
  for (int32_t r = 4; r < 12; ++r) h.set(r, 0, 100.0f * static_cast<float>(r));
  renderImageRow(h.s);
  EXPECT_EQ(h.sumre(0, 0), 9550.0f) << "strips 4 and 5";
  EXPECT_EQ(h.sumre(1, 0), 9350.0f) << "strips 6 and 7";
  EXPECT_EQ(h.sumre(2, 0), 9150.0f) << "strips 8 and 9";
  EXPECT_EQ(h.sumre(3, 0), 8950.0f) << "strips 10 and 11";
  EXPECT_EQ(h.sumre(4, 0), 400.0f) << "hidden strips are left alone";
  EXPECT_EQ(h.s.crossrateindex, 0);

  // Nine GRI-7950 stations alone start at -6.
  RenderHarness g(0, 1, 9, 6);
  g.s.stationgri.assign(9, 7950);
  g.s.gri7950count = 9;
  for (int32_t s = 0; s < 3; ++s) g.set(s, 0, 10000);
  for (int32_t r = 3; r < 9; ++r) g.set(r, 0, 100.0f * static_cast<float>(r));
  renderImageRow(g.s);
  EXPECT_EQ(g.sumre(0, 0), 9650.0f);
  EXPECT_EQ(g.sumre(1, 0), 9450.0f);
  EXPECT_EQ(g.sumre(2, 0), 9250.0f);
}

// ---- Colour ----------------------------------------------------------------

TEST(RenderColour, PhaseZeroIsRedFadingToWhite) {
  EXPECT_EQ(colourOf(2000), (Bgr{0, 0, 255})) << "v = 1, 0.5 after the saturation";
  EXPECT_EQ(colourOf(6000), (Bgr{127, 127, 255})) << "v = 3, 0.75 after the saturation";
  EXPECT_EQ(colourOf(2400), (Bgr{23, 23, 255})) << "v = 1.2: fading starts just above 0.5";
  EXPECT_EQ(colourOf(1000), (Bgr{0, 0, 170}));
  EXPECT_EQ(colourOf(0), (Bgr{0, 0, 0}));
}

TEST(RenderColour, HueFollowsThePhase) {
  EXPECT_EQ(colourOf(-1000, 1732.0508f), (Bgr{255, 0, 0})) << "+120 degrees is blue";
  EXPECT_EQ(colourOf(-1000, -1732.0508f), (Bgr{0, 255, 0})) << "-120 degrees is green";
  EXPECT_EQ(colourOf(-2000, 0), (Bgr{255, 255, 0})) << "180 degrees is cyan";
}

TEST(RenderColour, ModeTwoHalvesAndNeverTurnsWhite) {
  auto two = [](State& s) { s.colour = 2; };
  EXPECT_EQ(colourOf(2000, 0, two), (Bgr{0, 0, 255}));
  EXPECT_EQ(colourOf(1000, 0, two), (Bgr{0, 0, 127}));
  EXPECT_EQ(colourOf(8000, 0, two), (Bgr{0, 0, 255}));
  EXPECT_EQ(colourOf(0, 0, two), (Bgr{0, 0, 0}));
}

TEST(RenderColour, ZeroSumIsBlackInEveryMode) {
  const std::vector<void (*)(State&)> modes{
      [](State&) {},
      [](State& s) { s.colour = 2; },
      [](State& s) { s.dbrange = 40; },
      [](State& s) { s.fullscaleknee = 1; },
      [](State& s) { s.gamma = 0.5f; },
      [](State& s) { s.gamma = -2; },
  };
  for (std::size_t m = 0; m < modes.size(); ++m) {
    EXPECT_EQ(colourOf(0, 0, modes[m]), (Bgr{0, 0, 0})) << "mode " << m;
    EXPECT_EQ(greyOf(0, 0, modes[m]), 0) << "mode " << m;
  }
}

TEST(RenderColour, PhaseOfTheLastPixelIsKeptOverAZeroSum) {
  RenderHarness h(1, 2, 2);
  h.set(0, 0, 0, 2000);
  h.set(1, 1, 1500, 0);
  renderImageRow(h.s);
  EXPECT_EQ(h.colourPixel(1), (Bgr{0, 0, 0}));
  EXPECT_EQ(h.colourPixel(2), (Bgr{0, 0, 0}));
  EXPECT_EQ(h.colourPixel(3)[2], 219) << "the fourth pixel is red";
  EXPECT_EQ(h.s.rowbuffer.size(), 12u);
  EXPECT_EQ(h.s.cosphi, 1.0f);
  EXPECT_EQ(h.s.sinphi, 0.0f);

  RenderHarness g(1, 2);
  g.set(0, 0, 0, 2000);
  renderImageRow(g.s);
  EXPECT_EQ(g.s.cosphi, 0.0f) << "kept from the first pixel";
  EXPECT_EQ(g.s.sinphi, 1.0f);
}

} // namespace velkor
