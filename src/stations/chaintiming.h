// Pulse patterns, processing order, blanking weights and line offsets.
#pragma once

#include "core/state.h"

namespace velkor {

// stationorder: blanked stations first, then the others, each in list order.
void buildStationOrder(State& state);

// propagationspeed, every station's pulse pattern, the clamped blanking window
// with blanklength and blankingweight, and the synchronisation line offsets.
void computeChainTiming(State& state);

// The part of its GRI that a station's pulse group takes before the gap to the
// next group [10 us]: 900 for nine-pulse groups (letters K to N), 700 for
// eight-pulse groups (O to Z), 0 for single pulses. The GRI must exceed it.
int32_t pulseGroupLength(char letter, int32_t singlepulses);

} // namespace velkor
