// The configured stations and synchronisation entries, built from the
// configuration lists and completed from the station table.
#pragma once

#include "core/state.h"

#include <iosfwd>

namespace velkor {

// Lists to station and synchronisation arrays: counts, chain delays, blanking
// by sign, displayedstations. Refuses entries that cannot be integrated.
void buildStationModel(State& state);

// Reads the station table (state.table) and fills name, delay, power and
// distance of every matching station and synchronisation entry.
void readStationTable(State& state, std::ostream& warnings);

// Blanks stations nearer than blankingdistance, within blankedstns.
void blankByDistance(State& state);

} // namespace velkor
