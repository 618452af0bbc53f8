#include "timing/timescale.h"

#include "ground/loran.h"
#include "ground/numbers.h"

#include <cmath>
#include <cstdio>

namespace velkor {

void computeStreamOffset(const Settings& cfg, const Acquisition& acq, Timing& tim) {
  // Time of day of the buffer end on the stream's scale, counted from the
  // start of the day in which stream time 0 lies.
  const float streamtime = static_cast<float>((tim.timeorigin + acq.clock.blockend) -
                                              std::floor(tim.timeorigin / kSecondsPerDay) * kSecondsPerDay); // [s]
  // The end of the open file was captured at opentime; the buffer end lies the
  // unread rest of the file earlier.
  const double unread = (acq.inputremaining / acq.clock.sr) / (cfg.bytespersample * cfg.channels);           // [s]
  const double toStreamScale = -cfg.utcoffset * 3600.0 + tim.leapseconds + cfg.clockoffset + kLoranMinusUtc; // [s]
  if (cfg.rawlatencygiven != 0) {
    // The same from the capture time, kept in double: a single-precision time
    // of day is only good to 8 ms.
    tim.pcbufferend = acq.capturetime - unread + toStreamScale;
    if (tim.pcbufferend < 0) tim.pcbufferend += kSecondsPerDay;
    tim.pcbuffertime = static_cast<float>(tim.pcbufferend);
  } else {
    tim.pcbuffertime = static_cast<float>(acq.opentime - unread - cfg.utcoffset * 3600.0 + tim.leapseconds +
                                          cfg.clockoffset + kLoranMinusUtc);
    if (tim.pcbuffertime < 0) tim.pcbuffertime = static_cast<float>(tim.pcbuffertime + kSecondsPerDay);
  }
  const float diff = tim.pcbuffertime - streamtime;          // [s]
  const double days = std::nearbyint(diff / kSecondsPerDay); // [days]
  tim.pcoffset = static_cast<float>(diff - days * kSecondsPerDay);
}

StreamTimeOfDay streamTimeOfDay(const Settings& cfg, const Acquisition& acq, const Timing& tim) {
  double t = acq.clock.blockend + tim.timeorigin - kLoranMinusUtc - tim.leapseconds - cfg.clockoffset; // UTC [s]
  double h = t - std::floor(t / kSecondsPerDay) * kSecondsPerDay;                                      // [s] of the day
  auto c = roundToInteger<int32_t>(h * 100);                                                           // [0.01 s]
  StreamTimeOfDay tod;
  tod.hours = c / 360000;
  tod.minutes = (c - tod.hours * 360000) / 6000;
  tod.seconds = (c - tod.hours * 360000 - tod.minutes * 6000) / 100; // of the [0.01 s] within the minute
  return tod;
}

std::string universalTime(const Settings& cfg, const Timing& tim, double internaltime) {
  double u = (internaltime - kLoranMinusUtc - tim.leapseconds - cfg.clockoffset) / kSecondsPerDay;
  double hours = (u - std::floor(u)) * 24.0;
  double minutes = (hours - std::floor(hours)) * 60.0;
  float seconds = static_cast<float>((minutes - std::floor(minutes)) * 60.0);
  long milliseconds = roundToInteger<long>(seconds * 1000.0);
  auto hour = roundToInteger<int>(std::floor(hours));
  auto minute = roundToInteger<int>(std::floor(minutes));
  // Seconds that round up to a whole minute carry into minute, hour and day, so no ":60.000" is shown.
  if (milliseconds >= 60000) {
    milliseconds -= 60000;
    if (++minute == 60) {
      minute = 0;
      if (++hour == 24) hour = 0;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02ld.%03ld", hour, minute, milliseconds / 1000, milliseconds % 1000);
  return text;
}

} // namespace velkor
