#include "acquisition/pcclock.h"

#include "timing/timetext.h"

#include <cmath>

namespace velkor {

namespace {

constexpr double kPollInterval = 0.05; // [s] between readings while calibrating

struct ClockReading {
  int32_t second; // whole second of the day the time of day showed [s]
  double offset;  // timer minus that second, less the half second it lags on average [s]
};

ClockReading readClock(State& s, Platform& platform) {
  const double t = platform.clock.timer();
  const int32_t second = secondOfDay(platform.clock.timeText());
  const double d = t - second - 0.5;
  // Past midnight the time of day drops by a whole day while the timer runs on.
  if (d - s.timeroffset > 43200.0) s.timeroffset += 86400.0;
  if (std::fabs(d - s.timeroffset) <= 0.6) {
    s.timeroffset += (d - s.timeroffset) * s.timercalavfac;
    if (s.clockconfidence < 3) s.clockconfidence += 1;
  } else if (s.clockconfidence > 0) {
    // The operating-system clock was set, or the timer jumped: keep the old
    // offset and let the next raw-file change recalibrate when this persists.
    s.clockconfidence -= 1;
  }
  s.pcclock = t - s.timeroffset;
  return {second, d};
}

} // namespace

void updateClock(State& s, Platform& platform) { readClock(s, platform); }

void calibrateClock(State& s, Platform& platform) {
  ClockReading reading = readClock(s, platform);
  const int32_t first = reading.second;
  while (reading.second == first) {
    reading = readClock(s, platform);
    platform.clock.sleep(kPollInterval);
  }
  // The tick fell somewhere in the last polling interval: place it half an
  // interval back, so that pcclock reads the new second plus 0.025 s.
  const double halfPoll = 0.5 - static_cast<double>(0.025f);
  s.timeroffset = reading.offset + halfPoll;
  s.clockconfidence = 3;
}

void computeStreamOffset(State& s) {
  // Time of day of the buffer end on the stream's scale, counted from the
  // start of the day in which stream time 0 lies.
  const float streamtime = static_cast<float>((s.timeorigin + s.blockend) -
                                              std::floor(s.timeorigin / 86400.0) * 86400.0); // [s]
  // The end of the open file was captured at opentime; the buffer end lies the
  // unread rest of the file earlier.
  s.pcbuffertime = static_cast<float>(s.opentime - (s.inputremaining / s.sr) / (s.bytespersample * s.channels) -
                                      s.utcoffset * 3600.0 + s.leapseconds + s.clockoffset + 22.0);
  if (s.pcbuffertime < 0) s.pcbuffertime = static_cast<float>(s.pcbuffertime + 86400.0);
  const float diff = s.pcbuffertime - streamtime; // [s]
  const double days = std::nearbyint(diff / 86400.0); // [days]
  s.pcoffset = static_cast<float>(diff - days * 86400.0);
}

} // namespace velkor
