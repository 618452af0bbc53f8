#include "stations/report.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

TEST(StationReport, ConsoleLinesSummaryAndStationFile) {
  State s;
  s.stationgri = {7499, 7499, 6731, 9940};
  s.stationletter = {'M', 'X', 'Y', 'W'};
  s.stationname = {"Lakeside", "", "Near", ""};
  s.stationdelay = {0, 0, 27.3f, 0};               // [ms]
  s.stationpower = {400, 0, 250, 0};               // [kW]
  s.stationdistance = {1234.568f, 0, 2.5f, 0};     // [km]
  s.stationblanked = {0, 1, 0, 1};
  s.stationcount = 4;
  s.displayedstations = 3;
  s.blankedcount = 2;
  s.taigri = {7499, 9940};
  s.tailetter = {'M', 'W'};
  s.taicount = 2;
  s.printstationlist = 1;
  test::ScratchDir dir;
  dir.write("stations.txt", "an older list, longer than the new one ....................................................");
  test::TestPlatform t;
  test::inDirectory(dir.path(), [&] { printStationList(s, t.platform); });
  EXPECT_EQ(t.text(), " 7499 M Lakeside 0ms 400kW 1234.568km\r\n"
                      " 7499 X not found in table (blanked)\r\n"
                      " 6731 Y Near 27.3ms 250kW 2.5km\r\n"
                      " 9940 W not found in table (hidden) (blanked)\r\n"
                      " 2 blanked, sync to 7499 M 9940 W");
  EXPECT_EQ(dir.read("stations.txt"), " Lakeside\r\n_7499M 1235km\r\n \r\n_7499X ?\r\n Near\r\n_6731Y 3km\r\n")
      << "halves go up; hidden stations are left out";
}

} // namespace velkor
