// The station list as a user sees it: the real program run on a configuration
// and a station table, with a WAV recording too short for one integration.
#include "support/testplatform.h"
#include "support/wavfile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {

namespace {

const char* kBannerLine = "velkor 0.1 - Loran-C receiver\r\n";

// A receiver on the equator at the prime meridian, so that the distances are
// the ellipsoid's worked values: 1 degree east 111.3195 km, 1 degree north
// 110.5744 km, half a degree east 55.65975 km (55.65974 as a single).
const char* kConfiguration =
    "[location]\n"
    "lat = 0\n"
    "lon = 0\n"
    "[file]\n"
    "wav = short.wav\n"
    "table = chains.txt\n"
    "[chaindelay]\n"
    "9940 = 0.5\n"
    "[taisync]\n"
    "7499m = 1\n"
    "9940w = 0.5\n"
    "[stations]\n"
    "blankedstns = 3\n"
    "blankingdistance = 111\n"
    "hidden = 1\n"
    "7499m        ; found, farther than blankingdistance\n"
    "-7499x       ; missing, blanked by its minus sign\n"
    "9940w        ; found, blanked as nearer than 111 km\n"
    "8970z        ; missing: 0 km, so blanked by distance too\n"
    "6731y        ; found and near, but hidden and over the blanking limit\n";

const char* kTable =
    "7499,0,M,Lakeside,0,0,0,N,1,0,0,E,0,0,400\r\n"
    "9940,0,W,\"Hill, North\",1,0,0,N,0,0,0,E,13796.9,0,1200\r\n"
    "6731,0,Y,Middle,0,0,0,N,0,30,0,E,27300,0,250\r\n";

const char* kReport =
    " 7499 M Lakeside 0ms 400kW 111.3195km\r\n"
    " 7499 X not found in table (blanked)\r\n"
    " 9940 W Hill, North 14.2969ms 1200kW 110.5744km (blanked)\r\n"
    " 8970 Z not found in table (blanked)\r\n"
    " 6731 Y Middle 27.3ms 250kW 55.65974km (hidden)\r\n"
    " 3 blanked, sync to 7499 M 9940 W";

void writeShortRecording(const test::ScratchDir& dir) {
  std::vector<int16_t> samples;
  for (int i = 0; i < 300; ++i) {
    samples.push_back(static_cast<int16_t>((i % 7) * 100 - 300));
    samples.push_back(static_cast<int16_t>((i % 5) * 50 - 100));
  }
  test::writeWav(dir.file("short.wav"), samples, {2, 2, 22050, 46});
}

test::ProcessResult runWith(const test::ScratchDir& dir, const std::string& configuration, const std::string& table) {
  dir.write("velkor.ini", configuration);
  dir.write("chains.txt", table);
  writeShortRecording(dir);
  return test::runProcess({VELKOR_BINARY}, dir.path());
}

} // namespace

TEST(StationsReportRun, PrintsTheStationListAndSummary) {
  test::ScratchDir dir;
  auto run = runWith(dir, kConfiguration, kTable);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, std::string(kBannerLine) + kReport + "\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "stations.txt"));
}

TEST(StationsReportRun, WritesTheDisplayedStationsToStationsTxt) {
  test::ScratchDir dir;
  auto run = runWith(dir, std::string(kConfiguration) + "printstationlist\n", kTable);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string(kBannerLine) + kReport + "\r\n");
  EXPECT_EQ(dir.read("stations.txt"), " Lakeside\r\n_7499M 111km\r\n"
                                      " \r\n_7499X ?\r\n"
                                      " Hill, North\r\n_9940W 111km\r\n"
                                      " \r\n_8970Z ?\r\n");
}

TEST(StationsReportRun, ATruncatedTableIsReadUpToItsLastWholeRecord) {
  test::ScratchDir dir;
  auto run = runWith(dir, kConfiguration, std::string(kTable) + "8970,0,Z,Cut,0,0");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "velkor: warning: chains.txt: the last record ends after 6 of 15 fields and is ignored\n");
  EXPECT_EQ(run.out, std::string(kBannerLine) + kReport + "\r\n");
}

TEST(StationsReportRun, AMissingTableStopsTheProgram) {
  test::ScratchDir dir;
  dir.write("velkor.ini", kConfiguration);
  writeShortRecording(dir);
  auto run = test::runProcess({VELKOR_BINARY}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBannerLine);
  EXPECT_EQ(run.err, "velkor: chains.txt: file not found\n");
}

TEST(StationsReportRun, AMistypedGriIsRefusedBeforeTheList) {
  // "749m" for "7499m" would give the nine-pulse group no room in its GRI.
  test::ScratchDir dir;
  auto run = runWith(dir, std::string(kConfiguration) + "749m\n", kTable);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBannerLine);
  EXPECT_EQ(run.err, "velkor: [stations] 749m: a nine-pulse group (letters K to N) needs a GRI above 900\n");
}

TEST(StationsReportRun, AStationsTxtThatCannotBeCreatedStopsTheProgram) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.path() / "stations.txt");
  auto run = runWith(dir, std::string(kConfiguration) + "printstationlist\n", kTable);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkor: stations.txt: Is a directory\n");
  EXPECT_EQ(run.out, std::string(kBannerLine) + std::string(kReport).substr(0, std::string(kReport).rfind('\n') + 1));
}

} // namespace velkor
