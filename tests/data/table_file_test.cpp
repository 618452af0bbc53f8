// Checks the shipped station table data/table.txt as text: fifteen fields per
// line in the form velkor reads, every transmitter of the compiled list that
// has coordinates, none without, and the most recent user of a reused
// GRI/letter pair last (velkor takes the last matching record).
//
// The compiled list is the CSV beside the repository (shared data folder):
// one header line, RFC 4180 quoting, columns gri, letter, name, country,
// lat_deg, lat_min, lat_sec, ns, lon_deg, lon_min, lon_sec, ew,
// emission_delay_us, power_kw, status, source, notes.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace velkor::test {
namespace {

using Fields = std::vector<std::string>;

// Splits one line at commas outside double quotes; quotes stay in the fields,
// a doubled quote inside quotes is one quote character.
Fields splitLine(const std::string& line, bool unquote) {
  Fields fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
        continue;
      }
      quoted = !quoted;
      if (!unquote) fields.back() += c;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::string> readLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<Fields> tableRecords() {
  std::vector<Fields> records;
  for (const auto& line : readLines(std::filesystem::path(VELKOR_SOURCE_DIR) / "data" / "table.txt"))
    records.push_back(splitLine(line, false));
  return records;
}

bool isNumber(const std::string& text) {
  if (text.empty()) return false;
  std::istringstream in(text);
  double value = 0;
  in >> value;
  return in && in.peek() == std::char_traits<char>::eof();
}

std::string unquoted(const std::string& field) {
  return field.size() >= 2 && field.front() == '"' && field.back() == '"' ? field.substr(1, field.size() - 2)
                                                                          : field;
}

TEST(StationTableFile, EveryLineHasFifteenFieldsInTheReadersForm) {
  auto records = tableRecords();
  ASSERT_GT(records.size(), 100u);
  for (const auto& r : records) {
    std::string where = "record " + r[0] + " " + (r.size() > 3 ? r[3] : "");
    ASSERT_EQ(r.size(), 15u) << where;
    for (std::size_t i = 0; i < r.size(); ++i) {
      EXPECT_FALSE(r[i].empty()) << where << " field " << i + 1;
      if (i != 3) {
        EXPECT_EQ(r[i].find_first_of(" \t"), std::string::npos) << where << ": blank in field " << i + 1;
      }
    }
    EXPECT_GT(std::stoi(r[0]), 900) << where;
    EXPECT_EQ(r[1], "0") << where;
    ASSERT_EQ(r[2].size(), 1u) << where;
    EXPECT_NE(std::string("MVWXYZ").find(r[2][0]), std::string::npos) << where;
    EXPECT_EQ(r[3].front(), '"') << where;
    EXPECT_EQ(r[3].back(), '"') << where;
    for (int i : {4, 5, 6, 8, 9, 10, 12, 13, 14}) EXPECT_TRUE(isNumber(r[i])) << where << " field " << i + 1;
    EXPECT_TRUE(r[7] == "N" || r[7] == "S") << where;
    EXPECT_TRUE(r[11] == "E" || r[11] == "W") << where;
    EXPECT_FALSE(std::stod(r[4]) == 0 && std::stod(r[5]) == 0 && std::stod(r[6]) == 0 && std::stod(r[8]) == 0 &&
                 std::stod(r[9]) == 0 && std::stod(r[10]) == 0)
        << where << ": no position";
    EXPECT_EQ(r[2] == "M", std::stod(r[12]) == 0) << where << ": masters, and only they, have delay 0";
  }
}

TEST(StationTableFile, SortedByGriAndLetterWithTheMostRecentTransmitterLast) {
  auto records = tableRecords();
  std::map<std::string, std::vector<std::string>> byPair;
  std::pair<int, char> previous{0, ' '};
  for (const auto& r : records) {
    ASSERT_EQ(r.size(), 15u);
    std::pair<int, char> key{std::stoi(r[0]), r[2][0]};
    EXPECT_LE(previous, key) << r[0] << r[2];
    previous = key;
    byPair[r[0] + r[2]].push_back(unquoted(r[3]));
  }
  EXPECT_EQ(byPair["6731M"], (std::vector<std::string>{"Lessay", "Anthorn"}));
  EXPECT_EQ(byPair["6731Y"], (std::vector<std::string>{"Loop Head", "Anthorn"}));
  for (const auto& [pair, names] : byPair)
    if (pair != "6731M" && pair != "6731Y") {
      EXPECT_EQ(names.size(), 1u) << pair << " is listed more than once";
    }
}

TEST(StationTableFile, HoldsEveryTransmitterOfTheCompiledListThatHasCoordinates) {
  auto shared = sharedDataDir();
  if (shared.empty() || !std::filesystem::exists(shared / "loran-stations.csv"))
    GTEST_SKIP() << "the compiled station list is not beside the repository";
  auto lines = readLines(shared / "loran-stations.csv");
  ASSERT_FALSE(lines.empty());
  Fields header = splitLine(lines[0], true);
  std::map<std::string, std::size_t> column;
  for (std::size_t i = 0; i < header.size(); ++i) column[header[i]] = i;

  std::multiset<std::string> expected;
  std::set<std::string> withoutPosition;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    if (lines[n].empty()) continue;
    Fields f = splitLine(lines[n], true);
    auto get = [&](const char* name) { return f.at(column.at(name)); };
    std::string id = get("gri") + "," + get("letter") + "," + get("name");
    if (get("lat_deg").empty() || get("lon_deg").empty()) {
      withoutPosition.insert(id);
      continue;
    }
    std::string power = get("power_kw").empty() ? "0" : get("power_kw");
    expected.insert(id + "," + get("lat_deg") + "," + get("lat_min") + "," + get("lat_sec") + "," + get("ns") + "," +
                    get("lon_deg") + "," + get("lon_min") + "," + get("lon_sec") + "," + get("ew") + "," +
                    get("emission_delay_us") + "," + power);
  }
  EXPECT_FALSE(withoutPosition.empty());

  std::multiset<std::string> shipped;
  for (const auto& r : tableRecords()) {
    ASSERT_EQ(r.size(), 15u);
    std::string id = r[0] + "," + r[2] + "," + unquoted(r[3]);
    EXPECT_EQ(withoutPosition.count(id), 0u) << id << " has no coordinates and must be left out";
    shipped.insert(id + "," + r[4] + "," + r[5] + "," + r[6] + "," + r[7] + "," + r[8] + "," + r[9] + "," + r[10] +
                   "," + r[11] + "," + r[12] + "," + r[14]);
  }
  EXPECT_EQ(shipped, expected);
}

} // namespace
} // namespace velkor::test
