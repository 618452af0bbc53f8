// Hostile numbers and endless loops, end to end: settings and table numbers
// that are not finite or overflow are refused at start-up naming the key or
// the table line; a sample-clock loop that runs away re-synchronises instead
// of walking through endless past pulses; q ends the ambiguity search; a
// byte-order mark hides nothing; and velkor survives random configurations
// full of such numbers.
#include "config/config.h"
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

namespace velkor {

namespace {

constexpr double kRate = 12000;    // [Hz] of the recordings
constexpr double kRunLimit = 20;   // [s] a run may last before it counts as hung
constexpr int kSurvivalRuns = 400; // random configurations per test run

std::string shippedTable() { return std::string(VELKOR_SOURCE_DIR) + "/data/table.txt"; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A receiver of the 7499 X and 6731 X stations on a recording of `seconds`,
// synchronised on 7499 X over 1 s.
e2e::Settings receiver(const test::ScratchDir& dir, double seconds) {
  const std::vector<e2e::SceneStation> stations{{"7499x", 1.0, 0}, {"6731x", 0.6, 30}};
  e2e::synthesise(dir, e2e::synthScene(kRate, seconds, stations, "12:00:00.35"));
  e2e::Settings s = e2e::receiverScene(kRate, stations);
  return s.set("taisync", "integrationtime", 1).set("taisync", "7499x", 10000);
}

// A run that ends on its own within the limit: its status, output and errors.
test::ProcessResult runBounded(const test::ScratchDir& dir, const e2e::Settings& settings) {
  e2e::RunningReceiver run(dir, settings);
  return run.finish(kRunLimit);
}

// The table with `value` in field `field` (from 0) of the 7499 X record.
std::string tableWith(int field, const std::string& value) {
  std::istringstream lines(readFile(shippedTable()));
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("7499,0,X,", 0) == 0) {
      std::vector<std::string> fields;
      std::istringstream parts(line);
      for (std::string part; std::getline(parts, part, ',');) fields.push_back(part);
      fields[static_cast<std::size_t>(field)] = value;
      line.clear();
      for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
    }
    out += line + "\n";
  }
  return out;
}

int lineOf7499X() {
  std::istringstream lines(readFile(shippedTable()));
  int number = 1;
  for (std::string line; std::getline(lines, line); ++number)
    if (line.rfind("7499,0,X,", 0) == 0) return number;
  return 0;
}

} // namespace

TEST(HostileNumbers, RefusedAtStartUpNamingTheKeyOrTheTableLine) {
  test::ScratchDir dir;
  const e2e::Settings good = receiver(dir, 3);
  struct Case {
    const char* section;
    const char* key;
    const char* value;
    const char* message; // the start of stderr
  };
  const Case cases[] = {
      {"time", "shortintegration", "1e-40", "velkor: shortintegration = 9.999946101e-41: must last at least one"},
      {"location", "lat", "1e999", "velkor: lat = inf: must be a finite number\n"},
      {"location", "lon", "1e39", "velkor: lon = 1e+39: a longitude lies between"},
      {"time", "asf", "1e39", "velkor: asf = inf: must be a finite number\n"},
      {"time", "clockoffset", "1e999", "velkor: clockoffset = inf: must be a finite number\n"},
      {"time", "utcoffset", "2147483648", "velkor: utcoffset = 2147483647: moves the clock by more than a century"},
      {"taisync", "integrationtime", "1e999", "velkor: integrationtime = inf: must be a finite number\n"},
      {"taisync", "integrationtime", "1e18", "velkor: integrationtime = 1e+18: averages more than 2147483647"},
      {"taisync", "searchrange", "1e18", "velkor: searchrange = 9.999999843e+17: spans more than 2147483647"},
      {"frequency", "srcorr", "1e999", "velkor: srcorr = inf: must be a finite number\n"},
      {"taisync", "6731x", "1e39", "velkor: [taisync] weight = inf: must be a finite number\n"},
  };
  for (const Case& c : cases) {
    e2e::Settings s = good;
    const auto r = runBounded(dir, s.set(c.section, c.key, c.value));
    EXPECT_EQ(r.status, 1) << c.key << " = " << c.value << "\n" << r.out;
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.key << " = " << c.value << " gave: " << r.err;
  }

  dir.write("table.txt", tableWith(6, "1e999"));
  e2e::Settings s = good;
  const auto table = runBounded(dir, s.set("file", "table", "table.txt"));
  EXPECT_EQ(table.status, 1) << table.out;
  EXPECT_EQ(table.err, "velkor: table.txt:" + std::to_string(lineOf7499X()) +
                           ": latitude seconds = 1e999: must be a finite number within the range of the field\n");
  EXPECT_EQ(runBounded(dir, good).status, 0) << "the same run with valid numbers";
}

TEST(EndlessLoops, ARunawaySampleClockResynchronisesAndQEndsTheSearch) {
  test::ScratchDir dir;
  // A huge loop gain: the first correction would move the stream clock by
  // years, and the pulse walk would step through every pulse in between.
  // The prediction stands off the pulse (the chain delay), so the loop acts.
  e2e::Settings runaway = receiver(dir, 10);
  runaway.set("frequency", "srcorr", "1e30").set("chaindelay", "7499", "0.2").set("time", "notices", 1);
  runaway.erase("taisync", "7499x").set("taisync", "6731x", 10000);
  const auto r = runBounded(dir, runaway);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("re-synchronising: the sample-rate estimate left its band around sr"), std::string::npos)
      << r.err;
  EXPECT_GE(e2e::statusLines(r.out).size(), 2u) << "the receiver goes on after each re-synchronisation\n" << r.out;

  // No averaging (a negative time) and a second entry that can never match:
  // the search over 2e9 intervals would take minutes; q, typed before it
  // starts, ends it at its first look at the keyboard.
  e2e::Settings endless = receiver(dir, 3);
  endless.set("taisync", "integrationtime", -1).set("taisync", "searchrange", "3e8").set("taisync", "9007m", "1e30");
  e2e::RunningReceiver running(dir, endless);
  running.type("q");
  const auto quit = running.finish(kRunLimit);
  EXPECT_EQ(quit.status, 0) << quit.err;
  EXPECT_EQ(quit.out.find("TAI "), std::string::npos) << "ended in the search\n" << quit.out;
}

TEST(ByteOrderMark, HidesNeitherTheFirstSectionNorTheFirstTableRecord) {
  test::ScratchDir dir;
  const e2e::Settings good = receiver(dir, 3);
  const std::string expected = runBounded(dir, good).out;
  ASSERT_NE(expected.find("7499 X Lessay"), std::string::npos) << expected;

  const std::string bom = "\xEF\xBB\xBF";
  std::string table = readFile(shippedTable());
  const auto line = table.find("7499,0,X,");
  dir.write("table.txt", bom + table.substr(line) + table.substr(0, line)); // 7499 X first
  dir.write("marked.ini", bom + good.text());                               // [location] first
  e2e::Settings marked = good;
  marked.set("file", "table", "table.txt");
  dir.write("velkor.ini", bom + marked.text());
  auto run = test::runProcess({VELKOR_BINARY}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected) << "the receiver's position and 7499 X read as without the mark";

  const auto check = test::runProcess({VELKOR_BINARY, "--check", "marked.ini"}, dir.path());
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("marked.ini:1: note: the file begins with a byte-order mark, which is skipped"),
            std::string::npos)
      << check.out;
}

// ---- Survival of random configurations -------------------------------------------

namespace {

const char* const kHostile[] = {"1e999", "-1e999", "nan",        "inf",   "-inf",   "1e18",   "-1e18",
                                "-0",    "0",      "2147483648", "1e-40", "3.4e38", "-3.4e38"};
const char* const kValid[] = {"1", "2", "0.5", "-1", "3", "10", "24", "100", "0.01", "-0.5"};

std::string fourHundredDigits() { return "1" + std::string(399, '7'); }

struct Draw {
  std::mt19937_64 random;
  explicit Draw(uint64_t seed) : random(seed) {}
  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; }
  std::string number() {
    if (chance(0.08)) return fourHundredDigits();
    if (chance(0.6)) return kHostile[below(std::size(kHostile))];
    return kValid[below(std::size(kValid))];
  }
};

// Every numeric key of the reader but the raw-input wait (the run reads a WAV).
std::vector<std::pair<std::string, std::string>> numericKeys() {
  std::vector<std::pair<std::string, std::string>> keys;
  for (const std::string& entry : configurationKeys()) {
    const auto blank = entry.find(' ');
    const std::string section = entry.substr(0, blank), key = entry.substr(blank + 1);
    if (key != "*" && keyReadsNumber(section, key) && key != "sleeptime") keys.emplace_back(section, key);
  }
  return keys;
}

uint64_t survivalSeed() {
  if (const char* text = std::getenv("VELKOR_SURVIVAL_SEED")) return std::strtoull(text, nullptr, 10);
  return std::random_device{}();
}

bool sanitizerReport(const std::string& err) {
  return err.find("runtime error") != std::string::npos || err.find("Sanitizer") != std::string::npos;
}

} // namespace

TEST(Survival, RandomConfigurationsOfHostileNumbersNeverCrashOrHang) {
  const uint64_t seed = survivalSeed();
  std::cout << "survival seed " << seed << " (VELKOR_SURVIVAL_SEED=" << seed << " repeats it)" << std::endl;
  Draw draw(seed);
  test::ScratchDir dir;
  const e2e::Settings base = receiver(dir, 3).set("taisync", "6731x", 10000).set("file", "table", "table.txt");
  const auto keys = numericKeys();
  const std::string table = readFile(shippedTable());
  int refused = 0; // [runs] that stopped with a fatal error
  for (int run = 0; run < kSurvivalRuns && !testing::Test::HasFailure(); ++run) {
    e2e::Settings s = base;
    const std::size_t count = 1 + draw.below(6);
    for (std::size_t i = 0; i < count; ++i) {
      const auto& [section, key] = keys[draw.below(keys.size())];
      s.set(section, key, draw.number());
    }
    if (draw.chance(0.2)) s.set("taisync", "7499x", draw.number());
    if (draw.chance(0.1)) s.set("chaindelay", "7499", draw.number());
    if (draw.chance(0.1)) s.set("firfilter", "tap", draw.number() + ", " + draw.number());
    if (draw.chance(0.1)) s.set("stations", draw.number() + "m");
    const bool hostileTable = draw.chance(0.2);
    const int field = static_cast<int>(std::vector<int>{0, 1, 4, 5, 6, 8, 9, 10, 12, 13, 14}[draw.below(11)]);
    dir.write("table.txt", hostileTable ? tableWith(field, draw.number()) : table);

    const auto r = runBounded(dir, s);
    const std::string what = "run " + std::to_string(run) + " of seed " + std::to_string(seed) +
                             (hostileTable ? ", table field " + std::to_string(field) : std::string()) + ":\n" +
                             s.text();
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "exit status " << r.status << " in " << what << r.err;
    EXPECT_FALSE(sanitizerReport(r.err)) << what << r.err;
    refused += r.status == 1 ? 1 : 0;
  }
  std::cout << refused << " of " << kSurvivalRuns << " configurations refused, the others ran to the end" << std::endl;
}

} // namespace velkor
