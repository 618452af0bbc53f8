// The timing part of the run's record: the internal time scale (clock
// estimate, leap seconds, the absolute time of stream time 0), the PC-clock
// offset of the stream, the results of the last synchronisation and, with
// kiwistamps, the recording's GPS time. This subsystem writes it (calendar,
// pctime, sync, gpsstamps).
#pragma once

#include "ground/loran.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

inline constexpr int kCandidateSlots = 4; // synchronisation peaks per entry

struct Timing {
  // ---- Calendar ------------------------------------------------------------
  std::string date;        // date of clocktime "MM-DD-YYYY": Settings::date, the PC date on re-synchronisation
  std::string time;        // time of day of clocktime "HH:MM:SS", likewise
  double clocktime = 0;    // clock's estimate of the internal time [s since 1958]
  int32_t leapseconds = 0; // [s] counted from the date
  double timeorigin = 0;   // absolute time of stream time 0 [s since 1958]
  // ---- PC clock against the stream ---------------------------------------------
  float pcbuffertime = 0; // PC time of the buffer end on the stream scale [s of day]
  float pcoffset = 0;     // PC time minus stream time at the buffer end [s]
  double pcbufferend = 0; // with rawlatency: pcbuffertime in double precision [s of day]
  // ---- TAI synchronisation ---------------------------------------------------
  double syncoffset = 0;                                       // [s] timeorigin - clocktime
  std::vector<int32_t> taiwindows;                             // [phase-code intervals] averaged
  std::vector<std::array<float, kCandidateSlots>> taicandamp;  // peak amplitudes [sample units]
  std::vector<std::array<float, kCandidateSlots>> taicandtime; // peak positions [s]
  std::vector<float> taiexpected;                              // [s] within the interval
  std::vector<float> taimeasured;                              // [s] within the interval
  // ---- GPS time stamps of the recording (kiwistamps) ---------------------------
  int16_t gpsstamped = 0;   // flag: time and rate of the stream come from the recording's GPS stamps
  double gpsrate = 0;       // [Hz] fitted to the stamps
  double gpsfirstframe = 0; // internal time of the recording's first frame by the stamps [s since 1958]
  double loranminusgps = 0; // [s] timeorigin minus the GPS time of stream time 0, after each synchronisation
};

} // namespace velkor
