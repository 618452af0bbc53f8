#include "stations/stationmodel.h"

namespace velkor {

void buildStationModel(State& state) {
  state.taicount = static_cast<int32_t>(state.taientries.size());
  state.stationcount = static_cast<int32_t>(state.stationentries.size());
  state.chaindelaycount = static_cast<int32_t>(state.chaindelays.size());
  state.tapcount = static_cast<int32_t>(state.tapre.size());
  state.displayedstations = state.stationcount - state.hidden;
}

std::vector<TableRecord> readTableRecords(const std::string&, std::ostream&) { return {}; }

void readStationTable(State&, std::ostream&) {}

void blankByDistance(State&) {}

} // namespace velkor
