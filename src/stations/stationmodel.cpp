#include "stations/stationmodel.h"

#include "ground/arrays.h"
#include "ground/errors.h"
#include "ground/loran.h"
#include "ground/numbers.h"
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
constexpr int32_t kSyncGroupLength = kNinePulseGroup; // [10 us]

// The entry as the configuration names it, e.g. "-749m".
std::string entryName(int32_t gri, char letter) {
  return std::to_string(gri) + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

// The chain delay of a GRI: the last [chaindelay] entry for it wins [ms].
float chainDelay(const Settings& cfg, int32_t gri) {
  float delay = 0;
  for (const ChainDelayEntry& entry : cfg.chaindelays)
    if (entry.gri == gri) delay = entry.delay;
  return delay;
}

// Entries that would give a pulse interval of zero or less would keep the
// integration from ever leaving a block, or write a synchronisation window
// over the next one: they are refused before anything is shown.
void refuseUnworkableEntries(const Settings& cfg) {
  if (cfg.singlepulses < 0 || cfg.singlepulses > kMostSinglePulses)
    throw FatalError("singlepulses = " + std::to_string(cfg.singlepulses), "must lie between 0 and 18");
  for (const StationEntry& entry : cfg.stationentries) {
    int64_t gri = std::abs(int64_t{entry.gri});
    int32_t group = pulseGroupLength(entry.letter, cfg.singlepulses);
    if (gri > group) continue;
    throw FatalError("[stations] " + entryName(entry.gri, entry.letter),
                     group == kNinePulseGroup ? "a nine-pulse group (letters K to N) needs a GRI above 900"
                                              : "an eight-pulse group (letters O to Z) needs a GRI above 700");
  }
  for (const TaiEntry& entry : cfg.taientries)
    if (entry.gri <= kSyncGroupLength)
      throw FatalError("[taisync] " + entryName(entry.gri, entry.letter),
                       "a synchronisation entry needs a GRI above 900");
}

} // namespace

bool sameStation(int32_t gri, char letter, const TableRecord& record) {
  return gri == record.gri && record.letter.size() == 1 && record.letter[0] == letter;
}

void buildStationModel(const Settings& cfg, Stations& stn) {
  refuseUnworkableEntries(cfg);
  const int32_t taicount = cfg.taicount();
  dimension(stn.taichaindelay, taicount);
  dimension(stn.taidelay, taicount);
  dimension(stn.taidistance, taicount);
  dimension(stn.tailineoffset, taicount);
  for (int32_t j = 0; j < taicount; ++j) stn.taichaindelay[j] = chainDelay(cfg, cfg.taientries[j].gri);

  const auto stationcount = static_cast<int32_t>(cfg.stationentries.size());
  dimension(stn.stationgri, stationcount);
  dimension(stn.stationletter, stationcount);
  dimension(stn.stationblanked, stationcount);
  dimension(stn.stationchaindelay, stationcount);
  dimension(stn.stationname, stationcount);
  dimension(stn.stationdelay, stationcount);
  dimension(stn.stationpower, stationcount);
  dimension(stn.stationdistance, stationcount);
  stn.blankedcount = 0;
  for (int32_t i = 0; i < stationcount; ++i) {
    const StationEntry& entry = cfg.stationentries[static_cast<std::size_t>(i)];
    stn.stationgri[i] =
        static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{entry.gri}), std::numeric_limits<int32_t>::max()));
    stn.stationletter[i] = entry.letter;
    if (entry.gri < 0 && stn.blankedcount < cfg.blankedstns) {
      stn.stationblanked[i] = 1;
      stn.blankedcount = static_cast<int16_t>(stn.blankedcount + 1);
    }
    stn.stationchaindelay[i] = chainDelay(cfg, stn.stationgri[i]);
  }

  // A hidden count beyond the list hides every station; a negative one none.
  int64_t displayed = int64_t{stn.stationcount()} - cfg.hidden;
  stn.displayedstations = static_cast<int32_t>(std::clamp<int64_t>(displayed, 0, stn.stationcount()));
}

void readStationTable(const Settings& cfg, Stations& stn, std::ostream& warnings) {
  completeFromTable(cfg, stn, readTableRecords(cfg.table, warnings));
}

void completeFromTable(const Settings& cfg, Stations& stn, const std::vector<TableRecord>& table) {
  for (const TableRecord& record : table) {
    for (int32_t i = 0; i < stn.stationcount(); ++i) {
      if (!sameStation(stn.stationgri[i], stn.stationletter[i], record)) continue;
      stn.stationdistance[i] = static_cast<float>(geodesicDistance(cfg.lat, cfg.lon, record.lat, record.lon));
      stn.stationname[i] = record.name;
      stn.stationdelay[i] = toSingle(record.delay / 1000.0 + stn.stationchaindelay[i]);
      stn.stationpower[i] = record.power;
    }
    for (int32_t j = 0; j < cfg.taicount(); ++j) {
      if (!sameStation(cfg.taientries[j].gri, cfg.taientries[j].letter, record)) continue;
      stn.taidistance[j] = static_cast<float>(geodesicDistance(cfg.lat, cfg.lon, record.lat, record.lon));
      stn.taidelay[j] = toSingle(record.delay / 1000.0 + stn.taichaindelay[j]);
    }
  }
}

void blankByDistance(const Settings& cfg, Stations& stn) {
  for (int32_t i = 0; i < stn.stationcount(); ++i) {
    if (stn.stationdistance[i] < cfg.blankingdistance && stn.blankedcount < cfg.blankedstns && !stn.stationblanked[i]) {
      stn.stationblanked[i] = 1;
      stn.blankedcount = static_cast<int16_t>(stn.blankedcount + 1);
    }
  }
}

} // namespace velkor
