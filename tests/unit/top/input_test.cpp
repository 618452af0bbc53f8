#include "top/input.h"

#include "support/testplatform.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

namespace velkor {

// A raw file that the capture program does not hand over is said to be
// awaited after 5 s and every minute after that, with notices on; without
// them the wait is silent.
TEST(RawFileWait, IsNoticedAfterFiveSecondsAndEveryMinuteAfter) {
  for (const int notices : {1, 0}) {
    test::ScratchDir dir;
    test::TestPlatform t;
    Record r;
    r.settings.inputfile = dir.file("audio.dat");
    r.settings.sleeptime = 1;
    r.settings.notices = notices;
    t.keyboard.onWait = [&] {
      t.clock.now += 1.0;
      if (t.keyboard.waits == 130) test::writeRaw(r.settings.inputfile, std::vector<int16_t>(20, 1), 2);
    };
    ASSERT_EQ(openInput(r, t.platform), Outcome::ready);
    const std::string name = r.settings.inputfile;
    EXPECT_EQ(t.errors.str(), notices == 0
                                  ? ""
                                  : "velkor: waiting for " + name + ": none for 5 s\n" + "velkor: waiting for " + name +
                                        ": none for 65 s\n" + "velkor: waiting for " + name + ": none for 125 s\n");
  }
}

} // namespace velkor
