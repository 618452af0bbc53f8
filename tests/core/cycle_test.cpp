#include "core/cycle.h"
#include "core/errors.h"
#include "core/startup.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <optional>

namespace velkor {

namespace {

struct Block {
  double blockend;   // before the read [s]
  float shortmark;   // before the read [s]
  int32_t rows;      // rowpasscounter before the read
};

// A main cycle over a block reader that hands out `blocks` blocks of
// `seconds` each, with no stations: only the cycle's own logic runs.
struct CycleHarness {
  State s;
  test::TestPlatform t;
  std::vector<Block> seen;
  std::vector<double> blockSeconds;   // length of each block [s]
  std::function<void(State&, int)> onBlock;

  CycleHarness() {
    s.sr = 1000;
    s.nominalsr = 1000;
    s.wavinput = 1;
    s.displaysamples = 24;
    s.overlap = 256;
    s.blocklength = 100;
    s.buffersize = s.overlap + s.blocklength;
    s.shortintegration = 1.0f;
    s.longintegration = 2;
    dimensionArrays(s);
    s.blockstart = -s.overlap / s.sr;
  }

  BlockReader reader() {
    return [this](State& st, Platform&) {
      int index = static_cast<int>(seen.size());
      seen.push_back({st.blockend, st.shortmark, st.rowpasscounter});
      double seconds = blockSeconds[static_cast<std::size_t>(index)];
      st.newsamples = static_cast<int32_t>(seconds * st.sr);
      st.blockstart = st.blockend - st.overlap / st.sr;
      st.blockend = st.blockstart + (st.newsamples + st.overlap) / st.sr;
      st.inputremaining = index + 1 < static_cast<int>(blockSeconds.size()) ? 1 : 0;
      if (onBlock) onBlock(st, index);
    };
  }

  int run() {
    s.inputremaining = blockSeconds.empty() ? 0 : 1;
    try {
      runMainCycle(s, t.platform, reader());
    } catch (const ProgramEnd& end) {
      return end.status;
    }
  }
};

} // namespace

TEST(MainCycle, ShortIntegrationsEndOnTheFirstBlockPastTheMark) {
  CycleHarness h;
  h.blockSeconds = {0.4, 0.4, 0.4, 2.5, 0.1, 0.1, 0.2};
  EXPECT_EQ(h.run(), 0);
  ASSERT_EQ(h.seen.size(), 7u);
  // After block 3 (end 1.2 > 1) the mark steps to 1; block 4 (end 3.7) steps it
  // once to 2, so block 5 (end 3.8 > 3) ends the next one at once.
  EXPECT_EQ(h.seen[3].shortmark, 1.0f);
  EXPECT_EQ(h.seen[4].shortmark, 2.0f);
  EXPECT_EQ(h.seen[5].shortmark, 3.0f);
  EXPECT_EQ(h.seen[6].shortmark, 3.0f) << "3.9 is not past 4";
  EXPECT_EQ(h.s.shortmark, 4.0f);
}

TEST(MainCycle, ImageRowsEveryLongintegrationShortIntegrations) {
  CycleHarness h;
  h.s.longintegration = 1;
  h.blockSeconds = {1.5, 1.0, 1.0};
  h.run();
  EXPECT_EQ(h.seen[1].rows, 0) << "with longintegration 1 every period draws a row";
  CycleHarness g;
  g.s.longintegration = 3;
  g.blockSeconds = {1.5, 1.0, 1.0, 1.0};
  g.run();
  EXPECT_EQ(g.seen[1].rows, 1);
  EXPECT_EQ(g.seen[2].rows, 2);
  EXPECT_EQ(g.seen[3].rows, 0);
}

TEST(MainCycle, EndOfInputWritesOneEmptyLineAndDropsThePartialPeriod) {
  CycleHarness h;
  h.blockSeconds = {0.5, 0.4};
  EXPECT_EQ(h.run(), 0);
  EXPECT_EQ(h.t.text(), "\r\n");
  EXPECT_EQ(h.s.shortmark, 0.0f) << "the partial short integration is not processed";
}

TEST(MainCycle, EmptyInputEndsAtOnce) {
  CycleHarness h;
  EXPECT_EQ(h.run(), 0);
  EXPECT_TRUE(h.seen.empty());
}

TEST(MainCycle, ThreeRequestsResynchroniseAndRestartStreamTime) {
  CycleHarness h;
  h.s.clocktime = 5000;
  h.blockSeconds = {0.3, 0.3, 0.3, 0.3, 0.3};
  h.onBlock = [](State& st, int index) {
    if (index == 1) {
      st.resyncrequests = 3;
      st.sr = 1000.5; // as a tracking correction would
    }
  };
  h.run();
  EXPECT_NEAR(h.s.clocktime, 5000 + 0.6, 1e-9) << "a WAV file's clock moves on by the stream time";
  EXPECT_EQ(h.seen[2].blockend, 0.0) << "stream time starts again at 0";
  EXPECT_EQ(h.s.sr, 1000.0);
  EXPECT_EQ(h.s.resyncrequests, 0);
}

TEST(MainCycle, RawInputTakesTheSystemClockAtResynchronisation) {
  CycleHarness h;
  h.s.wavinput = 0;
  h.s.date = "03-01-2015";
  h.s.time = "12:00:00";
  h.t.clock.date = "06-02-2016";
  h.t.clock.timeOfDay = "13:14:15";
  h.blockSeconds = {0.3, 0.3, 0.3};
  h.onBlock = [](State& st, int index) {
    if (index == 0) st.resyncrequests = 3;
  };
  h.run();
  EXPECT_EQ(h.s.date, "06-02-2016");
  EXPECT_EQ(h.s.time, "13:14:15");
}

TEST(MainCycle, BufferLeftBySynchronisationIsIntegratedFirst) {
  CycleHarness h;
  h.s.blockend = 2.5; // as if the synchronisation had read up to here
  h.blockSeconds = {0.3};
  h.run();
  ASSERT_EQ(h.seen.size(), 1u);
  EXPECT_EQ(h.seen[0].shortmark, 2.5f);
}

TEST(MainCycle, ResynchronisationWithoutSamplesRestartsTheMarkAtZero) {
  CycleHarness h;
  h.s.resynclimit = 1; // every period asks for a re-synchronisation
  h.blockSeconds = {2.5, 0.3, 0.3};
  h.onBlock = [](State& st, int index) {
    if (index == 0) st.resyncrequests = 3;
  };
  h.run();
  EXPECT_EQ(h.seen[1].shortmark, 0.0f);
}

} // namespace velkor
