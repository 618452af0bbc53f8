#include "core/cycle.h"
#include "timing/calendar.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace velkor {

namespace {

State at(const std::string& date, const std::string& time, int32_t utcoffset = 0, float clockoffset = 0) {
  State s;
  s.date = date;
  s.time = time;
  s.utcoffset = utcoffset;
  s.clockoffset = clockoffset;
  computeClockTime(s);
  return s;
}

// Day number the calendar arithmetic arrives at: clocktime less the second of the day.
int64_t dayNumber(const State& s, int32_t secondOfDay) {
  return static_cast<int64_t>((s.clocktime - (secondOfDay + 22 + s.leapseconds)) / 86400.0);
}

} // namespace

TEST(Calendar, WorkedDates) {
  State start = at("01-01-2001", "00:00:00");
  EXPECT_EQ(start.leapseconds, 0);
  EXPECT_EQ(start.clocktime, 15706.0 * 86400 + 22);

  State march2015 = at("03-01-2015", "12:00:00");
  EXPECT_EQ(march2015.leapseconds, 3);
  EXPECT_EQ(march2015.clocktime, 1803902425.0);
  EXPECT_EQ(dayNumber(march2015, 43200), 20878);

  State march2000 = at("03-01-2000", "00:00:00");
  EXPECT_EQ(march2000.clocktime, 15400.0 * 86400 + 22) << "2000 counts as a leap year through the century term";
}

TEST(Calendar, LeapSecondsByDate) {
  EXPECT_EQ(at("12-31-2005", "00:00:00").leapseconds, 0);
  EXPECT_EQ(at("01-01-2006", "00:00:00").leapseconds, 1);
  EXPECT_EQ(at("12-31-2008", "00:00:00").leapseconds, 1);
  EXPECT_EQ(at("01-01-2009", "00:00:00").leapseconds, 2);
  EXPECT_EQ(at("05-31-2012", "23:59:59").leapseconds, 2);
  EXPECT_EQ(at("06-01-2012", "00:00:00").leapseconds, 3);
  EXPECT_EQ(at("08-25-2025", "06:30:02").leapseconds, 3) << "the count ends in 2012";
  // The leap second enters the clock time with the date.
  EXPECT_EQ(at("06-01-2012", "00:00:00").clocktime - at("05-31-2012", "00:00:00").clocktime, 86400.0 + 1);
}

TEST(Calendar, LocalTimeEastOfGreenwichReachesBackIntoThePreviousDay) {
  // 01:00 at UTC+2 is 23:00 UTC the day before: S = -3600 + 32 < 0.
  State east = at("03-01-2015", "01:00:00", 2);
  EXPECT_EQ(east.clocktime, 20878.0 * 86400 - 3600 + 32 + 3 - 10);
  EXPECT_EQ(east.clocktime, at("02-28-2015", "23:00:00").clocktime);
}

TEST(Calendar, ClockOffsetIsAddedInSinglePrecision) {
  // 43235 + 0.1f rounds to 43235.1015625 in single precision.
  State s = at("03-01-2015", "12:00:00", 0, 0.1f);
  EXPECT_EQ(s.clocktime, 1803902425.1015625);
}

TEST(Calendar, DayCountIsTrueFromMarch2000ToFebruary2400) {
  using namespace std::chrono;
  const sys_days epoch = year{1958} / January / 1;
  char date[16];
  for (sys_days d = sys_days(year{2000} / March / 1); d <= sys_days(year{2400} / February / 28); d += days{1}) {
    year_month_day ymd{d};
    std::snprintf(date, sizeof date, "%02u-%02u-%04d", unsigned(ymd.month()), unsigned(ymd.day()), int(ymd.year()));
    State s = at(date, "00:00:00");
    ASSERT_EQ(dayNumber(s, 0), (d - epoch).count()) << date;
  }
}

TEST(Calendar, OtherSeparatorsAndMalformedFieldsReadAsNumbers) {
  EXPECT_EQ(at("03/01/2015", "12.00.00").clocktime, 1803902425.0);
  // A field without a number counts as 0: hour "xx" is midnight.
  EXPECT_EQ(at("03-01-2015", "xx:00:00").clocktime, 1803902425.0 - 43200);
}

TEST(Calendar, ReSynchronisationOfRawInputTakesTheSystemClockAgain) {
  test::TestPlatform t;
  State s;
  s.wavinput = 0;
  s.sr = s.nominalsr = 22050;
  s.overlap = 256;
  s.date = "01-01-2001";
  s.time = "00:00:00";
  computeClockTime(s);
  t.clock.date = "03-01-2015";
  t.clock.timeOfDay = "12:00:00";
  resynchronise(s, t.platform, [](State&, Platform&) {});
  EXPECT_EQ(s.date, "03-01-2015");
  EXPECT_EQ(s.clocktime, 1803902425.0);
  EXPECT_EQ(s.leapseconds, 3);

  // A recording's clock moves on by the stream time instead.
  s.wavinput = 1;
  s.blockend = 12.5;
  resynchronise(s, t.platform, [](State&, Platform&) {});
  EXPECT_EQ(s.clocktime, 1803902425.0 + 12.5);
}

} // namespace velkor
