// The synchronisation on synthetic recordings whose true start differs from
// the configured one by a known error: the offset it finds must be that
// error, and the station windows placed on the new timeorigin must find
// every station's pulses where the recording has them.
#include "timing/sync.h"

#include "timing/lorantestsignal.h"
#include "timing/syncrig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace velkor {

namespace {

using test::Entry;
using test::kNoonMarch2015;
using test::LoranRecording;
using test::LoranTransmitter;
using test::RecordingReader;
using test::Rig;

struct Station {
  int32_t gri;     // [10 us]
  char letter;
  float delay;     // emission delay [ms]
  float distance;  // [km]
  double amplitude; // [sample units]
  double phase;     // [rad]
};

// Three chains; two of them carry the synchronisation, the third and one
// secondary are only interference.
const Station kStations[] = {
    {7499, 'M', 0.0f, 250.0f, 3000, 0.3},  {7499, 'X', 30.0f, 600.0f, 2000, 1.1},
    {6731, 'M', 0.0f, 800.0f, 2500, 2.0},  {6731, 'Y', 41.5f, 400.0f, 1500, 4.0},
    {8000, 'M', 0.0f, 1200.0f, 2000, 5.0},
};

constexpr double kP0 = 0.14998; // GRI 7499 [s]
constexpr double kP1 = 0.13462; // GRI 6731 [s]

struct Scenario {
  double sr = 48000;          // [Hz]
  double error = 0;           // configured start minus true start [s]
  double bandcenter = 0;      // [Hz]; the carrier lies at -bandcenter in I + jQ
  double integrationtime = 10; // [s]
  float searchrange = 3700.0f; // [s]
  std::vector<Entry> entries{{7499, 'M', 1, 0.0f, 250.0f}, {6731, 'M', 2000, 0.0f, 800.0f}, {7499, 'X', 2000, 30.0f, 600.0f}};
};

struct Outcome {
  std::string text;
  double timeorigin = 0;  // [s since 1958]
  double truestart = 0;   // [s since 1958]
  double syncoffset = 0;  // [s]
  double clocktime = 0;   // [s since 1958]
  std::vector<double> windowerror; // predicted minus true pulse position per station [s]
};

std::vector<LoranTransmitter> transmitters(const Rig& rig) {
  std::vector<LoranTransmitter> list;
  for (const Station& st : kStations)
    list.push_back({st.gri, st.letter == 'M', rig.arrival(st.delay, st.distance), st.amplitude, st.phase});
  return list;
}

// Where the main cycle's windows will expect a station's pulse group, as
// arrival phase on the station's interval relative to timeorigin, against
// where the recording has it. Both are stream times modulo the interval.
double windowError(const Station& st, const LoranTransmitter& tx, double timeorigin, int64_t startns) {
  double period = st.gri / 50000.0;
  float arrivaloffset = static_cast<float>(st.delay / 1000.0 + 1000.0 * st.distance / 297145696.0);
  double x = (arrivaloffset - timeorigin) / period;
  double predicted = (x - std::floor(x)) * period;
  double d = predicted - test::firstGroupStart(tx, startns);
  return d - std::nearbyint(d / period) * period;
}

Outcome run(const Scenario& sc, bool rawInput = false, double pcerror = 0) {
  Rig rig(sc.sr);
  rig.s.bandcenter = sc.bandcenter;
  rig.entries(sc.entries);
  rig.s.integrationtime = sc.integrationtime;
  rig.s.searchrange = sc.searchrange;
  rig.s.syncverbose = 1;
  rig.s.wavinput = rawInput ? 0 : 1;
  const int64_t truestartns = static_cast<int64_t>(kNoonMarch2015) * 1000000000 - std::llround(sc.error * 1e9);
  std::vector<LoranTransmitter> txs = transmitters(rig);
  LoranRecording rec =
      test::synthesiseLoran(txs, sc.sr, sc.integrationtime + 1, truestartns, -sc.bandcenter, 1500, 7);
  RecordingReader reader(rec, rig.s.blocklength);
  reader.pcerror = pcerror;
  reader.open(rig.s);
  synchronise(rig.s, rig.t.platform, reader.reader());
  Outcome out;
  out.text = rig.text();
  out.timeorigin = rig.s.timeorigin;
  out.truestart = rec.startSeconds();
  out.syncoffset = rig.s.syncoffset;
  out.clocktime = rig.s.clocktime;
  for (std::size_t i = 0; i < txs.size(); ++i)
    out.windowerror.push_back(windowError(kStations[i], txs[i], rig.s.timeorigin, truestartns));
  return out;
}

std::string resultLine(const std::string& text) {
  std::size_t at = text.find("TAI ");
  return at == std::string::npos ? std::string() : text.substr(at);
}

void expectSynchronised(const Outcome& out, const std::string& what) {
  EXPECT_EQ(resultLine(out.text).substr(0, 9), "TAI match") << what << "\n" << out.text;
  EXPECT_NEAR(out.timeorigin, out.truestart, 1e-3) << what;
  for (std::size_t i = 0; i < out.windowerror.size(); ++i)
    EXPECT_NEAR(out.windowerror[i], 0, 1e-3) << what << ": " << kStations[i].gri << kStations[i].letter;
}

} // namespace

TEST(SynchroniseSynthetic, OneChainTwentyMillisecondsAhead) {
  Scenario sc;
  sc.error = 0.02;
  sc.entries = {{7499, 'M', 1, 0.0f, 250.0f}};
  Outcome out = run(sc);
  EXPECT_EQ(resultLine(out.text), "TAI match at   -0.02 s offset, rel. error  0.00 rms,  11:59:59.980 UT\r\n");
  EXPECT_NEAR(out.syncoffset, -0.02, 1e-3);
  EXPECT_NEAR(out.timeorigin, out.truestart, 1e-3);
}

TEST(SynchroniseSynthetic, OneChainCannotTellWholeIntervals) {
  // With a single entry the search has nothing to weigh: shift 0, a match,
  // and an offset right only modulo the interval.
  Scenario sc;
  sc.error = 3 * kP0 + 0.02;
  sc.entries = {{7499, 'M', 1, 0.0f, 250.0f}};
  Outcome out = run(sc);
  EXPECT_EQ(resultLine(out.text).substr(0, 9), "TAI match");
  EXPECT_NEAR(out.syncoffset, -0.02, 1e-3);
}

TEST(SynchroniseSynthetic, TwoChainsFindFractionalAndWholeIntervalErrors) {
  const double errors[] = {0.047, -0.061, 4 * kP0 + 0.031, -(6 * kP1 + 0.012), 25.0 * kP0 - 0.07};
  for (double error : errors) {
    Scenario sc;
    sc.error = error;
    Outcome out = run(sc);
    expectSynchronised(out, "error " + std::to_string(error));
    EXPECT_NEAR(out.syncoffset, -error, 1e-3) << error;
  }
}

TEST(SynchroniseSynthetic, AtTheDefaultSampleRate) {
  Scenario sc;
  sc.sr = 22050;
  sc.error = 2 * kP0 + 0.1;
  expectSynchronised(run(sc), "22050 Hz");
}

TEST(SynchroniseSynthetic, CarrierAtABandCentreIsMixedOntoTheGriLines) {
  for (double bandcenter : {12000.0, -7300.0}) {
    Scenario sc;
    sc.bandcenter = bandcenter;
    sc.error = 3 * kP0 + 0.04;
    expectSynchronised(run(sc), "bandcenter " + std::to_string(bandcenter));
  }
}

TEST(SynchroniseSynthetic, RawInputTakesTheTimeOfDayFromThePcClock) {
  // The PC clock is 2.3 s ahead of the true time; the configured clocktime
  // only contributes its day. Re-based, the clock is 2.3 + 0.05 s ahead, and
  // the search brings timeorigin back to the truth.
  Scenario sc;
  sc.error = 1.7; // whatever the configuration said: replaced by the PC clock
  Outcome out = run(sc, true, 2.3);
  double truestart = out.truestart;
  EXPECT_NEAR(out.clocktime, truestart + 2.35, 0.01) << "pcbuffertime holds the time of day in single precision";
  expectSynchronised(out, "raw input");
}

TEST(SynchroniseSynthetic, WrongDelayBeyondTheSearchRangeGivesAGuess) {
  // Entry 1's emission delay is configured 5 ms late; within +-1 s no shift
  // explains that, so the reference entry's own estimate stands.
  Scenario sc;
  sc.error = 0.047;
  sc.searchrange = 1.0f;
  sc.entries = {{7499, 'M', 1, 0.0f, 250.0f}, {6731, 'M', 2000, 5.0f, 800.0f}};
  Outcome out = run(sc);
  std::string line = resultLine(out.text);
  EXPECT_EQ(line.substr(0, 9), "TAI guess") << out.text;
  EXPECT_NEAR(out.syncoffset, -0.047, 1e-3);
  std::size_t at = line.find("rel. error ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(line.substr(at + 11)), 10.0, 0.3) << "5 ms weighted by 2000: " << line;
}

} // namespace velkor
