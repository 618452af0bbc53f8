// One image row from the long sums of every displayed station.
#pragma once

#include "core/state.h"

namespace velkor {

void renderImageRow(State& state);

} // namespace velkor
