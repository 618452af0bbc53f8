// The station-table reader on arbitrary text, read from a file as a run
// reads it, and its records taken further: the completion of a fixed set of
// stations and synchronisation entries, blanking by distance and the station
// list on the console. Refusals (FatalError) are the reader's answer to bad
// input; anything else that escapes, and every sanitizer report, is a crash.
#include "fuzzinput.h"

#include "display/display.h"
#include "ground/errors.h"
#include "platform/posixplatform.h"
#include "stations/stationmodel.h"

#include <sstream>

namespace {

using namespace velkor;

// A receiver in Brest with stations of several chains, blanked and hidden
// ones among them, and two synchronisation entries.
Settings receiverSettings() {
  Settings settings;
  settings.lat = 48.39;
  settings.lon = -4.49;
  settings.stationentries = {{7499, 'M'}, {-7499, 'X'}, {6731, 'Z'}, {9007, 'X'}, {4990, 'M'}, {8000, 'W'}};
  settings.taientries = {{7499, 'M', 1}, {6731, 'Z', 0.5f}};
  settings.blankedstns = 3;
  settings.blankingdistance = 300;
  settings.hidden = 1;
  return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static fuzz::MemoryFile file;
  static const Settings settings = receiverSettings();
  file.replace(data, size);
  std::ostringstream warnings;
  try {
    const std::vector<TableRecord> table = readTableRecords(file.path(), warnings);
    Stations stations;
    buildStationModel(settings, stations);
    completeFromTable(settings, stations, table);
    blankByDistance(settings, stations);
    std::ostringstream out;
    StreamConsole console(out, false);
    printStationList(stations, console);
    printStationSummary(settings, stations, console);
  } catch (const FatalError& refusal) {
    warnings << refusal.what();
  }
  return 0;
}
