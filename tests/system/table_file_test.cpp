// The shipped station table data/table.txt as text, against the compiled list
// it comes from: the CSV beside the repository (one header line, RFC 4180
// quoting, columns gri, letter, name, country, lat_deg, lat_min, lat_sec, ns,
// lon_deg, lon_min, lon_sec, ew, emission_delay_us, power_kw, status, ...).
// That velkor's reader takes every record, and the transmitter on the air
// last of a reused GRI and letter, is checked in shipped_table_test.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace velkor::test {
namespace {

using Fields = std::vector<std::string>;

// Each line split at commas outside double quotes; quotes are dropped, a
// doubled quote inside quotes is one quote character.
std::vector<Fields> records(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<Fields> result;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Fields fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i)
      if (line[i] == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
      else if (line[i] == '"') quoted = !quoted;
      else if (line[i] == ',' && !quoted) fields.emplace_back();
      else fields.back() += line[i];
    result.push_back(fields);
  }
  return result;
}

const auto kTable = std::filesystem::path(VELKOR_SOURCE_DIR) / "data" / "table.txt";

TEST(StationTableFile, HoldsEveryTransmitterOfTheCompiledListThatHasCoordinates) {
  const auto csv = sharedDataDir() / "loran-stations.csv";
  if (sharedDataDir().empty() || !std::filesystem::exists(csv)) GTEST_SKIP() << "no compiled list beside the sources";
  auto lines = records(csv);
  ASSERT_FALSE(lines.empty());
  std::map<std::string, std::size_t> column;
  for (std::size_t i = 0; i < lines[0].size(); ++i) column[lines[0][i]] = i;
  const char* kept[] = {"gri",     "letter",  "name",    "lat_deg", "lat_min",           "lat_sec", "ns",
                        "lon_deg", "lon_min", "lon_sec", "ew",      "emission_delay_us", "power_kw"};
  std::multiset<Fields> expected;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    Fields f;
    for (const char* name : kept) f.push_back(lines[n].at(column.at(name)));
    if (f[3].empty() || f[7].empty()) continue; // no position: left out
    if (f[12].empty()) f[12] = "0";
    expected.insert(f);
  }
  std::multiset<Fields> shipped;
  for (auto r : records(kTable)) {
    ASSERT_EQ(r.size(), 15u) << r[0] << " " << r.back();
    r.erase(r.begin() + 13); // the unused field between delay and power
    r.erase(r.begin() + 1);  // the unused field between GRI and letter
    shipped.insert(r);
  }
  EXPECT_EQ(shipped, expected);
}

} // namespace
} // namespace velkor::test
