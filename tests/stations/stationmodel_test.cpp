#include "core/config.h"
#include "core/errors.h"
#include "stations/stationmodel.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace velkor {

namespace {

// A state configured from `configuration`, with its station model built from
// `table` (receiver at 0 N 0 E unless the configuration says otherwise).
struct Model {
  test::ScratchDir dir;
  State s;
  std::string warnings;

  explicit Model(const std::string& configuration, const std::string& table = "") {
    std::ostringstream out;
    applyConfigurationText(s, "[location]\nlat = 0\nlon = 0\n" + configuration, out);
    dir.write("table.txt", table);
    s.table = dir.file("table.txt");
    buildStationModel(s);
    readStationTable(s, out);
    blankByDistance(s);
    warnings = out.str();
  }
};

// Table records at the worked-example distances from 0 N 0 E.
const char* kTable =
    "7499,0,M,East,0,0,0,N,1,0,0,E,0,0,400\n"       // 111.3195 km
    "9940,0,W,North,1,0,0,N,0,0,0,E,13796.9,0,1200\n" // 110.5744 km
    "8970,0,X,Here,0,0,0,N,0,0,0,E,12000,0,800\n";   // at the receiver: 0 km

std::string refusal(const std::string& configuration) {
  State s;
  std::ostringstream out;
  applyConfigurationText(s, configuration, out);
  try {
    buildStationModel(s);
  } catch (const FatalError& error) {
    return error.what();
  }
  return "accepted";
}

} // namespace

TEST(StationModel, ListsBecomeStationsAndSyncEntries) {
  Model m("[chaindelay]\n9940 = 0.25\n9940 = 0.5\n7499 = 0.1\n"
          "[taisync]\n7499m = 1\n9940w = 0.5\n"
          "[stations]\n7499m\n9940w\n-7430x\n9940w\n");
  ASSERT_EQ(m.s.stationcount, 4);
  ASSERT_EQ(m.s.taicount, 2);
  EXPECT_EQ(m.s.chaindelaycount, 3);
  EXPECT_EQ(m.s.stationgri, (std::vector<int32_t>{7499, 9940, 7430, 9940})) << "GRIs are kept positive";
  EXPECT_EQ(m.s.stationletter, (std::vector<char>{'M', 'W', 'X', 'W'}));
  EXPECT_EQ(m.s.stationchaindelay, (std::vector<float>{0.1f, 0.5f, 0.0f, 0.5f})) << "the last delay of a GRI wins";
  EXPECT_EQ(m.s.taigri, (std::vector<int32_t>{7499, 9940}));
  EXPECT_EQ(m.s.tailetter, (std::vector<char>{'M', 'W'}));
  EXPECT_EQ(m.s.taivalue, (std::vector<float>{1.0f, 0.5f}));
  EXPECT_EQ(m.s.taichaindelay, (std::vector<float>{0.1f, 0.5f}));
  EXPECT_EQ(m.s.tailineoffset.size(), 2u);
  EXPECT_EQ(m.s.displayedstations, 4);
  EXPECT_EQ(m.s.blankedcount, 0) << "blankedstns = 0 blanks nothing, not even minus entries";
  EXPECT_EQ(m.s.stationblanked, (std::vector<int16_t>{0, 0, 0, 0}));
}

TEST(StationModel, TableDataReachEveryMatchingEntry) {
  Model m("[chaindelay]\n9940 = 0.5\n[taisync]\n9940w = 1\n7499y = 1\n"
          "[stations]\n7499m\n9940w\n7499x\n9940w\n8970x\n",
          kTable);
  EXPECT_EQ(m.s.stationname, (std::vector<std::string>{"East", "North", "", "North", "Here"}));
  EXPECT_NEAR(m.s.stationdistance[0], 111.3195f, 1e-4);
  EXPECT_NEAR(m.s.stationdistance[1], 110.5744f, 1e-4);
  EXPECT_EQ(m.s.stationdistance[2], 0.0f) << "not in the table";
  EXPECT_EQ(m.s.stationdistance[3], m.s.stationdistance[1]) << "a station configured twice gets the same data";
  EXPECT_EQ(m.s.stationdistance[4], 0.0f) << "at the receiver: counts as not found";
  EXPECT_EQ(m.s.stationdelay[0], 0.0f);
  EXPECT_EQ(m.s.stationdelay[1], static_cast<float>(13796.9f / 1000.0 + 0.5f)) << "emission delay [us] + chain delay [ms]";
  EXPECT_EQ(m.s.stationdelay[2], 0.0f);
  EXPECT_EQ(m.s.stationdelay[4], 12.0f);
  EXPECT_EQ(m.s.stationpower, (std::vector<float>{400, 1200, 0, 1200, 800}));
  EXPECT_EQ(m.s.taidelay[0], m.s.stationdelay[1]);
  EXPECT_EQ(m.s.taidistance[0], m.s.stationdistance[1]);
  EXPECT_EQ(m.s.taidelay[1], 0.0f);
  EXPECT_EQ(m.s.taidistance[1], 0.0f);
}

TEST(StationModel, LaterTableRecordsWinAndLettersMustMatchExactly) {
  Model m("[stations]\n7499m\n9940w\n",
          "7499,0,M,Old,0,0,0,N,2,0,0,E,0,0,1\n"
          "7499,0,m,New,0,0,0,N,1,0,0,E,0,0,2\n"
          "9940,0,W ,Blank,1,0,0,N,0,0,0,E,0,0,3\n"
          "9941,0,W,Other,1,0,0,N,0,0,0,E,0,0,3\n");
  EXPECT_EQ(m.s.stationname[0], "New");
  EXPECT_EQ(m.s.stationpower[0], 2.0f);
  EXPECT_NEAR(m.s.stationdistance[0], 111.3195f, 1e-4);
  EXPECT_EQ(m.s.stationname[1], "") << "\"W \" is not W";
  EXPECT_EQ(m.s.stationdistance[1], 0.0f);
}

TEST(StationModel, BlankingBySignComesFirstAndStaysWithinTheLimit) {
  Model one("[stations]\nblankedstns = 1\n-7499m\n-9940w\n7430x\n", kTable);
  EXPECT_EQ(one.s.stationblanked, (std::vector<int16_t>{1, 0, 0}));
  EXPECT_EQ(one.s.blankedcount, 1);

  Model far("[stations]\nblankedstns = 1\nblankingdistance = 1000\n-7499m\n9940w\n", kTable);
  EXPECT_EQ(far.s.stationblanked, (std::vector<int16_t>{1, 0})) << "distance blanking adds nothing at the limit";
  EXPECT_EQ(far.s.blankedcount, 1);
}

TEST(StationModel, BlankingByDistance) {
  // 110.5744 km < 111 but 111.3195 km is not; a missing station (0 km) is
  // nearer than any positive distance; the limit stops the last one.
  Model m("[stations]\nblankedstns = 3\nblankingdistance = 111\n7499m\n-9940w\n7430x\n9940w\n8970x\n", kTable);
  EXPECT_EQ(m.s.stationblanked, (std::vector<int16_t>{0, 1, 1, 1, 0}));
  EXPECT_EQ(m.s.blankedcount, 3);

  Model exact("[stations]\nblankedstns = 5\n9940w\n", kTable);
  exact.s.blankingdistance = exact.s.stationdistance[0];
  blankByDistance(exact.s);
  EXPECT_EQ(exact.s.stationblanked[0], 0) << "only strictly nearer stations are blanked";
  exact.s.blankingdistance = std::nextafter(exact.s.stationdistance[0], 1e9f);
  blankByDistance(exact.s);
  EXPECT_EQ(exact.s.stationblanked[0], 1);

  Model none("[stations]\nblankedstns = 5\n7430x\n", kTable);
  EXPECT_EQ(none.s.stationblanked[0], 0) << "blankingdistance 0 blanks no missing station";
}

TEST(StationModel, HiddenStationsAndTheirClamp) {
  EXPECT_EQ(Model("[stations]\nhidden = 1\n7499m\n9940w\n").s.displayedstations, 1);
  EXPECT_EQ(Model("[stations]\nhidden = 2\n7499m\n9940w\n").s.displayedstations, 0);
  EXPECT_EQ(Model("[stations]\nhidden = 5\n7499m\n9940w\n").s.displayedstations, 0);
  EXPECT_EQ(Model("[stations]\nhidden = -3\n7499m\n9940w\n").s.displayedstations, 2);
  EXPECT_EQ(Model("[stations]\nhidden = -2147483648\n7499m\n").s.displayedstations, 1);
  EXPECT_EQ(Model("").s.displayedstations, 0);
}

TEST(StationModel, RefusesEntriesThatCannotBeIntegrated) {
  EXPECT_EQ(refusal("[stations]\nsinglepulses = 19\n"), "singlepulses = 19: must lie between 0 and 18");
  EXPECT_EQ(refusal("[stations]\nsinglepulses = -1\n"), "singlepulses = -1: must lie between 0 and 18");
  EXPECT_EQ(refusal("[stations]\nsinglepulses = 18\n7499m\n"), "accepted");
  EXPECT_EQ(refusal("[stations]\n7499m\n749m\n"),
            "[stations] 749m: a nine-pulse group (letters K to N) needs a GRI above 900");
  EXPECT_EQ(refusal("[stations]\n-900k\n"),
            "[stations] -900k: a nine-pulse group (letters K to N) needs a GRI above 900");
  EXPECT_EQ(refusal("[stations]\n901n\n"), "accepted");
  EXPECT_EQ(refusal("[stations]\n700o\n"),
            "[stations] 700o: an eight-pulse group (letters O to Z) needs a GRI above 700");
  EXPECT_EQ(refusal("[stations]\n701z\n"), "accepted");
  EXPECT_EQ(refusal("[stations]\n749a\n1b\n"), "accepted") << "single pulses fit any GRI";
  EXPECT_EQ(refusal("[stations]\nsinglepulses = 4\n749m\n"), "accepted");
  EXPECT_EQ(refusal("[taisync]\n900m = 1\n"), "[taisync] 900m: a synchronisation entry needs a GRI above 900");
  EXPECT_EQ(refusal("[taisync]\n900a = 1\n"), "[taisync] 900a: a synchronisation entry needs a GRI above 900");
  EXPECT_EQ(refusal("[taisync]\n901x = 1\n"), "accepted");
}

} // namespace velkor
