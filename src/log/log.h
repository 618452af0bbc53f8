// The log part of the run's record: the open measurement log ([file] log)
// and what it has said so far. This subsystem (logrecords.h) writes it; the
// top calls it at the moments the records describe.
#pragma once

#include "log/measurementlog.h"

#include <cstdint>

namespace velkor {

struct Log {
  MeasurementLog file;      // open while [file] log is set
  int16_t synchronised = 0; // flag: a synchronisation has placed the stream on the time scale
  int16_t locked = 0;       // flag: the log last said "locked"
};

} // namespace velkor
