// The PC clock of raw input: timer calibrated against the time of day, and
// the offset between PC time and stream time of every block.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

void updateClock(State& state, Platform& platform);
void calibrateClock(State& state, Platform& platform);
void computeStreamOffset(State& state);

} // namespace velkor
