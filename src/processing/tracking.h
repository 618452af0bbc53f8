// End-of-period tracking: stream time, reference edge, sample-clock loop,
// oscillator error and command, status line, re-synchronisation requests.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

void showStreamTime(State& state, Platform& platform);
void findEdge(State& state);
void trackOscillator(State& state, Platform& platform);
void countResyncRequests(State& state);

} // namespace velkor
