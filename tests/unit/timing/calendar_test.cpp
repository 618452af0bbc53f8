#include "ground/timetext.h"
#include "synthtime.h"
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

// The forms a date and a time may take, read alike by velkor and
// velkor-synth: the same value means the same instant on the internal scale
// in both, a fraction of the second adds to it exactly, and every other form
// is refused by both.
TEST(Calendar, DateAndTimeFormsReadAlikeByVelkorAndTheSynthOthersRefused) {
  const struct {
    const char* date;
    const char* time;
    double clocktime; // [s since 1958]
  } accepted[] = {
      {"03-01-2015", "12:00:00", 1803902425},           {"2015-03-01", "12:00:00", 1803902425},
      {"03/01/2015", "12:00:00", 1803902425},           {"2015-03-01", "12:00:00.35", 1803902425.35},
      {" 12-07-2025 ", "17:04:03.374", 2143818268.374}, {"2012-06-30", "23:59:60", 1719792025},
      {"2024-02-29", "00:00:00", 2087856025},
  };
  for (const auto& c : accepted) {
    EXPECT_DOUBLE_EQ(at(c.date, c.time).timing.clocktime, c.clocktime) << c.date << " " << c.time;
    const auto civil = synth::parseCivilTime(c.date, c.time);
    ASSERT_TRUE(civil.has_value()) << c.date << " " << c.time;
    EXPECT_DOUBLE_EQ(synth::internalTime(*civil).value(), c.clocktime) << c.date << " " << c.time;
  }
  for (const char* date : {"2025-13-07", "13-07-2025", "7-12-2025", "20251207", "02-29-2025", "2025-04-31", "12-07-25",
                           "12-07-1899", "", "12-07-2025x"}) {
    EXPECT_FALSE(parseDateText(date).has_value()) << date;
    EXPECT_FALSE(synth::parseCivilTime(date, "00:00:00").has_value()) << date;
  }
  for (const char* time : {"17:04", "170403", "7:04:03", "24:00:00", "17:60:00", "17:04:61", "17:04:03.", "17:04:03,5",
                           "17:04:03.5s", "17:04:03.99999999999999999", ""}) {
    EXPECT_FALSE(parseTimeText(time).has_value()) << time;
    EXPECT_FALSE(synth::parseCivilTime("2015-03-01", time).has_value()) << time;
  }
}

} // namespace velkor
