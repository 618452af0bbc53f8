#include "stations/stationmodel.h"

#include "core/numbers.h"

#include "core/errors.h"
#include "stations/chaintiming.h"
#include "stations/geodesic.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <limits>

namespace velkor {

namespace {

// Pattern tables hold this many slots, so no station can use more pulses.
constexpr int32_t kMostSinglePulses = kPatternSlots;
// A synchronisation window is laid out with the nine-pulse master group
// (0 ... 9 ms) in each GRI; a shorter GRI would overrun it.
constexpr int32_t kSyncGroupLength = 900; // [10 us]

// The entry as the configuration names it, e.g. "-749m".
std::string entryName(int32_t gri, char letter) {
  return std::to_string(gri) + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

// The chain delay of a GRI: the last [chaindelay] entry for it wins [ms].
float chainDelay(const State& s, int32_t gri) {
  float delay = 0;
  for (const ChainDelayEntry& entry : s.chaindelays)
    if (entry.gri == gri) delay = entry.delay;
  return delay;
}

// Entries that would give a pulse interval of zero or less would keep the
// integration from ever leaving a block, or write a synchronisation window
// over the next one: they are refused before anything is shown.
void refuseUnworkableEntries(const State& s) {
  if (s.singlepulses < 0 || s.singlepulses > kMostSinglePulses)
    throw FatalError("singlepulses = " + std::to_string(s.singlepulses), "must lie between 0 and 18");
  for (const StationEntry& entry : s.stationentries) {
    int64_t gri = std::abs(int64_t{entry.gri});
    int32_t group = pulseGroupLength(entry.letter, s.singlepulses);
    if (gri > group) continue;
    throw FatalError("[stations] " + entryName(entry.gri, entry.letter),
                     group == 900 ? "a nine-pulse group (letters K to N) needs a GRI above 900"
                                  : "an eight-pulse group (letters O to Z) needs a GRI above 700");
  }
  for (const TaiEntry& entry : s.taientries)
    if (entry.gri <= kSyncGroupLength)
      throw FatalError("[taisync] " + entryName(entry.gri, entry.letter),
                       "a synchronisation entry needs a GRI above 900");
}

bool sameStation(int32_t gri, char letter, const TableRecord& record) {
  return gri == record.gri && record.letter.size() == 1 && record.letter[0] == letter;
}

} // namespace

void buildStationModel(State& s) {
  refuseUnworkableEntries(s);
  s.taicount = static_cast<int32_t>(s.taientries.size());
  s.stationcount = static_cast<int32_t>(s.stationentries.size());
  s.chaindelaycount = static_cast<int32_t>(s.chaindelays.size());
  s.tapcount = static_cast<int32_t>(s.tapre.size());

  dimension(s.taigri, s.taicount);
  dimension(s.tailetter, s.taicount);
  dimension(s.taivalue, s.taicount);
  dimension(s.taichaindelay, s.taicount);
  dimension(s.taidelay, s.taicount);
  dimension(s.taidistance, s.taicount);
  dimension(s.tailineoffset, s.taicount);
  for (int32_t j = 0; j < s.taicount; ++j) {
    const TaiEntry& entry = s.taientries[static_cast<std::size_t>(j)];
    s.taigri[j] = entry.gri;
    s.tailetter[j] = entry.letter;
    s.taivalue[j] = entry.value;
    s.taichaindelay[j] = chainDelay(s, entry.gri);
  }

  dimension(s.stationgri, s.stationcount);
  dimension(s.stationletter, s.stationcount);
  dimension(s.stationblanked, s.stationcount);
  dimension(s.stationchaindelay, s.stationcount);
  dimension(s.stationname, s.stationcount);
  dimension(s.stationdelay, s.stationcount);
  dimension(s.stationpower, s.stationcount);
  dimension(s.stationdistance, s.stationcount);
  s.blankedcount = 0;
  for (int32_t i = 0; i < s.stationcount; ++i) {
    const StationEntry& entry = s.stationentries[static_cast<std::size_t>(i)];
    s.stationgri[i] = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{entry.gri}),
                                                             std::numeric_limits<int32_t>::max()));
    s.stationletter[i] = entry.letter;
    if (entry.gri < 0 && s.blankedcount < s.blankedstns) {
      s.stationblanked[i] = 1;
      s.blankedcount = static_cast<int16_t>(s.blankedcount + 1);
    }
    s.stationchaindelay[i] = chainDelay(s, s.stationgri[i]);
  }

  // A hidden count beyond the list hides every station; a negative one none.
  int64_t displayed = int64_t{s.stationcount} - s.hidden;
  s.displayedstations = static_cast<int32_t>(std::clamp<int64_t>(displayed, 0, s.stationcount));
}

void readStationTable(State& s, std::ostream& warnings) { completeFromTable(s, readTableRecords(s.table, warnings)); }

void completeFromTable(State& s, const std::vector<TableRecord>& table) {
  for (const TableRecord& record : table) {
    for (int32_t i = 0; i < s.stationcount; ++i) {
      if (!sameStation(s.stationgri[i], s.stationletter[i], record)) continue;
      s.stationdistance[i] = static_cast<float>(geodesicDistance(s.lat, s.lon, record.lat, record.lon));
      s.stationname[i] = record.name;
      s.stationdelay[i] = toSingle(record.delay / 1000.0 + s.stationchaindelay[i]);
      s.stationpower[i] = record.power;
    }
    for (int32_t j = 0; j < s.taicount; ++j) {
      if (!sameStation(s.taigri[j], s.tailetter[j], record)) continue;
      s.taidistance[j] = static_cast<float>(geodesicDistance(s.lat, s.lon, record.lat, record.lon));
      s.taidelay[j] = toSingle(record.delay / 1000.0 + s.taichaindelay[j]);
    }
  }
}

void blankByDistance(State& s) {
  for (int32_t i = 0; i < s.stationcount; ++i) {
    if (s.stationdistance[i] < s.blankingdistance && s.blankedcount < s.blankedstns && !s.stationblanked[i]) {
      s.stationblanked[i] = 1;
      s.blankedcount = static_cast<int16_t>(s.blankedcount + 1);
    }
  }
}

} // namespace velkor
