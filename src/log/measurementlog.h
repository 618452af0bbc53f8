// The measurement log: a CSV file that velkor appends to while it runs, for
// looking back at days of reception (velkor-plot draws it).
//
// Format: text lines ending in "\n", fields separated by ",", never quoted
// (no field holds a comma, a quote or a line end). Every run begins with a
// header line naming the columns; every record line has exactly the
// header's number of fields, the ones that do not apply to its kind empty.
// The first field is the record kind:
//   status  one per short integration: the tracking values of the status
//           line and four values per displayed station
//   sync    one per TAI synchronisation: result, offset, error
//   resync  one per re-synchronisation: the reason
//   lock    lock gained or lost
// Columns, in this order (units in docs/output.md):
//   kind, utc (ISO 8601, "2015-03-01T12:00:05.000Z"), stream_time [s],
//   sr [Hz], sr_ppm, lo_relfreq, lo_time_us [us], edge [points], max,
//   pc_offset [s], locked (0 or 1), result, offset [s], rms_error,
//   ambiguity [s], loran_minus_gps [s], reason, then per
//   displayed station GGGGL_amplitude, GGGGL_phase [deg],
//   GGGGL_position_us [us], GGGGL_snr_db [dB] (GGGG the GRI, L the letter).
// Each record is written with one write to the file, so a killed run leaves
// at most one partial last line; opening the log again cuts such a line off
// and appends after the last complete one.
#pragma once

#include "platform/files.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace velkor {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN(); // an empty field

// The four values of one displayed station; kNoValue where not measured.
struct StationMeasurement {
  double amplitude = kNoValue; // [sample units] mean pulse peak
  double phase = kNoValue;     // [deg] carrier phase at the edge, 0 ... 360
  double position = kNoValue;  // [us] edge from where the pulse is expected
  double snr = kNoValue;       // [dB] peak over the median of the strip
};

// One line of the log; fields that stay kNoValue or empty are written empty.
struct LogRecord {
  std::string kind;                         // status, sync, resync, lock
  std::string utc;                          // ISO 8601 date and time, UTC
  double streamtime = kNoValue;             // [s]
  double sr = kNoValue;                     // [Hz]
  double srppm = kNoValue;                  // [ppm] of the nominal rate
  double relfreq = kNoValue;                // [1] oscillator frequency error
  double lotime = kNoValue;                 // [us] accumulated oscillator time
  double edge = kNoValue;                   // [points]
  double max = kNoValue;                    // [sample units]
  double pcoffset = kNoValue;               // [s]
  int locked = -1;                          // 0, 1; -1 empty
  std::string result;                       // sync: match, guess; lock: gained, lost
  double offset = kNoValue;                 // [s] synchronisation offset
  double rmserror = kNoValue;               // [1] weighted rms residual
  double ambiguity = kNoValue;              // [s] the time is known only modulo this; 0 decided
  double loranminusgps = kNoValue;          // [s]
  std::string reason;                       // resync: weak_edge, pc_clock, weak_edge+pc_clock, sample_clock
  std::vector<StationMeasurement> stations; // status: one per displayed station
};

class MeasurementLog {
public:
  // Opens (creates) `path`, cuts a partial last line and writes the header
  // for `stationKeys` (e.g. "7499X"). False with error() set on failure.
  bool open(const std::string& path, const std::vector<std::string>& stationKeys);
  bool isOpen() const { return file_.isOpen(); }
  // Appends one record; false with error() set when the write failed.
  bool write(const LogRecord& record);
  int error() const { return file_.error(); }

private:
  bool cutPartialLine();
  bool append(const std::string& line);

  File file_;
  int64_t end_ = 0;              // [bytes] where the next line goes
  std::size_t stationCount_ = 0; // [stations] columns in the header
};

// The header line for these stations, without its line end.
std::string measurementLogHeader(const std::vector<std::string>& stationKeys);

// A record as one line, without its line end, with `stationCount` station blocks.
std::string measurementLogLine(const LogRecord& record, std::size_t stationCount);

} // namespace velkor
