// The console written to a log (stdout not a terminal): where a terminal
// rewrites the status line in place, the log keeps every status line on a
// line of its own, and nothing adds empty lines between them.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

TEST(ConsoleLog, HoldsEveryStatusLineOnItsOwnLine) {
  const double rate = 12000;
  test::ScratchDir dir;
  ASSERT_TRUE(e2e::synthesise(dir, e2e::synthScene(rate, 24, e2e::twoChains(), "12:00:00.35")).valid);
  e2e::Settings receiver = e2e::receiverScene(rate, e2e::twoChains());
  receiver.set("taisync", "integrationtime", 2).set("taisync", "7499x", 3000).set("taisync", "6731x", 3000);
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;

  // Every line ends with CR LF; no other CR or LF stands in the text.
  ASSERT_GE(run.out.size(), 2u);
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");
  std::vector<std::string> lines = e2e::consoleLines(run.out);
  for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;

  // Banner, four stations, the summary, the synchronisation, the status
  // lines, and at the end of the recording the one empty line that ends the
  // status row on a terminal.
  ASSERT_GE(lines.size(), 9u) << run.out;
  EXPECT_EQ(lines[0], "velkor 0.1 - Loran-C receiver");
  EXPECT_EQ(lines[1].rfind(" 7499 X Lessay ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[5], " 0 blanked, sync to 7499 X 6731 X");
  EXPECT_EQ(lines[6], "sync: averaging for 2 sec ");
  EXPECT_EQ(lines[7].rfind("TAI match at    0.35 s offset, ", 0), 0u) << lines[7];
  EXPECT_EQ(lines.back(), "");
  lines.pop_back();
  std::size_t statusCount = 0;
  for (std::size_t i = 8; i < lines.size(); ++i) {
    EXPECT_NE(lines[i], "") << "line " << i;
    auto status = e2e::parseStatusLine(lines[i]);
    ASSERT_TRUE(status.has_value()) << "line " << i << ": \"" << lines[i] << "\"";
    EXPECT_EQ(lines[i].size(), std::string("12:00:04 max 1234 edge 5.00 SR 12000.0000Hz LO +1.0E-09     0.00us").size())
        << lines[i];
    ++statusCount;
  }
  // The averaging ends with the first block past 2 s (blocks of 4096
  // samples: at 2.048 s); the 21.952 s after it hold 10 whole periods of 2 s.
  EXPECT_EQ(statusCount, 10u);
}

} // namespace

} // namespace velkor
