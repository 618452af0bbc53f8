// The growing BMP image: created empty at start-up, one row per long integration.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

// Creates (or empties) the file `bmp` with an image of no rows; any failure is fatal.
void createImageFile(State& state);
// Adds rowbuffer as the newest row and runs bmpcmd when due. A failed write is
// fatal, or with bmperrorhandling retried every 200 ms until it succeeds or q
// is pressed.
void appendImageRow(State& state, Platform& platform);

} // namespace velkor
