#include "acquisition/pcclock.h"
#include "acquisition/source.h"
#include "core/startup.h"

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
  State s;
  s.inputfile = dir.file("audio.dat");
  s.sr = 1000;
  s.fileblocklen = 1000;
  computeBlockGeometry(s);
  dimensionArrays(s);
  initialiseDecoder(s);
  s.blockstart = -s.overlap / s.sr;
  test::writeRaw(s.inputfile, std::vector<int16_t>(2000, 1), 2);
  calibrateClock(s, t.platform);
  openSource(s, t.platform);

  // The next file appears after three waits of one second each.
  t.keyboard.onWait = [&] {
    t.clock.now += 1.0;
    if (t.keyboard.waits == 3) test::writeRaw(s.inputfile, std::vector<int16_t>(2000, 1), 2);
  };
  readBlock(s, t.platform);
  ASSERT_EQ(t.keyboard.waits, 3);
  EXPECT_NEAR(s.opentime, s.pcclock - 0.05, 0.01); // single precision
  EXPECT_NEAR(s.pcclock, t.clock.now - s.timeroffset, 1e-9);
  EXPECT_GT(s.opentime, 3600 * 12 + 2.5) << "stamped after the three seconds of waiting";
}

} // namespace velkor
