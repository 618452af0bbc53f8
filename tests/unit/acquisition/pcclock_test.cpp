#include "acquisition/pcclock.h"

#include "support/receiver.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

namespace {

// A PC whose time of day reads `startOfDay` [s] when the timer reads `timer`
// [s] and runs on with it, showing whole seconds; calibrated from the start.
struct PcClock {
  test::TestPlatform t;
  Record s;
  double shift = 0; // [s] time of day minus timer
  PcClock(double timer, double startOfDay) : shift(startOfDay - timer) {
    t.clock.now = timer;
    t.clock.timeAt = [this](double now) { return test::clockText(now + shift); };
    calibrateClock(s.settings, s.acquisition, t.platform.clock);
  }
  double timeOfDay() const { return std::fmod(t.clock.now + shift, 86400.0); }
  void update(double seconds) {
    t.clock.now += seconds;
    updateClock(s.settings, s.acquisition, t.platform.clock);
  }
};

} // namespace

TEST(PcClock, CalibratesOnTheTickAndFollowsTheTimeOfDayAcrossMidnightAndClockSteps) {
  PcClock pc(100.0, 86400.0 - 30.33); // 23:59:29.67
  EXPECT_EQ(pc.s.acquisition.clockconfidence, 3);
  // The reading that saw the tick to 23:59:30 came at most one 50 ms polling
  // interval after it: from then on the PC clock shows the true time of day
  // within that interval.
  pc.update(0.0);
  EXPECT_NEAR(pc.s.acquisition.pcclock, pc.timeOfDay(), 0.05);
  const double before = pc.s.acquisition.timeroffset;
  for (int i = 0; i < 40; ++i) {
    pc.update(1.0);
    ASSERT_EQ(pc.s.acquisition.clockconfidence, 3) << "no disagreement counted at " << i;
    ASSERT_NEAR(pc.s.acquisition.pcclock, pc.timeOfDay(), 0.6) << i;
  }
  const double offset = pc.s.acquisition.timeroffset;
  EXPECT_NEAR(offset, before + 86400, 0.6);
  pc.shift += 5; // the operating-system clock is set 5 s forward ...
  for (int confidence : {2, 1, 0, 0}) {
    pc.update(1.0);
    EXPECT_EQ(pc.s.acquisition.clockconfidence, confidence);
    EXPECT_EQ(pc.s.acquisition.timeroffset, offset);
  }
  pc.shift -= 5; // ... and back: agreeing readings build confidence again
  for (int confidence : {1, 2, 3, 3}) {
    pc.update(1.0);
    EXPECT_EQ(pc.s.acquisition.clockconfidence, confidence);
    EXPECT_NEAR(pc.s.acquisition.pcclock, pc.timeOfDay(), 0.6);
  }
}

TEST(StreamOffset, FoldedIntoHalfADay) {
  Record s;
  s.acquisition.clock.sr = 1000;
  s.timing.timeorigin = 20000.0 * 86400 + 3600;            // stream time 0 at 01:00:00
  s.acquisition.clock.blockend = 10;                       // buffer end at 01:00:10
  s.acquisition.inputremaining = 4 * 1000 * 3;             // 3 s of 16-bit stereo unread
  s.acquisition.opentime = 3600 + 10 + 3 + 2 + 86400 - 22; // PC clock a day and 2 s ahead at the file's end
  computeStreamOffset(s.settings, s.acquisition, s.timing);
  EXPECT_FLOAT_EQ(s.timing.pcbuffertime, 3600 + 10 + 2 + 86400);
  EXPECT_FLOAT_EQ(s.timing.pcoffset, 2);
  // Local time an hour ahead of UTC, 3 leap seconds, clockoffset 0.5 s: the
  // PC's 00:01:40 lies before midnight on the stream's scale.
  s.settings.utcoffset = 1;
  s.timing.leapseconds = 3;
  s.settings.clockoffset = 0.5f;
  s.acquisition.opentime = 100;
  computeStreamOffset(s.settings, s.acquisition, s.timing);
  EXPECT_FLOAT_EQ(s.timing.pcbuffertime, 100 - 3 - 3600 + 3 + 0.5f + 22 + 86400);
  EXPECT_FLOAT_EQ(s.timing.pcoffset, 100 - 3 - 3600 + 25.5f - 3610);
}

} // namespace velkor
