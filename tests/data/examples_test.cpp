// Checks the example configurations in data/examples against the
// configuration reader: every line is commented, every key is one the reader
// knows (or a list entry of the right form), the settings pass the start-up
// checks, every station is in the shipped table, and the files they name
// exist where the example says it is run (the data directory).
#include "core/config.h"
#include "core/startup.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace velkor::test {
namespace {

const std::filesystem::path kData = std::filesystem::path(VELKOR_SOURCE_DIR) / "data";

std::vector<std::filesystem::path> examples() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(kData / "examples"))
    if (entry.path().extension() == ".ini") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// One setting line as the reader sees it.
struct Line {
  int number = 0;
  std::string raw;
  std::string section;
  std::string key;
  std::string value;  // letter case kept
};

std::vector<Line> settingLines(const std::filesystem::path& file, std::vector<std::string>* headers = nullptr) {
  std::vector<Line> lines;
  std::istringstream in(slurp(file));
  std::string raw, section;
  int number = 0;
  while (std::getline(in, raw)) {
    ++number;
    std::string text = raw.substr(0, raw.find(';'));
    text = trimmed(text.substr(0, text.find('\'')));
    if (text.empty()) continue;
    if (text.front() == '[') {
      section = lower(text.substr(1, text.size() - 2));
      if (headers) headers->push_back(section);
      continue;
    }
    auto equals = text.find('=');
    Line line{number, raw, section, lower(trimmed(text.substr(0, equals))), ""};
    if (equals != std::string::npos) line.value = trimmed(text.substr(equals + 1));
    lines.push_back(line);
  }
  return lines;
}

std::set<std::string> tableStations() {
  std::set<std::string> stations;
  std::ifstream in(kData / "table.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string gri, unused, letter;
    std::getline(fields, gri, ',');
    std::getline(fields, unused, ',');
    std::getline(fields, letter, ',');
    stations.insert(gri + letter);
  }
  return stations;
}

TEST(ExampleConfigurations, ThereAreTheDocumentedSetUps) {
  std::set<std::string> names;
  for (const auto& file : examples()) names.insert(file.filename().string());
  for (const char* name : {"soundcard-48k.ini", "soundcard-192k.ini", "kiwisdr-g4fui.ini", "kiwisdr-qtr.ini",
                           "live-raw.ini"})
    EXPECT_EQ(names.count(name), 1u) << name;
}

TEST(ExampleConfigurations, EveryLineIsCommentedAndEveryKeyIsKnown) {
  auto known = configurationKeys();
  std::set<std::string> keys(known.begin(), known.end());
  std::set<std::string> sections;
  for (const auto& key : keys) sections.insert(key.substr(0, key.find(' ')));
  auto griDigits = [](std::string_view text) {
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  auto syncEntry = [&](std::string_view key) {
    return key.size() == 5 && griDigits(key.substr(0, 4)) && key[4] >= 'a' && key[4] <= 'z';
  };
  auto station = [&](std::string_view key) { return syncEntry(key.substr(key.rfind('-', 0) == 0 ? 1 : 0)); };
  auto number = [](const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
  };
  for (const auto& file : examples()) {
    SCOPED_TRACE(file.filename().string());
    std::vector<std::string> headers;
    for (const Line& line : settingLines(file, &headers)) {
      SCOPED_TRACE("line " + std::to_string(line.number) + ": " + line.raw);
      EXPECT_NE(line.raw.find(';'), std::string::npos) << "a setting without a comment";
      ASSERT_FALSE(line.section.empty()) << "a key before the first section";
      if (keys.count(line.section + " " + line.key)) continue;
      if (line.section == "stations") {
        EXPECT_TRUE(station(line.key)) << "not a station entry";
      } else if (line.section == "taisync") {
        EXPECT_TRUE(syncEntry(line.key)) << "not a synchronisation entry";
        EXPECT_TRUE(number(line.value)) << "a synchronisation entry needs a weight";
      } else if (line.section == "chaindelay") {
        EXPECT_TRUE(griDigits(line.key)) << "not a chain delay";
        EXPECT_TRUE(number(line.value)) << "a chain delay needs milliseconds";
      } else {
        ADD_FAILURE() << "unknown key";
      }
    }
    for (const auto& header : headers) EXPECT_EQ(sections.count(header), 1u) << "unknown section " << header;
  }
}

TEST(ExampleConfigurations, ReadWithoutWarningsAndPassTheStartUpChecks) {
  for (const auto& file : examples()) {
    SCOPED_TRACE(file.filename().string());
    State state;
    std::ostringstream warnings;
    applyConfigurationText(state, slurp(file), warnings);
    EXPECT_EQ(warnings.str(), "");
    EXPECT_NO_THROW(validateSettings(state));
    EXPECT_FALSE(state.stationentries.empty());
    EXPECT_FALSE(state.taientries.empty()) << "every example synchronises";
    EXPECT_GT(state.integrationtime, 0.0);
    EXPECT_LT(state.referencestation, static_cast<int32_t>(state.stationentries.size()));
    EXPECT_EQ(state.table, "table.txt") << "examples run beside the table";
  }
}

TEST(ExampleConfigurations, EveryStationIsInTheShippedTable) {
  auto table = tableStations();
  for (const auto& file : examples()) {
    SCOPED_TRACE(file.filename().string());
    State state;
    std::ostringstream warnings;
    applyConfigurationText(state, slurp(file), warnings);
    for (const auto& entry : state.stationentries)
      EXPECT_EQ(table.count(std::to_string(std::abs(entry.gri)) + entry.letter), 1u) << entry.gri << entry.letter;
    for (const auto& entry : state.taientries)
      EXPECT_EQ(table.count(std::to_string(entry.gri) + entry.letter), 1u) << entry.gri << entry.letter;
  }
}

TEST(ExampleConfigurations, TheRecordingsTheyNameExistFromTheDataDirectory) {
  if (sharedDataDir().empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
  int recordings = 0;
  for (const auto& file : examples()) {
    SCOPED_TRACE(file.filename().string());
    State state;
    std::ostringstream warnings;
    applyConfigurationText(state, slurp(file), warnings);
    if (!state.wavinput) {
      EXPECT_EQ(state.inputfile, "audio.dat") << "live examples read what velkor-capture writes";
      continue;
    }
    ++recordings;
    EXPECT_TRUE(std::filesystem::exists(kData / state.inputfile)) << state.inputfile;
  }
  EXPECT_EQ(recordings, 2);
}

} // namespace
} // namespace velkor::test
