// The station list on the console, one line per configured station, then the
// summary without a line end of its own (the next output continues it):
//   " 7499 M Lakeside 0ms 400kW 1234.568km"    found: name, delay, power, distance
//   " 7499 X not found in table (hidden) (blanked)"
//   " 2 blanked, sync to 7499 M 9940 W"
#include "display/display.h"

#include "ground/numbers.h"
#include "ground/printable.h"

#include <string>

namespace velkor {

namespace {

std::string stationLine(const Stations& stn, int32_t i) {
  // Letters come from the configuration and names from the table: printed only as printable text.
  std::string line = formatInteger(stn.stationgri[i]) + printable(std::string(1, stn.stationletter[i]));
  if (stn.stationdistance[i] > 0) {
    line.append(" ").append(printable(stn.stationname[i]));
    line.append(formatSingle(stn.stationdelay[i])).append("ms");
    line.append(formatSingle(stn.stationpower[i])).append("kW");
    line.append(formatSingle(stn.stationdistance[i])).append("km");
  } else {
    line += " not found in table";
  }
  if (i >= stn.displayedstations) line += " (hidden)";
  if (stn.stationblanked[i]) line += " (blanked)";
  return line;
}

} // namespace

void printBanner(Console& console) {
  console.write(kBanner);
  console.lineEnd();
}

void printStationList(const Stations& stn, Console& console) {
  for (int32_t i = 0; i < stn.stationcount(); ++i) {
    console.write(stationLine(stn, i));
    console.lineEnd();
  }
}

void printStationSummary(const Settings& cfg, const Stations& stn, Console& console) {
  std::string summary = formatInteger(stn.blankedcount);
  summary += "blanked, sync to";
  for (const TaiEntry& entry : cfg.taientries)
    summary += formatInteger(entry.gri) + printable(std::string(1, entry.letter));
  console.write(summary);
}

} // namespace velkor
