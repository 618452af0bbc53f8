#include "timing/calendar.h"

#include "ground/loran.h"
#include "ground/timetext.h"

#include <array>
#include <cmath>
#include <optional>

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
void computeClockTime(const Settings& cfg, Timing& tim) {
  // A date in one of the accepted forms is read as such (the same fields as
  // below for MM-DD-YYYY); any other text field by field, as it always was.
  const std::optional<CivilDate> given = parseDateText(tim.date);
  const int32_t year = given ? given->year : lastTextField(tim.date, 4);
  const int32_t month = given ? given->month : textField(tim.date, 0, 2);
  const int32_t day = given ? given->day : textField(tim.date, 3, 2);

  int32_t days = 365 * year - 714659 + floorDivide(year - 2001, 4) - floorDivide(year - 2001, 100); // [days]
  for (int32_t m = 0; m < month - 1 && m < 12; ++m) days += kMonthLengths[static_cast<std::size_t>(m)];

  // The count ends with the leap second of June 2012; later ones have to be
  // given as clockoffset.
  tim.leapseconds = 0;
  if (year > 2005) tim.leapseconds += 1;
  if (year > 2008) tim.leapseconds += 1;
  if (year + month / 12.0 >= 2012.5) tim.leapseconds += 1;

  if (month > 2 && year % 4 == 0 && year % 100 != 0) days += 1;
  days = days + day - 1;

  const std::optional<ClockTime> clock = parseTimeText(tim.time);
  const int32_t hour = clock ? clock->hours : textField(tim.time, 0, 2);
  const int32_t minute = clock ? clock->minutes : textField(tim.time, 3, 2);
  const int32_t second = clock ? clock->seconds : lastTextField(tim.time, 2);
  const double fraction = clock ? clock->fraction : 0.0; // [s]
  // 64 bits only so that an absurd utcoffset cannot overflow.
  const int64_t wholeSeconds = (int64_t{hour} - cfg.utcoffset) * 3600 + minute * 60 + second + tim.leapseconds +
                               kTaiMinusUtcBefore2006;                      // [s] on TAI
  const float seconds = static_cast<float>(wholeSeconds) + cfg.clockoffset; // [s] into the day

  // The fraction is added last, in double precision: a time without one
  // (fraction 0) gives exactly the clocktime it always gave.
  tim.clocktime = days * kSecondsPerDay + seconds - kTaiMinusLoran + fraction; // Loran-C time, 10 s behind TAI
}

} // namespace velkor
