// The station list as a user sees it: the whole stdout of the real program
// run on a configuration and a station table, with a WAV recording too short
// for one integration; and the mistakes that stop it before it starts.
#include "support/testplatform.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {
namespace {

// A receiver on the equator at the prime meridian, so that the distances are
// the ellipsoid's worked values: 1 degree east 111.3195 km, 1 degree north
// 110.5744 km, half a degree east 55.65975 km (55.65974 as a single).
const char* kConfiguration = "[location]\nlat = 0\nlon = 0\n"
                             "[file]\nwav = short.wav\ntable = chains.txt\n"
                             "[chaindelay]\n9940 = 0.5\n"
                             "[taisync]\n7499m = 1\n9940w = 0.5\n"
                             "[stations]\nblankedstns = 3\nblankingdistance = 111\nhidden = 1\nprintstationlist\n"
                             "7499m        ; found, farther than blankingdistance\n"
                             "-7499x       ; missing, blanked by its minus sign\n"
                             "9940w        ; found, blanked as nearer than 111 km\n"
                             "8970z        ; missing: 0 km, so blanked by distance too\n"
                             "6731y        ; found and near, but hidden and over the blanking limit\n";

const char* kTable = "7499,0,M,Lakeside,0,0,0,N,1,0,0,E,0,0,400\r\n"
                     "9940,0,W,\"Hill, North\",1,0,0,N,0,0,0,E,13796.9,0,1200\r\n"
                     "6731,0,Y,Middle,0,0,0,N,0,30,0,E,27300,0,250\r\n";

const std::string kBanner = "velkor 0.1 - Loran-C receiver\r\n";

test::ProcessResult run(const test::ScratchDir& dir, const std::string& extra = "") {
  dir.write("velkor.ini", kConfiguration + extra);
  std::vector<int16_t> samples(600, 100);
  test::writeWav(dir.file("short.wav"), samples, {2, 2, 22050, 46});
  return test::runProcess({VELKOR_BINARY}, dir.path());
}

TEST(StationsReport, ListsFoundMissingHiddenAndBlankedStationsAndWritesStationsTxt) {
  test::ScratchDir dir;
  dir.write("chains.txt", kTable);
  auto result = run(dir);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, kBanner + " 7499 M Lakeside 0ms 400kW 111.3195km\r\n"
                                  " 7499 X not found in table (blanked)\r\n"
                                  " 9940 W Hill, North 14.2969ms 1200kW 110.5744km (blanked)\r\n"
                                  " 8970 Z not found in table (blanked)\r\n"
                                  " 6731 Y Middle 27.3ms 250kW 55.65974km (hidden)\r\n"
                                  " 3 blanked, sync to 7499 M 9940 W\r\n");
  EXPECT_EQ(dir.read("stations.txt"), " Lakeside\r\n_7499M 111km\r\n"
                                      " \r\n_7499X ?\r\n"
                                      " Hill, North\r\n_9940W 111km\r\n"
                                      " \r\n_8970Z ?\r\n");
}

TEST(StationsReport, MistakesStopTheProgram) {
  const struct {
    const char* extra; // appended to the configuration
    const char* table; // chains.txt, or nullptr
    const char* error;
    bool listed; // the list is printed before
  } cases[] = {
      {"", nullptr, "velkor: chains.txt: file not found\n", false},
      // "749m" for "7499m" would give the nine-pulse group no room in its GRI.
      {"749m\n", kTable, "velkor: [stations] 749m: a nine-pulse group (letters K to N) needs a GRI above 900\n", false},
      {"[file]\nwav = missing.wav\n", kTable, "velkor: missing.wav: file not found\n", true},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    if (c.table) dir.write("chains.txt", c.table);
    auto result = run(dir, c.extra);
    EXPECT_EQ(result.status, 1) << c.extra;
    EXPECT_EQ(result.err, c.error);
    EXPECT_TRUE(result.out.starts_with(kBanner)) << c.extra;
    EXPECT_EQ(result.out != kBanner, c.listed) << result.out;
  }
}

} // namespace
} // namespace velkor
