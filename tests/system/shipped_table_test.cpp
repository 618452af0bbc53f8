// The shipped station table read by the receiver's own reader.
#include "top/record.h"
#include "stations/stationmodel.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velkor {

namespace {
const std::string kTable = std::string(VELKOR_SOURCE_DIR) + "/data/table.txt";

Record stationsAt(double lat, double lon, std::vector<StationEntry> entries) {
  Record s;
  s.settings.lat = lat;
  s.settings.lon = lon;
  s.settings.table = kTable;
  s.settings.stationentries = std::move(entries);
  buildStationModel(s.settings, s.stations);
  std::ostringstream warnings;
  readStationTable(s.settings, s.stations, warnings);
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
  Record s = stationsAt(51.4779, -0.0015, {{6731, 'M'}, {6731, 'Y'}, {6731, 'Z'}});
  EXPECT_EQ(s.stations.stationname[0], "Anthorn");
  EXPECT_EQ(s.stations.stationname[1], "Anthorn");
  EXPECT_EQ(s.stations.stationname[2], "Sylt");
  EXPECT_NEAR(s.stations.stationdistance[0], 440.592, 0.001);
  EXPECT_NEAR(s.stations.stationdistance[2], 666.765, 0.001);
  EXPECT_NEAR(s.stations.stationdelay[1], 27.3, 1e-4);
  EXPECT_EQ(s.stations.stationpower[2], 250.0f);
}

TEST(ShippedTable, DistancesFromTheRecordingSites) {
  Record g4fui = stationsAt(54.67, -2.73, {{6731, 'Y'}});
  EXPECT_NEAR(g4fui.stations.stationdistance[0], 44.790, 0.001);
  Record qtr = stationsAt(25.2854, 51.5310, {{8830, 'W'}, {8830, 'M'}});
  EXPECT_NEAR(qtr.stations.stationdistance[0], 109.096, 0.001);
  EXPECT_NEAR(qtr.stations.stationdistance[1], 893.892, 0.001);
}

} // namespace velkor
