#include "stations/stationmodel.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velkor {

namespace {

// The records read from `text`, one "GRI letter|name|lat|lon|delay|power" each, and the warnings.
using Read = std::pair<std::string, std::string>;

Read readTable(const std::string& text) {
  test::ScratchDir dir;
  dir.write("table.txt", text);
  std::ostringstream records, warnings;
  test::inDirectory(dir.path(), [&] {
    for (const TableRecord& r : readTableRecords("table.txt", warnings))
      records << r.gri << " " << r.letter << "|" << r.name << "|" << r.lat << "|" << r.lon << "|" << r.delay << "|"
              << r.power << "\n";
  });
  return {records.str(), warnings.str()};
}

const std::string kLakeside = "7499,0,M,Lakeside,36,30,0,N,90,0,0,W,0,0,400";
const std::string kFarHill = "9940,0,w,\"Far, Hill\",40,0,36,s,120,15,0,E,13796.9,0,1200";
const std::string kBoth = "7499 M|Lakeside|36.5|-90|0|400\n9940 W|Far, Hill|-40.01|120.25|13796.9|1200\n";

} // namespace

TEST(StationTable, HostileInput) {
  const std::string lakeside = "7499 M|Lakeside|36.5|-90|0|400\n";
  // Table text -> records, warnings.
  const std::tuple<std::string, std::string, std::string> rows[] = {
      {kLakeside + "\n" + kFarHill + "\n", kBoth, ""},
      {kLakeside + "\r\n" + kFarHill + "\r\n", kBoth, ""},
      {kLakeside + "\r\n" + kFarHill, kBoth, ""},
      {kLakeside + "\n" + kFarHill, kBoth, ""},
      // Blanks end numeric fields ("36 30 15" are three), text keeps them.
      {"7499 ,0,M ,  Lake side  ,36 30 15 ,N,\t90\t,0  ,0, W,0,0,400\n", "7499 M |Lake side  |36.5042|-90|0|400\n", ""},
      // Text after a closing quote is dropped; a quoted number is a number.
      {"\"7430\", 0, X, \"Lake, side\" x, 1,0,0,N,1,0,0,E,0,0,5\n", "7430 X|Lake, side|1|1|0|5\n", ""},
      // Only exactly S and W count; the signs of the numbers never do.
      {"1000,0,M,a,10,0,0,South,20,0,0,West,0,0,0\n1000,0,M,b,-10,-30,-36,S,-20,0,0,w,0,0,0\n",
       "1000 M|a|10|20|0|0\n1000 M|b|-10.51|-20|0|0\n", ""},
      // Records without a positive GRI are skipped, their fields consumed.
      {"0,0,M,zero,1,0,0,N,1,0,0,E,0,0,1\n-7499,0,M,minus,1,0,0,N,1,0,0,E,0,0,1\n" + kLakeside, lakeside, ""},
      // Fifteen fields whatever the lines; a line end ends a field.
      {"7499,0,M\nLakeside,36,30,0,N\n90,0,0,W,0,0,400\n", lakeside, ""},
      // A truncated last record is ignored, with a warning when it holds text.
      {kLakeside + "\n9940,0,W,Far Hill,40,0,0", lakeside,
       "velkor: warning: table.txt: the last record ends after 7 of 15 fields and is ignored\n"},
      {kLakeside + "\n\n\n", lakeside, ""},
      {kLakeside + "\r\n  \t\r\n\"\"\n", lakeside, ""}};
  for (const auto& [text, records, warnings] : rows) EXPECT_EQ(readTable(text), (Read{records, warnings})) << text;
}

} // namespace velkor
