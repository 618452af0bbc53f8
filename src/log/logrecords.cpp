#include "log/logrecords.h"

#include "ground/errors.h"
#include "ground/loran.h"
#include "ground/numbers.h"
#include "platform/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace velkor {

namespace {

constexpr int64_t kDaysFrom1958To1970 = 4383; // [days] the internal scale starts on 1958-01-01
constexpr int64_t kMillisecondsPerDay = 86400000;
constexpr double kEdgeOnTime = 1.0; // [points] the loop holds the edge this far before pulseoffset
constexpr int32_t kPeakSearch = 4;  // [points] each side of pulseoffset where the peak is looked for

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
double streamInternalTime(const Acquisition& acq, const Timing& tim, const Log& log) {
  const bool placed = log.synchronised != 0 || tim.timeorigin != 0;
  return acq.clock.blockend + (placed ? tim.timeorigin : tim.clocktime);
}

LogRecord recordAt(const Settings& cfg, const Acquisition& acq, const Timing& tim, const Log& log, const char* kind) {
  LogRecord record;
  record.kind = kind;
  record.utc = isoUniversalTime(cfg, tim, streamInternalTime(acq, tim, log));
  record.streamtime = acq.clock.blockend;
  return record;
}

void writeRecord(const Settings& cfg, Log& log, const LogRecord& record) {
  if (!log.file.write(record)) throw FatalError(cfg.log, fileErrorText(log.file.error()));
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

std::string isoUniversalTime(const Settings& cfg, const Timing& tim, double internaltime) {
  const double utc = internaltime - kLoranMinusUtc - tim.leapseconds - cfg.clockoffset; // [s since 1958]
  // A time beyond the 64-bit range (a clock gone astray) reads as the 1958 origin.
  const double exact = utc * 1000.0; // [ms]
  auto milliseconds = fitsInteger<int64_t>(exact) ? static_cast<int64_t>(std::llround(exact)) : int64_t{0};
  int64_t days = milliseconds >= 0 ? milliseconds / kMillisecondsPerDay
                                   : -((-milliseconds + kMillisecondsPerDay - 1) / kMillisecondsPerDay);
  int64_t ofDay = milliseconds - days * kMillisecondsPerDay; // [ms] into the day
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
StationMeasurement measureStation(const Settings& cfg, const Processing& proc, int32_t station) {
  StationMeasurement m;
  const auto st = static_cast<std::size_t>(station);
  const int32_t n = proc.pulsesintegrated[st];
  const int32_t points = cfg.displaysamples;
  if (n == 0 || points < 2) return m;
  const std::size_t base = st * static_cast<std::size_t>(points);
  std::vector<double> envelope(static_cast<std::size_t>(points)); // [sample units] mean per pulse
  for (int32_t i = 0; i < points; ++i) {
    const double re = static_cast<double>(proc.shortsumre[base + i]) / n;
    const double im = static_cast<double>(proc.shortsumim[base + i]) / n;
    envelope[static_cast<std::size_t>(i)] = std::sqrt(re * re + im * im);
  }
  const int32_t lo = std::max(cfg.pulseoffset - kPeakSearch, 0);
  const int32_t hi = std::min(cfg.pulseoffset + kPeakSearch, points - 1);
  int32_t peak = std::min(cfg.pulseoffset, points - 1);
  double peakValue = 0;
  for (int32_t i = lo; i <= hi; ++i)
    if (envelope[static_cast<std::size_t>(i)] > peakValue) peakValue = envelope[static_cast<std::size_t>(i)], peak = i;

  const double threshold = cfg.edgelevelabs > 0 ? cfg.edgelevelabs : cfg.edgelevel * peakValue;
  std::vector<double> scan(envelope);
  std::fill(scan.begin(), scan.begin() + lo, 0.0);
  scan[0] = 0;
  int32_t k = 1;
  while (scan[static_cast<std::size_t>(k)] < threshold && k < peak) k += 1;
  k -= 1;
  const double below = scan[static_cast<std::size_t>(k)], above = scan[static_cast<std::size_t>(k) + 1];
  double fraction = above > below ? (threshold - below) / (above - below) : 0.5;
  if (fraction < 0 || fraction > 1) fraction = 0.5;
  const double edge = k + fraction - proc.roundingresidue[st] / n; // [points]

  const double re = ((1 - fraction) * proc.shortsumre[base + k] + fraction * proc.shortsumre[base + k + 1]) / n;
  const double im = ((1 - fraction) * proc.shortsumim[base + k] + fraction * proc.shortsumim[base + k + 1]) / n;
  double degrees = std::atan2(im, re) * 180.0 / std::numbers::pi;
  if (degrees < 0) degrees += 360.0;

  m.amplitude = peakValue;
  m.phase = degrees;
  m.position = (edge - (cfg.pulseoffset - kEdgeOnTime)) / cfg.sr * 1e6;
  const double noise = median(envelope);
  if (noise > 0 && peakValue > 0) m.snr = 20.0 * std::log10(peakValue / noise);
  return m;
}

void openMeasurementLog(const Settings& cfg, const Stations& stn, Log& log) {
  if (cfg.log.empty()) return;
  std::vector<std::string> keys;
  for (int32_t i = 0; i < stn.displayedstations; ++i)
    keys.push_back(std::to_string(stn.stationgri[static_cast<std::size_t>(i)]) +
                   stn.stationletter[static_cast<std::size_t>(i)]);
  if (!log.file.open(cfg.log, keys)) throw FatalError(cfg.log, fileErrorText(log.file.error()));
}

void logLockState(const Settings& cfg, const Acquisition& acq, const Timing& tim, bool locked, Log& log) {
  if (!log.file.isOpen() || locked == (log.locked != 0)) return;
  log.locked = locked ? 1 : 0;
  LogRecord record = recordAt(cfg, acq, tim, log, "lock");
  record.result = locked ? "gained" : "lost";
  writeRecord(cfg, log, record);
}

void logStatus(const Settings& cfg, const Stations& stn, const Acquisition& acq, const Timing& tim,
               const Processing& proc, Log& log) {
  if (!log.file.isOpen()) return;
  const bool locked = isLocked(proc);
  logLockState(cfg, acq, tim, locked, log);
  LogRecord record = recordAt(cfg, acq, tim, log, "status");
  record.sr = acq.clock.sr;
  record.srppm = (acq.clock.sr - cfg.sr) / cfg.sr * 1e6;
  record.relfreq = proc.relfreq;
  record.lotime = proc.lotime;
  record.edge = proc.edgeposition;
  record.max = proc.edgemax;
  if (!cfg.wavinput) record.pcoffset = tim.pcoffset;
  record.locked = locked ? 1 : 0;
  for (int32_t i = 0; i < stn.displayedstations; ++i) record.stations.push_back(measureStation(cfg, proc, i));
  writeRecord(cfg, log, record);
}

void logSynchronisation(const Settings& cfg, const Acquisition& acq, const Timing& tim, const SyncReport& report,
                        Log& log) {
  log.synchronised = 1;
  if (!log.file.isOpen()) return;
  LogRecord record = recordAt(cfg, acq, tim, log, "sync");
  record.result = report.ambiguity.match ? "match" : "guess";
  record.offset = tim.syncoffset;
  record.rmserror = static_cast<float>(std::sqrt(report.ambiguity.besterror));
  record.ambiguity = report.ambiguity.remaining;
  if (tim.gpsstamped != 0) record.loranminusgps = tim.loranminusgps;
  writeRecord(cfg, log, record);
}

std::string resyncReason(const ResyncCauses& causes) {
  if (causes.clockLost) return "sample_clock";
  if (causes.weakEdge && causes.pcClockAstray) return "weak_edge+pc_clock";
  return causes.pcClockAstray ? "pc_clock" : "weak_edge";
}

void logResynchronisation(const Settings& cfg, const Acquisition& acq, const Timing& tim, const std::string& reason,
                          Log& log) {
  if (!log.file.isOpen()) return;
  LogRecord record = recordAt(cfg, acq, tim, log, "resync");
  record.reason = reason;
  writeRecord(cfg, log, record);
  logLockState(cfg, acq, tim, false, log);
}

} // namespace velkor
