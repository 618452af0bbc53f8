#include "config/config.h"
#include "ground/errors.h"
#include "stations/stationmodel.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace velkor {

namespace {

// Table records at the worked distances from the receiver at 0 N 0 E.
const char* kTable = "7499,0,M,East,0,0,0,N,1,0,0,E,0,0,400\n"         // 111.3195 km
                     "9940,0,W,North,1,0,0,N,0,0,0,E,13796.9,0,1200\n" // 110.5744 km
                     "9940,0,W ,Blank,0,0,0,N,2,0,0,E,0,0,1\n"         // "W " is not W
                     "8970,0,X,Here,0,0,0,N,0,0,0,E,12000,0,800\n";    // 0 km: counts as not found

// The state after the station model has been built from `configuration` and kTable.
Record model(const std::string& configuration) {
  Record s;
  std::ostringstream out;
  applyConfigurationText(s.settings, "[location]\nlat = 0\nlon = 0\n" + configuration, out);
  test::ScratchDir dir;
  dir.write("table.txt", kTable);
  s.settings.table = dir.file("table.txt");
  buildStationModel(s.settings, s.stations);
  readStationTable(s.settings, s.stations, out);
  blankByDistance(s.settings, s.stations);
  return s;
}

} // namespace

TEST(StationModel, TableDataAndChainDelaysReachEveryMatchingEntry) {
  const Record s = model("[chaindelay]\n9940 = 0.25\n9940 = 0.5\n[taisync]\n9940w = 0.5\n7499y = 1\n"
                         "[stations]\n7499m\n9940w\n-7430x\n9940w\n8970x\n");
  EXPECT_EQ(s.stations.stationgri, (std::vector<int32_t>{7499, 9940, 7430, 9940, 8970}));
  EXPECT_EQ(s.stations.stationname, (std::vector<std::string>{"East", "North", "", "North", "Here"}));
  EXPECT_NEAR(s.stations.stationdistance[0], 111.3195f, 1e-4);
  EXPECT_NEAR(s.stations.stationdistance[1], 110.5744f, 1e-4);
  EXPECT_EQ(s.stations.stationdistance[2] + s.stations.stationdistance[4], 0.0f);
  const float north = 14.2969007f; // emission delay 13796.9 us + the last chain delay of its GRI, 0.5 ms
  EXPECT_EQ(s.stations.stationdelay, (std::vector<float>{0, north, 0, north, 12}));
  EXPECT_EQ(s.stations.stationpower, (std::vector<float>{400, 1200, 0, 1200, 800}));
  EXPECT_EQ(s.settings.taientries[1].value, 1.0f);
  EXPECT_EQ(s.stations.taidelay, (std::vector<float>{north, 0}));
  EXPECT_EQ(s.stations.taidistance[0], s.stations.stationdistance[1]);
  EXPECT_EQ(s.stations.blankedcount, 0) << "blankedstns = 0 blanks nothing, not even minus entries";
}

TEST(StationModel, BlankingAndHiding) {
  // Configuration of [stations] -> stationblanked, displayedstations.
  const std::tuple<std::string, std::vector<int16_t>, int32_t> rows[] = {
      {"blankedstns = 1\n-7499m\n-9940w\n7430x\n", {1, 0, 0}, 3},
      {"blankedstns = 1\nblankingdistance = 1000\n-7499m\n9940w\n", {1, 0}, 2},
      // 110.5744 km < 111 but 111.3195 km is not; a missing station (0 km) is nearer still.
      {"blankedstns = 3\nblankingdistance = 111\n7499m\n-9940w\n7430x\n9940w\n8970x\n", {0, 1, 1, 1, 0}, 5},
      {"blankedstns = 5\nblankingdistance = 110.574387\n9940w\n", {0}, 1}, // 110.5744 km as a single: not nearer
      {"blankedstns = 5\nblankingdistance = 110.574395\n9940w\n", {1}, 1}, // the next single up
      {"blankedstns = 5\n7430x\nhidden = 1\n", {0}, 0}, // blankingdistance 0 blanks no missing station
      {"hidden = 5\n7499m\n9940w\n", {0, 0}, 0},
      {"hidden = -3\n7499m\n9940w\n", {0, 0}, 2}};
  for (const auto& [configuration, blanked, displayed] : rows) {
    const Record s = model("[stations]\n" + configuration);
    EXPECT_EQ(s.stations.stationblanked, blanked) << configuration;
    EXPECT_EQ(s.stations.blankedcount, std::count(blanked.begin(), blanked.end(), 1)) << configuration;
    EXPECT_EQ(s.stations.displayedstations, displayed) << configuration;
  }
}

TEST(StationModel, RefusesEntriesThatCannotBeIntegrated) {
  const std::pair<std::string, std::string> rows[] = {
      {"[stations]\nsinglepulses = 19\n", "singlepulses = 19: must lie between 0 and 18"},
      {"[stations]\nsinglepulses = -1\n", "singlepulses = -1: must lie between 0 and 18"},
      {"[stations]\n-900k\n", "[stations] -900k: a nine-pulse group (letters K to N) needs a GRI above 900"},
      {"[stations]\n700o\n", "[stations] 700o: an eight-pulse group (letters O to Z) needs a GRI above 700"},
      {"[taisync]\n900a = 1\n", "[taisync] 900a: a synchronisation entry needs a GRI above 900"},
      {"[stations]\n901n\n701z\n1a\n[taisync]\n901x = 1\n", "accepted"},
      {"[stations]\nsinglepulses = 18\n749m\n", "accepted"}}; // single pulses fit any GRI
  for (const auto& [configuration, message] : rows) {
    std::string outcome = "accepted";
    try {
      model(configuration);
    } catch (const FatalError& error) {
      outcome = error.what();
    }
    EXPECT_EQ(outcome, message) << configuration;
  }
}

} // namespace velkor
