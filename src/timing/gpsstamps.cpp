#include "timing/gpsstamps.h"

#include <algorithm>
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
// A stamp this far off the line through the others is a glitch of the
// KiwiSDR's GPS, not its sample clock: real stamps scatter by well under a
// microsecond, and a sample clock 100 ppm off drifts 1 ms only in 10 s
// between neighbours, which the line follows anyway [s].
constexpr double kGlitch = 1e-3;

bool fitted(const KiwiStamp& stamp) { return !stamp.blank && stamp.solution != kNoGpsFix; }

// [s] of stamp `b` after stamp `a`, a week turning over between them unwrapped.
double secondsAfter(const KiwiStamp& a, const KiwiStamp& b) {
  double seconds =
      (static_cast<double>(b.gpsseconds) - a.gpsseconds) + (static_cast<double>(b.nanoseconds) - a.nanoseconds) * 1e-9;
  if (seconds < -kSecondsPerWeek / 2) seconds += kSecondsPerWeek;
  if (seconds > kSecondsPerWeek / 2) seconds -= kSecondsPerWeek;
  return seconds;
}

// One stamp with a fix against the first one.
struct StampPoint {
  double x = 0; // [frames] after the first stamp's frame
  double y = 0; // [s] after the first stamp's time
};

struct Line {
  double offset = 0; // [s] at x = 0
  double slope = 0;  // [s per frame]; 0 when the points do not fix one
  double at(double x) const { return offset + slope * x; }
};

double median(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

Line leastSquares(const std::vector<StampPoint>& points) {
  double sumx = 0, sumy = 0, sumxx = 0, sumxy = 0; // [frames], [s], [frames^2], [frames s]
  for (const StampPoint& p : points) {
    sumx += p.x;
    sumy += p.y;
    sumxx += p.x * p.x;
    sumxy += p.x * p.y;
  }
  const double n = static_cast<double>(points.size());
  const double spread = sumxx - sumx * sumx / n; // [frames^2]
  if (!(spread > 0)) return {};
  Line line;
  line.slope = (sumxy - sumx * sumy / n) / spread;
  line.offset = (sumy - line.slope * sumx) / n;
  return line;
}

// The points without those more than kGlitch off the line through the rest:
// the median slope between neighbours and the median offset along it, which
// a few wild stamps cannot pull, unlike the least-squares line.
std::vector<StampPoint> withoutGlitches(const std::vector<StampPoint>& points) {
  std::vector<double> slopes; // [s per frame]
  for (std::size_t i = 1; i < points.size(); ++i)
    if (points[i].x != points[i - 1].x)
      slopes.push_back((points[i].y - points[i - 1].y) / (points[i].x - points[i - 1].x));
  if (slopes.empty()) return points;
  Line line;
  line.slope = median(slopes);
  std::vector<double> offsets; // [s]
  for (const StampPoint& p : points) offsets.push_back(p.y - line.slope * p.x);
  line.offset = median(offsets);
  std::vector<StampPoint> kept;
  for (const StampPoint& p : points)
    if (std::fabs(p.y - line.at(p.x)) <= kGlitch) kept.push_back(p);
  return kept;
}

} // namespace

GpsStampFit fitGpsStamps(const std::vector<KiwiStamp>& stamps) {
  GpsStampFit fit;
  const KiwiStamp* first = nullptr; // the reference of the points, so that they stay small
  std::vector<StampPoint> points;
  for (const KiwiStamp& stamp : stamps) {
    if (stamp.blank) continue;
    fit.stamps += 1;
    if (!fitted(stamp)) {
      fit.nofix += 1;
      continue;
    }
    if (first == nullptr) first = &stamp;
    points.push_back({static_cast<double>(stamp.frame - first->frame), secondsAfter(*first, stamp)});
  }
  const std::vector<StampPoint> kept = withoutGlitches(points);
  fit.offline = static_cast<int32_t>(points.size() - kept.size());
  fit.used = static_cast<int32_t>(kept.size());
  if (fit.used < 2) return fit;
  const Line line = leastSquares(kept);
  // A rate the settings would refuse as sr is no rate to go by either.
  if (!(line.slope > 0) || !(1.0 / line.slope < kHighestRate)) return fit;
  fit.rate = 1.0 / line.slope;
  fit.firstframe =
      first->gpsseconds + first->nanoseconds * 1e-9 + line.offset - line.slope * static_cast<double>(first->frame);
  double squares = 0; // [s^2]
  for (const StampPoint& point : kept) squares += std::pow(point.y - line.at(point.x), 2);
  fit.rms = std::sqrt(squares / fit.used);
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
