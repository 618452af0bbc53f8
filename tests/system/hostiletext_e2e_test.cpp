// Text from files and the command line on the terminal: a station name that
// sets the window title, a station letter and a file name with control
// characters (C0, ESC sequences, C1 in UTF-8 and alone) reach stdout, stderr
// and "stations.txt" with every control character as "?", while valid UTF-8
// ("Værlandet") comes out unchanged.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {
namespace {

// The first control byte of `text` and where it is, line ends "\r\n" and "\n" allowed.
std::string firstControl(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if ((byte < 0x20 && byte != '\r' && byte != '\n') || byte == 0x7F || c1)
      return "byte " + std::to_string(byte) + " at " + std::to_string(i) + " in: " + text;
  }
  return "";
}

std::string replaced(std::string text, const std::string& what, const std::string& by) {
  const std::size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  return at == std::string::npos ? text : text.replace(at, what.size(), by);
}

TEST(HostileText, ReachesTheTerminalAndStationsTxtOnlyAsPrintableText) {
  test::ScratchDir dir;
  ASSERT_TRUE(e2e::synthesise(dir, e2e::synthScene(12000, 5, e2e::threeChains())).valid);
  // The shipped table, read through a path that leaves the scratch folder.
  std::string table = dir.read(std::string(VELKOR_SOURCE_DIR) + "/data/table.txt");
  table = replaced(table, "7499,0,X,\"Lessay\"", "7499,0,X,\"\x1b]2;pwned\x07Lessay\"");
  table = replaced(table, "7499,0,M,\"Sylt\"", "7499,0,M,\"V\xc3\xa6rlandet\"");
  dir.write("hostile.txt", table);

  e2e::Settings settings = e2e::receiverScene(12000, e2e::threeChains()).set("file", "table", "hostile.txt");
  settings.set("stations", "7499\x01").set("stations", "printstationlist", 1).set("file", "\x1b[2Jkey", 1);
  const auto run = e2e::runReceiver(dir, settings);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(firstControl(run.out + run.err), "");
  EXPECT_NE(run.out.find(" 7499 X ?]2;pwned?Lessay 14.1ms 250kW"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" 7499 M V\xc3\xa6rlandet 0ms"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" 7499 ? not found in table"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("unknown key \"?[2jkey\""), std::string::npos) << run.err;
  const std::string stations = dir.read("stations.txt");
  EXPECT_EQ(firstControl(stations), "");
  EXPECT_TRUE(stations.starts_with(" ?]2;pwned?Lessay\r\n_7499X ")) << stations;
  EXPECT_NE(stations.find("km\r\n V\xc3\xa6rlandet\r\n_7499M "), std::string::npos) << stations;

  const auto check = test::runProcess({VELKOR_BINARY, "--check", "velkor.ini"}, dir.path());
  EXPECT_EQ(firstControl(check.out + check.err), "");
  EXPECT_NE(check.out.find("station 7499 ? is not in the station table \"hostile.txt\""), std::string::npos)
      << check.out;

  // A file name in an error: ESC, a C1 control in UTF-8 and a lone C1 byte.
  const auto missing = e2e::runReceiver(dir, settings.set("file", "wav", "gone\x1b[2J\xc2\x9b\x9b.wav"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.substr(missing.err.find("velkor: gone")), "velkor: gone?[2J??.wav: file not found\n");
}

} // namespace
} // namespace velkor
