// The shipped station table read by the receiver's own reader.
#include "core/state.h"
#include "stations/stationmodel.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velkor {

namespace {
const std::string kTable = std::string(VELKOR_SOURCE_DIR) + "/data/table.txt";

State stationsAt(double lat, double lon, std::vector<StationEntry> entries) {
  State s;
  s.lat = lat;
  s.lon = lon;
  s.table = kTable;
  s.stationentries = std::move(entries);
  buildStationModel(s);
  std::ostringstream warnings;
  readStationTable(s, warnings);
  EXPECT_EQ(warnings.str(), "");
  return s;
}
} // namespace

TEST(ShippedTable, EveryRecordReadsWithoutWarning) {
  std::ostringstream warnings;
  auto records = readTableRecords(kTable, warnings);
  EXPECT_EQ(records.size(), 153u);
  EXPECT_EQ(warnings.str(), "");
}

TEST(ShippedTable, ReusedPairsEndOnTheTransmitterOnTheAirLast) {
  State s = stationsAt(51.4779, -0.0015, {{6731, 'M'}, {6731, 'Y'}, {6731, 'Z'}});
  EXPECT_EQ(s.stationname[0], "Anthorn");
  EXPECT_EQ(s.stationname[1], "Anthorn");
  EXPECT_EQ(s.stationname[2], "Sylt");
  EXPECT_NEAR(s.stationdistance[0], 440.592, 0.001);
  EXPECT_NEAR(s.stationdistance[2], 666.765, 0.001);
  EXPECT_NEAR(s.stationdelay[1], 27.3, 1e-4);
  EXPECT_EQ(s.stationpower[2], 250.0f);
}

TEST(ShippedTable, DistancesFromTheRecordingSites) {
  State g4fui = stationsAt(54.67, -2.73, {{6731, 'Y'}});
  EXPECT_NEAR(g4fui.stationdistance[0], 44.790, 0.001);
  State qtr = stationsAt(25.2854, 51.5310, {{8830, 'W'}, {8830, 'M'}});
  EXPECT_NEAR(qtr.stationdistance[0], 109.096, 0.001);
  EXPECT_NEAR(qtr.stationdistance[1], 893.892, 0.001);
}

} // namespace velkor
