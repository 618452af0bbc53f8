// The station list on the console, the summary line and "stations.txt".
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

void printStationList(State& state, Platform& platform);

} // namespace velkor
