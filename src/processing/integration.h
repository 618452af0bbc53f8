// Station integration: windows at every predicted pulse, summed with the
// pulse's phase-code sign; mixing, noise blanker and blanked stations.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "processing/processing.h"
#include "stations/stations.h"
#include "timing/timing.h"

#include <cstdint>

namespace velkor {

// Sizes the processing arrays (per station, per point, the envelope),
// zero-filled, and starts pllavgfreq at pllavfini.
void prepareProcessing(const Settings& settings, const Stations& stations, Processing& processing);

// Start of an integration run: every station's arrival offset [s] and next
// window start [s] on its GRI grid relative to timeorigin and the stream
// clock; counters, lock and re-synchronisation requests cleared, blanker
// thresholds at nbinit.
void setupStationTiming(const Settings& settings, const Stations& stations, const Acquisition& acquisition,
                        const Timing& timing, Processing& processing);

// crossrateindex at the start of every image row: -2 with three GRI-6000
// stations, a further -6 with nine GRI-7950 stations, else 0.
int32_t crossRateStart(const Stations& stations);

// Adds every window that lies in the buffer to its station's short sums,
// in stationorder; blanked stations' pulses are zeroed in the sample buffer
// so that stations after them do not receive them.
void integrateBlock(const Settings& settings, const Stations& stations, Acquisition& acquisition,
                    Processing& processing);

// End of a short integration with the blanker on: each point's threshold
// [sample units^2] moves toward nbfac times the neighbourhood's mean power.
void updateNoiseBlanker(const Settings& settings, const Stations& stations, Processing& processing);

// Clears the long sums and drifts after an image row.
void clearLongSums(Processing& processing);

} // namespace velkor
