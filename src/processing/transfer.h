// Short sums into the long averages: normalised, DC-corrected, rotated.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "processing/processing.h"
#include "stations/stations.h"

namespace velkor {

// Each station's short sums, divided by its pulses and blanking weight, less
// the DC offset (the retired samples' mean taken from the acquisition's DC
// sums with notch100khz, else the bias), rotated by the reference phase, are
// added to the long sums; the short sums and counters are cleared.
void transferShortSums(const Settings& settings, const Stations& stations, Acquisition& acquisition,
                       Processing& processing);

} // namespace velkor
