// Station integration: windows at every predicted pulse, summed with the
// pulse's phase-code sign; mixing, noise blanker and blanked stations.
#pragma once

#include "core/state.h"

namespace velkor {

void setupStationTiming(State& state);
void integrateBlock(State& state);
void updateNoiseBlanker(State& state);

} // namespace velkor
