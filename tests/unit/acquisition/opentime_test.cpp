#include "top/input.h"
#include "acquisition/pcclock.h"
#include "acquisition/source.h"
#include "top/startup.h"

#include "support/testplatform.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace velkor {

// A raw file is dated by the moment it is opened: when the receiver has to
// wait for the capture program, the wait lies before the new file's end.
TEST(RawFileStamp, TheNextFileIsStampedWhenItOpensNotWhenTheOldOneEnds) {
  test::ScratchDir dir;
  test::TestPlatform t;
  t.clock.now = 1000.0;
  t.clock.timeAt = [](double now) { // time of day runs with the timer, 12:00:00 at 1000 s
    auto second = static_cast<long>(std::floor(now - 1000.0)) + 12 * 3600;
    char text[64];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", second / 3600, second / 60 % 60, second % 60);
    return std::string(text);
  };
  Record s;
  s.settings.inputfile = dir.file("audio.dat");
  s.settings.sr = 1000;
  s.settings.fileblocklen = 1000;
  computeBlockGeometry(s.settings, s.acquisition);
  dimensionBuffer(s.acquisition);
  initialiseDecoder(s.settings, s.acquisition);
  resetStreamClock(s.settings, s.acquisition);
  test::writeRaw(s.settings.inputfile, std::vector<int16_t>(2000, 1), 2);
  calibrateClock(s.settings, s.acquisition, t.platform.clock);
  openInput(s, t.platform);

  // The next file appears after three waits of one second each.
  t.keyboard.onWait = [&] {
    t.clock.now += 1.0;
    if (t.keyboard.waits == 3) test::writeRaw(s.settings.inputfile, std::vector<int16_t>(2000, 1), 2);
  };
  readNextBlock(s, t.platform);
  ASSERT_EQ(t.keyboard.waits, 3);
  EXPECT_NEAR(s.acquisition.opentime, s.acquisition.pcclock - 0.05, 0.01); // single precision
  EXPECT_NEAR(s.acquisition.pcclock, t.clock.now - s.acquisition.timeroffset, 1e-9);
  EXPECT_GT(s.acquisition.opentime, 3600 * 12 + 2.5) << "stamped after the three seconds of waiting";
}

} // namespace velkor
