// Date and time of day to the internal time scale (seconds since 1958).
#pragma once

#include "core/state.h"

namespace velkor {

// clocktime and leapseconds from date, time, utcoffset and clockoffset.
void computeClockTime(State& state);

} // namespace velkor
