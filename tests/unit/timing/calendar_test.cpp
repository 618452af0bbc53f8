#include "timing/calendar.h"
#include "top/record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace velkor {

namespace {

Record at(const std::string& date, const std::string& time, int32_t utcoffset = 0) {
  Record s;
  s.timing.date = date;
  s.timing.time = time;
  s.settings.utcoffset = utcoffset;
  computeClockTime(s.settings, s.timing);
  return s;
}

} // namespace

TEST(Calendar, WorkedDates) {
  const struct {
    const char* date;
    const char* time;
    int32_t utcoffset;
    double clocktime;
    int32_t leap;
  } cases[] = {
      {"01-01-2001", "00:00:00", 0, 15706.0 * 86400 + 22, 0}, {"03-01-2015", "12:00:00", 0, 1803902425, 3},
      {"05-31-2012", "23:59:59", 0, 1717200023, 2},           {"06-01-2012", "00:00:00", 0, 1717200025, 3},
      {"03-01-2000", "00:00:00", 0, 15400.0 * 86400 + 22, 0}, // 2000 is a leap year
      {"03-01-2015", "01:00:00", 2, 1803855625, 3},           // 23:00 UTC the day before
  };
  for (const auto& c : cases) {
    Record s = at(c.date, c.time, c.utcoffset);
    EXPECT_EQ(s.timing.clocktime, c.clocktime) << c.date << " " << c.time;
    EXPECT_EQ(s.timing.leapseconds, c.leap) << c.date << " " << c.time;
  }
}

TEST(Calendar, DayCountIsTrueFromMarch2000ToFebruary2400) {
  using namespace std::chrono;
  const sys_days epoch = year{1958} / January / 1;
  char date[16];
  for (sys_days d = sys_days(year{2000} / March / 1); d <= sys_days(year{2400} / February / 28); d += days{1}) {
    const year_month_day ymd{d};
    std::snprintf(date, sizeof date, "%02u-%02u-%04d", unsigned(ymd.month()), unsigned(ymd.day()), int(ymd.year()));
    const Record s = at(date, "00:00:00");
    ASSERT_EQ(s.timing.clocktime, (d - epoch).count() * 86400.0 + 22 + s.timing.leapseconds) << date;
  }
}

} // namespace velkor
