// Pulse patterns, processing order, blanking weights and line offsets.
#pragma once

#include "core/state.h"

namespace velkor {

// stationorder: blanked stations first, then the others, each in list order.
void buildStationOrder(State& state);

// propagationspeed, every station's pulse pattern, the clamped blanking window
// with blanklength and blankingweight, and the synchronisation line offsets.
void computeChainTiming(State& state);

} // namespace velkor
