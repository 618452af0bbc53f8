#include "stations/report.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {

namespace {

struct Station {
  int32_t gri;
  char letter;
  std::string name;
  float delay;    // [ms]
  float power;    // [kW]
  float distance; // [km]
  int16_t blanked;
};

void addStation(State& s, const Station& station) {
  s.stationgri.push_back(station.gri);
  s.stationletter.push_back(station.letter);
  s.stationname.push_back(station.name);
  s.stationdelay.push_back(station.delay);
  s.stationpower.push_back(station.power);
  s.stationdistance.push_back(station.distance);
  s.stationblanked.push_back(station.blanked);
  s.stationcount = static_cast<int32_t>(s.stationgri.size());
  s.displayedstations = s.stationcount;
  s.blankedcount = static_cast<int16_t>(s.blankedcount + station.blanked);
}

void addSync(State& s, int32_t gri, char letter) {
  s.taigri.push_back(gri);
  s.tailetter.push_back(letter);
  s.taicount = static_cast<int32_t>(s.taigri.size());
}

// Prints the list with the working directory in `dir`; returns the console text.
std::string printed(State& s, const test::ScratchDir& dir) {
  test::TestPlatform t;
  test::inDirectory(dir.path(), [&] { printStationList(s, t.platform); });
  return t.text();
}

} // namespace

TEST(StationReport, ConsoleLinesAndSummary) {
  State s;
  addStation(s, {7499, 'M', "Lakeside", 0, 400, 1234.568f, 0});
  addStation(s, {7499, 'X', "", 0, 0, 0, 1});
  addStation(s, {9940, 'W', "Far Hill", 14.35558f, 1200, 110.5744f, 1});
  addSync(s, 7499, 'M');
  addSync(s, 9940, 'W');
  test::ScratchDir dir;
  EXPECT_EQ(printed(s, dir), " 7499 M Lakeside 0ms 400kW 1234.568km\r\n"
                             " 7499 X not found in table (blanked)\r\n"
                             " 9940 W Far Hill 14.35558ms 1200kW 110.5744km (blanked)\r\n"
                             " 2 blanked, sync to 7499 M 9940 W");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "stations.txt"));
}

TEST(StationReport, NothingConfigured) {
  State s;
  test::ScratchDir dir;
  EXPECT_EQ(printed(s, dir), " 0 blanked, sync to");
}

TEST(StationReport, HiddenBlankedMissingStation) {
  State s;
  addStation(s, {7499, 'M', "Lakeside", 0, 400, 1234.5f, 0});
  addStation(s, {9940, 'W', "", 0, 0, 0, 1});
  s.displayedstations = 1;
  test::ScratchDir dir;
  EXPECT_EQ(printed(s, dir), " 7499 M Lakeside 0ms 400kW 1234.5km\r\n"
                             " 9940 W not found in table (hidden) (blanked)\r\n"
                             " 1 blanked, sync to");
}

TEST(StationReport, AStationWithANameButNoDistanceIsNotFound) {
  // A table record at the receiver's own position gives 0 km.
  State s;
  addStation(s, {8970, 'X', "Here", 12, 800, 0, 0});
  test::ScratchDir dir;
  EXPECT_EQ(printed(s, dir), " 8970 X not found in table\r\n 0 blanked, sync to");
}

TEST(StationReport, StationFileListsTheDisplayedStations) {
  State s;
  addStation(s, {7499, 'M', "Lakeside", 0, 400, 1234.5f, 0});
  addStation(s, {7499, 'X', "", 0, 0, 0, 1});
  addStation(s, {9940, 'W', "Far Hill", 14.3f, 1200, 110.4999f, 0});
  addStation(s, {6731, 'Y', "Hidden", 27.3f, 250, 500, 0});
  s.displayedstations = 3;
  s.printstationlist = 1;
  test::ScratchDir dir;
  dir.write("stations.txt", "an older list that is much longer than the new one ......................................");
  std::string console = printed(s, dir);
  EXPECT_EQ(dir.read("stations.txt"), " Lakeside\r\n_7499M 1235km\r\n"
                                      " \r\n_7499X ?\r\n"
                                      " Far Hill\r\n_9940W 110km\r\n")
      << "1234.5 km goes up to 1235; hidden stations are left out";
  EXPECT_EQ(console.substr(console.rfind('\n') + 1), " 1 blanked, sync to");
}

TEST(StationReport, WithoutPrintstationlistAnOldFileIsLeftAlone) {
  State s;
  addStation(s, {7499, 'M', "Lakeside", 0, 400, 1234.5f, 0});
  test::ScratchDir dir;
  dir.write("stations.txt", "old");
  printed(s, dir);
  EXPECT_EQ(dir.read("stations.txt"), "old");
}

} // namespace velkor
