// The G4FUI KiwiSDR recording with kiwistamps (skipped without the shared
// data beside the repository): its GPS time stamps replace a sample rate and
// a start time that are set wrong on purpose, the synchronisation lands on
// the true time, and Loran - GPS, the time transfer, shows the receiver's own
// delay of about a millisecond; receiverdelay takes it out. The truth, from
// the stamps: 11999.024 Hz, first sample 17:04:03.374 UTC on 2025-12-07.
// And the same on a synthetic recording whose truth is exact.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace velkor::test {
namespace {

namespace fs = std::filesystem;

constexpr double kTrueRate = 11999.024;                   // [Hz]
constexpr double kTrueStart = 17 * 3600 + 4 * 60 + 3.374; // [s] UTC of the day of the first sample
constexpr double kKiwiDelay = -0.8e-3;                    // [s] Loran - GPS through a KiwiSDR, about
constexpr double kTransferTolerance = 0.5e-3;             // [s]

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct KiwiRun {
  ProcessResult result;
  std::string log;
};

// The shipped example on the recording, with `changes` appended; a log in log.csv.
KiwiRun runExample(const fs::path& recording, const std::string& changes) {
  ScratchDir dir;
  fs::copy_file(fs::path(VELKOR_SOURCE_DIR) / "data" / "table.txt", dir.path() / "table.txt");
  const std::string example = slurp(fs::path(VELKOR_SOURCE_DIR) / "data" / "examples" / "kiwisdr-g4fui.ini");
  dir.write("velkor.ini",
            example + "[file]\nwav = " + recording.string() + "\nlog = log.csv\nkiwistamps = 1\n" + changes);
  KiwiRun run;
  run.result = runProcess({VELKOR_BINARY, "velkor.ini"}, dir.path());
  run.log = dir.read("log.csv");
  return run;
}

// The number after `label` on stderr; NaN when the line is missing.
double numberAfter(const std::string& err, const std::string& label) {
  const std::size_t at = err.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::stod(err.substr(at + label.size()));
}

// The loran_minus_gps column of the log's sync records [s].
std::vector<double> loggedTransfers(const std::string& log) {
  std::istringstream in(log);
  std::string header;
  std::getline(in, header);
  std::size_t column = 0;
  for (std::size_t at = 0; at < header.find("loran_minus_gps"); ++at) column += header[at] == ',';
  std::vector<double> values;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("sync,")) continue;
    std::size_t begin = 0;
    for (std::size_t c = 0; c < column; ++c) begin = line.find(',', begin) + 1;
    values.push_back(std::stod(line.substr(begin, line.find(',', begin) - begin)));
  }
  return values;
}

TEST(KiwiStamps, GpsRateAndStartReplaceTheSettingsAndLoranMinusGpsIsTheReceiverDelay) {
  if (sharedDataDir().empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
  const fs::path recording = sharedDataDir() / "recordings" / "20251207T170403Z_100000_G4FUI_iq.wav";
  // 83 ppm and 5 s off: only the stamps can put the run right.
  const KiwiRun run = runExample(recording, "time = 17:03:58\n[frequency]\nsr = 12000\n");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  const std::string& err = run.result.err;
  EXPECT_NE(err.find("velkor: start time and sample rate from the GPS time stamps: first sample 2025-12-07 "
                     "17:04:03.374 UTC, "),
            std::string::npos)
      << err;
  EXPECT_NEAR(numberAfter(err, "17:04:03.374 UTC, "), kTrueRate, 0.001) << err;
  EXPECT_EQ(err.find("without a GPS fix"), std::string::npos) << "every stamp of the recording has a fix";
  const auto status = e2e::statusLines(run.result.out);
  ASSERT_FALSE(status.empty());
  for (const auto& line : status) EXPECT_NEAR(line.sr, kTrueRate, 0.001);
  const auto sync = e2e::syncResult(run.result.out);
  ASSERT_TRUE(sync.has_value());
  EXPECT_TRUE(sync->match);
  EXPECT_NEAR(sync->start, kTrueStart, 0.002) << "the TAI line shows the true time";

  const double transfer = numberAfter(err, "velkor: Loran - GPS ") * 1e-3; // [s]
  EXPECT_NEAR(transfer, kKiwiDelay, kTransferTolerance) << err;
  const std::vector<double> logged = loggedTransfers(run.log);
  ASSERT_EQ(logged.size(), 1u) << run.log;
  EXPECT_NEAR(logged[0], transfer, 0.5e-6) << "the log holds the same measurement";

  const KiwiRun delayed = runExample(recording, "[time]\nreceiverdelay = 1.2\n");
  ASSERT_EQ(delayed.result.status, 0) << delayed.result.err;
  EXPECT_NEAR(numberAfter(delayed.result.err, "velkor: Loran - GPS ") * 1e-3, 0.0, kTransferTolerance)
      << delayed.result.err;
}

// A synthetic KiwiSDR-style recording (velkor-synth kiwistamps) of a card
// 80 ppm slow that starts 0.4321 s after the time velkor is given: the
// stamps give the true rate and start, Loran - GPS is 0 to within a sample
// (the synthesiser has no receiver delay), and receiverdelay moves it by
// just its own value.
TEST(KiwiStamps, SyntheticStampsGiveTheTrueRateStartAndNoDelay) {
  ScratchDir dir;
  const auto chains = std::vector<e2e::SceneStation>{{"7499x", 1.0, 0}, {"6731x", 0.6, 30}};
  e2e::Settings synth = e2e::synthScene(12000, 8, chains, "12:00:00.4321");
  synth.set("file", "kiwistamps", 1).set("frequency", "ppm", -80);
  const e2e::Truth truth = e2e::synthesise(dir, synth);
  ASSERT_TRUE(truth.valid);
  e2e::Settings receiver = e2e::receiverScene(12000, chains);
  receiver.set("file", "kiwistamps", 1).set("frequency", "srcorr", 0).set("taisync", "integrationtime", 2);
  receiver.set("taisync", "7499x", 10000).set("taisync", "6731x", 10000);
  const double sample = 1 / truth.truerate; // [s]

  const ProcessResult run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("first sample 2015-03-01 12:00:00.432 UTC, "), std::string::npos) << run.err;
  EXPECT_NEAR(numberAfter(run.err, "12:00:00.432 UTC, "), truth.truerate, 0.0001) << run.err;
  const auto sync = e2e::syncResult(run.out);
  ASSERT_TRUE(sync.has_value());
  EXPECT_TRUE(sync->match);
  EXPECT_NEAR(sync->start, truth.start, 0.5e-3 + sample) << "the TAI line shows whole milliseconds";
  const double transfer = numberAfter(run.err, "velkor: Loran - GPS ") * 1e-3; // [s]
  EXPECT_NEAR(transfer, 0.0, sample) << run.err;

  receiver.set("time", "receiverdelay", 0.5);
  const ProcessResult delayed = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(delayed.status, 0) << delayed.err;
  EXPECT_NEAR(numberAfter(delayed.err, "velkor: Loran - GPS ") * 1e-3 - transfer, 0.5e-3, sample / 4) << delayed.err;
}

} // namespace
} // namespace velkor::test
