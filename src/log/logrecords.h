// The records of the measurement log ([file] log), taken from the parts of
// the run's record at the moments the top reaches them. Nothing happens
// while no log is configured, and nothing else the receiver writes changes.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "log/log.h"
#include "processing/processing.h"
#include "processing/tracking.h"
#include "stations/stations.h"
#include "timing/sync.h"
#include "timing/timing.h"

#include <string>

namespace velkor {

// Opens the file named by `log` (no-op when empty) with one column block per
// displayed station; FatalError naming the file when it cannot be opened.
void openMeasurementLog(const Settings& settings, const Stations& stations, Log& log);

// After trackOscillator, before the short sums are transferred: a lock record
// when the lock state changed, then the status record of the period.
void logStatus(const Settings& settings, const Stations& stations, const Acquisition& acquisition, const Timing& timing,
               const Processing& processing, Log& log);

// After a synchronisation has run: its result, offset, rms error, the
// period [s] its time is known only modulo (0 when decided), and with GPS
// time stamps Loran - GPS (loranminusgps, measured before).
void logSynchronisation(const Settings& settings, const Acquisition& acquisition, const Timing& timing,
                        const SyncReport& report, Log& log);

// Before the stream clock is reset for a re-synchronisation: a resync record
// with `reason` (see resyncReason), then the lock lost.
void logResynchronisation(const Settings& settings, const Acquisition& acquisition, const Timing& timing,
                          const std::string& reason, Log& log);

// A lock record ("gained" / "lost") when `locked` differs from what the log
// last said; nothing otherwise.
void logLockState(const Settings& settings, const Acquisition& acquisition, const Timing& timing, bool locked,
                  Log& log);

// The reason column of a re-synchronisation: weak_edge, pc_clock, weak_edge+pc_clock or sample_clock.
std::string resyncReason(const ResyncCauses& causes);

// The four values of displayed station `station` from its short sums.
StationMeasurement measureStation(const Settings& settings, const Processing& processing, int32_t station);

// UTC date and time of internal time `internaltime` [s since 1958] as
// "YYYY-MM-DDTHH:MM:SS.mmmZ"; reads leapseconds and clockoffset.
std::string isoUniversalTime(const Settings& settings, const Timing& timing, double internaltime);

} // namespace velkor
