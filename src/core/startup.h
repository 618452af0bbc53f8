// Start-up: configuration, station model, geometry and arrays, input, clock,
// first synchronisation and the empty image.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace velkor {

// The arguments joined by single blanks, or "velkor.ini" when there are none.
std::string configurationFileName(const std::vector<std::string>& arguments);

// Refuses settings that would divide by zero, hang or overrun an array.
void validateSettings(const State& state);

// Sizes every working array from the counts and the block geometry, zero-filled.
void dimensionArrays(State& state);

// From the completed station model to a receiver ready to read: processing
// order, block geometry, arrays, chain timing, stream clock and decoder.
void prepareIntegration(State& state);

// Start-up: settings, stations, arrays, input, clock, first synchronisation
// and the empty image; the banner is printed before.
void startUp(State& state, Platform& platform, const std::string& configurationFile, const BlockReader& readBlock);

} // namespace velkor
