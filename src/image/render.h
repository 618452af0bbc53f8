// One image row from the long sums of every displayed station.
#pragma once

#include "config/settings.h"
#include "image/image.h"
#include "processing/processing.h"
#include "stations/stations.h"

namespace velkor {

// Reads the long sums and drifts of every displayed station and the image
// settings; writes rowbuffer (and the colour phase carried from pixel to
// pixel). The cross-rate strips' interference is taken off the long sums in
// place, which the top clears after the row.
void renderImageRow(const Settings& settings, const Stations& stations, Processing& processing, Image& image);

} // namespace velkor
