// The main cycle's own logic: short-integration marks, image-row counting,
// re-synchronisation and the end of input, over a reader of blocks of chosen
// lengths and no stations.
#include "core/cycle.h"
#include "core/errors.h"
#include "core/startup.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

// 1000 samples per second, short integrations of 1 s, rows of 2; runs over
// blocks of the given lengths [s]. With the read numbered `resyncAt` (from 0)
// come three requests for a re-synchronisation and a sample rate a tracking
// correction has moved.
struct CycleRun {
  State s;
  test::TestPlatform t;
  std::vector<double> ends;   // blockend before each read [s]
  std::vector<float> marks;   // shortmark before each read [s]
  std::vector<int32_t> rows;  // rowpasscounter before each read
  CycleRun() {
    std::tie(s.sr, s.nominalsr, s.wavinput, s.displaysamples, s.overlap, s.blocklength) =
        std::tuple(1000, 1000, 1, 24, 256, 100);
    std::tie(s.buffersize, s.shortintegration, s.longintegration) = std::tuple(356, 1.0f, 2);
    dimensionArrays(s);
    s.blockstart = -s.overlap / s.sr;
  }
  CycleRun& run(std::vector<double> blocks, std::size_t resyncAt = 99) {
    s.inputremaining = blocks.empty() ? 0 : 1;
    auto reader = [&](State& st, Platform&) {
      ends.push_back(st.blockend), marks.push_back(st.shortmark), rows.push_back(st.rowpasscounter);
      st.newsamples = static_cast<int32_t>(blocks[ends.size() - 1] * st.sr);
      st.blockstart = st.blockend - st.overlap / st.sr;
      st.blockend = st.blockstart + (st.newsamples + st.overlap) / st.sr;
      st.inputremaining = ends.size() < blocks.size() ? 1 : 0;
      if (ends.size() == resyncAt + 1) st.resyncrequests = 3, st.sr = 1000.5;
    };
    EXPECT_THROW(runMainCycle(s, t.platform, reader), ProgramEnd) << "the end of the input ends the program";
    return *this;
  }
};

} // namespace

TEST(MainCycle, ShortIntegrationsEndOnTheFirstBlockPastTheMark) {
  CycleRun h;
  h.run({0.4, 0.4, 0.4, 2.5, 0.1, 0.1, 0.2});
  // Block 3 (end 1.2 > 1) moves the mark to 1; block 4 (end 3.7) moves it once,
  // to 2, so block 5 (end 3.8 > 3) ends the next period at once.
  EXPECT_EQ(h.marks, (std::vector<float>{0, 0, 0, 1, 2, 3, 3}));
  EXPECT_EQ(h.s.shortmark, 4.0f);
}

TEST(MainCycle, AnImageRowEveryLongintegrationPeriods) {
  for (auto [longintegration, rows] : {std::pair(1, std::vector<int32_t>{0, 0, 0, 0}), {3, {0, 1, 2, 0}}}) {
    CycleRun h;
    h.s.longintegration = longintegration;
    EXPECT_EQ(h.run({1.5, 1.0, 1.0, 1.0}).rows, rows) << longintegration;
  }
}

TEST(MainCycle, EndOfInputWritesOneEmptyLineAndDropsThePartialPeriod) {
  CycleRun h;
  EXPECT_EQ(h.run({0.5, 0.4}).t.text(), "\r\n");
  EXPECT_EQ(h.s.shortmark, 0.0f);
  EXPECT_EQ(CycleRun().run({}).ends.size(), 0u) << "empty input ends at once";
}

TEST(MainCycle, ThreeRequestsResynchroniseAndRestartStreamTime) {
  CycleRun wav;
  wav.s.clocktime = 5000;
  wav.run({0.3, 0.3, 0.3, 0.3}, 1);
  EXPECT_EQ(wav.ends.at(2), 0.0) << "stream time starts again at 0";
  EXPECT_NEAR(wav.s.clocktime, 5000.6, 1e-9) << "a WAV file's clock moves on by the stream time";
  EXPECT_EQ(std::tuple(wav.s.sr, wav.s.resyncrequests), std::tuple(1000.0, 0));

  CycleRun raw;
  std::tie(raw.s.wavinput, raw.t.clock.date, raw.t.clock.timeOfDay) = std::tuple(0, "06-02-2016", "13:14:15");
  raw.run({0.3, 0.3}, 0);
  EXPECT_EQ(std::tuple(raw.s.date, raw.s.time), std::tuple("06-02-2016", "13:14:15")) << "raw input: the system clock";
}

TEST(MainCycle, MarkAfterSynchronisation) {
  CycleRun left;
  left.s.blockend = 2.5; // as if the synchronisation had read up to here
  EXPECT_EQ(left.run({0.3}).marks.at(0), 2.5f) << "the buffer it left is integrated first";

  CycleRun none;
  none.s.resynclimit = 1; // every period asks for a re-synchronisation
  none.run({2.5, 0.3, 0.3}, 0);
  EXPECT_EQ(none.marks.at(1), 0.0f) << "without samples left the marks count from 0";
}

} // namespace velkor
