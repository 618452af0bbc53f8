// The growing BMP image: created empty at start-up, one row per long integration.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

void createImageFile(State& state);
void appendImageRow(State& state, Platform& platform);

} // namespace velkor
