// What velkor gives a user beyond the console and the image: the measurement
// log of a run on a recording with known truth (one record per status line,
// the synchronisation, every station's values; a restart after a killed run
// appends after its last complete line), and the command line's --help,
// --version and --check with the mistakes users make.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velkor {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(text);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!text.empty() && text.back() == separator) fields.emplace_back();
  return fields;
}

// A recording of three chains, the first sample at 12:00:00.3 UTC, with a
// canonical RIFF header.
void record(const test::ScratchDir& dir, double seconds) {
  e2e::Settings synth = e2e::synthScene(12000, seconds, e2e::threeChains(), "12:00:00.3");
  e2e::synthesise(dir, synth.set("file", "header", 44));
}

e2e::Settings receiver() {
  e2e::Settings s = e2e::receiverScene(12000, e2e::threeChains());
  return s.set("taisync", "integrationtime", 2).set("taisync", "7499x", 10000).set("taisync", "6731x", 10000);
}

struct Log {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> records; // after the last header
  std::size_t headers = 0;
};

Log readLog(const std::string& text) {
  Log log;
  for (const std::string& line : split(text, '\n')) {
    if (line.empty()) continue;
    auto fields = split(line, ',');
    if (fields[0] == "kind") {
      log.header = fields;
      log.records.clear();
      ++log.headers;
    } else {
      log.records.push_back(fields);
    }
  }
  return log;
}

std::string column(const Log& log, const std::vector<std::string>& record, const std::string& name) {
  for (std::size_t i = 0; i < log.header.size(); ++i)
    if (log.header[i] == name) return i < record.size() ? record[i] : "";
  ADD_FAILURE() << "no column " << name;
  return "";
}

TEST(MeasurementLog, HoldsEveryStatusLineTheSyncAndEachStationAndResumesAfterAKill) {
  test::ScratchDir dir;
  record(dir, 16);
  const auto plain = e2e::runReceiver(dir, receiver());
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string plainImage = dir.read("image.bmp");

  const auto logged = e2e::runReceiver(dir, receiver().set("file", "log", "run.csv"));
  ASSERT_EQ(logged.status, 0) << logged.err;
  EXPECT_EQ(logged.out, plain.out) << "the log changes nothing else";
  EXPECT_EQ(logged.err, plain.err);
  EXPECT_EQ(dir.read("image.bmp"), plainImage);

  const std::string text = dir.read("run.csv");
  const Log log = readLog(text);
  ASSERT_EQ(log.headers, 1u);
  EXPECT_EQ(log.header.size(), 17u + 4 * 5) << "four columns for each of the five stations";
  const auto status = e2e::statusLines(plain.out);
  std::size_t statusRecords = 0;
  for (const auto& r : log.records) {
    ASSERT_EQ(r.size(), log.header.size()) << "every record has every column";
    EXPECT_TRUE(r[1].starts_with("2015-03-01T12:00:")) << r[1];
    if (r[0] != "status") continue;
    const auto& line = status.at(statusRecords++);
    EXPECT_NEAR(std::stod(column(log, r, "sr")), line.sr, 1e-4);
    EXPECT_NEAR(std::stod(column(log, r, "edge")), line.edge, 0.006);
    EXPECT_NEAR(std::stod(column(log, r, "sr_ppm")), (line.sr - 12000) / 12000 * 1e6, 0.01);
    EXPECT_EQ(column(log, r, "pc_offset"), "") << "a recording has no PC clock";
    // Lessay is strong: its edge is where the loop holds it, far above the noise.
    EXPECT_NEAR(std::stod(column(log, r, "7499X_position_us")), (line.edge - 5) / line.sr * 1e6, 1.0);
    EXPECT_GT(std::stod(column(log, r, "7499X_snr_db")), 15);
    EXPECT_NEAR(std::stod(column(log, r, "7499X_amplitude")), line.max, 0.5);
  }
  EXPECT_GE(status.size(), 6u);
  EXPECT_EQ(statusRecords, status.size());
  ASSERT_FALSE(log.records.empty());
  const auto& sync = log.records.front();
  EXPECT_EQ(sync[0], "sync");
  EXPECT_EQ(column(log, sync, "result"), "match");
  EXPECT_NEAR(std::stod(column(log, sync, "offset")), 0.3, 0.01);

  // A killed run left half a record: the next run cuts it and starts with its header.
  dir.write("run.csv", text + "status,2015-03-01T12:0");
  ASSERT_EQ(e2e::runReceiver(dir, receiver().set("file", "log", "run.csv")).status, 0);
  const std::string resumed = dir.read("run.csv");
  EXPECT_EQ(resumed.substr(0, text.size()), text);
  EXPECT_EQ(resumed.substr(text.size()), text.substr(0, resumed.size() - text.size()));
  EXPECT_EQ(readLog(resumed).headers, 2u);

  const auto refused = e2e::runReceiver(dir, receiver().set("file", "log", "no/such/dir.csv"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("velkor: no/such/dir.csv: file not found"), std::string::npos) << refused.err;
}

test::ProcessResult velkor(const test::ScratchDir& dir, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{VELKOR_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return test::runProcess(argv, dir.path());
}

TEST(CommandLine, HelpVersionAndCheckOfEveryMistake) {
  test::ScratchDir dir;
  const auto help = velkor(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("usage: velkor [CONFIG]")) << help.out;
  EXPECT_EQ(velkor(dir, {"--version"}).out, "velkor " VELKOR_VERSION "\n");
  const auto named = velkor(dir, {"--help", "me"});
  EXPECT_NE(named.err.find("velkor: --help me: file not found"), std::string::npos) << "not an option: a file name";

  const std::string table = std::string(VELKOR_SOURCE_DIR) + "/data/table.txt";
  dir.write("bad.ini", "\xEF\xBB\xBF[location]\nlat = 48\n[file]\nwav = missing.wav\ntable = " + table +
                           "\n[amplitude]\nfullscael = 300\n[frequency]\nsr = fast\n[station]\n7499x\n"
                           "[stations]\n7499q\n7499x\n[taisync]\n1234z = 3\n");
  const auto check = velkor(dir, {"--check", "bad.ini"});
  EXPECT_EQ(check.status, 1);
  for (const char* expected :
       {"bad.ini:1: note: the file begins with a byte-order mark, which is skipped",
        "bad.ini:4: input \"missing.wav\": file not found",
        "bad.ini:7: unknown key \"fullscael\" in [amplitude]; did you mean \"fullscale\"?",
        "bad.ini:9: sr = \"fast\": not a number, read as 0",
        "bad.ini:10: unknown section [station], its keys are ignored; did you mean [stations]?",
        "bad.ini:13: station 7499 Q is not in the station table", "bad.ini:16: sync entry 1234 Z is not in the",
        "bad.ini: sr = 0: the sample rate must be above 0 Hz"})
    EXPECT_NE(check.out.find(expected), std::string::npos) << expected << "\n" << check.out;

  dir.write("text.wav", "not samples at all\n");
  dir.write("empty.ini", "[file]\nwav = text.wav\ntable = " + table + "\n[station]\n7499x\n");
  const auto empty = velkor(dir, {"--check", "empty.ini"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.out.find("empty.ini:2: input \"text.wav\" is not a RIFF/WAVE file"), std::string::npos) << empty.out;
  EXPECT_NE(empty.out.find("empty.ini: no stations"), std::string::npos) << empty.out;

  record(dir, 4);
  e2e::Settings good = receiver();
  dir.write("velkor.ini", good.text());
  const auto clean = velkor(dir, {"--check"});
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_EQ(clean.out, "velkor.ini: no problems found\n");

  // A run warns about unknown names with file and line, and shows the same as without them.
  const auto plain = e2e::runReceiver(dir, good);
  const auto typo = e2e::runReceiver(dir, good.set("amplitude", "fullscael", 3).set("pll", "7499x"));
  EXPECT_EQ(typo.out, plain.out);
  EXPECT_NE(typo.err.find("velkor: warning: velkor.ini:"), std::string::npos) << typo.err;
  EXPECT_NE(typo.err.find(": unknown key \"fullscael\" in [amplitude]; did you mean \"fullscale\"?\n"),
            std::string::npos);
  EXPECT_NE(typo.err.find(": unknown key \"7499x\" in [pll]\n"), std::string::npos) << typo.err;
}

} // namespace
} // namespace velkor
