// The two ways velkor keeps unwanted energy out of a station's sums: the noise
// blanker against impulsive noise, and the blanking of a strong station whose
// pulses would otherwise fill the window of a weak one. Each recording starts
// at the 1958 origin and is received with and without the measure, with the
// sample-clock loop off so that every run places its windows identically.
#include "system/e2e_support.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {
namespace {

TEST(NoiseBlanker, LowersTheDamageOfImpulsiveNoise) {
  const double rate = 12000;
  const std::vector<e2e::SceneStation> stations = {{"7499x", 1.0, 0}, {"7499m", 0.5, -60}};
  test::ScratchDir dir;
  // 200 impulses a second of peak 30000 against pulses of peak 1000.
  e2e::Settings synth = e2e::synthScene(rate, 30, stations);
  synth.set("signal", "amplitude", 1000).set("signal", "noise", 100);
  synth.set("signal", "impulserate", 200).set("signal", "impulseamplitude", 30000);
  ASSERT_TRUE(e2e::synthesise(dir, synth).valid);

  std::vector<e2e::Strip> strips[2];
  for (int nb : {0, 1}) {
    e2e::Settings receiver = e2e::receiverScene(rate, stations);
    receiver.set("frequency", "srcorr", 0).set("amplitude", "fullscale", 2000);
    receiver.set("amplitude", "nb", nb).set("amplitude", "nbinit", 3000);
    auto run = e2e::runReceiver(dir, receiver);
    ASSERT_EQ(run.status, 0) << run.err;
    const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
    ASSERT_GE(image.height, 6) << image.problem;
    for (int s = 0; s < 2; ++s) strips[nb].push_back(e2e::readStrip(image, s, 24));
  }
  for (std::size_t s = 0; s < 2; ++s) {
    // The pulse stays in place at nearly its brightness (the blanker's loss
    // is made good) while the background the impulses leave drops threefold.
    const auto &without = strips[0][s], &with = strips[1][s];
    EXPECT_EQ(with.peak, without.peak) << stations[s].key;
    EXPECT_NEAR(with.peaklevel, without.peaklevel, 0.2 * without.peaklevel) << stations[s].key;
    EXPECT_GT(without.floor, 3 * with.floor) << stations[s].key;
    EXPECT_GT(with.peaklevel / with.floor, 3 * without.peaklevel / without.floor) << stations[s].key;
  }
}

// The file gives the starting threshold as an amplitude; the blanker compares
// powers with it and cuts a power at or above it. On a constant input of power
// 45 x 45 = 2025 a threshold a hair above 45 keeps every sample, so the
// first short integration already shows what the constant leaves in a
// master's window.
TEST(NoiseBlanker, StartsAtTheSquareOfTheAmplitudeAsWritten) {
  const double rate = 12000;
  test::ScratchDir dir;
  std::vector<int16_t> frames;
  for (int k = 0; k < 3 * rate; ++k) frames.insert(frames.end(), {45, 0});
  test::writeWav(dir.file("rec.wav"), frames, {2, 2, static_cast<int>(rate), 44});
  e2e::Settings receiver = e2e::receiverScene(rate, {{"7499m", 1.0, 0}});
  receiver.set("time", "shortintegration", 1).set("amplitude", "nb", 1);
  receiver.set("amplitude", "nbinit", "45.0000007");
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto status = e2e::statusLines(run.out);
  ASSERT_FALSE(status.empty()) << run.out;
  EXPECT_EQ(status.front().max, 10) << "a threshold of 2025 would have blanked everything";
}

// Two secondaries of one chain, so with the same phase code: a strong one
// 50 km from the receiver and a weak one 1000 km away whose emission delay
// makes it arrive 200 us before the strong one. In the weak station's window
// the strong pulse then adds up just as coherently as the weak one.
TEST(StationBlanking, LetsAWeakStationOnTheSameGriShow) {
  const double rate = 48000;
  test::ScratchDir dir;
  dir.write("chains.txt", "7499,0,X,Near,0,0,0,N,0,27,0,E,20000,0,1000\n"
                          "7499,0,Y,Far,0,0,0,N,9,0,0,E,16597,0,250\n");
  e2e::Settings synth = e2e::synthScene(rate, 20, {{"7499x", 20.0, 0}, {"7499y", 0.5, 0}});
  synth.set("location", "lat", 0).set("location", "lon", 0).set("file", "table", "chains.txt");
  synth.set("signal", "amplitude", 1000).set("signal", "noise", 100);
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_EQ(truth.stations.size(), 2u);
  const double lead = (truth.stations[0].arrival - truth.stations[1].arrival) * rate; // [samples]
  ASSERT_NEAR(lead, 200e-6 * rate, 1.0) << "the strong pulse follows the weak one";

  struct Case {
    const char* strong;                                   // its [stations] entry
    std::vector<std::pair<const char*, double>> settings; // of [stations]
    bool blanked;
  };
  for (const Case& c : {Case{"7499x", {{"blankedstns", 0}, {"blankingdistance", 100}}, false},
                        Case{"7499x", {{"blankedstns", 1}, {"blankingdistance", 100}}, true},
                        Case{"-7499x", {{"blankedstns", 1}}, true}}) {
    SCOPED_TRACE(std::string(c.strong) + (c.blanked ? " blanked" : " not blanked"));
    e2e::Settings receiver = e2e::receiverScene(rate, {});
    receiver.set("location", "lat", 0).set("location", "lon", 0).set("file", "table", "chains.txt");
    receiver.set("frequency", "srcorr", 0).set("amplitude", "fullscale", 1000);
    // Blanked from point 3 of the strong window to its end, 17 samples
    // (354 us) into the strong pulse, where it has decayed below 1/200.
    receiver.set("amplitude", "firstblankedsample", 3).set("amplitude", "lastblankedsample", 23);
    receiver.set("stations", c.strong).set("stations", "7499y");
    for (const auto& [key, value] : c.settings) receiver.set("stations", key, value);
    auto run = e2e::runReceiver(dir, receiver);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("km (blanked)\r\n 7499 Y") != std::string::npos, c.blanked) << run.out;

    const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
    ASSERT_GE(image.height, 4) << image.problem;
    const double peak = 6 + 65e-6 * rate; // 6 samples into the window, 65 us into the pulse
    auto at = [](const e2e::Strip& strip, double column) { return strip.level[std::size_t(std::lround(column))]; };
    // The strong station is integrated before its pulses are cut out.
    EXPECT_EQ(at(e2e::readStrip(image, 0, 24), peak), 255);
    const e2e::Strip weak = e2e::readStrip(image, 1, 24);
    if (c.blanked) {
      EXPECT_NEAR(weak.peak, peak, 1.0);
      EXPECT_GT(weak.peaklevel, 0.5 * e2e::fullGrey(truth.stations[1].amplitude, 1000));
      for (int column = 14; column < 24; ++column) EXPECT_LT(at(weak, column), 0.1 * weak.peaklevel) << column;
    } else {
      EXPECT_EQ(at(weak, peak + lead), 255) << "the strong pulse in the weak station's window";
      EXPECT_GT(weak.peak, peak + 3) << "the weak pulse is not the brightest thing in its own window";
    }
  }
}

} // namespace
} // namespace velkor
