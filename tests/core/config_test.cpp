#include "core/config.h"
#include "core/errors.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace velkor {

namespace {
State configured(const std::string& text, std::string* warnings = nullptr) {
  State s;
  std::ostringstream out;
  applyConfigurationText(s, text, out);
  if (warnings) *warnings = out.str();
  return s;
}
} // namespace

TEST(ConfigurationLines, CommentsCaseAndSections) {
  State s = configured("[Frequency]\nSR = 44100 ; comment\n[time]\ndisplaysamples = 30 'note; more\n");
  EXPECT_EQ(s.sr, 44100.0);
  EXPECT_EQ(s.displaysamples, 30);
  s = configured("sr = 48000\n[frequencyX\nsr = 96000\n");
  EXPECT_EQ(s.sr, 96000.0) << "a header loses its last character, whatever it is";
  s = configured("sr = 48000\n");
  EXPECT_EQ(s.sr, 22050.0) << "a key before the first header has no effect";
}

TEST(ConfigurationLines, TabsAndBlanks) {
  State s = configured("[frequency]\nsr\t= 48000\n   looffset   =    12.5   \n");
  EXPECT_EQ(s.sr, 22050.0) << "a tab before '=' stays part of the key";
  EXPECT_EQ(s.looffset, 12.5);
}

TEST(ConfigurationLines, CrlfAndRepeatedKeys) {
  State s = configured("[time]\r\nlongintegration = 3\r\nlongintegration = 7\r\n");
  EXPECT_EQ(s.longintegration, 7);
}

TEST(ConfigurationLines, NamesKeepTheirCase) {
  State s = configured(
      "[File]\nWAV = 20251207T170403Z_100000_G4FUI_iq.wav\nBMP = Out/Image.BMP\nTable = My Table.txt\n"
      "BmpCmd = cp Out/Image.BMP /Pub\n[pll]\npllcommand = Corvex2 /X=\n[file]\ndate = 03-01-2015\n");
  EXPECT_EQ(s.inputfile, "20251207T170403Z_100000_G4FUI_iq.wav");
  EXPECT_EQ(s.wavinput, 1);
  EXPECT_EQ(s.bmp, "Out/Image.BMP");
  EXPECT_EQ(s.table, "My Table.txt");
  EXPECT_EQ(s.bmpcmd, "cp Out/Image.BMP /Pub");
  EXPECT_EQ(s.pllcommand, "Corvex2 /X=");
  EXPECT_EQ(s.pllcommandgiven, 1);
  s = configured("[file]\nwav = a.wav\ndat = Live.DAT\n");
  EXPECT_EQ(s.inputfile, "Live.DAT");
  EXPECT_EQ(s.wavinput, 0) << "the later of wav and dat wins";
}

TEST(ConfigurationLines, ApostropheAndSemicolonCutValues) {
  State s = configured("[pll]\npllcommand = run 'quoted' ; x\n");
  EXPECT_EQ(s.pllcommand, "run");
}

TEST(ConfigurationNumbers, RoundingAndWidths) {
  EXPECT_EQ(configured("[time]\ndisplaysamples = 24.5\n").displaysamples, 24);
  EXPECT_EQ(configured("[time]\ndisplaysamples = 25.5\n").displaysamples, 26);
  EXPECT_EQ(configured("[time]\ndisplaysamples = 1e2x\n").displaysamples, 100);
  EXPECT_EQ(configured("[time]\ndisplaysamples = abc\n").displaysamples, 0);
  EXPECT_EQ(configured("[time]\ndisplaysamples = -2.5\n").displaysamples, -2) << "halves to even";
  EXPECT_EQ(configured("[time]\nasf = 1.0009\n").asf, 1.0009f);
  EXPECT_EQ(configured("[frequency]\nsr = 1.000000001e4\n").sr, 10000.00001);
}

TEST(ConfigurationNumbers, SaturateInsteadOfOverflow) {
  EXPECT_EQ(configured("[time]\ndisplaysamples = 1e30\n").displaysamples, 2147483647);
  EXPECT_EQ(configured("[time]\ndisplaysamples = -1e30\n").displaysamples, -2147483647 - 1);
  EXPECT_EQ(configured("[amplitude]\nnb = 70000\n").nb, 32767);
  EXPECT_TRUE(std::isinf(configured("[time]\nasf = 1e300\n").asf));
  EXPECT_TRUE(std::isinf(configured("[frequency]\nsr = 1e999\n").sr));
}

TEST(ConfigurationKeys, SpecialStores) {
  State s = configured(
      "[file]\nbits = 8\nmono\n[frequency]\nsrcorr = -0.25\n[pll]\npllavfini = 3e-9\n"
      "[amplitude]\nfullscale = 150+\nedgelevel = 2.5\nnbinit = 50\n[taisync]\nsyncverbose\n"
      "[stations]\nprintstationlist = 0\n");
  EXPECT_EQ(s.bytespersample, 1);
  EXPECT_EQ(s.channels, 1);
  EXPECT_EQ(s.srcorr, -0.25f);
  EXPECT_EQ(s.srcorrroot, 0.5f);
  EXPECT_EQ(s.pllavgfreq, 3e-9f);
  EXPECT_EQ(s.fullscale, 150.0f);
  EXPECT_EQ(s.fullscaleknee, 1);
  EXPECT_EQ(s.edgelevelabs, 2.5f);
  EXPECT_EQ(s.nbinit, 2500.0f);
  EXPECT_EQ(s.syncverbose, 1);
  EXPECT_EQ(s.printstationlist, 1) << "flags are set by their presence";
  EXPECT_EQ(configured("[file]\nbits\n").bytespersample, 1);
  EXPECT_EQ(configured("[file]\nbits = 12\n").bytespersample, 2);
  s = configured("[amplitude]\nfullscale = 150+\nfullscale = 100\nedgelevel = 0.3\n");
  EXPECT_EQ(s.fullscaleknee, 1) << "the knee is never reset";
  EXPECT_EQ(s.edgelevelabs, 0.0f);
  EXPECT_EQ(configured("[firfilter]\nhipass = 0.3\n").hipass, 0.3f);
}

TEST(ConfigurationLists, StationEntries) {
  State s = configured("[stations]\n7499m\n-7499x = 3\n7499\nlakeside\n0m\nhidden = 1\n");
  ASSERT_EQ(s.stationentries.size(), 3u);
  EXPECT_EQ(s.stationentries[0].gri, 7499);
  EXPECT_EQ(s.stationentries[0].letter, 'M');
  EXPECT_EQ(s.stationentries[1].gri, -7499);
  EXPECT_EQ(s.stationentries[1].letter, 'X');
  EXPECT_EQ(s.stationentries[2].letter, '9');
  EXPECT_EQ(s.hidden, 1);
}

TEST(ConfigurationLists, SyncChainDelayAndTaps) {
  State s = configured(
      "[taisync]\n7499m = 1\n-6731x = 1\nstations = 3\nsearchrange = 100\n9940w = 0.5\n"
      "[chaindelay]\n4000 = 1\n4001 = 2\n10000 = 3\n9999 = 4.5\n"
      "[firfilter]\ntap = 0.5\ntap = 0.5, -0.25\n");
  ASSERT_EQ(s.taientries.size(), 2u);
  EXPECT_EQ(s.taientries[1].gri, 9940);
  EXPECT_EQ(s.taientries[1].letter, 'W');
  EXPECT_EQ(s.taientries[1].value, 0.5f);
  EXPECT_EQ(s.searchrange, 100.0f);
  ASSERT_EQ(s.chaindelays.size(), 2u);
  EXPECT_EQ(s.chaindelays[0].gri, 4001);
  EXPECT_EQ(s.chaindelays[1].delay, 4.5f);
  ASSERT_EQ(s.tapre.size(), 2u);
  EXPECT_EQ(s.tapre[0], 0.5f);
  EXPECT_EQ(s.tapim[0], 0.0f);
  EXPECT_EQ(s.tapim[1], -0.25f);
}

TEST(ConfigurationLists, CapacitiesAreKeptWithOneWarningPerList) {
  std::string text = "[stations]\n";
  for (int i = 0; i < 205; ++i) text += std::to_string(5000 + i) + "m\n";
  text += "[taisync]\n";
  for (int i = 0; i < 12; ++i) text += std::to_string(5000 + i) + "m = 1\n";
  text += "[firfilter]\n";
  for (int i = 0; i < 22; ++i) text += "tap = 1\n";
  std::string warnings;
  State s = configured(text, &warnings);
  EXPECT_EQ(s.stationentries.size(), 200u);
  EXPECT_EQ(s.taientries.size(), 10u);
  EXPECT_EQ(s.tapre.size(), 20u);
  std::istringstream lines(warnings);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.rfind("velkor: warning: ", 0), 0u) << line;
    ++count;
  }
  EXPECT_EQ(count, 3);
}

TEST(ConfigurationFile, EmptyFileKeepsDefaultsAndMissingFileIsFatal) {
  test::ScratchDir dir;
  dir.write("empty.ini", "");
  State s;
  std::ostringstream warnings;
  readConfiguration(s, dir.file("empty.ini"), warnings);
  EXPECT_EQ(s.sr, 22050.0);
  EXPECT_EQ(s.displaysamples, 24);
  EXPECT_TRUE(s.stationentries.empty());
  try {
    readConfiguration(s, dir.file("missing.ini"), warnings);
    FAIL() << "no error for a missing file";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.reason(), "file not found");
  }
}

TEST(ConfigurationKeys, ListNamesEverySection) {
  auto keys = configurationKeys();
  for (const char* expected : {"location lat", "file bmpcmd", "pll pllcommand", "amplitude nbcorr",
                               "firfilter tap", "taisync *", "stations singlepulses"})
    EXPECT_NE(std::find(keys.begin(), keys.end(), expected), keys.end()) << expected;
}

} // namespace velkor
