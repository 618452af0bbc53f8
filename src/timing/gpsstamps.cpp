#include "timing/gpsstamps.h"

#include <cmath>

namespace velkor {

namespace {

constexpr double kSecondsPerWeek = 604800.0; // [s] a GPS week
// GPS time began on 1980-01-06 00:00 UTC, when TAI was 19 s ahead of UTC; it
// has run with TAI since, 19 s behind it, and the internal scale (Loran-C
// time) runs 10 s behind TAI. So the internal time of the start of GPS week 0
// is the days from 1958-01-01 to 1980-01-06 plus 19 s less 10 s. (GPS - UTC
// is 18 s since 2017: the UTC shown needs clockoffset = 2 s, as for any input.)
constexpr double kDaysFrom1958ToGpsEpoch = 8040.0;                                                        // [days]
constexpr double kTaiMinusGps = 19.0;                                                                     // [s]
constexpr double kGpsWeekZero = kDaysFrom1958ToGpsEpoch * kSecondsPerDay + kTaiMinusGps - kTaiMinusLoran; // [s]

constexpr double kHighestRate = 1e9; // [Hz] the highest sr the configuration reader accepts, exclusive

bool fitted(const KiwiStamp& stamp) { return !stamp.blank && stamp.solution != kNoGpsFix; }

// [s] of stamp `b` after stamp `a`, a week turning over between them unwrapped.
double secondsAfter(const KiwiStamp& a, const KiwiStamp& b) {
  double seconds =
      (static_cast<double>(b.gpsseconds) - a.gpsseconds) + (static_cast<double>(b.nanoseconds) - a.nanoseconds) * 1e-9;
  if (seconds < -kSecondsPerWeek / 2) seconds += kSecondsPerWeek;
  if (seconds > kSecondsPerWeek / 2) seconds -= kSecondsPerWeek;
  return seconds;
}

} // namespace

GpsStampFit fitGpsStamps(const std::vector<KiwiStamp>& stamps) {
  GpsStampFit fit;
  const KiwiStamp* first = nullptr;                // the reference of the sums, so that they stay small
  double sumx = 0, sumy = 0, sumxx = 0, sumxy = 0; // [frames], [s], [frames^2], [frames s]
  for (const KiwiStamp& stamp : stamps) {
    if (stamp.blank) continue;
    fit.stamps += 1;
    if (!fitted(stamp)) {
      fit.nofix += 1;
      continue;
    }
    if (first == nullptr) first = &stamp;
    const double x = static_cast<double>(stamp.frame - first->frame);
    const double y = secondsAfter(*first, stamp);
    fit.used += 1;
    sumx += x;
    sumy += y;
    sumxx += x * x;
    sumxy += x * y;
  }
  if (fit.used < 2) return fit;
  const double n = fit.used;
  const double spread = sumxx - sumx * sumx / n; // [frames^2]
  if (!(spread > 0)) return fit;
  const double slope = (sumxy - sumx * sumy / n) / spread; // [s per frame]
  // A rate the settings would refuse as sr is no rate to go by either.
  if (!(slope > 0) || !(1.0 / slope < kHighestRate)) return fit;
  const double intercept = (sumy - slope * sumx) / n; // [s] at the first fitted stamp's frame
  fit.rate = 1.0 / slope;
  fit.firstframe =
      first->gpsseconds + first->nanoseconds * 1e-9 + intercept - slope * static_cast<double>(first->frame);
  double squares = 0; // [s^2]
  for (const KiwiStamp& stamp : stamps) {
    if (!fitted(stamp)) continue;
    const double residual =
        secondsAfter(*first, stamp) - intercept - slope * static_cast<double>(stamp.frame - first->frame);
    squares += residual * residual;
  }
  fit.rms = std::sqrt(squares / n);
  return fit;
}

double gpsInternalTime(const Timing& tim, double weekseconds) {
  const double week = std::nearbyint((tim.clocktime - kGpsWeekZero - weekseconds) / kSecondsPerWeek);
  return kGpsWeekZero + week * kSecondsPerWeek + weekseconds;
}

void startGpsClock(const GpsStampFit& fit, Timing& tim) {
  tim.gpsstamped = fit.usable() ? 1 : 0;
  if (!fit.usable()) return;
  tim.gpsrate = fit.rate;
  tim.gpsfirstframe = gpsInternalTime(tim, fit.firstframe);
  tim.clocktime = tim.gpsfirstframe;
}

double gpsStreamStart(const Acquisition& acq, const Timing& tim) {
  return tim.gpsfirstframe + static_cast<double>(acq.runstartframe) / tim.gpsrate;
}

// Taken at the buffer end, whose stream time the rate search may have moved
// after the synchronisation; without it, this is timeorigin minus the GPS
// time of stream time 0.
void measureLoranMinusGps(const Acquisition& acq, Timing& tim) {
  const double loran = tim.timeorigin + acq.clock.blockend;                                 // [s since 1958]
  const double gps = tim.gpsfirstframe + static_cast<double>(acq.framesread) / tim.gpsrate; // [s since 1958]
  tim.loranminusgps = loran - gps;
}

} // namespace velkor
