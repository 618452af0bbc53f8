// The configured stations and synchronisation entries, built from the
// configuration lists and completed from the station table.
#pragma once

#include "core/state.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace velkor {

// One transmitter of the station table.
struct TableRecord {
  int32_t gri = 0;       // [10 us]
  std::string letter;    // as written, upper-cased
  std::string name;      // location name
  double lat = 0;        // north positive [deg]
  double lon = 0;        // east positive [deg]
  float delay = 0;       // emission delay [us]
  float power = 0;       // [kW]
};

// Every record with GRI > 0 in file order (later records win when looked up).
// FatalError when the file cannot be opened or read. An incomplete last record
// is dropped, with one warning when any of its fields holds text.
std::vector<TableRecord> readTableRecords(const std::string& fileName, std::ostream& warnings);

// Lists to station and synchronisation arrays: counts, chain delays, blanking
// by sign, displayedstations. Refuses entries that cannot be integrated.
void buildStationModel(State& state);

// Reads the station table (state.table) and fills name, delay, power and
// distance of every matching station and synchronisation entry.
void readStationTable(State& state, std::ostream& warnings);

// The same from records already read.
void completeFromTable(State& state, const std::vector<TableRecord>& table);

// Blanks stations nearer than blankingdistance, within blankedstns.
void blankByDistance(State& state);

} // namespace velkor
