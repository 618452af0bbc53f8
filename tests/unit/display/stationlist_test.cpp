#include "display/display.h"
#include "stations/stationfile.h"
#include "top/record.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

TEST(StationReport, ConsoleLinesSummaryAndStationFile) {
  Record s;
  s.stations.stationgri = {7499, 7499, 6731, 9940};
  s.stations.stationletter = {'M', 'X', 'Y', 'W'};
  s.stations.stationname = {"Lakeside", "", "Near", ""};
  s.stations.stationdelay = {0, 0, 27.3f, 0};           // [ms]
  s.stations.stationpower = {400, 0, 250, 0};           // [kW]
  s.stations.stationdistance = {1234.568f, 0, 2.5f, 0}; // [km]
  s.stations.stationblanked = {0, 1, 0, 1};
  s.stations.displayedstations = 3;
  s.stations.blankedcount = 2;
  s.settings.taientries = {{7499, 'M', 0}, {9940, 'W', 0}};
  test::ScratchDir dir;
  dir.write("stations.txt",
            "an older list, longer than the new one ....................................................");
  test::TestPlatform t;
  printStationList(s.stations, t.platform.console);
  printStationSummary(s.settings, s.stations, t.platform.console);
  test::inDirectory(dir.path(), [&] { writeStationFile(s.stations); });
  EXPECT_EQ(t.text(), " 7499 M Lakeside 0ms 400kW 1234.568km\r\n"
                      " 7499 X not found in table (blanked)\r\n"
                      " 6731 Y Near 27.3ms 250kW 2.5km\r\n"
                      " 9940 W not found in table (hidden) (blanked)\r\n"
                      " 2 blanked, sync to 7499 M 9940 W");
  EXPECT_EQ(dir.read("stations.txt"), " Lakeside\r\n_7499M 1235km\r\n \r\n_7499X ?\r\n Near\r\n_6731Y 3km\r\n")
      << "halves go up; hidden stations are left out";
}

} // namespace velkor
