#include "processing/tracking.h"

#include "display/display.h"
#include "platform/posixplatform.h"
#include "timing/timescale.h"
#include "support/synthreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace velkor {

namespace {

constexpr double kTwoPi = 2 * 3.14159265f;

// One reference station; trackOscillator's own edge search finds no pulses
// and leaves the edge as the test sets it.
Record trackingState(const std::string& settings = "") {
  return test::receiverState("[file]\nwav = a.wav\n[time]\nshortintegration = 1\n[frequency]\nsrcorr = 0\n" + settings +
                             "\n[stations]\n8000x\n");
}

// The tracking at the end of a period with its part of the status line.
void track(Record& s, Platform& platform) {
  trackOscillator(s.settings, s.stations, s.acquisition.clock, s.processing, platform.random, platform.commands);
  printStatus(s.acquisition.clock, s.processing, platform.console);
}

// The status line's start, as the main cycle prints it.
void showStreamTime(Record& s, Platform& platform) {
  const StreamTimeOfDay now = streamTimeOfDay(s.settings, s.acquisition, s.timing);
  printStreamTime(s.settings, s.timing, now, platform.console);
  s.cycle.currenthour = now.hours;
}

} // namespace

TEST(EdgeFinder, WorkedEnvelopes) {
  const std::vector<double> worked{0, 0, 0, 10, 30, 50, 40, 30, 20, 10, 5};
  const std::vector<double> low{0, 0, 0.25, 0.5, 0.75, 1.0, 0.5, 0.25, 0, 0, 0};
  struct {
    std::vector<double> means;
    std::complex<double> turn;
    std::string settings;
    float edge, phase;
  } cases[] = {
      {worked, 1, "", 3.5f, 0},                                       // threshold 20 halfway from 10 to 30
      {worked, {0, -1}, "", 3.5f, static_cast<float>(0.75 * kTwoPi)}, // the same turned to -90 degrees
      {low, 1, "[amplitude]\nedgelevel = 1.5", 4.5f, 0},              // absolute, never reached: halfway
      {worked, 1, "[amplitude]\nreferencestation = 1", -1, -1},       // no such station: nothing measured
      {worked, 1, "[amplitude]\nreferencestation = -1", -1, -1},
  };
  for (const auto& c : cases) {
    Record s = trackingState(c.settings);
    s.processing.pulsesintegrated[0] = 4;
    s.processing.edgeposition = -1;
    s.processing.edgephase = -1;
    for (std::size_t p = 0; p < c.means.size(); ++p) {
      s.processing.shortsumre[p] = static_cast<int32_t>(std::lrint(4 * (c.means[p] * c.turn).real()));
      s.processing.shortsumim[p] = static_cast<int32_t>(std::lrint(4 * (c.means[p] * c.turn).imag()));
    }
    findEdge(s.settings, s.stations, s.processing);
    EXPECT_EQ(s.processing.edgeposition, c.edge) << c.settings;
    EXPECT_FLOAT_EQ(s.processing.edgephase, c.phase) << c.settings;
  }
}

// One whole status line. The console held text without a line end, so the
// line begins on a new one; the carrier phase has stepped by +0.7 cycles,
// taken as -0.3 (-3e-6 over 1 s); with srcorr 0 the late edge moves nothing.
TEST(StatusLine, OneExactLine) {
  test::TestPlatform t;
  Record s = trackingState();
  t.console.write("station summary");
  s.timing.timeorigin = 22;
  s.acquisition.clock.blockend = 13 * 3600 + 14 * 60 + 15.7;
  s.processing.edgemax = 1234.4f;
  s.processing.edgeposition = 7.04f;
  s.acquisition.clock.sr = 48000.96;
  s.processing.lockcount = 3;
  s.processing.lotime = 1.5f;
  s.processing.edgephase = static_cast<float>(0.7 * kTwoPi);
  showStreamTime(s, t.platform);
  track(s, t.platform);
  EXPECT_EQ(t.text(), "station summary\r\n13:14:15 max 1234 edge 7.04 SR 48000.9600Hz LO -3.0E-06    -1.50us\r\n");
  EXPECT_EQ(s.acquisition.clock.blockend, 13 * 3600 + 14 * 60 + 15.7);
  EXPECT_EQ(s.acquisition.clock.sr, 48000.96);
}

TEST(StatusLine, StreamTimeOfDay) {
  const struct {
    double blockend;
    const char* settings;
    float pcoffset;
    const char* text;
  } cases[] = {
      {86399.996, "[file]\nwav = a.wav", 0, "24:00:00"}, // just short of midnight rounds up to hour 24
      {3600, "[file]\ndat = a.dat", 2.0f, "01:00:00 PC -2.00s"},
  };
  for (const auto& c : cases) {
    test::TestPlatform t;
    Record s = trackingState(c.settings);
    s.timing.timeorigin = 22;
    s.acquisition.clock.blockend = c.blockend;
    s.timing.pcoffset = c.pcoffset;
    showStreamTime(s, t.platform);
    EXPECT_EQ(t.text(), c.text);
  }
}

TEST(OscillatorCommand, RunsFromTheFourthStrongPeriodOnWithTheFirstTenCharacters) {
  const struct {
    const char* settings;
    const char* command;
  } cases[] = {
      {"pllhigh = 1000", "Corvex1 /testsig=  900"},
      {"plllow = 950\npllhigh = 1000", "Corvex1 /testsig=  950"},
      {"", "Corvex1 /testsig=  0"},                                                 // both limits 0
      {"pllhigh = 1000\n[frequency]\nsrlooffset = 1e-6", "Corvex1 /testsig=  910"}, // 1 us drift expected
      {"pllcommand = steer\npllcenter = -123.456789012345\nplllow = -1000", "steer -123.45678"},
  };
  for (const auto& c : cases) {
    test::TestPlatform t;
    Record s =
        trackingState(std::string("[taisync]\nresynclimit = 10\n[pll]\npllcommand = Corvex1 /testsig=\n") + c.settings);
    s.processing.edgemax = 50;
    for (int period = 1; period <= 3; ++period) track(s, t.platform);
    EXPECT_TRUE(t.commands.commands.empty());
    track(s, t.platform);
    EXPECT_EQ(t.commands.commands, std::vector<std::string>{c.command});
  }
}

TEST(OscillatorCommand, RunsThroughTheShell) {
  test::ScratchDir dir;
  ShellRunner shell;
  test::TestPlatform t;
  Platform platform{t.console, t.keyboard, t.clock, shell, t.random, t.errors};
  Record s = trackingState("[pll]\npllhigh = 1000\npllcommand = echo >>" + dir.file("arguments.txt"));
  s.processing.lockcount = 3;
  s.processing.edgemax = 1;
  track(s, platform);
  track(s, platform);
  EXPECT_EQ(dir.read("arguments.txt"), "900\n900\n") << "the cycle waited for each command";
}

TEST(ResyncRequests, APcClockAstrayCountsForRawInputOnly) {
  for (const char* input : {"wav = a.wav", "dat = a.dat"}) {
    Record s = trackingState(std::string("[file]\n") + input + "\n[taisync]\nclockerrorlimit = 1");
    s.timing.pcoffset = -1.5f;
    countResyncRequests(s.settings, s.timing, s.processing);
    EXPECT_EQ(s.processing.resyncrequests, input[0] == 'd' ? 1 : 0) << input;
  }
}

} // namespace velkor
