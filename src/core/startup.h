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

// Start-up steps 3 to 16; the banner is printed before.
void startUp(State& state, Platform& platform, const std::string& configurationFile, const BlockReader& readBlock);

} // namespace velkor
