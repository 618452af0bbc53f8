// Station integration: windows at every predicted pulse, summed with the
// pulse's phase-code sign; mixing, noise blanker and blanked stations.
#pragma once

#include "core/state.h"

namespace velkor {

void setupStationTiming(State& state);

// crossrateindex at the start of a run and of every image row: -2 with three
// GRI-6000 stations, a further -6 with nine GRI-7950 stations, else 0.
int32_t crossRateStart(const State& state);
void integrateBlock(State& state);
void updateNoiseBlanker(State& state);

} // namespace velkor
