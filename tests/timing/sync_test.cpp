#include "timing/sync.h"

#include "core/errors.h"
#include "core/startup.h"
#include "timing/lorantestsignal.h"
#include "timing/syncrig.h"
#include "timing/syncsteps.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace velkor {

using test::Entry;
using test::kNoonMarch2015;
using test::Rig;

namespace {

// Hands out blocks of zeros for as long as `samples` lasts.
BlockReader zeroReader(int64_t& samples, int32_t blocklength) {
  return [&samples, blocklength](State& s, Platform&) {
    s.newsamples = static_cast<int32_t>(std::min<int64_t>(blocklength, samples));
    samples -= s.newsamples;
    std::fill(s.samplere.begin(), s.samplere.end(), int16_t{0});
    std::fill(s.sampleim.begin(), s.sampleim.end(), int16_t{0});
    s.inputremaining = samples * 4;
    s.blockstart = s.blockend - s.overlap / s.sr;
    s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  };
}

// Runs the synchronisation on `samples` samples of silence.
void runOnSilence(Rig& rig, int64_t samples) {
  rig.s.inputremaining = samples * 4;
  synchronise(rig.s, rig.t.platform, zeroReader(samples, rig.s.blocklength));
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    result.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return result;
}

} // namespace

// ---- When there is nothing to do ------------------------------------------

TEST(Synchronise, IntegrationTimeZeroDoesNothing) {
  Rig rig;
  rig.entries({{7499, 'M', 1, 0, 0}});
  rig.s.timeorigin = 1234.5;
  int reads = 0;
  synchronise(rig.s, rig.t.platform, [&](State&, Platform&) { ++reads; });
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(rig.text(), "");
  EXPECT_EQ(rig.t.errors.str(), "");
  EXPECT_EQ(rig.s.timeorigin, 1234.5);
}

TEST(Synchronise, NoTaisyncEntrySkipsWithOneWarning) {
  Rig rig;
  rig.entries({});
  rig.s.integrationtime = 60;
  rig.s.timeorigin = 1234.5;
  int reads = 0;
  synchronise(rig.s, rig.t.platform, [&](State&, Platform&) { ++reads; });
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(rig.text(), "");
  EXPECT_EQ(rig.t.errors.str(),
            "velkor: warning: integrationtime is set but [taisync] names no station;"
            " the TAI synchronisation is skipped\n");
  EXPECT_EQ(rig.s.timeorigin, 1234.5);
  synchronise(rig.s, rig.t.platform, [&](State&, Platform&) { ++reads; });
  EXPECT_EQ(rig.t.errors.str().size(), 107u) << "a re-synchronisation does not repeat the warning";
  EXPECT_EQ(rig.text(), "");
}

// ---- The announcement and the end of input ----------------------------------

TEST(Synchronise, AnnouncesTheRoundedAveragingTime) {
  for (double seconds : {59.5, 60.4999}) {
    Rig rig(1000);
    rig.entries({{7499, 'M', 1, 0, 0}});
    rig.s.integrationtime = seconds;
    runOnSilence(rig, 100000);
    ASSERT_FALSE(lines(rig.text()).empty());
    EXPECT_EQ(lines(rig.text())[0], "sync: averaging for 60 sec ") << seconds;
  }
}

TEST(Synchronise, LineEndBeforeTheAnnouncementFollowsTheConsoleColumn) {
  struct Case {
    bool terminal;
    const char* before;   // text already on the line
    const char* expected; // start of the output
  };
  const Case cases[] = {
      {false, "", "sync: averaging for 1 sec \r\nTAI "},
      {false, "12:00:00 status", "12:00:00 status\r\nsync: averaging for 1 sec \r\nTAI "},
      {true, "", "\r\nsync: averaging for 1 sec \r\rTAI "},
      {true, "12:00:00 status", "12:00:00 status\r\nsync: averaging for 1 sec \r\rTAI "},
  };
  for (const Case& c : cases) {
    Rig rig(1000, c.terminal);
    rig.entries({{7499, 'M', 1, 0, 0}});
    rig.s.integrationtime = 1;
    rig.t.console.write(c.before);
    runOnSilence(rig, 5000);
    EXPECT_EQ(rig.text().substr(0, std::string(c.expected).size()), c.expected)
        << "terminal " << c.terminal << " after \"" << c.before << "\"";
  }
}

TEST(Synchronise, InputEndingDuringTheAveragingEndsTheProgram) {
  Rig rig(1000);
  rig.entries({{7499, 'M', 1, 0, 0}});
  rig.s.integrationtime = 60;
  rig.s.timeorigin = 77;
  int64_t samples = 3500; // 3.5 s of a 60 s average
  rig.s.inputremaining = samples * 4;
  int status = -1;
  try {
    synchronise(rig.s, rig.t.platform, zeroReader(samples, rig.s.blocklength));
  } catch (const ProgramEnd& end) {
    status = end.status;
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rig.text(), "sync: averaging for 60 sec \r\n\r\n") << "one empty line, as at the end of input";
  EXPECT_EQ(rig.s.timeorigin, 77);
}

// ---- Averaging --------------------------------------------------------------

// sr = 1000 Hz makes one sample a millisecond. GRI 520 gives an interval of
// 10.4 samples, so a window of 10; GRI 400 one of exactly 8. After each window
// the next starts at the sample nearest its nominal start counted from the
// sample just added (the jump), then one more:
//   GRI 520: nominal 10.4 20.8 31.2 41.6 52.0 62.4 72.8 83.2 -> starts 0 11 22 32 43 53 63 74 (84)
//   GRI 400: nominal 8 16 24 ...                             -> starts 0 9 17 25 33 41 49 57 65 73 81
// The samples carry their own number, so each accumulator holds the sum of
// its windows' start numbers plus windows x position.
TEST(Averaging, WindowsFollowTheirNominalStartsInWholeSampleJumps) {
  Rig rig(1000);
  rig.s.overlap = 4;
  rig.s.blocklength = 7; // blocks shorter than a window: windows and jumps cross blocks
  rig.s.buffersize = rig.s.overlap + rig.s.blocklength;
  rig.entries({{520, 'M', 1, 0, 0}, {400, 'M', 1, 0, 0}});
  rig.s.integrationtime = 0.0805;
  int64_t next = 0;
  auto reader = [&](State& s, Platform&) {
    if (s.newsamples > 0) {
      for (int i = 0; i < s.overlap; ++i) {
        s.samplere[static_cast<std::size_t>(i)] = s.samplere[static_cast<std::size_t>(i + s.newsamples)];
        s.sampleim[static_cast<std::size_t>(i)] = s.sampleim[static_cast<std::size_t>(i + s.newsamples)];
      }
    }
    s.newsamples = s.blocklength;
    for (int i = 0; i < s.newsamples; ++i) {
      s.samplere[static_cast<std::size_t>(s.overlap + i)] = static_cast<int16_t>(next++);
      s.sampleim[static_cast<std::size_t>(s.overlap + i)] = 1;
    }
    s.blockstart = s.blockend - s.overlap / s.sr;
    s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  };
  rig.s.inputremaining = 1 << 20;
  TaiAverage average = beginAverage(rig.s);
  ASSERT_EQ(average.taisumre.size(), 18u);
  EXPECT_EQ(average.windows[1].taiwindowstart, 10);
  while (rig.s.blockend < rig.s.integrationtime) {
    reader(rig.s, rig.t.platform);
    averageBlock(rig.s, average);
  }
  ASSERT_EQ(next, 84) << "12 blocks of 7 samples";
  EXPECT_EQ(average.totalsamples, 84);
  EXPECT_EQ(rig.s.taiwindows[0], 8);
  EXPECT_EQ(rig.s.taiwindows[1], 10);
  for (int p = 0; p < 10; ++p) {
    EXPECT_EQ(average.taisumre[static_cast<std::size_t>(p)], 298 + 8 * p) << p;
    EXPECT_EQ(average.taisumim[static_cast<std::size_t>(p)], 8) << p;
  }
  for (int p = 0; p < 8; ++p) {
    // Window 10 of GRI 400 has begun with samples 81, 82 and 83.
    int partial = p < 3 ? 81 + p : 0;
    EXPECT_EQ(average.taisumre[static_cast<std::size_t>(10 + p)], 369 + 10 * p + partial) << p;
    EXPECT_EQ(average.taisumim[static_cast<std::size_t>(10 + p)], p < 3 ? 11 : 10) << p;
  }
  EXPECT_EQ(average.windows[1].taiwritepos, 13);

  // The whole run reads the same blocks and stops at the same point.
  Rig again(1000);
  again.s.overlap = 4;
  again.s.blocklength = 7;
  again.s.buffersize = 11;
  again.entries({{520, 'M', 1, 0, 0}, {400, 'M', 1, 0, 0}});
  again.s.integrationtime = 0.0805;
  again.s.inputremaining = 1 << 20;
  next = 0;
  synchronise(again.s, again.t.platform, reader);
  EXPECT_EQ(next, 84);
  EXPECT_EQ(again.s.taiwindows[0], 8);
  EXPECT_EQ(again.s.taiwindows[1], 10);
  EXPECT_GE(again.s.blockend, 0.0805) << "the buffer is left for the main cycle";
}

// A tone exactly at the line offset becomes a constant after the mixer, in
// every window and across blocks (the phase is taken anew from the sample
// count at each block). A mixer turning the wrong way would leave a tone at
// twice the offset that does not add up.
TEST(Averaging, MixerBringsTheLineOffsetToZero) {
  Rig rig(1000);
  rig.s.overlap = 4;
  rig.s.blocklength = 7;
  rig.s.buffersize = 11;
  rig.s.bandcenter = 10000;
  rig.entries({{520, 'M', 1, 0, 0}});
  rig.s.tailineoffset[0] = 10.0;
  TaiAverage average = beginAverage(rig.s);
  int64_t next = 0;
  rig.s.integrationtime = 0.3;
  while (rig.s.blockend < rig.s.integrationtime) {
    State& s = rig.s;
    for (int i = 0; i < s.overlap; ++i) {
      s.samplere[static_cast<std::size_t>(i)] = s.samplere[static_cast<std::size_t>(i + s.blocklength)];
      s.sampleim[static_cast<std::size_t>(i)] = s.sampleim[static_cast<std::size_t>(i + s.blocklength)];
    }
    s.newsamples = s.blocklength;
    for (int i = 0; i < s.newsamples; ++i, ++next) {
      double phase = 2 * M_PI * 10.0 * static_cast<double>(next) / s.sr;
      s.samplere[static_cast<std::size_t>(s.overlap + i)] = static_cast<int16_t>(std::lrint(1000 * std::cos(phase)));
      s.sampleim[static_cast<std::size_t>(s.overlap + i)] = static_cast<int16_t>(std::lrint(1000 * std::sin(phase)));
    }
    s.blockstart = s.blockend - s.overlap / s.sr;
    s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
    averageBlock(s, average);
  }
  const int32_t windows = rig.s.taiwindows[0];
  ASSERT_GE(windows, 25);
  for (int p = 0; p < 10; ++p) {
    // A skipped sample leaves the mixer one step (0.063 rad) behind until the
    // next block; at most one skip falls into a block of 7.
    int32_t whole = windows + (p < average.windows[0].taiwritepos ? 1 : 0);
    EXPECT_NEAR(average.taisumre[static_cast<std::size_t>(p)], 1000 * whole, 3 * whole) << p;
    EXPECT_NEAR(average.taisumim[static_cast<std::size_t>(p)], 0, 64 * whole) << p;
  }
}

// ---- Pulse patterns ------------------------------------------------------------

// GRI 7499 at 48 kHz: 1 ms is 48 samples, one GRI 3599.52 samples.
TEST(PulsePattern, PositionsAndPhaseCodesAt48kHz) {
  TaiPulsePattern pattern = pulsePattern(7499, 48000);
  const int32_t master[18] = {0,    48,   96,   144,  192,  240,  288,  336,  432,
                              3600, 3648, 3696, 3744, 3792, 3840, 3888, 3936, 4032};
  const int32_t secondary[16] = {0, 48, 96, 144, 192, 240, 288, 336, 3600, 3648, 3696, 3744, 3792, 3840, 3888, 3936};
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(pattern.taipulseoffset[0][static_cast<std::size_t>(i)], master[i]) << i;
    int code = i < 9 ? test::kMasterCodeA[i] : test::kMasterCodeB[i - 9];
    EXPECT_EQ(pattern.taipulsesign[0][static_cast<std::size_t>(i)], code) << i;
  }
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(pattern.taipulseoffset[1][static_cast<std::size_t>(i)], secondary[i]) << i;
    int code = i < 8 ? test::kSecondaryCodeA[i] : test::kSecondaryCodeB[i - 8];
    EXPECT_EQ(pattern.taipulsesign[1][static_cast<std::size_t>(i)], code) << i;
  }
}

// ---- Peak search ----------------------------------------------------------------

namespace {

// One entry of GRI 7499 at 48 kHz (a window of 7199 samples) whose
// accumulators are filled by hand with single-sample pulses.
struct HandWindow {
  Rig rig;
  TaiAverage average;
  int32_t length = 0;

  explicit HandWindow(char letter) {
    rig.entries({{7499, letter, 1, 0, 0}});
    rig.s.syncverbose = 1;
    average = beginAverage(rig.s);
    length = average.windows[0].taiwindowend - average.windows[0].taiwindowstart;
    rig.s.taiwindows[0] = 1;
  }
  void put(int64_t at, int32_t re, int32_t im = 0) {
    auto i = static_cast<std::size_t>(((at % length) + length) % length);
    average.taisumre[i] += re;
    average.taisumim[i] += im;
  }
  // Pulse groups by the pattern of GRI 7499 at 48 kHz (see PulsePattern).
  void master(int32_t lag, int32_t amplitude) {
    const int32_t at[18] = {0,    48,   96,   144,  192,  240,  288,  336,  432,
                            3600, 3648, 3696, 3744, 3792, 3840, 3888, 3936, 4032};
    for (int i = 0; i < 18; ++i) put(lag + at[i], amplitude * (i < 9 ? test::kMasterCodeA[i] : test::kMasterCodeB[i - 9]));
  }
  void secondary(int32_t lag, int32_t amplitude) {
    const int32_t at[16] = {0, 48, 96, 144, 192, 240, 288, 336, 3600, 3648, 3696, 3744, 3792, 3840, 3888, 3936};
    for (int i = 0; i < 16; ++i)
      put(lag + at[i], amplitude * (i < 8 ? test::kSecondaryCodeA[i] : test::kSecondaryCodeB[i - 8]));
  }
  void find() {
    std::vector<float> mastercorr(static_cast<std::size_t>(length)), secondarycorr(static_cast<std::size_t>(length));
    findPeaks(rig.s, rig.t.platform, 0, average, mastercorr, secondarycorr);
  }
  float amp(int slot) const { return rig.s.taicandamp[0][static_cast<std::size_t>(slot)]; }
  float time(int slot) const { return rig.s.taicandtime[0][static_cast<std::size_t>(slot)]; }
};

float at48k(int32_t lag) { return static_cast<float>(lag / 48000.0); }

} // namespace

TEST(PeakSearch, AmplitudeOnlyEntryTakesTheFirstLargestMagnitude) {
  HandWindow w('A');
  w.rig.s.taiwindows[0] = 2;
  w.put(50, 10, 10);
  w.put(96, 30, 40);  // |a| = 50
  w.put(192, -50, 0); // as large, later
  w.find();
  EXPECT_EQ(w.amp(0), 25.0f) << "magnitude over the windows averaged";
  EXPECT_EQ(w.time(0), at48k(96));
  EXPECT_EQ(w.rig.text(), " 7499 max 25at 2ms\r\n");
}

TEST(PeakSearch, FourPassesFillMasterAndSecondarySlots) {
  HandWindow w('M');
  w.rig.s.taiwindows[0] = 2; // amplitudes are per window
  w.master(960, 100);    // 20 ms
  w.secondary(2400, 80); // 50 ms
  w.master(6720, 60);    // 140 ms: a second master, printed but not stored
  w.secondary(3840, 40); // 80 ms
  w.rig.s.taicandamp[0][3] = 99; // cleared at the start of the search
  w.find();
  EXPECT_EQ(w.amp(0), 50.0f);
  EXPECT_EQ(w.time(0), at48k(960));
  EXPECT_EQ(w.amp(1), 40.0f);
  EXPECT_EQ(w.time(1), at48k(2400));
  EXPECT_EQ(w.amp(2), 20.0f);
  EXPECT_EQ(w.time(2), at48k(3840));
  EXPECT_EQ(w.amp(3), 0.0f);
  EXPECT_EQ(lines(w.rig.text()), (std::vector<std::string>{"M 7499 max 50at 20ms", "S 7499 max 40at 50ms",
                                                          "M 7499 max 30at 140ms", "S 7499 max 20at 80ms"}));
}

// A master 3 samples before the window's end: its pulses wrap to the start,
// and so does the blanking around it, here and one GRI later.
TEST(PeakSearch, PeaksAtTheWindowsEndWrapForPulsesAndBlanking) {
  HandWindow w('M');
  ASSERT_EQ(w.length, 7199);
  w.master(7196, 100);
  w.secondary(427, 80);  // 7196 + 430 wrapped: within 432 samples (9 ms) of the master
  w.secondary(3997, 75); // 7196 + 3600 + 400 wrapped: near the master one GRI later
  w.secondary(437, 70);  // 7196 + 440 wrapped: clear of the blanking
  w.find();
  EXPECT_EQ(w.amp(0), 100.0f) << "every pulse found across the wrap";
  EXPECT_EQ(w.time(0), at48k(7196));
  EXPECT_EQ(w.amp(1), 70.0f);
  EXPECT_EQ(w.time(1), at48k(437));
  EXPECT_LT(w.amp(2), 20.0f) << "the blanked secondaries stay hidden";
  EXPECT_LT(w.amp(3), 20.0f);
}

// The blanking covers 2w + 1 = 865 lags from j - w, and as many from
// round(j + L / 2 - w) with a real half window: for j = 962 and L = 7199
// that is round(4129.5) = 4130. A secondary on the last blanked lag of
// either stretch stays hidden; one just before the second stretch is found.
TEST(PeakSearch, BlankingStretchesEndWhereTheyShould) {
  for (int32_t hidden : {962 + 432, 4130 + 864}) {
    HandWindow w('M');
    w.master(962, 100);
    w.secondary(hidden, 85);
    w.secondary(4129, 70);
    w.find();
    EXPECT_EQ(w.time(0), at48k(962)) << "the pulses overlapping the hidden one change its amplitude a little";
    EXPECT_EQ(w.time(1), at48k(4129)) << "hidden at " << hidden;
    EXPECT_EQ(w.amp(1), 70.0f) << "hidden at " << hidden;
    EXPECT_LT(w.amp(2), 20.0f) << "hidden at " << hidden;
  }
}

TEST(PeakSearch, PassWithNothingLeftRecordsAmplitudeZeroAtLagZero) {
  HandWindow w('X');
  for (int slot = 0; slot < 4; ++slot) {
    w.rig.s.taicandamp[0][static_cast<std::size_t>(slot)] = 5;
    w.rig.s.taicandtime[0][static_cast<std::size_t>(slot)] = 0.5f;
  }
  w.find();
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(w.amp(slot), 0.0f) << slot;
    EXPECT_EQ(w.time(slot), 0.0f) << slot;
  }
  EXPECT_EQ(lines(w.rig.text()), (std::vector<std::string>{"M 7499 max 0at 0ms", "S 7499 max 0at 0ms",
                                                          "S 7499 max 0at 0ms", "S 7499 max 0at 0ms"}));
}

// ---- Positions and the ambiguity search -------------------------------------------

// 03-01-2015 12:00:00 is 180390242500000 units of 10 us after 1958; modulo
// the 14998 units of GRI 7499's interval that leaves 4698, so an interval
// starts 14998 - 4698 = 10300 units (0.103 s) after the clock's time.
TEST(Positions, ExpectedPositionOnTheIntervalGridSince1958) {
  Rig rig;
  rig.entries({{7499, 'M', 1, 0, 0}, {7499, 'M', 1, 12.5f, 0}, {7499, 'M', 1, 0, 297.145696f}});
  measurePositions(rig.s);
  EXPECT_NEAR(rig.s.taiexpected[0], 0.103, 1e-6);
  EXPECT_NEAR(rig.s.taiexpected[1], 0.1155, 1e-6) << "emission delay 12.5 ms";
  EXPECT_NEAR(rig.s.taiexpected[2], 0.104, 1e-6) << "1 ms of propagation at the default asf";
}

TEST(Positions, MeasuredIsTheMasterForAKLMNElseTheStrongestSecondary) {
  Rig rig;
  const char letters[] = {'A', 'K', 'L', 'M', 'N', 'W', 'X', 'B'};
  std::vector<Entry> list;
  for (char letter : letters) list.push_back({7499, letter, 1, 0, 0});
  rig.entries(list);
  for (auto& times : rig.s.taicandtime) times = {0.01f, 0.02f, 0.03f, 0.04f};
  measurePositions(rig.s);
  for (std::size_t n = 0; n < 5; ++n) EXPECT_EQ(rig.s.taimeasured[n], 0.01f) << letters[n];
  for (std::size_t n = 5; n < 8; ++n) EXPECT_EQ(rig.s.taimeasured[n], 0.02f) << letters[n];
}

namespace {

// Entry 0 on GRI 7499 (P0 = 0.14998 s), entry 1 on GRI 6731 (P1 = 0.13462 s).
// One more P0 moves entry 1's residual by 0.01536 s modulo P1.
Rig twoChains(float value) {
  Rig rig;
  rig.entries({{7499, 'M', 1, 0, 0}, {6731, 'M', value, 0, 0}});
  rig.s.taiexpected[0] = 0.05f;
  rig.s.taimeasured[0] = 0.03f; // e = 0.02
  return rig;
}

} // namespace

TEST(Ambiguity, SingleEntryAlwaysMatchesWithShiftZero) {
  Rig rig;
  rig.entries({{7499, 'M', 1, 0, 0}});
  rig.s.taiexpected[0] = 0.01f;
  rig.s.taimeasured[0] = 0.03f;
  TaiAmbiguity result = resolveAmbiguity(rig.s);
  EXPECT_TRUE(result.match);
  EXPECT_EQ(result.shift, 0);
  EXPECT_EQ(result.besterror, 0.0);
  EXPECT_DOUBLE_EQ(rig.s.syncoffset, 0.01f - 0.03f);
}

TEST(Ambiguity, ReferenceErrorIsTakenWithinHalfAnInterval) {
  Rig rig;
  rig.entries({{7499, 'M', 1, 0, 0}});
  rig.s.taiexpected[0] = 0.14f;
  rig.s.taimeasured[0] = 0.01f; // 0.13 is more than P0 / 2: -0.01998
  resolveAmbiguity(rig.s);
  EXPECT_NEAR(rig.s.syncoffset, 0.13 - 0.14998, 1e-7);
  rig.s.taiexpected[0] = 0.01f;
  rig.s.taimeasured[0] = 0.14f;
  resolveAmbiguity(rig.s);
  EXPECT_NEAR(rig.s.syncoffset, -0.13 + 0.14998, 1e-7);
}

TEST(Ambiguity, OffsetRightOnlyModuloOneIntervalFindsTheShift) {
  // Entry 1 agrees with a true offset of e - 3 P0: the search must land there.
  Rig rig = twoChains(2000);
  double truth = 0.02 - 3 * 0.14998;
  double residue = std::fmod(truth, 0.13462) + 0.13462;
  rig.s.taiexpected[1] = static_cast<float>(residue);
  rig.s.taimeasured[1] = 0;
  TaiAmbiguity result = resolveAmbiguity(rig.s);
  EXPECT_TRUE(result.match);
  EXPECT_EQ(result.shift, -3);
  EXPECT_LT(result.besterror, 1e-6) << "the second residual goes to zero";
  EXPECT_NEAR(rig.s.syncoffset, truth, 1e-7);
}

TEST(Ambiguity, MinusShiftIsTriedBeforePlus) {
  // GRI 5000 has P1 = 2 P0 / 3 for GRI 7500: with entry 1 half an interval
  // off at shift 0, the shifts -1 and +1 both fit exactly.
  Rig rig;
  rig.entries({{7500, 'M', 1, 0, 0}, {5000, 'M', 1000, 0, 0}});
  rig.s.taiexpected[0] = 0.05f;
  rig.s.taimeasured[0] = 0.05f;
  rig.s.taiexpected[1] = 0.05f;
  rig.s.taimeasured[1] = 0;
  TaiAmbiguity result = resolveAmbiguity(rig.s);
  EXPECT_TRUE(result.match);
  EXPECT_EQ(result.shift, -1);
  EXPECT_NEAR(rig.s.syncoffset, -0.15, 1e-7);
}

TEST(Ambiguity, SearchStopsAtTheFirstErrorBelowOne) {
  // Shift +1 leaves 0.9 ms (error 0.81); shift -34 would leave 0.02 ms, since
  // 35 P0 is 0.88 ms short of a multiple of P1, but comes later.
  Rig rig = twoChains(1000);
  rig.s.taiexpected[1] = static_cast<float>(std::fmod(0.02 + 0.14998 + 0.0009, 0.13462));
  rig.s.taimeasured[1] = 0;
  TaiAmbiguity result = resolveAmbiguity(rig.s);
  EXPECT_TRUE(result.match);
  EXPECT_EQ(result.shift, 1);
  EXPECT_NEAR(result.besterror, 0.81, 1e-4);
  EXPECT_NEAR(rig.s.syncoffset, 0.02 + 0.14998, 1e-7);
}

TEST(Ambiguity, NoShiftWithinTheRangeGivesAGuessAtTheReferenceOffset) {
  // searchrange 0.2 s allows the shifts -1, 0 and +1 only. Entry 1 is 2 ms
  // off at shift 0 (error 4) and 13 ms or more at the others.
  Rig rig = twoChains(1000);
  rig.s.searchrange = 0.2f;
  rig.s.taiexpected[1] = 0.022f;
  rig.s.taimeasured[1] = 0;
  TaiAmbiguity result = resolveAmbiguity(rig.s);
  EXPECT_FALSE(result.match);
  EXPECT_NEAR(result.besterror, 4.0, 1e-4);
  EXPECT_NEAR(rig.s.syncoffset, 0.02, 1e-7);
}

TEST(Ambiguity, GuessIsPrintedWithTheSmallestErrorFound) {
  // Silence puts every peak at lag 0, so both measured positions are 0.
  // Entry 0 expects 0.103 s (see Positions), so e = 0.103 - P0 = -0.04698 s.
  // 12:00:00 is 1806 units of 10 us into a GRI-6731 interval; an emission
  // delay of 107.7 ms puts entry 1's expected position at 0.08964 s, 2 ms
  // beyond e modulo P1: error 4 at shift 0, far more at -1 and +1.
  Rig rig(1000);
  rig.entries({{7499, 'M', 1, 0, 0}, {6731, 'M', 1000, 107.7f, 0}});
  rig.s.searchrange = 0.2f;
  rig.s.integrationtime = 1;
  runOnSilence(rig, 5000);
  EXPECT_EQ(rig.text(), "sync: averaging for 1 sec \r\n"
                        "TAI guess at   -0.05 s offset, rel. error  2.00 rms,  11:59:59.953 UT\r\n");
  EXPECT_NEAR(rig.s.syncoffset, 0.103 - 0.14998, 1e-6);
  EXPECT_DOUBLE_EQ(rig.s.timeorigin, kNoonMarch2015 + rig.s.syncoffset);
}

// ---- The result line ------------------------------------------------------------

TEST(ResultLine, UniversalTimeOfTheInternalScale) {
  State s;
  s.leapseconds = 3;
  s.clockoffset = 0.5f;
  // 07:05:09.250 UT plus 22 + 3 + 0.5 s.
  double day = 20878 * 86400.0;
  EXPECT_EQ(universalTime(s, day + 7 * 3600 + 5 * 60 + 9.25 + 25.5), "07:05:09.250");
  EXPECT_EQ(universalTime(s, day + 25.5), "00:00:00.000");
  EXPECT_EQ(universalTime(s, day + 86399.9996 + 25.5), "00:00:00.000") << "milliseconds rounded and carried";
  EXPECT_EQ(universalTime(s, day + 3599.9997 + 25.5), "01:00:00.000");
}

} // namespace velkor
