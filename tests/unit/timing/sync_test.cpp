#include "timing/sync.h"
#include "display/display.h"
#include "top/cycle.h"
#include "top/startup.h"

#include "ground/errors.h"
#include "support/synthreader.h"
#include "support/testplatform.h"
#include "timing/syncsteps.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

namespace {

// A WAV recording configured to start at 03-01-2015 12:00:00 UTC.
Record syncState(const std::string& settings, const std::vector<TableRecord>& table = {}) {
  return test::receiverState("[file]\nwav = a.wav\ndate = 03-01-2015\ntime = 12:00:00\n" + settings, table);
}

// Entry 0 of GRI 7499 at 48 kHz (a window of 7199 samples); its accumulators
// hold pulse groups laid down by hand, a single sample per pulse.
struct HandWindow {
  Record s = syncState("[frequency]\nsr = 48000\n[taisync]\nsyncverbose\n7499m = 1\n");
  test::TestPlatform t;
  TaiAverage average = beginAverage(s.settings, s.acquisition);
  int32_t length = average.windows[0].taiwindowend;

  void group(bool master, int32_t lag, int32_t amplitude) {
    std::vector<double> offsets;
    std::vector<int> signs;
    synth::pulsePattern(7499, master, offsets, signs);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      const auto at = static_cast<std::size_t>((lag + std::lrint(offsets[i] * 48000)) % length);
      average.taisumre[at] += amplitude * signs[i];
    }
  }
  void find(int32_t windows) {
    s.timing.taiwindows[0] = windows;
    std::vector<float> mastercorr(static_cast<std::size_t>(length)), secondarycorr(mastercorr);
    std::vector<SyncPeak> peaks;
    findPeaks(s.settings, s.acquisition, s.timing, 0, average, mastercorr, secondarycorr, peaks);
    printSyncPeaks(peaks, t.platform.console);
  }
  float amp(int slot) const { return s.timing.taicandamp[0][static_cast<std::size_t>(slot)]; }
  float lag(int slot) const { return s.timing.taicandtime[0][static_cast<std::size_t>(slot)] * 48000; }
};

} // namespace

TEST(Synchronise, NothingToDoWithoutIntegrationTimeOrEntries) {
  const struct {
    const char* settings;
    const char* warning;
  } cases[] = {
      {"[taisync]\n7499m = 1\n", ""},
      {"[taisync]\nintegrationtime = 60\n", "velkor: warning: integrationtime is set but [taisync] names no station;"
                                            " the TAI synchronisation is skipped\n"},
  };
  for (const auto& c : cases) {
    Record s = syncState(c.settings);
    test::TestPlatform t;
    s.timing.timeorigin = 1234.5;
    int reads = 0;
    auto reader = [&] { return ++reads, Outcome::ready; };
    synchroniseAndReport(s, t.platform, reader);
    synchroniseAndReport(s, t.platform, reader); // a re-synchronisation does not warn again
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(t.text(), "");
    EXPECT_EQ(t.errors.str(), c.warning);
    EXPECT_EQ(s.timing.timeorigin, 1234.5);
  }
}

TEST(Synchronise, InputEndingDuringTheAveragingEndsTheProgram) {
  Record s = syncState("[frequency]\nsr = 1000\n[file]\nfileblocklen = 1000\n"
                       "[taisync]\nintegrationtime = 59.5\n7499m = 1\n");
  test::SynthReader reader(synth::buildScenario({.date = "", .sr = 1000, .duration = 3.5, .stations = {}}, {}));
  test::TestPlatform t;
  reader.open(s);
  s.timing.timeorigin = 77;
  const Outcome end = synchroniseAndReport(s, t.platform, reader.reader(s));
  EXPECT_EQ(end, Outcome::endOfInput);
  shutDown(s, t.platform, end);
  EXPECT_EQ(t.text(), "sync: averaging for 60 sec \r\n\r\n");
  EXPECT_EQ(s.timing.timeorigin, 77);
}

TEST(PeakSearch, FourPassesStoreOneMasterAndPrintAll) {
  HandWindow w;
  w.group(true, 960, 100);  // 20 ms
  w.group(false, 2400, 80); // 50 ms
  w.group(true, 6720, 60);  // 140 ms: a second master
  w.group(false, 3840, 40); // 80 ms
  w.find(2);
  EXPECT_EQ(w.t.text(),
            "M 7499 max 50at 20ms\r\nS 7499 max 40at 50ms\r\nM 7499 max 30at 140ms\r\nS 7499 max 20at 80ms\r\n");
  EXPECT_EQ(w.amp(0), 50);
  EXPECT_FLOAT_EQ(w.lag(0), 960);
  EXPECT_EQ(w.amp(1), 40);
  EXPECT_EQ(w.amp(2), 20);
  EXPECT_FLOAT_EQ(w.lag(2), 3840);
  EXPECT_EQ(w.amp(3), 0) << "the later master is not stored";
}

// A master 3 samples before the window's end: its pulses wrap to the start,
// and so does the blanking of its side lobes.
TEST(PeakSearch, PeaksAtTheWindowsEndWrap) {
  HandWindow w;
  ASSERT_EQ(w.length, 7199);
  w.group(true, 7196, 100);
  w.group(false, 427, 80); // within 9 ms after the master, across the wrap: blanked
  w.group(false, 437, 70);
  w.find(1);
  EXPECT_EQ(w.amp(0), 100);
  EXPECT_FLOAT_EQ(w.lag(0), 7196);
  EXPECT_EQ(w.amp(1), 70);
  EXPECT_FLOAT_EQ(w.lag(1), 437);
  EXPECT_LT(w.amp(2), 20);
}

// Entry 0 measures e = expected - 0.03 s, taken within +-P0 / 2; P0 = 0.14998 s
// (GRI 7499), P1 = 0.13462 s (GRI 6731). searchrange 0.2 allows the shifts -1, 0, +1.
TEST(Ambiguity, ShiftOverWholeReferenceIntervals) {
  const double p0 = 0.14998, p1 = 0.13462, truth = 0.02 - 3 * p0;
  auto residue = [&](double offset) { return static_cast<float>(std::fmod(offset, p1) + (offset < 0 ? p1 : 0)); };
  struct {
    const char* entries;
    float expected0, expected1;
    bool match;
    int shift;
    double error, offset;
  } cases[] = {
      {"7499m = 1\n", 0.05f, 0, true, 0, 0, 0.02}, // one entry: nothing to weigh
      {"7499m = 1\n", 0.16f, 0, true, 0, 0, 0.13 - p0},
      {"7499m = 1\n6731m = 2000\n", 0.05f, residue(truth), true, -3, 0, truth}, // right only modulo P0
      {"7499m = 1\n6731m = 1000\n", 0.05f, residue(0.02 + p0 + 0.0009), true, 1, 0.81, 0.02 + p0},
      {"searchrange = 0.2\n7499m = 1\n6731m = 1000\n", 0.05f, residue(0.02 + p0 + 0.00125), false, 1, 1.5625, 0.02},
  };
  for (const auto& c : cases) {
    Record s = syncState(std::string("[taisync]\n") + c.entries);
    s.timing.taiexpected[0] = c.expected0;
    s.timing.taimeasured[0] = 0.03f;
    if (s.settings.taicount() > 1) s.timing.taiexpected[1] = c.expected1;
    TaiAmbiguity result = resolveAmbiguity(s.settings, s.timing);
    EXPECT_EQ(result.match, c.match) << c.entries << c.expected1;
    EXPECT_EQ(result.shift, c.shift) << c.entries << c.expected1;
    EXPECT_NEAR(result.besterror, c.error, 1e-3) << c.entries << c.expected1;
    EXPECT_NEAR(s.timing.syncoffset, c.offset, 1e-7) << c.entries << c.expected1;
  }
}

TEST(ResultLine, UniversalTimeCarriesRoundedMilliseconds) {
  Record s = syncState("[time]\nclockoffset = 0.5\n"); // 3 leap seconds
  const double midnight = 20878 * 86400.0 + 22 + 3 + 0.5;
  EXPECT_EQ(universalTime(s.settings, s.timing, midnight + 7 * 3600 + 5 * 60 + 9.25), "07:05:09.250");
  EXPECT_EQ(universalTime(s.settings, s.timing, midnight + 3599.9997), "01:00:00.000");
  EXPECT_EQ(universalTime(s.settings, s.timing, midnight + 86399.9996), "00:00:00.000");
}

// Synthetic recordings of five stations on three chains that start off the
// configured 12:00:00 by a fraction of an interval and by several intervals.
TEST(SynchroniseSynthetic, FindsTheTrueStart) {
  const std::vector<TableRecord> table{{7499, "M", "", 53, 2, 0},
                                       {7499, "X", "", 48, 5, 30000},
                                       {6731, "M", "", 56, -4, 0},
                                       {6731, "Y", "", 52, -1, 41500},
                                       {8000, "M", "", 45, 12, 0}};
  const char* chains = "7499m = 1\n6731m = 2000\n7499x = 2000\n";
  const struct {
    const char* time;
    double bandcenter;
    const char* entries;
    const char* text;
    bool raw;
  } cases[] = {
      {"11:59:59.98", 0, "7499m = 1\n",
       "sync: averaging for 10 sec \r\nTAI match at   -0.02 s offset, rel. error  0.00 rms,  11:59:59.980 UT\r\n",
       false},
      {"11:59:59.953", 0, chains, nullptr, false},    // 47 ms
      {"12:00:00.631", 0, chains, nullptr, false},    // -4.2 intervals of GRI 7499
      {"11:59:56.25", 0, chains, nullptr, false},     // 25 intervals
      {"12:00:00.49", 12000, chains, nullptr, false}, // the carrier mixed down from the band centre
      {"12:00:07.5", 0, chains, nullptr, true},       // raw input: the time of day from a PC clock 2.3 s ahead
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    synth::SynthConfig config{
        .lat = 51,
        .date = "03-01-2015",
        .time = c.time,
        .bandcenter = c.bandcenter,
        .duration = 11,
        .noise = 1500,
        .stations = {{7499, 'M', 3, 17}, {7499, 'X', 2}, {6731, 'M', 2.5}, {6731, 'Y', 1.5}, {8000, 'M', 2}}};
    const synth::Scenario scenario = synth::buildScenario(config, table);
    test::SynthReader reader(scenario);
    Record s = syncState(
        "[location]\nlat = 51\nlon = 0\n[frequency]\nsr = 48000\nbandcenter = " + std::to_string(c.bandcenter) +
            "\n[taisync]\nintegrationtime = 10\n" + c.entries + (c.raw ? "[file]\ndat = a.dat\n" : ""),
        table);
    reader.pcerror = 2.3;
    test::TestPlatform t;
    reader.open(s);
    synchroniseAndReport(s, t.platform, reader.reader(s));
    if (c.text) {
      EXPECT_EQ(t.text(), c.text);
    }
    EXPECT_NE(t.text().find("TAI match"), std::string::npos) << t.text();
    EXPECT_GT(s.timing.taicandamp[0][0], 2000) << "the reference master adds up coherently";
    EXPECT_NEAR(s.timing.timeorigin, scenario.start.value(), 1e-3);
    if (c.raw) {
      EXPECT_NEAR(s.timing.clocktime, scenario.start.value() + 2.35, 0.01) << "rebased on the PC clock";
    }
  }
}

} // namespace velkor
