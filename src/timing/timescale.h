// Stream time against the PC clock and against UTC.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "timing/timing.h"

#include <cstdint>
#include <string>

namespace velkor {

// Reads the buffer end (stream clock), opentime and the unread bytes of the
// raw file, utcoffset, leapseconds, clockoffset and timeorigin; writes
// pcbuffertime [s of day] and pcoffset [s], the PC clock's view of the
// buffer end, for the status line, the re-synchronisation and the rebase.
void computeStreamOffset(const Settings& settings, const Acquisition& acquisition, Timing& timing);

// UTC time of day of the buffer end, rounded to 0.01 s and cut to seconds.
struct StreamTimeOfDay {
  int32_t hours = 0;   // [h]
  int32_t minutes = 0; // [min]
  int32_t seconds = 0; // [s]
};

// Reads blockend, timeorigin, leapseconds and clockoffset.
StreamTimeOfDay streamTimeOfDay(const Settings& settings, const Acquisition& acquisition, const Timing& timing);

// "hh:mm:ss.mmm" UT of an internal time [s since 1958]; reads leapseconds and clockoffset.
std::string universalTime(const Settings& settings, const Timing& timing, double internaltime);

} // namespace velkor
