// Pulse patterns, processing order, blanking weights and line offsets.
#pragma once

#include "config/settings.h"
#include "stations/stations.h"

namespace velkor {

// stationorder from stationblanked: blanked stations first, then the others,
// each in list order, so that a blanked pulse is removed before the others
// integrate.
void buildStationOrder(Stations& stations);

// Reads the settings (asf, singlepulses, blanking window, sr, bandcenter) and
// the station arrays; writes propagationspeed [m/s], every station's pulse
// pattern ([s] intervals, signs), the GRI-6000/7950 counts, blanklength
// [points], blankingweight [1] and the synchronisation line offsets [Hz].
void computeChainTiming(const Settings& settings, Stations& stations);

// The part of its GRI that a station's pulse group takes before the gap to the
// next group [10 us]: 900 for nine-pulse groups (letters K to N), 700 for
// eight-pulse groups (O to Z), 0 for single pulses. The GRI must exceed it.
int32_t pulseGroupLength(char letter, int32_t singlepulses);

// [s] How long after its interval's start a station's pulses arrive: the
// emission delay [ms], the propagation over the distance [km] at
// propagationspeed, and the receiver's own delay (receiverdelay [ms]). The
// one prediction that the integration windows and the synchronisation share.
double predictedArrival(const Settings& settings, const Stations& stations, float delay, float distance);

} // namespace velkor
