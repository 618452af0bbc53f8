#include "stations/stationmodel.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velkor {

namespace {

struct TableRead {
  std::vector<TableRecord> records;
  std::string warnings;
};

TableRead readTable(const std::string& text) {
  test::ScratchDir dir;
  dir.write("table.txt", text);
  std::ostringstream warnings;
  TableRead read;
  test::inDirectory(dir.path(), [&] { read.records = readTableRecords("table.txt", warnings); });
  read.warnings = warnings.str();
  return read;
}

const char* kLakeside = "7499,0,M,Lakeside,36,30,0,N,90,0,0,W,0,0,400\n";

} // namespace

TEST(StationTable, ReadsOneRecordPerLine) {
  TableRead read = readTable(std::string(kLakeside) + "9940,0,w,\"Far Hill\",40,0,36,S,120,15,0,E,13796.9,0,1200\n");
  ASSERT_EQ(read.records.size(), 2u);
  const TableRecord& m = read.records[0];
  EXPECT_EQ(m.gri, 7499);
  EXPECT_EQ(m.letter, "M");
  EXPECT_EQ(m.name, "Lakeside");
  EXPECT_EQ(m.lat, 36.5);
  EXPECT_EQ(m.lon, -90.0);
  EXPECT_EQ(m.delay, 0.0f);
  EXPECT_EQ(m.power, 400.0f);
  const TableRecord& w = read.records[1];
  EXPECT_EQ(w.letter, "W") << "letters are upper-cased";
  EXPECT_EQ(w.name, "Far Hill");
  EXPECT_EQ(w.lat, -(40 + 36.0 / 3600));
  EXPECT_EQ(w.lon, 120.25);
  EXPECT_EQ(w.delay, 13796.9f);
  EXPECT_EQ(w.power, 1200.0f);
  EXPECT_EQ(read.warnings, "");
}

TEST(StationTable, QuotedFieldsHoldCommas) {
  TableRead read = readTable("7499, 0, \"M\", \"Lake, side\" ignored, 36,30,0,N,90,0,0,W,0,0,400\n"
                             "\"7430\",0,X,\t\"Rong,cheng, \",0,0,0,N,0,0,0,E,0,0,5\n");
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[0].letter, "M");
  EXPECT_EQ(read.records[0].name, "Lake, side") << "text after the closing quote is dropped";
  EXPECT_EQ(read.records[0].power, 400.0f);
  EXPECT_EQ(read.records[1].gri, 7430) << "a quoted number is still a number";
  EXPECT_EQ(read.records[1].name, "Rong,cheng, ");
  EXPECT_EQ(read.records[1].power, 5.0f);
}

TEST(StationTable, NumericFieldsEndAtBlanks) {
  // "36 30 15" are three fields; blanks before a comma still close the field.
  TableRead read = readTable("7499 ,0,M,Lakeside,36 30 15 ,N,\t90\t,0  ,0,W,0,0,400\n");
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].gri, 7499);
  EXPECT_EQ(read.records[0].lat, 36.5 + 15.0 / 3600);
  EXPECT_EQ(read.records[0].lon, -90.0);
  EXPECT_EQ(read.records[0].power, 400.0f);
}

TEST(StationTable, TextFieldsKeepTheirBlanks) {
  TableRead read = readTable("7499,0,M ,  Lake side  ,36,30,0,N ,90,0,0, W,0,0,400\n");
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].letter, "M ") << "a blank before the comma stays part of the letter";
  EXPECT_EQ(read.records[0].name, "Lake side  ");
  EXPECT_EQ(read.records[0].lat, 36.5) << "\"N \" is northern like anything but S";
  EXPECT_EQ(read.records[0].lon, -90.0) << "blanks before a field are skipped: \" W\" is W";
}

TEST(StationTable, HemispheresAreExactlySAndW) {
  TableRead read = readTable("1000,0,M,a,10,0,0,s,20,0,0,w,0,0,0\n"
                             "1000,0,M,b,10,0,0,South,20,0,0,West,0,0,0\n"
                             "1000,0,M,c,10,0,0,,20,0,0,,0,0,0\n"
                             "1000,0,M,d,-10,-30,-36,N,-20,-30,-36,E,0,0,0\n");
  ASSERT_EQ(read.records.size(), 4u);
  EXPECT_EQ(read.records[0].lat, -10.0);
  EXPECT_EQ(read.records[0].lon, -20.0);
  EXPECT_EQ(read.records[1].lat, 10.0) << "South is not S";
  EXPECT_EQ(read.records[1].lon, 20.0);
  EXPECT_EQ(read.records[2].lat, 10.0);
  EXPECT_EQ(read.records[2].lon, 20.0);
  EXPECT_EQ(read.records[3].lat, 10.51) << "the signs of the numeric fields are not used";
  EXPECT_EQ(read.records[3].lon, 20.51);
}

TEST(StationTable, NumbersAreReadFromTheFieldStartAndIntegersRounded) {
  TableRead read = readTable("7499.4,0,M,a,36.5,29.5,1.5,N,37.5,0.5,0.25,E,1e3,0,2.5kW\n"
                             "7499,0,M,b,x36,,,N,12abc,0,0,E,,0,\n");
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[0].gri, 7499);
  EXPECT_EQ(read.records[0].lat, 36 + 30 / 60.0 + 1.5 / 3600) << "halves to even: 36.5 -> 36, 29.5 -> 30";
  EXPECT_EQ(read.records[0].lon, 38 + 0.25 / 3600) << "37.5 -> 38, 0.5 -> 0";
  EXPECT_EQ(read.records[0].delay, 1000.0f);
  EXPECT_EQ(read.records[0].power, 2.5f);
  EXPECT_EQ(read.records[1].lat, 0.0) << "no number reads as 0";
  EXPECT_EQ(read.records[1].lon, 12.0);
  EXPECT_EQ(read.records[1].delay, 0.0f);
  EXPECT_EQ(read.records[1].power, 0.0f);
}

TEST(StationTable, RecordsWithoutPositiveGriAreSkipped) {
  TableRead read = readTable(std::string("0,0,M,zero,1,0,0,N,1,0,0,E,0,0,1\n") + "-7499,0,M,minus,1,0,0,N,1,0,0,E,0,0,1\n" +
                             "abc,0,M,word,1,0,0,N,1,0,0,E,0,0,1\n" + kLakeside);
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].name, "Lakeside") << "the skipped records' fields were consumed";
  EXPECT_EQ(read.warnings, "");
}

TEST(StationTable, FifteenFieldsAtATimeWhateverTheLines) {
  // One record spread over three lines (a line end ends a field like a comma);
  // then a line of fourteen fields whose fifteenth field is the empty line
  // after it.
  TableRead read = readTable("7499,0,M\nLakeside,36,30,0,N\n90,0,0,W,0,0,400\n"
                             "9940,0,W,Gap,1,0,0,N,1,0,0,E,0,0\n\n" + std::string(kLakeside));
  ASSERT_EQ(read.records.size(), 3u);
  EXPECT_EQ(read.records[0].name, "Lakeside");
  EXPECT_EQ(read.records[0].lon, -90.0);
  EXPECT_EQ(read.records[0].power, 400.0f);
  EXPECT_EQ(read.records[1].name, "Gap");
  EXPECT_EQ(read.records[1].power, 0.0f) << "the empty line is the empty power field";
  EXPECT_EQ(read.records[2].power, 400.0f);
}

TEST(StationTable, LineEndsMayBeCrlfOrLfAndTheLastMayBeMissing) {
  std::string lf = std::string(kLakeside) + "9940,0,W,\"Far Hill\",40,0,0,N,120,0,0,E,13796.9,0,1200\n";
  std::string crlf = "7499,0,M,Lakeside,36,30,0,N,90,0,0,W,0,0,400\r\n"
                     "9940,0,W,\"Far Hill\",40,0,0,N,120,0,0,E,13796.9,0,1200\r\n";
  std::string cr = "7499,0,M,Lakeside,36,30,0,N,90,0,0,W,0,0,400\r"
                   "9940,0,W,\"Far Hill\",40,0,0,N,120,0,0,E,13796.9,0,1200\r";
  for (const std::string& text : {lf, crlf, cr, lf.substr(0, lf.size() - 1), crlf.substr(0, crlf.size() - 2)}) {
    TableRead read = readTable(text);
    ASSERT_EQ(read.records.size(), 2u) << text;
    EXPECT_EQ(read.records[0].name, "Lakeside");
    EXPECT_EQ(read.records[0].power, 400.0f);
    EXPECT_EQ(read.records[1].letter, "W");
    EXPECT_EQ(read.records[1].name, "Far Hill");
    EXPECT_EQ(read.records[1].power, 1200.0f);
    EXPECT_EQ(read.warnings, "") << text;
  }
}

TEST(StationTable, AnIncompleteLastRecordIsIgnored) {
  TableRead read = readTable(std::string(kLakeside) + "9940,0,W,Far Hill,40,0,0");
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].name, "Lakeside");
  EXPECT_EQ(read.warnings, "velkor: warning: table.txt: the last record ends after 7 of 15 fields and is ignored\n");

  for (const char* tail : {"", "\n", "\n\n\n", "\r\n\r\n", "   \n\t\n", "\"\"\n"}) {
    read = readTable(std::string(kLakeside) + tail);
    EXPECT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.warnings, "") << "empty trailing fields give no warning";
  }
  read = readTable("");
  EXPECT_TRUE(read.records.empty());
  EXPECT_EQ(read.warnings, "");
}

} // namespace velkor
