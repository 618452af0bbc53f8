// Date and time of day to the internal time scale (seconds since 1958).
#pragma once

#include "config/settings.h"
#include "timing/timing.h"

namespace velkor {

// Reads date and time (Timing), utcoffset and clockoffset; writes clocktime
// [s since 1958] and leapseconds [s], so that the run starts from the clock.
void computeClockTime(const Settings& settings, Timing& timing);

} // namespace velkor
