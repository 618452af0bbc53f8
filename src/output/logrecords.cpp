#include "output/logrecords.h"

#include "core/errors.h"
#include "core/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace velkor {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int64_t kDaysFrom1958To1970 = 4383; // [days] the internal scale starts on 1958-01-01
constexpr double kEdgeOnTime = 1.0;           // [points] the loop holds the edge this far before pulseoffset

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void civilDate(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// Internal time of the end of the samples read so far. Before any
// synchronisation has placed the stream, the clock's own time is used.
double streamInternalTime(const State& s) {
  const bool placed = s.syncruns > 0 || s.timeorigin != 0;
  return s.blockend + (placed ? s.timeorigin : s.clocktime);
}

LogRecord recordAt(const State& s, const char* kind) {
  LogRecord record;
  record.kind = kind;
  record.utc = isoUniversalTime(s, streamInternalTime(s));
  record.streamtime = s.blockend;
  return record;
}

void writeRecord(State& s, const LogRecord& record) {
  if (!s.measurementlog.write(record)) throw FatalError(s.log, fileErrorText(s.measurementlog.error()));
}

bool locked(const State& s) { return s.lockcount >= 4; }

void logLockChange(State& s, bool nowLocked) {
  if (nowLocked == (s.loglocked != 0)) return;
  s.loglocked = nowLocked ? 1 : 0;
  LogRecord record = recordAt(s, "lock");
  record.result = nowLocked ? "gained" : "lost";
  writeRecord(s, record);
}

double median(std::vector<double> values) {
  if (values.empty()) return kNoValue;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return 0.5 * (lower + upper);
}

} // namespace

std::string isoUniversalTime(const State& s, double internaltime) {
  const double utc = internaltime - 22.0 - s.leapseconds - s.clockoffset; // [s since 1958]
  auto milliseconds = static_cast<int64_t>(std::llround(utc * 1000.0));
  int64_t days = milliseconds >= 0 ? milliseconds / 86400000 : -((-milliseconds + 86399999) / 86400000);
  int64_t ofDay = milliseconds - days * 86400000; // [ms] into the day
  int64_t year = 0;
  int month = 0, day = 0;
  civilDate(days - kDaysFrom1958To1970, year, month, day);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year), month,
                day, static_cast<long long>(ofDay / 3600000), static_cast<long long>(ofDay / 60000 % 60),
                static_cast<long long>(ofDay / 1000 % 60), static_cast<long long>(ofDay % 1000));
  return text;
}

// The same edge search as the reference station's (peak near pulseoffset,
// first point at edgelevel of it), applied to any station's mean pulse.
StationMeasurement measureStation(const State& s, int32_t station) {
  StationMeasurement m;
  const auto st = static_cast<std::size_t>(station);
  const int32_t n = s.pulsesintegrated[st];
  const int32_t points = s.displaysamples;
  if (n == 0 || points < 2) return m;
  const std::size_t base = st * static_cast<std::size_t>(points);
  std::vector<double> envelope(static_cast<std::size_t>(points)); // [sample units] mean per pulse
  for (int32_t i = 0; i < points; ++i) {
    const double re = static_cast<double>(s.shortsumre[base + i]) / n;
    const double im = static_cast<double>(s.shortsumim[base + i]) / n;
    envelope[static_cast<std::size_t>(i)] = std::sqrt(re * re + im * im);
  }
  const int32_t lo = std::max(s.pulseoffset - 4, 0);
  const int32_t hi = std::min(s.pulseoffset + 4, points - 1);
  int32_t peak = std::min(s.pulseoffset, points - 1);
  double peakValue = 0;
  for (int32_t i = lo; i <= hi; ++i)
    if (envelope[static_cast<std::size_t>(i)] > peakValue) peakValue = envelope[static_cast<std::size_t>(i)], peak = i;

  const double threshold = s.edgelevelabs > 0 ? s.edgelevelabs : s.edgelevel * peakValue;
  std::vector<double> scan(envelope);
  std::fill(scan.begin(), scan.begin() + lo, 0.0);
  scan[0] = 0;
  int32_t k = 1;
  while (scan[static_cast<std::size_t>(k)] < threshold && k < peak) k += 1;
  k -= 1;
  const double below = scan[static_cast<std::size_t>(k)], above = scan[static_cast<std::size_t>(k) + 1];
  double fraction = above > below ? (threshold - below) / (above - below) : 0.5;
  if (fraction < 0 || fraction > 1) fraction = 0.5;
  const double edge = k + fraction - s.roundingresidue[st] / n; // [points]

  const double re = ((1 - fraction) * s.shortsumre[base + k] + fraction * s.shortsumre[base + k + 1]) / n;
  const double im = ((1 - fraction) * s.shortsumim[base + k] + fraction * s.shortsumim[base + k + 1]) / n;
  double degrees = std::atan2(im, re) * 180.0 / std::numbers::pi;
  if (degrees < 0) degrees += 360.0;

  m.amplitude = peakValue;
  m.phase = degrees;
  m.position = (edge - (s.pulseoffset - kEdgeOnTime)) / s.sr * 1e6;
  const double noise = median(envelope);
  if (noise > 0 && peakValue > 0) m.snr = 20.0 * std::log10(peakValue / noise);
  return m;
}

void openMeasurementLog(State& s) {
  if (s.log.empty()) return;
  std::vector<std::string> keys;
  for (int32_t i = 0; i < s.displayedstations; ++i)
    keys.push_back(std::to_string(s.stationgri[static_cast<std::size_t>(i)]) + s.stationletter[static_cast<std::size_t>(i)]);
  if (!s.measurementlog.open(s.log, keys)) throw FatalError(s.log, fileErrorText(s.measurementlog.error()));
}

void logStatus(State& s) {
  if (!s.measurementlog.isOpen()) return;
  logLockChange(s, locked(s));
  LogRecord record = recordAt(s, "status");
  record.sr = s.sr;
  record.srppm = (s.sr - s.nominalsr) / s.nominalsr * 1e6;
  record.relfreq = s.relfreq;
  record.lotime = s.lotime;
  record.edge = s.edgeposition;
  record.max = s.edgemax;
  if (!s.wavinput) record.pcoffset = s.pcoffset;
  record.locked = locked(s) ? 1 : 0;
  for (int32_t i = 0; i < s.displayedstations; ++i) record.stations.push_back(measureStation(s, i));
  writeRecord(s, record);
}

void logSynchronisation(State& s) {
  if (!s.measurementlog.isOpen() || s.syncruns == s.syncrunslogged) return;
  s.syncrunslogged = s.syncruns;
  LogRecord record = recordAt(s, "sync");
  record.result = s.syncmatch ? "match" : "guess";
  record.offset = s.syncoffset;
  record.rmserror = s.syncerror;
  writeRecord(s, record);
}

void logResynchronisation(State& s) {
  if (!s.measurementlog.isOpen()) return;
  const bool weak = s.edgemax < s.resynclimit;
  const bool clockAstray = !s.wavinput && s.clockerrorlimit > 0 && std::fabs(s.pcoffset) > s.clockerrorlimit;
  LogRecord record = recordAt(s, "resync");
  record.reason = weak && clockAstray ? "weak_edge+pc_clock" : clockAstray ? "pc_clock" : "weak_edge";
  writeRecord(s, record);
  logLockChange(s, false);
}

} // namespace velkor
