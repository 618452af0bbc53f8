// The measurement log's CSV lines (format in measurementlog.h).
#include "log/measurementlog.h"

#include <cstdio>

namespace velkor {

namespace {

constexpr const char* kFixedColumns[] = {
    "kind",      "utc",    "stream_time", "sr",     "sr_ppm",    "lo_relfreq", "lo_time_us",      "edge",  "max",
    "pc_offset", "locked", "result",      "offset", "rms_error", "ambiguity",  "loran_minus_gps", "reason"};
constexpr const char* kStationColumns[] = {"_amplitude", "_phase", "_position_us", "_snr_db"};

constexpr std::size_t kTailChunk = 65536; // [bytes] read at a time when looking for the last line end

// `value` with printf `format`, or nothing for kNoValue (and for infinities,
// which no column can hold).
std::string field(const char* format, double value) {
  if (!std::isfinite(value)) return "";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void add(std::string& line, const std::string& text) {
  line += ',';
  line += text;
}

} // namespace

std::string measurementLogHeader(const std::vector<std::string>& stationKeys) {
  std::string line;
  for (const char* column : kFixedColumns) {
    if (!line.empty()) line += ',';
    line += column;
  }
  for (const std::string& key : stationKeys)
    for (const char* column : kStationColumns) add(line, key + column);
  return line;
}

std::string measurementLogLine(const LogRecord& r, std::size_t stationCount) {
  std::string line = r.kind;
  add(line, r.utc);
  add(line, field("%.6f", r.streamtime));
  add(line, field("%.6f", r.sr));
  add(line, field("%.5f", r.srppm));
  add(line, field("%.4e", r.relfreq));
  add(line, field("%.4f", r.lotime));
  add(line, field("%.4f", r.edge));
  add(line, field("%.2f", r.max));
  add(line, field("%.4f", r.pcoffset));
  add(line, r.locked < 0 ? "" : std::to_string(r.locked));
  add(line, r.result);
  add(line, field("%.6f", r.offset));
  add(line, field("%.4f", r.rmserror));
  add(line, field("%.5f", r.ambiguity));
  add(line, field("%.9f", r.loranminusgps));
  add(line, r.reason);
  for (std::size_t s = 0; s < stationCount; ++s) {
    const StationMeasurement m = s < r.stations.size() ? r.stations[s] : StationMeasurement{};
    add(line, field("%.2f", m.amplitude));
    add(line, field("%.2f", m.phase));
    add(line, field("%.3f", m.position));
    add(line, field("%.2f", m.snr));
  }
  return line;
}

bool MeasurementLog::open(const std::string& path, const std::vector<std::string>& stationKeys) {
  if (!file_.open(path, File::Mode::ReadWrite)) return false;
  stationCount_ = stationKeys.size();
  if (!cutPartialLine()) return false;
  return append(measurementLogHeader(stationKeys));
}

// A run that was killed in the middle of a write leaves a line without its
// end: everything after the last "\n" goes, so that the next line starts on
// a line of its own.
bool MeasurementLog::cutPartialLine() {
  end_ = file_.size();
  if (end_ < 0) return false;
  std::vector<char> chunk(kTailChunk);
  int64_t complete = 0; // [bytes] up to and with the last line end
  for (int64_t stop = end_; stop > 0;) {
    const int64_t start = stop > static_cast<int64_t>(kTailChunk) ? stop - static_cast<int64_t>(kTailChunk) : 0;
    const auto count = static_cast<std::size_t>(stop - start);
    if (file_.readAt(start, chunk.data(), count) != static_cast<int64_t>(count)) return false;
    std::size_t i = count;
    while (i > 0 && chunk[i - 1] != '\n') --i;
    if (i > 0) {
      complete = start + static_cast<int64_t>(i);
      break;
    }
    stop = start;
  }
  if (complete == end_) return true;
  end_ = complete;
  return file_.truncate(end_);
}

bool MeasurementLog::append(const std::string& line) {
  const std::string text = line + "\n";
  if (!file_.writeAt(end_, text.data(), text.size())) return false;
  end_ += static_cast<int64_t>(text.size());
  return true;
}

bool MeasurementLog::write(const LogRecord& record) {
  if (!isOpen()) return true;
  return append(measurementLogLine(record, stationCount_));
}

} // namespace velkor
