// The two ways velkor keeps unwanted energy out of a station's sums: the noise
// blanker against impulsive noise, and the blanking of a strong station whose
// pulses would otherwise fill the window of a weak one. Each recording is
// received twice, with and without the measure, with the sample-clock loop
// off so that both runs place their windows identically.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace velkor {

namespace {

e2e::Settings atOrigin(e2e::Settings synth) {
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  return synth;
}

TEST(NoiseBlanker, LowersTheDamageOfImpulsiveNoise) {
  const double rate = 12000;
  const std::vector<e2e::SceneStation> stations = {{"7499x", 1.0, 0}, {"7499m", 0.5, -60}};
  test::ScratchDir dir;
  // 200 impulses a second of peak 30000 against pulses of peak 1000.
  e2e::Settings synth = atOrigin(e2e::synthScene(rate, 30, stations));
  synth.set("signal", "amplitude", 1000)
      .set("signal", "noise", 100)
      .set("signal", "impulserate", 200)
      .set("signal", "impulseamplitude", 30000);
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);

  std::vector<e2e::Strip> strips[2];
  for (int nb : {0, 1}) {
    e2e::Settings receiver = e2e::receiverScene(rate, stations);
    receiver.set("frequency", "srcorr", 0)
        .set("amplitude", "fullscale", 2000)
        .set("amplitude", "nb", nb)
        .set("amplitude", "nbinit", 3000);
    auto run = e2e::runReceiver(dir, receiver);
    ASSERT_EQ(run.status, 0) << run.err;
    const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
    ASSERT_EQ(image.problem, "");
    ASSERT_GE(image.height, 6);
    for (int s = 0; s < 2; ++s) strips[nb].push_back(e2e::readStrip(image, s, 24));
  }
  for (std::size_t s = 0; s < 2; ++s) {
    const std::string name = stations[s].key;
    // The pulse stands in the same place at nearly the same brightness (the
    // blanker's loss is made good), while the background the impulses leave
    // drops at least threefold.
    EXPECT_EQ(strips[1][s].peak, strips[0][s].peak) << name;
    EXPECT_NEAR(strips[1][s].peaklevel, strips[0][s].peaklevel, 0.2 * strips[0][s].peaklevel) << name;
    EXPECT_GT(strips[0][s].floor, 3 * strips[1][s].floor) << name << ": impulses without and with the blanker";
    EXPECT_GT(strips[1][s].peaklevel / strips[1][s].floor, 3 * strips[0][s].peaklevel / strips[0][s].floor) << name;
  }
}

// Two secondaries of one chain, so with the same phase code: a strong one
// 50 km from the receiver and a weak one 1000 km away whose emission delay
// makes it arrive 200 us before the strong one. In the weak station's window
// the strong pulse then adds up just as coherently as the weak one.
constexpr const char* kTable =
    "7499,0,X,Near,0,0,0,N,0,27,0,E,20000,0,1000\n"
    "7499,0,Y,Far,0,0,0,N,9,0,0,E,16597,0,250\n";

struct BlankingCase {
  const char* name;
  const char* strongEntry;              // the strong station's [stations] entry
  std::vector<std::pair<const char*, double>> settings; // [stations] settings
  bool blanked;
};

void PrintTo(const BlankingCase& c, std::ostream* os) { *os << c.name; }

class StationBlanking : public testing::TestWithParam<BlankingCase> {};

TEST_P(StationBlanking, LetsAWeakStationOnTheSameGriShow) {
  const BlankingCase& c = GetParam();
  const double rate = 48000;
  test::ScratchDir dir;
  dir.write("chains.txt", kTable);
  e2e::Settings synth = atOrigin(e2e::synthScene(rate, 20, {{"7499x", 20.0, 0}, {"7499y", 0.5, 0}}));
  synth.set("location", "lat", 0).set("location", "lon", 0).set("file", "table", "chains.txt");
  synth.set("signal", "amplitude", 1000).set("signal", "noise", 100);
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);
  ASSERT_EQ(truth.stations.size(), 2u);
  const double lead = (truth.stations[0].arrival - truth.stations[1].arrival) * rate; // [samples]
  ASSERT_NEAR(lead, 200e-6 * rate, 1.0) << "the strong pulse follows the weak one";

  e2e::Settings receiver = e2e::receiverScene(rate, {});
  receiver.set("location", "lat", 0).set("location", "lon", 0).set("file", "table", "chains.txt");
  receiver.set("frequency", "srcorr", 0).set("amplitude", "fullscale", 1000);
  // The blanked samples run from point 3 of the strong window to its end, 17
  // samples (354 us) into the strong pulse, where it has decayed below 1/200.
  receiver.set("amplitude", "firstblankedsample", 3).set("amplitude", "lastblankedsample", 23);
  receiver.set("stations", c.strongEntry).set("stations", "7499y");
  for (const auto& [key, value] : c.settings) receiver.set("stations", key, value);
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("Near 20ms 1000kW 50.") != std::string::npos, true) << run.out;
  EXPECT_EQ(run.out.find("km (blanked)\r\n 7499 Y") != std::string::npos, c.blanked) << run.out;

  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  ASSERT_GE(image.height, 4);
  const double peak = 6 + 65e-6 * rate; // where a pulse peaks in its own window
  const auto at = [](const e2e::Strip& strip, double column) {
    return strip.level[static_cast<std::size_t>(std::lround(column))];
  };
  // The strong station is integrated before its pulses are cut out. (The
  // start of its window holds the tail of the weak pulse.)
  const e2e::Strip strong = e2e::readStrip(image, 0, 24);
  EXPECT_EQ(at(strong, peak), 255);
  const e2e::Strip weak = e2e::readStrip(image, 1, 24);
  if (c.blanked) {
    EXPECT_NEAR(weak.peak, peak, 1.0);
    EXPECT_GT(weak.peaklevel, 0.5 * e2e::fullGrey(truth.stations[1].amplitude, 1000));
    for (int column = 14; column < 24; ++column)
      EXPECT_LT(at(weak, column), 0.1 * weak.peaklevel) << "column " << column;
  } else {
    EXPECT_EQ(at(weak, peak + lead), 255) << "the strong pulse in the weak station's window";
    EXPECT_GT(weak.peak, peak + 3) << "the weak pulse is not the brightest thing in its own window";
  }
}

INSTANTIATE_TEST_SUITE_P(
    StrongNearStation, StationBlanking,
    testing::Values(BlankingCase{"NotBlanked", "7499x", {{"blankedstns", 0}, {"blankingdistance", 100}}, false},
                    BlankingCase{"ByDistance", "7499x", {{"blankedstns", 1}, {"blankingdistance", 100}}, true},
                    BlankingCase{"ByMinusSign", "-7499x", {{"blankedstns", 1}}, true}),
    [](const testing::TestParamInfo<BlankingCase>& info) { return std::string(info.param.name); });

} // namespace

} // namespace velkor
