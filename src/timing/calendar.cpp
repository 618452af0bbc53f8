#include "timing/calendar.h"

#include "timing/timetext.h"

#include <array>
#include <cmath>

namespace velkor {

namespace {

constexpr std::array<int32_t, 12> kMonthLengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}; // [days]

int32_t floorDivide(int32_t a, int32_t b) {
  int32_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

// The day count is exact from March 2000 to February 2400: the century term
// and the missing 400-year rule cancel for 2000. Day count and seconds are
// added, not combined into a calendar date, so a negative second of the day
// (a local time just after midnight east of Greenwich) needs no borrowing.
void computeClockTime(State& s) {
  const int32_t year = lastTextField(s.date, 4);
  const int32_t month = textField(s.date, 0, 2);
  const int32_t day = textField(s.date, 3, 2);

  int32_t days = 365 * year - 714659 + floorDivide(year - 2001, 4) - floorDivide(year - 2001, 100); // [days]
  for (int32_t m = 0; m < month - 1 && m < 12; ++m) days += kMonthLengths[static_cast<std::size_t>(m)];

  // The count ends with the leap second of June 2012; later ones have to be
  // given as clockoffset.
  s.leapseconds = 0;
  if (year > 2005) s.leapseconds += 1;
  if (year > 2008) s.leapseconds += 1;
  if (year + month / 12.0 >= 2012.5) s.leapseconds += 1;

  if (month > 2 && year % 4 == 0 && year % 100 != 0) days += 1;
  days = days + day - 1;

  const int32_t hour = textField(s.time, 0, 2);
  const int32_t minute = textField(s.time, 3, 2);
  const int32_t second = lastTextField(s.time, 2);
  // 64 bits only so that an absurd utcoffset cannot overflow.
  const int64_t wholeSeconds = (int64_t{hour} - s.utcoffset) * 3600 + minute * 60 + second + s.leapseconds + 32; // [s]
  const float seconds = static_cast<float>(wholeSeconds) + s.clockoffset; // [s] into the day

  s.clocktime = days * 86400.0 + seconds - 10.0;
}

} // namespace velkor
