// The station list on the console and in "stations.txt".
//
// Console, one line per configured station, then the summary without a line
// end of its own (the next output continues it):
//   " 7499 M Lakeside 0ms 400kW 1234.568km"    found: name, delay, power, distance
//   " 7499 X not found in table (hidden) (blanked)"
//   " 2 blanked, sync to 7499 M 9940 W"
// "stations.txt", written (replacing an older file) only when printstationlist
// is set: two lines per displayed station, hidden stations left out, lines
// ending with CR LF:
//   " Lakeside"         a blank and the location name (only the blank when missing)
//   "_7499M 1235km"     "_", GRI and letter, the distance rounded half up,
//   "_7499X ?"          or " ?" when the station was not found
#include "stations/report.h"

#include "core/errors.h"
#include "core/format.h"
#include "platform/files.h"

#include <cmath>
#include <string>

namespace velkor {

namespace {

constexpr const char* kStationFile = "stations.txt";

std::string stationLine(const State& s, int32_t i) {
  std::string line = formatInteger(s.stationgri[i]) + s.stationletter[i];
  if (s.stationdistance[i] > 0) {
    line.append(" ").append(s.stationname[i]);
    line.append(formatSingle(s.stationdelay[i])).append("ms");
    line.append(formatSingle(s.stationpower[i])).append("kW");
    line.append(formatSingle(s.stationdistance[i])).append("km");
  } else {
    line += " not found in table";
  }
  if (i >= s.displayedstations) line += " (hidden)";
  if (s.stationblanked[i]) line += " (blanked)";
  return line;
}

std::string stationFileText(const State& s) {
  std::string text;
  for (int32_t i = 0; i < s.displayedstations; ++i) {
    text.append(" ").append(s.stationname[i]).append("\r\n");
    text.append("_").append(std::to_string(s.stationgri[i])).push_back(s.stationletter[i]);
    if (s.stationdistance[i] > 0)
      text.append(formatSingle(static_cast<float>(std::floor(s.stationdistance[i] + 0.5)))).append("km");
    else
      text += " ?";
    text += "\r\n";
  }
  return text;
}

void writeStationFile(const State& s) {
  std::string text = stationFileText(s);
  File file;
  if (!file.open(kStationFile, File::Mode::CreateTruncate) || !file.write(text.data(), text.size()) ||
      !file.close())
    throw FatalError(kStationFile, fileErrorText(file.error()));
}

} // namespace

void printStationList(State& s, Platform& platform) {
  for (int32_t i = 0; i < s.stationcount; ++i) {
    platform.console.write(stationLine(s, i));
    platform.console.lineEnd();
  }
  if (s.printstationlist) writeStationFile(s);
  std::string summary = formatInteger(s.blankedcount);
  summary += "blanked, sync to";
  for (int32_t j = 0; j < s.taicount; ++j) summary += formatInteger(s.taigri[j]) + s.tailetter[j];
  platform.console.write(summary);
}

} // namespace velkor
