// Start-up: configuration, station model, geometry and arrays, input, clock,
// first synchronisation and the empty image.
#pragma once

#include "ground/outcome.h"
#include "platform/platform.h"
#include "top/record.h"

#include <string>
#include <vector>

namespace velkor {

// The arguments joined by single blanks, or "velkor.ini" when there are none.
std::string configurationFileName(const std::vector<std::string>& arguments);

// From the completed station model to a receiver ready to read: processing
// order, block geometry (validated), every working array, chain timing, the
// stream clock at its start and the decoder.
void prepareIntegration(Record& record);

// Timing's date and time from the settings, and clocktime from them.
void startClock(Record& record);

// Runs the synchronisation when the settings ask for one and reports it on
// the console; returns how the averaging ended.
Outcome synchroniseAndReport(Record& record, Platform& platform, const BlockReader& readBlock);

// Start-up: settings, stations (and their list on the console), arrays,
// input, clock, first synchronisation and the empty image; the banner is
// printed before. Returns quit or endOfInput when the run ends during it.
Outcome startUp(Record& record, Platform& platform, const std::string& configurationFile, const BlockReader& readBlock);

} // namespace velkor
