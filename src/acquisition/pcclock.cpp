#include "acquisition/pcclock.h"

#include "ground/loran.h"
#include "ground/timetext.h"

#include <cmath>

namespace velkor {

namespace {

constexpr double kPollInterval = 0.05; // [s] between readings while calibrating
// With rawlatency the stamps are meant to hold to a few milliseconds, so the
// tick of the time of day is looked for this often [s].
constexpr double kFinePollInterval = 0.001;
// A raw file is opened on average this long after the capture program wrote
// its last sample [s].
constexpr double kOpenLag = 0.05;

struct ClockReading {
  int32_t second; // whole second of the day the time of day showed [s]
  double offset;  // timer minus that second, less the half second it lags on average [s]
  double timer;   // the timer's reading [s]
};

ClockReading readClock(const Settings& cfg, Acquisition& acq, Clock& clock) {
  const double t = clock.timer();
  const int32_t second = secondOfDay(clock.timeText());
  const double d = t - second - 0.5;
  // Past midnight the time of day drops by a whole day while the timer runs on.
  if (d - acq.timeroffset > kSecondsPerDay / 2) acq.timeroffset += kSecondsPerDay;
  if (std::fabs(d - acq.timeroffset) <= 0.6) {
    // A reading knows the time of day only to its whole second. With
    // rawlatency the calibration at the tick stands: files handed over at
    // the same fraction of every second would pull an average off by up to
    // half a second.
    if (cfg.rawlatencygiven == 0) acq.timeroffset += (d - acq.timeroffset) * cfg.timercalavfac;
    if (acq.clockconfidence < 3) acq.clockconfidence += 1;
  } else if (acq.clockconfidence > 0) {
    // The operating-system clock was set, or the timer jumped: keep the old
    // offset and let the next raw-file change recalibrate when this persists.
    acq.clockconfidence -= 1;
  }
  acq.pcclock = t - acq.timeroffset;
  return {second, d, t};
}

} // namespace

void updateClock(const Settings& cfg, Acquisition& acq, Clock& clock) { readClock(cfg, acq, clock); }

void calibrateClock(const Settings& cfg, Acquisition& acq, Clock& clock) {
  const bool fine = cfg.rawlatencygiven != 0;
  ClockReading reading = readClock(cfg, acq, clock);
  const int32_t first = reading.second;
  double before = reading.timer; // [s] the last reading that still showed the old second
  while (reading.second == first) {
    before = reading.timer;
    reading = readClock(cfg, acq, clock);
    clock.sleep(fine ? kFinePollInterval : kPollInterval);
  }
  acq.clockconfidence = 3;
  if (fine) {
    // The tick fell between the last two readings: take the middle, however
    // late a loaded machine woke up for the second one.
    acq.timeroffset = (before + reading.timer) / 2 - reading.second;
    return;
  }
  // The reading just saw the tick, so it lags by nothing rather than the
  // half second readClock assumes: take that back (0.5 s), less half a
  // polling interval because the tick fell somewhere within the last one.
  // pcclock then reads the new second plus 0.025 s.
  const double lagAtTick = 0.5 - static_cast<double>(0.025f); // [s]
  acq.timeroffset = reading.offset + lagAtTick;
}

void stampOpenTime(const Settings& cfg, Acquisition& acq) {
  acq.opentime = static_cast<float>(acq.pcclock - kOpenLag);
  acq.capturetime = acq.pcclock - cfg.rawlatency / 1000.0;
}

} // namespace velkor
