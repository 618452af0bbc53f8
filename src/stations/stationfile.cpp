// The station list in "stations.txt" (the console list is display/stationlist).
//
// "stations.txt", written (replacing an older file) only when printstationlist
// is set: two lines per displayed station, hidden stations left out, lines
// ending with CR LF:
//   " Lakeside"         a blank and the location name (only the blank when missing)
//   "_7499M 1235km"     "_", GRI and letter, the distance rounded half up,
//   "_7499X ?"          or " ?" when the station was not found
// Names and letters are written as printable text (control characters and
// bytes that are no UTF-8 as "?"): the file is shown on terminals and laid
// over the image, and a line end inside a name would break the two lines.
#include "stations/stationfile.h"

#include "ground/errors.h"
#include "ground/numbers.h"
#include "ground/printable.h"
#include "platform/files.h"

#include <cmath>
#include <string>

namespace velkor {

namespace {

std::string stationFileText(const Stations& stn) {
  std::string text;
  for (int32_t i = 0; i < stn.displayedstations; ++i) {
    text.append(" ").append(printable(stn.stationname[i])).append("\r\n");
    text.append("_").append(std::to_string(stn.stationgri[i])).append(printable(std::string(1, stn.stationletter[i])));
    if (stn.stationdistance[i] > 0)
      text.append(formatSingle(static_cast<float>(std::floor(stn.stationdistance[i] + 0.5)))).append("km");
    else text += " ?";
    text += "\r\n";
  }
  return text;
}

} // namespace

void writeStationFile(const Stations& stn) {
  std::string text = stationFileText(stn);
  File file;
  if (!file.open(kStationFile, File::Mode::CreateTruncate) || !file.write(text.data(), text.size()) || !file.close())
    throw FatalError(kStationFile, fileErrorText(file.error()));
}

} // namespace velkor
