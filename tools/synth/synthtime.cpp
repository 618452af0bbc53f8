#include "synthtime.h"

#include "ground/timetext.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace velkor::synth {

namespace {

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Days since 1970-01-01 (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  int64_t era = floorDiv(y, 400);
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = floorDiv(z, 146097);
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

} // namespace

int leapSeconds(int year, int month) {
  int n = 0;
  if (year > 2005) ++n;
  if (year > 2008) ++n;
  if (year > 2012 || (year == 2012 && month >= 6)) ++n;
  return n;
}

int64_t daysSince1958(int year, int month, int day) {
  return daysFromCivil(year, month, day) - daysFromCivil(1958, 1, 1);
}

std::optional<CivilTime> parseCivilTime(std::string_view date, std::string_view time) {
  const std::optional<CivilDate> d = parseDateText(date);
  const std::optional<ClockTime> t = parseTimeText(time);
  if (!d || !t) return std::nullopt;
  return CivilTime{d->year, d->month, d->day, t->hours, t->minutes, t->seconds, t->fraction};
}

AbsoluteTime internalTime(const CivilTime& utc) {
  AbsoluteTime t;
  t.seconds = daysSince1958(utc.year, utc.month, utc.day) * 86400 + utc.hour * 3600 + utc.minute * 60 + utc.second +
              22 + leapSeconds(utc.year, utc.month);
  t.fraction = utc.fraction;
  return t;
}

CivilTime utcOf(const AbsoluteTime& t) {
  CivilTime c;
  int64_t base = daysFromCivil(1958, 1, 1);
  int64_t utc = t.seconds - 22;
  civilFromDays(base + floorDiv(utc, 86400), c.year, c.month, c.day);
  utc -= leapSeconds(c.year, c.month);
  civilFromDays(base + floorDiv(utc, 86400), c.year, c.month, c.day);
  int64_t ofDay = floorMod(utc, 86400);
  c.hour = static_cast<int>(ofDay / 3600);
  c.minute = static_cast<int>(ofDay / 60 % 60);
  c.second = static_cast<int>(ofDay % 60);
  c.fraction = t.fraction;
  return c;
}

std::string formatCivil(const CivilTime& t) {
  long micro = std::lround(t.fraction * 1e6);
  int second = t.second;
  if (micro >= 1000000) micro = 999999; // shown truncated rather than rolled over
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06ld", t.year, t.month, t.day, t.hour, t.minute,
                second, micro);
  return text;
}

double phaseInInterval(const AbsoluteTime& t, int32_t gri) {
  // interval = gri / 50000 s; whole seconds modulo it in units of 1/50000 s
  int64_t ticks = floorMod(floorMod(t.seconds, gri) * 50000, gri);
  double interval = gri / 50000.0;
  double x = static_cast<double>(ticks) / 50000.0 + t.fraction;
  while (x >= interval) x -= interval;
  return x;
}

} // namespace velkor::synth
