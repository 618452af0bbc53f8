// The configured stations and synchronisation entries, built from the
// configuration lists and completed from the station table.
#pragma once

#include "config/settings.h"
#include "stations/stations.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace velkor {

// One transmitter of the station table.
struct TableRecord {
  int32_t gri = 0;    // [10 us]
  std::string letter; // as written, upper-cased
  std::string name;   // location name
  double lat = 0;     // north positive [deg]
  double lon = 0;     // east positive [deg]
  float delay = 0;    // emission delay [us]
  float power = 0;    // [kW]
};

// Every record with GRI > 0 in file order (later records win when looked up).
// FatalError when the file cannot be opened or read. An incomplete last record
// is dropped, with one warning when any of its fields holds text.
std::vector<TableRecord> readTableRecords(const std::string& fileName, std::ostream& warnings);

// Whether the table record is the station with this GRI [10 us] and letter.
bool sameStation(int32_t gri, char letter, const TableRecord& record);

// Reads the configuration lists of the settings; writes the station and
// synchronisation arrays: GRI, letter, chain delays [ms], blanking by sign
// (within blankedstns), displayedstations. Refuses (FatalError) entries that
// cannot be integrated.
void buildStationModel(const Settings& settings, Stations& stations);

// Reads the station table (settings.table, lat, lon) and fills name, delay
// [ms], power [kW] and distance [km] of every matching station and
// synchronisation entry; table warnings go to `warnings`.
void readStationTable(const Settings& settings, Stations& stations, std::ostream& warnings);

// The same from records already read.
void completeFromTable(const Settings& settings, Stations& stations, const std::vector<TableRecord>& table);

// Blanks stations nearer than blankingdistance [km], within blankedstns.
void blankByDistance(const Settings& settings, Stations& stations);

} // namespace velkor
