// The main cycle: integrate block after block, close short integrations and
// image rows, re-synchronise on request; ends at the end of a WAV input or on q.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

// Runs until the input is exhausted (then ends the program through
// endOfInput) or the key q ends it (ProgramEnd).
[[noreturn]] void runMainCycle(State& state, Platform& platform, const BlockReader& readBlock);

// Step E: the end of one short integration, with the image row when due.
void endShortIntegration(State& state, Platform& platform);

// Step F: reset the stream clock and synchronise again.
void resynchronise(State& state, Platform& platform, const BlockReader& readBlock);

// Orderly end on the key q: input closed, status 0, nothing more printed.
[[noreturn]] void endByKey(State& state);

// Orderly end at the end of input: one empty line, input closed, status 0.
[[noreturn]] void endOfInput(State& state, Platform& platform);

} // namespace velkor
