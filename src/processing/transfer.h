// Short sums into the long averages: normalised, DC-corrected, rotated.
#pragma once

#include "core/state.h"

namespace velkor {

void transferShortSums(State& state);

} // namespace velkor
