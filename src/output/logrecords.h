// The records of the measurement log ([file] log), taken from the program
// state at the moments the main cycle reaches them. Nothing happens while no
// log is configured, and nothing else the receiver writes changes.
#pragma once

#include "core/state.h"

#include <string>

namespace velkor {

// Opens the log named by `log` (no-op when empty); FatalError when it cannot be opened.
void openMeasurementLog(State& state);

// After trackOscillator, before the short sums are transferred: a lock
// record when the lock state changed, then the status record.
void logStatus(State& state);

// After a TAI synchronisation has run (no-op when none ran since the last call).
void logSynchronisation(State& state);

// Before the stream clock is reset for a re-synchronisation.
void logResynchronisation(State& state);

// The four values of displayed station `station` from its short sums.
StationMeasurement measureStation(const State& state, int32_t station);

// UTC date and time of internal time `internaltime` as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string isoUniversalTime(const State& state, double internaltime);

} // namespace velkor
