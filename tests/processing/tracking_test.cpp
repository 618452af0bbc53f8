#include "processing/tracking.h"

#include "core/format.h"
#include "platform/posixplatform.h"
#include "processing/synthetic.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace velkor {

namespace {

constexpr float kPiF = static_cast<float>(M_PI);

// One reference station whose mean sums per pulse are `means` (points from 0),
// integrated over n pulses.
State referenceState(const std::vector<std::complex<double>>& means, int32_t n, int32_t displaysamples = 24) {
  State s = test::stationState({{8000, 'X'}}, 48000.0, 4096, displaysamples);
  s.pulsesintegrated[0] = n;
  for (std::size_t p = 0; p < means.size(); ++p) {
    s.shortsumre[p] = static_cast<int32_t>(std::lrint(means[p].real() * n));
    s.shortsumim[p] = static_cast<int32_t>(std::lrint(means[p].imag() * n));
  }
  return s;
}

// The worked example: 0, 10, 30, 50 at points 2 to 5, falling after the peak.
std::vector<std::complex<double>> workedEnvelope(std::complex<double> direction) {
  const double values[] = {0, 0, 0, 10, 30, 50, 40, 30, 20, 10, 5};
  std::vector<std::complex<double>> means;
  for (double v : values) means.push_back(v * direction);
  return means;
}

// A state in which findEdge has nothing to do, for the loops that follow it.
State trackingState() {
  State s = test::stationState({{8000, 'X'}}, 48000.0);
  s.shortintegration = 1.0f;
  return s;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace

TEST(EdgeFinder, WorkedExampleGivesThreeAndAHalfMinusTheMeanResidue) {
  State s = referenceState(workedEnvelope(1.0), 4);
  s.roundingresidue[0] = 1.0f;
  findEdge(s);
  EXPECT_EQ(s.edgemax, 50.0f);
  EXPECT_EQ(s.edgefrac, 0.5f) << "(20 - 10) / (30 - 10)";
  EXPECT_EQ(s.edgeposition, 3.25f) << "3.5 - 1.0 / 4";
  EXPECT_EQ(s.edgere, 20.0f) << "halfway between 10 and 30";
  EXPECT_EQ(s.edgeim, 0.0f);
  EXPECT_EQ(s.edgeamplitude, 20.0f);
  EXPECT_EQ(s.edgephase, 0.0f);
  EXPECT_EQ(s.envelope[0], 0.0f);
  EXPECT_EQ(s.envelope[1], 0.0f) << "below the search window: not refreshed";
  EXPECT_EQ(s.envelope[5], 50.0f);
  EXPECT_EQ(s.envelope[11], 0.0f) << "above the search window: not refreshed";

  // The same edge turned to -90 degrees: the angle is brought into [0, 2 pi).
  State down = referenceState(workedEnvelope({0, -1}), 4);
  findEdge(down);
  EXPECT_EQ(down.edgeposition, 3.5f);
  EXPECT_EQ(down.edgephase, static_cast<float>(-kPiF / 2 + 2.0 * kPiF));
}

TEST(EdgeFinder, AbsoluteThresholdAboveThePeakFallsBackToHalfway) {
  // Means 0.25 ... 1.0: edgelevel 1.5 is an absolute threshold never reached.
  State s = referenceState({0, 0, 0.25, 0.5, 0.75, 1.0, 0.5, 0.25, 0, 0, 0}, 4);
  s.edgelevel = 1.5f;
  s.edgelevelabs = 1.5f;
  findEdge(s);
  EXPECT_EQ(s.edgemax, 1.0f);
  EXPECT_EQ(s.edgefrac, 0.5f) << "(1.5 - 0.75) / (1 - 0.75) = 3 is out of [0, 1]";
  EXPECT_EQ(s.edgeposition, 4.5f) << "the scan ran up to the peak at 5";

  // A relative level of 0.4 on the same envelope finds the crossing at 3.2.
  State relative = referenceState({0, 0, 0.25, 0.5, 0.75, 1.0, 0.5, 0.25, 0, 0, 0}, 4);
  findEdge(relative);
  EXPECT_NEAR(relative.edgeposition, 2.6f, 1e-6f);
}

TEST(EdgeFinder, KeepsEverythingWithoutPulsesOrReference) {
  auto untouched = [](State& s) {
    s.edgemax = 7;
    s.edgeposition = 5.5f;
    s.edgefrac = 0.3f;
    s.edgephase = 1.0f;
    s.edgeamplitude = 3;
    findEdge(s);
    EXPECT_EQ(s.edgemax, 7.0f);
    EXPECT_EQ(s.edgeposition, 5.5f);
    EXPECT_EQ(s.edgefrac, 0.3f);
    EXPECT_EQ(s.edgephase, 1.0f);
    EXPECT_EQ(s.edgeamplitude, 3.0f);
  };
  State none = referenceState(workedEnvelope(1.0), 4);
  none.pulsesintegrated[0] = 0;
  untouched(none);

  State beyond = referenceState(workedEnvelope(1.0), 4);
  beyond.referencestation = 1;
  untouched(beyond);
  beyond.referencestation = -1;
  untouched(beyond);

  State empty = test::stationState({}, 48000.0);
  untouched(empty);

  State single = referenceState({0}, 4, 1);
  untouched(single);
}

TEST(EdgeFinder, SmallWindowsReadOnlyTheirOwnPoints) {
  // Four points: search 2 ... 3, peak starts at 3.
  State four = referenceState({0, 0, 10, 50}, 2, 4);
  findEdge(four);
  EXPECT_EQ(four.edgemax, 50.0f);
  EXPECT_EQ(four.edgeposition, 2.25f) << "(20 - 10) / (50 - 10) past point 2";

  // Six points without signal and an absolute threshold: the scan stops at point 5.
  State six = referenceState({0, 0, 0, 0, 0, 0}, 3, 6);
  six.edgelevelabs = 2;
  six.edgefrac = 0.75f;
  findEdge(six);
  EXPECT_EQ(six.edgemax, 0.0f);
  EXPECT_EQ(six.edgeposition, 4.75f) << "flat envelope: the previous fraction stays";
  EXPECT_EQ(six.edgeamplitude, 0.0f);

  // Two points: the smallest window that still has an edge.
  State two = referenceState({0, 0}, 3, 2);
  findEdge(two);
  EXPECT_EQ(two.edgemax, 0.0f);
}

TEST(OscillatorTracking, PhaseStepWrapsIntoHalfACycle) {
  test::TestPlatform t;
  State s = trackingState();
  s.srcorr = 0;
  s.lastphase = 0.1f;
  s.edgephase = static_cast<float>(0.8 * 2.0 * kPiF);
  trackOscillator(s, t.platform);
  EXPECT_NEAR(s.relfreq, -0.3 / 1.0 / 100000, 1e-12) << "+0.7 cycles counts as -0.3";
  EXPECT_NEAR(s.lastphase, 0.8f, 1e-6f);

  s.lastphase = 0.8f;
  s.edgephase = static_cast<float>(0.1 * 2.0 * kPiF);
  trackOscillator(s, t.platform);
  EXPECT_NEAR(s.relfreq, 0.3 / 1.0 / 100000, 1e-12) << "-0.7 cycles counts as +0.3";

  // A half cycle forward counts as half a cycle back: the range is [-0.5, 0.5).
  s.lastphase = 0.0f;
  s.edgephase = kPiF;
  trackOscillator(s, t.platform);
  EXPECT_NEAR(s.relfreq, -0.5 / 100000, 1e-12);
}

TEST(OscillatorTracking, SampleClockLoopMovesTimeStampsAndRate) {
  test::TestPlatform t;
  State s = trackingState();
  s.srcorr = 0.25f;
  s.srcorrroot = 0.5f;
  s.shortintegration = 2.0f;
  s.edgeposition = 7.0f; // two points late
  s.blockstart = 10;
  s.blockend = 10.2;
  trackOscillator(s, t.platform);
  EXPECT_DOUBLE_EQ(s.blockstart, 10 - 0.5 * 2 / 48000.0);
  EXPECT_DOUBLE_EQ(s.blockend, 10.2 - 0.5 * 2 / 48000.0);
  EXPECT_DOUBLE_EQ(s.sr, 48000.0 + 2 * 0.25 / 2.0);

  // srcorr = 0: nothing is corrected, but the measurement and display go on.
  State off = trackingState();
  off.srcorr = 0;
  off.edgeposition = 7.0f;
  off.blockstart = 10;
  off.blockend = 10.2;
  off.edgephase = static_cast<float>(0.25 * 2.0 * kPiF);
  trackOscillator(off, t.platform);
  EXPECT_EQ(off.blockstart, 10.0);
  EXPECT_EQ(off.blockend, 10.2);
  EXPECT_EQ(off.sr, 48000.0);
  EXPECT_NEAR(off.relfreq, 2.5e-6, 1e-12);
  EXPECT_NE(t.text().find("SR 48000.0000Hz"), std::string::npos);
}

TEST(OscillatorTracking, LockAfterFourStrongPeriodsAndCommandOnTheFourth) {
  test::TestPlatform t;
  State s = trackingState();
  s.srcorr = 0;
  s.resynclimit = 10;
  s.edgemax = 50;
  s.pllcommandgiven = 1;
  s.pllhigh = 1000;
  s.srloavini = 3e-7f;
  for (int period = 1; period <= 3; ++period) {
    trackOscillator(s, t.platform);
    EXPECT_EQ(s.lockcount, period);
    EXPECT_TRUE(t.commands.commands.empty()) << period;
    EXPECT_EQ(s.srloavg, 3e-7f);
  }
  trackOscillator(s, t.platform);
  EXPECT_EQ(s.lockcount, 4);
  ASSERT_EQ(t.commands.commands.size(), 1u);
  EXPECT_EQ(t.commands.commands[0], "Corvex1 /testsig=  900");
  trackOscillator(s, t.platform);
  EXPECT_EQ(s.lockcount, 4) << "stays at 4";
  EXPECT_EQ(t.commands.commands.size(), 2u);

  // One weak period drops the lock; three strong ones are not enough again.
  s.edgemax = 5;
  s.lotime = 4;
  trackOscillator(s, t.platform);
  EXPECT_EQ(s.lockcount, 0);
  EXPECT_EQ(s.lotime, 0.0f);
  EXPECT_EQ(s.srloavg, 3e-7f);
  s.edgemax = 50;
  for (int period = 1; period <= 3; ++period) trackOscillator(s, t.platform);
  EXPECT_EQ(t.commands.commands.size(), 2u);
  trackOscillator(s, t.platform);
  EXPECT_EQ(t.commands.commands.size(), 3u);

  // Without pllcommand in the configuration nothing runs.
  test::TestPlatform quiet;
  State q = trackingState();
  q.srcorr = 0;
  q.edgemax = 50;
  for (int period = 0; period < 6; ++period) trackOscillator(q, quiet.platform);
  EXPECT_TRUE(quiet.commands.commands.empty());
}

TEST(OscillatorTracking, CommandArgumentIsTheFirstTenCharactersOfTheValue) {
  auto commandFor = [](double center, float low, float high) {
    test::TestPlatform t;
    State s = trackingState();
    s.srcorr = 0;
    s.lockcount = 3;
    s.edgemax = 1;
    s.pllcommandgiven = 1;
    s.pllcommand = "steer";
    s.pllcenter = center;
    s.plllow = low;
    s.pllhigh = high;
    trackOscillator(s, t.platform);
    return t.commands.commands.at(0);
  };
  EXPECT_EQ(commandFor(900, 0, 0), "steer  0") << "both limits 0: always 0";
  EXPECT_EQ(commandFor(900, 0, 1000), "steer  900");
  EXPECT_EQ(commandFor(-123.456789012345, -1000, 0), "steer -123.45678");
  EXPECT_EQ(commandFor(1234567.891, 0, 2e6f), "steer  1234567.8");
  EXPECT_EQ(commandFor(0.5, 0, 1), "steer  0.5");
  EXPECT_EQ(commandFor(900, 950, 800), "steer  950") << "plllow wins when the limits cross";
}

TEST(OscillatorTracking, CommandValueCombinesTimeFrequencyAndDither) {
  test::TestPlatform t;
  t.random.values = {0.75};
  State s = trackingState();
  s.srcorr = 0;
  s.lockcount = 3;
  s.edgemax = 1;
  s.pllcommandgiven = 1;
  s.plllow = -5000;
  s.pllhigh = 5000;
  s.lotime = 1.0f;
  s.lastphase = 0;
  s.edgephase = static_cast<float>(0.25 * 2.0 * kPiF); // relfreq 2.5e-6
  s.pllavgfreq = 1e-6f;
  s.ffactor = 1e6f;
  s.plldither = 10;
  trackOscillator(s, t.platform);
  EXPECT_NEAR(s.relfreq, 2.5e-6, 1e-12);
  EXPECT_NEAR(s.lotime, 3.5, 1e-5) << "1 us + 2.5e-6 over 1 s";
  EXPECT_EQ(s.lodisplay, s.lotime);
  EXPECT_NEAR(s.pllavgfreq, 1.15e-6, 1e-12);
  // 900 - 3.5 * 10 - (2.5e-6 - 1.15e-6) * 2e9 + 1.15e-6 * 1e6 + (2 * 0.75 - 1) * 10
  EXPECT_NEAR(s.pllvalue, -1828.85, 0.01);
  ASSERT_EQ(t.commands.commands.size(), 1u);
  EXPECT_EQ(t.commands.commands[0], "Corvex1 /testsig= " + formatDouble(s.pllvalue).substr(0, 10));
  EXPECT_EQ(t.commands.commands[0].substr(0, 24), "Corvex1 /testsig= -1828.");
}

TEST(OscillatorTracking, ExpectedDriftFromTheSampleRateDeviation) {
  test::TestPlatform t;
  State s = trackingState();
  s.srcorr = 0;
  s.sr = 48000.96;
  s.srlofactor = 2;
  s.srlooffset = 1e-7f;
  s.shortintegration = 2;
  s.lockcount = 3;
  s.edgemax = 1;
  trackOscillator(s, t.platform);
  EXPECT_NEAR(s.srlodrift, (0.96 * 2 + 0.1) * 2, 1e-4);
  EXPECT_NEAR(s.lotime, -(0.96 * 2 + 0.1) * 2, 1e-4);
  EXPECT_EQ(s.lodisplay, s.lotime);
}

TEST(OscillatorTracking, TheCommandRunsThroughTheShell) {
  test::ScratchDir dir;
  std::string file = dir.file("arguments.txt");
  ShellRunner shell;
  test::TestPlatform t;
  Platform platform{t.console, t.keyboard, t.clock, shell, t.random, t.errors};
  State s = trackingState();
  s.srcorr = 0;
  s.lockcount = 3;
  s.edgemax = 1;
  s.pllcommandgiven = 1;
  s.pllhigh = 1000;
  s.pllcommand = "echo >>'" + file + "'";
  trackOscillator(s, platform);
  trackOscillator(s, platform);
  EXPECT_EQ(readFile(file), "900\n900\n") << "the cycle waited for each command";
}

TEST(StatusLine, RestOfTheLineAfterTheStreamTime) {
  test::TestPlatform t;
  State s = trackingState();
  s.srcorr = 0;
  s.edgemax = 1234.4f;
  s.edgeposition = 5.04f;
  s.sr = 48000.96;
  s.lockcount = 3;
  s.lotime = 1.5f;
  s.edgephase = static_cast<float>(-0.3 * 2.0 * kPiF + 2.0 * kPiF); // 0.7 cycles after 0: -3e-6
  trackOscillator(s, t.platform);
  EXPECT_EQ(t.text(), " max 1234 edge 5.04 SR 48000.9600Hz LO -3.0E-06    -1.50us\r\n");

  // On a terminal the cursor returns to column 1 of the same row.
  test::TestPlatform terminal(true);
  State u = trackingState();
  u.srcorr = 0;
  trackOscillator(u, terminal.platform);
  EXPECT_EQ(terminal.text(), " max    0 edge 0.00 SR 48000.0000Hz LO +0.0E+00     0.00us\r");
}

TEST(StatusLine, StreamTimeOfDay) {
  test::TestPlatform t;
  State s = trackingState();
  s.leapseconds = 37;
  s.clockoffset = 0.5f;
  s.timeorigin = 86400.0 * 20000 + 22 + 37 + 0.5;
  s.blockend = 13 * 3600 + 14 * 60 + 15.7;
  showStreamTime(s, t.platform);
  EXPECT_EQ(t.text(), "13:14:15") << "the hundredths are not shown";
  EXPECT_EQ(s.currenthour, 13);

  // Just short of midnight rounds up to hour 24.
  test::TestPlatform late;
  State d = trackingState();
  d.timeorigin = 22;
  d.blockend = 86399.996;
  showStreamTime(d, late.platform);
  EXPECT_EQ(late.text(), "24:00:00");
  EXPECT_EQ(d.currenthour, 24);

  // Before the start of the day of the origin: counted from the day before.
  test::TestPlatform early;
  State e = trackingState();
  e.timeorigin = 22;
  e.blockend = -60.0;
  showStreamTime(e, early.platform);
  EXPECT_EQ(early.text(), "23:59:00");
}

TEST(StatusLine, RawInputShowsThePcClockOffset) {
  test::TestPlatform t;
  State s = trackingState();
  s.wavinput = 0;
  s.timeorigin = 22;
  s.blockend = 3600;
  s.pcoffset = 2.0f;
  showStreamTime(s, t.platform);
  EXPECT_EQ(t.text(), "01:00:00 PC -2.00s");
}

TEST(StatusLine, StartsAtColumnOneAfterTextWithoutLineEnd) {
  test::TestPlatform t;
  State s = trackingState();
  s.timeorigin = 22;
  t.console.write("station summary");
  showStreamTime(s, t.platform);
  EXPECT_EQ(t.text(), "station summary\r\n00:00:00");

  // A terminal status line returned to column 1 is overwritten, not ended.
  test::TestPlatform terminal(true);
  State u = trackingState();
  u.srcorr = 0;
  u.timeorigin = 22;
  showStreamTime(u, terminal.platform);
  trackOscillator(u, terminal.platform);
  showStreamTime(u, terminal.platform);
  std::string text = terminal.text();
  EXPECT_EQ(text.find("\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 9), "\r00:00:00");
}

TEST(ResyncRequests, WeakEdgesAndAStrayPcClockCount) {
  State s = trackingState();
  s.resynclimit = 10;
  s.edgemax = 5;
  countResyncRequests(s);
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 2);
  s.edgemax = 10; // not below the limit
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 1);
  countResyncRequests(s);
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 0) << "never below 0";

  s.clockerrorlimit = 1;
  s.pcoffset = -1.5f;
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 0) << "WAV input: the PC clock does not count";
  s.wavinput = 0;
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 1);
  s.pcoffset = 1.0f; // not beyond the limit
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 0);
  s.pcoffset = 100;
  s.clockerrorlimit = 0; // check off
  countResyncRequests(s);
  EXPECT_EQ(s.resyncrequests, 0);
}

} // namespace velkor
