#include "image/render.h"

#include "core/startup.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

namespace velkor {

namespace {

using Bgr = std::array<int, 3>; // blue, green, red
using Adjust = std::function<void(State&)>;

// `stations` stations of `points` samples, the last `hidden` not drawn;
// fullscale 200, longintegration 10, high-pass off.
struct RenderHarness {
  State s;
  RenderHarness(int32_t colour, int32_t points, int32_t stations = 1, int32_t hidden = 0) {
    s.colour = colour;
    s.displaysamples = points;
    s.stationcount = stations;
    s.displayedstations = stations - hidden;
    s.hipass = s.jittercorr = 0;
    s.stationgri.assign(static_cast<std::size_t>(stations), 7499);
    s.stationdistance = s.stationpower = std::vector<float>(static_cast<std::size_t>(stations), 0);
    dimensionArrays(s);
  }
  std::size_t at(int32_t station, int32_t point) const {
    return static_cast<std::size_t>(station * s.displaysamples + point);
  }
  float& re(int32_t station, int32_t point) { return s.longsumre[at(station, point)]; }
  float& im(int32_t station, int32_t point) { return s.longsumim[at(station, point)]; }
  std::vector<int> greys(const std::vector<float>& strip, const Adjust& setup = {}) {
    for (std::size_t i = 0; i < strip.size(); ++i) re(0, static_cast<int32_t>(i)) = strip[i];
    if (setup) setup(s);
    renderImageRow(s);
    return {s.rowbuffer.begin(), s.rowbuffer.end()};
  }
  Bgr colour(std::size_t pixel) const {
    return {s.rowbuffer[3 * pixel], s.rowbuffer[3 * pixel + 1], s.rowbuffer[3 * pixel + 2]};
  }
};

int greyOf(float re, float im = 0, const Adjust& setup = {}) {
  RenderHarness h(0, 1);
  h.im(0, 0) = im;
  return h.greys({re}, setup)[0];
}

Bgr colourOf(float re, float im = 0, const Adjust& setup = {}) {
  RenderHarness h(1, 1);
  h.im(0, 0) = im;
  h.greys({re}, setup);
  return h.colour(0);
}

Adjust with(float State::*member, float value) {
  return [member, value](State& s) { s.*member = value; };
}

} // namespace

TEST(RenderRow, GreyLevels) {
  EXPECT_EQ(greyOf(1000), 127) << "mean 100 at full scale 200";
  EXPECT_EQ(greyOf(600, -800), 127) << "the magnitude counts";
  EXPECT_EQ(greyOf(1990), 254);
  EXPECT_EQ(greyOf(2000), 255);
  EXPECT_EQ(greyOf(5000), 255);
  EXPECT_EQ(greyOf(3e38f, 3e38f), 255) << "a magnitude beyond single range";
  auto knee = [](State& s) { s.fullscaleknee = 1; };
  EXPECT_EQ(greyOf(4000, 0, knee), 200) << "0.75 + 8.6859 ln(2 / 0.75) / 256";
  EXPECT_EQ(greyOf(1500, 0, knee), 191) << "three quarters is not above the knee";
  EXPECT_EQ(greyOf(20000, 0, knee), 214);
  EXPECT_EQ(greyOf(1000, 0, with(&State::gamma, 2)), 63);
  EXPECT_EQ(greyOf(500, 0, with(&State::gamma, 0.5f)), 127);
  EXPECT_EQ(greyOf(4000, 0, with(&State::gamma, -1)), 127);
  EXPECT_EQ(greyOf(2000, 0, with(&State::dbrange, 40)), 255);
  EXPECT_EQ(greyOf(200, 0, with(&State::dbrange, 40)), 127) << "20 dB below full scale";
  EXPECT_EQ(greyOf(20, 0, with(&State::dbrange, 40)), 0) << "40 dB below";
  EXPECT_EQ(greyOf(2, 0, with(&State::dbrange, 40)), 0);
  EXPECT_EQ(greyOf(200, 0, with(&State::dbrange, -40)), 127);
  EXPECT_EQ(greyOf(200, 0, [](State& s) { s.dbrange = 40, s.gamma = 2, s.fullscaleknee = 1; }), 127)
      << "no gamma or knee on the dB scale";
}

TEST(RenderRow, DistanceAndPowerNormalisation) {
  auto far = [](State& s) { s.normalizedistance = 1000, s.stationdistance[0] = 2000; };
  auto strong = [](State& s) { s.normalizepower = 100, s.stationpower[0] = 400; };
  EXPECT_EQ(greyOf(500, 0, far), 127);
  EXPECT_EQ(greyOf(2000, 0, strong), 127);
  EXPECT_EQ(greyOf(500, 0, with(&State::normalizedistance, 1000)), 63) << "distance unknown";
  EXPECT_EQ(greyOf(2000, 0, with(&State::normalizepower, 100)), 255) << "power unknown";
}

TEST(RenderRow, ColoursShowThePhase) {
  EXPECT_EQ(colourOf(2000), (Bgr{0, 0, 255})) << "v = 1, 0.5 after saturation";
  EXPECT_EQ(colourOf(6000), (Bgr{127, 127, 255})) << "v = 3, 0.75 after saturation";
  EXPECT_EQ(colourOf(2400), (Bgr{23, 23, 255})) << "fading toward white starts above 0.5";
  EXPECT_EQ(colourOf(1000), (Bgr{0, 0, 170}));
  EXPECT_EQ(colourOf(-1000, 1732.0508f), (Bgr{255, 0, 0})) << "+120 degrees is blue";
  EXPECT_EQ(colourOf(-1000, -1732.0508f), (Bgr{0, 255, 0})) << "-120 degrees is green";
  EXPECT_EQ(colourOf(1000, 0, with(&State::fullscale, 50)), (Bgr{85, 85, 255}));
  auto two = [](State& s) { s.colour = 2; };
  EXPECT_EQ(colourOf(1000, 0, two), (Bgr{0, 0, 127}));
  EXPECT_EQ(colourOf(8000, 0, two), (Bgr{0, 0, 255})) << "mode 2 never turns white";
}

TEST(RenderRow, ZeroSumIsBlackInEveryMode) {
  const Adjust modes[] = {{}, [](State& s) { s.colour = 2; }, with(&State::dbrange, 40),
                         [](State& s) { s.fullscaleknee = 1; }, with(&State::gamma, 0.5f),
                         with(&State::gamma, 0), with(&State::gamma, -2)};
  for (const auto& mode : modes) {
    EXPECT_EQ(greyOf(0, 0, mode), 0);
    EXPECT_EQ(colourOf(0, 0, mode), (Bgr{0, 0, 0}));
  }
  EXPECT_EQ(colourOf(0.02f, 0, with(&State::dbrange, 40)), (Bgr{0, 0, 0})) << "100 dB below a 40 dB range";
  // The phase of the last non-zero pixel is kept for the next.
  RenderHarness h(1, 3);
  h.im(0, 0) = 2000;
  h.greys({0, 0, 0});
  EXPECT_EQ(h.colour(1), (Bgr{0, 0, 0}));
  EXPECT_EQ(h.s.cosphi, 0.0f);
  EXPECT_EQ(h.s.sinphi, 1.0f);
}

TEST(RenderRow, StationsSideBySideLeavingPaddingAndHiddenStrips) {
  RenderHarness h(0, 2, 3, 1);
  h.s.rowbuffer.assign(8, 0x20);
  h.re(1, 0) = 2000;
  h.re(1, 1) = 400;
  h.re(2, 0) = 2000;
  EXPECT_EQ(h.greys({0, 1000}), (std::vector<int>{0, 127, 255, 51, 0x20, 0x20, 0x20, 0x20}));
}

TEST(RenderRow, HighPassWithDriftCorrection) {
  auto ramp = [](float hipass, float jittercorr, float drift) {
    RenderHarness h(0, 3);
    return h.greys({0, 1000, 2000}, [=](State& s) {
      s.hipass = hipass, s.jittercorr = jittercorr, s.longdrift[0] = drift;
    });
  };
  EXPECT_EQ(ramp(0.1f, 0, 0), (std::vector<int>{0, 102, 255})) << "ends of a strip are never filtered";
  EXPECT_EQ(ramp(0.1f, 1, 2), (std::vector<int>{0, 127, 255})) << "jc = 0.05: all weight on the earlier side";
  EXPECT_EQ(ramp(0.1f, 1, -2), (std::vector<int>{0, 76, 255}));
  EXPECT_EQ(ramp(0, 1, 2), (std::vector<int>{0, 153, 255})) << "jittercorr alone switches the filter on";
  EXPECT_EQ(greyOf(1000, 0, with(&State::hipass, 0.5f)), 127) << "displaysamples 1";
}

TEST(RenderRow, ComplexFirOnTheUnfilteredSums) {
  auto fir = [](int32_t firbegin, std::vector<float> tapre, std::vector<float> tapim, std::vector<float> strip,
                float hipass = 0, float im = 0) {
    RenderHarness h(0, static_cast<int32_t>(strip.size()));
    h.im(0, 0) = im;
    return h.greys(strip, [&](State& s) {
      s.firbegin = firbegin, s.tapre = tapre, s.tapim = tapim, s.hipass = hipass;
      s.tapcount = static_cast<int32_t>(tapre.size());
    });
  };
  EXPECT_EQ(fir(1, {0.5f}, {0}, {1000, 0, 0}), (std::vector<int>{127, 63, 0}));
  EXPECT_EQ(fir(1, {1}, {0}, {1000, 1000, 1000}, 0.1f), (std::vector<int>{127, 230, 255})) << "800 + 1000";
  EXPECT_EQ(fir(-1, {1, 0.5f}, {0, 0}, {0, 1000, 0}), (std::vector<int>{127, 191, 0})) << "outside terms left out";
  EXPECT_EQ(fir(0, {0}, {1}, {1000}), (std::vector<int>{181})) << "1000 + j1000";
  EXPECT_EQ(fir(0, {0.5f}, {-0.25f}, {400}, 0, 200), (std::vector<int>{87})) << "650 + j200";
  EXPECT_EQ(fir(0, {-0.5f, 5}, {0, 0}, {1000}), (std::vector<int>{63})) << "displaysamples 1: tap 0 only";
}

TEST(RenderRow, CrossRateSubtraction) {
  RenderHarness h(0, 2, 3, 2);
  h.s.stationgri = {6000, 6000, 6000};
  h.s.gri6000count = 3;
  for (int row = 0; row < 2; ++row) {
    h.re(1, 0) = 2000, h.re(2, 0) = 1000, h.im(0, 1) = 600, h.im(2, 1) = 1200;
    EXPECT_EQ(h.greys({3000, 1000}), (std::vector<int>{191, 127})) << "own minus half of each hidden strip";
    EXPECT_EQ(h.re(0, 0), 1500.0f);
    EXPECT_EQ(h.im(0, 1), 0.0f);
  }
  h.s.gri6000count = 2;
  h.greys({3000, 0});
  EXPECT_EQ(h.re(0, 0), 3000.0f) << "only with exactly three";

  // Both chains: -8, the strips taken in pairs in list order.
  RenderHarness g(0, 1, 12, 8);
  g.s.stationgri = {7950, 6000, 7950, 7950, 7950, 7950, 6000, 6000, 7950, 7950, 7950, 7950};
  g.s.gri6000count = 3;
  g.s.gri7950count = 9;
  for (int32_t r = 0; r < 12; ++r) g.re(r, 0) = r < 4 ? 10000.0f : 100.0f * static_cast<float>(r);
  renderImageRow(g.s);
  EXPECT_EQ((std::vector<float>{g.re(0, 0), g.re(1, 0), g.re(2, 0), g.re(3, 0), g.re(4, 0)}),
            (std::vector<float>{9550, 9350, 9150, 8950, 400}));
  EXPECT_EQ(g.s.crossrateindex, 0);
}

} // namespace velkor
