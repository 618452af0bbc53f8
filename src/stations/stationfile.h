// "stations.txt", the list of displayed stations for labelling the image.
#pragma once

#include "stations/stations.h"

namespace velkor {

inline constexpr const char* kStationFile = "stations.txt"; // in the working directory

// Reads the displayed stations' names, GRIs, letters and distances; writes
// (replacing) "stations.txt" in the working directory; FatalError when it
// cannot be written.
void writeStationFile(const Stations& stations);

} // namespace velkor
