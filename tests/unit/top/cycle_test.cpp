// The main cycle's own logic: short-integration marks, image-row counting,
// re-synchronisation and the end of input, over a reader of blocks of chosen
// lengths and no stations.
#include "top/cycle.h"
#include "acquisition/source.h"
#include "ground/errors.h"
#include "top/startup.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

// 1000 samples per second, short integrations of 1 s, rows of 2; runs over
// blocks of the given lengths [s]. With the read numbered `resyncAt` (from 0)
// come three requests for a re-synchronisation and a sample rate a tracking
// correction has moved.
struct CycleRun {
  Record s;
  test::TestPlatform t;
  std::vector<double> ends;  // blockend before each read [s]
  std::vector<float> marks;  // shortmark before each read [s]
  std::vector<int32_t> rows; // rowpasscounter before each read
  CycleRun() {
    std::tie(s.settings.sr, s.settings.wavinput, s.settings.displaysamples, s.settings.fileblocklen) =
        std::tuple(1000, 1, 24, 100);
    std::tie(s.settings.shortintegration, s.settings.longintegration) = std::tuple(1.0f, 2);
    prepareIntegration(s);
  }
  CycleRun& run(std::vector<double> blocks, std::size_t resyncAt = 99) {
    s.acquisition.inputremaining = blocks.empty() ? 0 : 1;
    auto reader = [&]() {
      if (s.acquisition.inputremaining <= 0) return Outcome::endOfInput;
      Acquisition& a = s.acquisition;
      ends.push_back(a.clock.blockend), marks.push_back(s.cycle.shortmark), rows.push_back(s.cycle.rowpasscounter);
      a.newsamples = static_cast<int32_t>(blocks[ends.size() - 1] * a.clock.sr);
      advanceStreamClock(a.clock, a.overlap, a.newsamples);
      a.inputremaining = ends.size() < blocks.size() ? 1 : 0;
      if (ends.size() == resyncAt + 1) s.processing.resyncrequests = 3, a.clock.sr = 1000.5;
      return Outcome::ready;
    };
    const Outcome end = runMainCycle(s, t.platform, reader);
    EXPECT_EQ(end, Outcome::endOfInput) << "the end of the input ends the run";
    shutDown(s, t.platform, end);
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
  EXPECT_EQ(h.s.cycle.shortmark, 4.0f);
}

TEST(MainCycle, AnImageRowEveryLongintegrationPeriods) {
  for (auto [longintegration, rows] : {std::pair(1, std::vector<int32_t>{0, 0, 0, 0}), {3, {0, 1, 2, 0}}}) {
    CycleRun h;
    h.s.settings.longintegration = longintegration;
    EXPECT_EQ(h.run({1.5, 1.0, 1.0, 1.0}).rows, rows) << longintegration;
  }
}

TEST(MainCycle, EndOfInputWritesOneEmptyLineAndDropsThePartialPeriod) {
  CycleRun h;
  EXPECT_EQ(h.run({0.5, 0.4}).t.text(), "\r\n");
  EXPECT_EQ(h.s.cycle.shortmark, 0.0f);
  EXPECT_EQ(CycleRun().run({}).ends.size(), 0u) << "empty input ends at once";
}

TEST(MainCycle, ThreeRequestsResynchroniseAndRestartStreamTime) {
  CycleRun wav;
  wav.s.timing.clocktime = 5000;
  wav.run({0.3, 0.3, 0.3, 0.3}, 1);
  EXPECT_EQ(wav.ends.at(2), 0.0) << "stream time starts again at 0";
  EXPECT_NEAR(wav.s.timing.clocktime, 5000.6, 1e-9) << "a WAV file's clock moves on by the stream time";
  EXPECT_EQ(std::tuple(wav.s.acquisition.clock.sr, wav.s.processing.resyncrequests), std::tuple(1000.0, 0));

  CycleRun raw;
  std::tie(raw.s.settings.wavinput, raw.t.clock.date, raw.t.clock.timeOfDay) = std::tuple(0, "06-02-2016", "13:14:15");
  raw.run({0.3, 0.3}, 0);
  EXPECT_EQ(std::tuple(raw.s.timing.date, raw.s.timing.time), std::tuple("06-02-2016", "13:14:15"))
      << "raw input: the system clock";
}

TEST(MainCycle, MarkAfterSynchronisation) {
  CycleRun left;
  left.s.acquisition.clock.blockend = 2.5; // as if the synchronisation had read up to here
  EXPECT_EQ(left.run({0.3}).marks.at(0), 2.5f) << "the buffer it left is integrated first";

  CycleRun none;
  none.s.settings.resynclimit = 1; // every period asks for a re-synchronisation
  none.run({2.5, 0.3, 0.3}, 0);
  EXPECT_EQ(none.marks.at(1), 0.0f) << "without samples left the marks count from 0";
}

} // namespace velkor
