#include "acquisition/pcclock.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace velkor {

namespace {

std::string clockText(int64_t secondOfDay) {
  char text[16];
  int64_t s = ((secondOfDay % 86400) + 86400) % 86400;
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
  return text;
}

// A PC whose time of day reads `startOfDay` [s] when the timer reads `timer`
// [s] and runs on with it; the time of day shows whole seconds.
struct PcClock {
  test::TestPlatform t;
  State s;
  double shift = 0; // [s] time of day minus timer
  PcClock(double timer, double startOfDay) : shift(startOfDay - timer) {
    t.clock.now = timer;
    t.clock.timeAt = [this](double now) { return clockText(static_cast<int64_t>(std::floor(now + shift))); };
  }
  double timeOfDay() const { return std::fmod(t.clock.now + shift, 86400.0); }
};

} // namespace

TEST(PcClock, CalibrationWaitsForTheTickAndPlacesItHalfAPollLater) {
  PcClock pc(1000.0, 3600.33); // time of day 01:00:00.33 when the timer reads 1000
  pc.s.clockconfidence = 0;
  pc.s.pcclock = -1;
  calibrateClock(pc.s, pc.t.platform);
  EXPECT_EQ(pc.s.clockconfidence, 3);
  // Readings at timer 1000.0, 1000.05, ...: the tick to 01:00:01 falls at
  // 1000.67 and is first seen by the reading at 1000.7 (after 14 sleeps), and
  // one more sleep follows that reading.
  EXPECT_NEAR(pc.t.clock.slept, 0.75, 1e-9);
  const double seen = 1000.0 + 0.7; // [s] timer of the reading that saw the new second
  EXPECT_NEAR(pc.s.timeroffset, seen - 3601 - 0.5 + (0.5 - double(0.025f)), 1e-9);
  EXPECT_NEAR(seen - pc.s.timeroffset, 3601 + 0.025, 1e-6) << "the new second plus half a poll";
  // Calibration leaves pcclock at the value of the last reading's old offset.
  EXPECT_NE(pc.s.pcclock, -1);
  EXPECT_NE(pc.s.pcclock, pc.t.clock.now - pc.s.timeroffset);
}

TEST(PcClock, InStepReadingsBuildConfidenceAndFollowTheTimeOfDay) {
  PcClock pc(5000.0, 7200.0);
  calibrateClock(pc.s, pc.t.platform);
  pc.s.clockconfidence = 0;
  for (int i = 0; i < 50; ++i) {
    pc.t.clock.now += 0.37;
    updateClock(pc.s, pc.t.platform);
    EXPECT_NEAR(pc.s.pcclock, pc.timeOfDay(), 0.6) << i;
  }
  EXPECT_EQ(pc.s.clockconfidence, 3);
}

TEST(PcClock, MidnightMovesTheOffsetOnByADay) {
  PcClock pc(100.0, 86400.0 - 30.2); // 23:59:29.8
  calibrateClock(pc.s, pc.t.platform);
  const double before = pc.s.timeroffset;
  for (int i = 0; i < 40; ++i) {
    pc.t.clock.now += 1.0;
    updateClock(pc.s, pc.t.platform);
    EXPECT_EQ(pc.s.clockconfidence, 3) << "no disagreement counted at " << i;
    EXPECT_NEAR(pc.s.pcclock, pc.timeOfDay(), 0.6) << i;
  }
  EXPECT_NEAR(pc.s.timeroffset, before + 86400, 0.6);
  EXPECT_LT(pc.s.pcclock, 20) << "the new day starts near 0";
}

TEST(PcClock, ClockSetForwardLowersConfidenceAndKeepsTheOffset) {
  PcClock pc(100.0, 40000.0);
  calibrateClock(pc.s, pc.t.platform);
  const double offset = pc.s.timeroffset;
  pc.shift += 5; // the operating-system clock is set 5 s forward
  for (int expected : {2, 1, 0, 0}) {
    pc.t.clock.now += 1.0;
    updateClock(pc.s, pc.t.platform);
    EXPECT_EQ(pc.s.clockconfidence, expected);
    EXPECT_EQ(pc.s.timeroffset, offset);
  }
  // Recalibration accepts the new time of day.
  calibrateClock(pc.s, pc.t.platform);
  pc.t.clock.now += 0.5;
  updateClock(pc.s, pc.t.platform);
  EXPECT_EQ(pc.s.clockconfidence, 3);
  EXPECT_NEAR(pc.s.pcclock, pc.timeOfDay(), 0.6);
}

TEST(PcClock, CalibrationAcrossMidnight) {
  PcClock pc(100.0, 86399.9);
  calibrateClock(pc.s, pc.t.platform);
  pc.t.clock.now += 0.3;
  updateClock(pc.s, pc.t.platform);
  EXPECT_EQ(pc.s.clockconfidence, 3);
  EXPECT_NEAR(pc.s.pcclock, pc.timeOfDay(), 0.6);
}

TEST(StreamOffset, PcClockOneDayAndTwoSecondsAheadGivesTwo) {
  State s;
  s.sr = 1000;
  s.bytespersample = 2;
  s.channels = 2;
  s.timeorigin = 20000.0 * 86400 + 3600;  // stream time 0 at 01:00:00
  s.blockend = 10;                        // buffer end at 01:00:10
  s.inputremaining = 4 * 1000 * 3;        // 3 s of samples still unread
  s.opentime = 3600 + 10 + 3 + 2 + 86400 - 22; // PC clock a day and 2 s ahead at the file's end
  computeStreamOffset(s);
  EXPECT_FLOAT_EQ(s.pcbuffertime, 3600 + 10 + 2 + 86400);
  EXPECT_FLOAT_EQ(s.pcoffset, 2);
}

TEST(StreamOffset, TimeScaleTermsAndNegativePcTime) {
  State s;
  s.sr = 1000;
  s.bytespersample = 1;
  s.channels = 1;
  s.timeorigin = 20000.0 * 86400;  // stream time 0 at midnight
  s.blockend = 30;
  s.utcoffset = 1;                  // the PC shows local time, one hour ahead
  s.leapseconds = 3;
  s.clockoffset = 0.5f;
  s.opentime = 100;                 // 00:01:40 local is 23:01:40 UTC the day before
  s.inputremaining = 0;
  computeStreamOffset(s);
  EXPECT_FLOAT_EQ(s.pcbuffertime, 100 - 3600 + 3 + 0.5f + 22 + 86400);
  // The PC's time lies an hour less about 70 s before the stream's: folded into +-43200.
  EXPECT_NEAR(s.pcoffset, (100 - 3600 + 25.5) - 30, 1e-3);
}

} // namespace velkor
