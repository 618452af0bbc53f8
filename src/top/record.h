// The run's record: every setting and all working data, one record for the
// whole run, passed explicitly. It is made of parts: the settings (read-only
// after start-up) and one part per subsystem, declared in that subsystem's
// header; a function's parameters name the parts it reads (const &) and
// writes (&). Only the top holds the whole record.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "display/display.h"
#include "image/image.h"
#include "log/log.h"
#include "processing/processing.h"
#include "stations/stations.h"
#include "timing/timing.h"

#include <cstdint>

namespace velkor {

// The top's own part: where the main cycle stands.
struct Cycle {
  float shortmark = 0;        // stream time the short integration began [s]
  int32_t rowpasscounter = 0; // [short integrations] since the last image row
  int32_t currenthour = -1;   // [h] UTC of the last stream time shown, for the hour ticks
};

struct Record {
  Settings settings;       // config (reader) and start-up
  Stations stations;       // stations
  Acquisition acquisition; // acquisition
  Timing timing;           // timing
  Processing processing;   // processing
  Image image;             // image
  Display display;         // display
  Log log;                 // log
  Cycle cycle;             // top
};

} // namespace velkor
