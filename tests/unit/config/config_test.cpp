// The configuration reader on the inputs that trip readers up.
#include "config/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>

namespace velkor {

namespace {

Settings configured(const std::string& text, std::string* warnings = nullptr) {
  Settings s;
  std::ostringstream out;
  applyConfigurationText(s, text, out);
  if (warnings) *warnings = out.str();
  return s;
}

} // namespace

TEST(Configuration, LinesAndNumbers) {
  using Get = double (*)(const Settings&);
  const Get sr = [](const Settings&s) { return s.sr; }, looffset = [](const Settings&s) { return s.looffset; };
  const Get samples = [](const Settings& s) { return double(s.displaysamples); };
  const Get nb = [](const Settings&s) { return double(s.nb); }, asf = [](const Settings&s) { return double(s.asf); };
  const Get nbinit = [](const Settings& s) { return double(s.nbinit); };
  const Get srcorrroot = [](const Settings& s) { return double(s.srcorrroot); };
  const std::tuple<const char*, Get, double> cases[] = {
      {"[Frequency]\nSR = 44100 ; 1\n", sr, 44100},         // lower-cased, comment cut
      {"[time]\ndisplaysamples = 30 '1; 2\n", samples, 30}, // an apostrophe starts a comment too
      {"sr = 48000\n[frequencyX\nsr = 96000\n", sr, 96000}, // a header loses its last character, whatever it is
      {"sr = 48000\n", sr, 22050},                          // no key before the first header counts
      {"[frequency]\n\tsr = 1\nsr\t= 2\n", sr, 22050},      // tabs stay part of the key
      {"[frequency]\n   looffset   =    12.5   \n", looffset, 12.5},
      {"[frequency]\r\nsr = 3\r\nsr = 7\r\n", sr, 7},   // CRLF; the last of repeated keys
      {"[time]\ndisplaysamples = 24.5\n", samples, 24}, // halves to even
      {"[time]\ndisplaysamples = 25.5\n", samples, 26},
      {"[time]\ndisplaysamples = 1e2x\n", samples, 100},
      {"[time]\ndisplaysamples = abc\n", samples, 0},
      {"[time]\ndisplaysamples = 1e30\n", samples, 2147483647}, // saturation
      {"[time]\ndisplaysamples = -1e30\n", samples, -2147483648.0},
      {"[amplitude]\nnb = 70000\n", nb, 32767},
      {"[time]\nasf = 1e300\n", asf, INFINITY},
      {"[frequency]\nsr = 1.000000001e4\n", sr, 10000.00001}, // double settings keep every digit
      // derived from the number as read, rounded once: single first gives 2025 and 0.948683262
      {"[amplitude]\nnbinit = 45.0000007\n", nbinit, 2025.0001220703125},
      {"[frequency]\nsrcorr = 0.9\n", srcorrroot, double(float(std::sqrt(0.9)))}};
  for (const auto& [text, get, expected] : cases) EXPECT_EQ(get(configured(text)), expected) << text;
}

TEST(Configuration, NamesKeepTheirCaseAndSomeKeysStoreMore) {
  Settings s = configured("[File]\nWAV = Rec_G4FUI.wav\nBMP = Out/Image.BMP\nTable = My Table.txt\nBmpCmd = cp A /Pub\n"
                          "bits = 8\nmono\n[pll]\npllcommand = Corvex2 /X= 'quoted' ; x\npllavfini = 3e-9\n"
                          "[frequency]\nsrcorr = -0.25\n[amplitude]\nfullscale = 150+\nedgelevel = 2.5\nnbinit = 50\n"
                          "[stations]\nprintstationlist = 0\n");
  EXPECT_EQ(std::tuple(s.inputfile, s.wavinput, s.bmp, s.table, s.bmpcmd, s.pllcommand, s.pllcommandgiven),
            std::tuple("Rec_G4FUI.wav", 1, "Out/Image.BMP", "My Table.txt", "cp A /Pub", "Corvex2 /X=", 1));
  EXPECT_EQ(std::tuple(s.bytespersample, s.channels, s.srcorrroot, s.pllavfini, s.fullscale, s.fullscaleknee),
            std::tuple(1, 1, 0.5f, 3e-9f, 150.0f, 1));
  EXPECT_EQ(std::tuple(s.edgelevelabs, s.nbinit, s.printstationlist), std::tuple(2.5f, 2500.0f, 1))
      << "flags are set by their presence";
  s = configured("[file]\nwav = a.wav\ndat = Live.DAT\n[amplitude]\nfullscale = 150+\nfullscale = 100\n");
  EXPECT_EQ(std::tuple(s.inputfile, s.wavinput, s.fullscaleknee), std::tuple("Live.DAT", 0, 1))
      << "the later of wav and dat wins; the knee is never reset";
}

TEST(Configuration, ListsAndTheirCapacities) {
  Settings s = configured("[stations]\n7499m\n-7499x = 3\n7499\nlakeside\n0m\nhidden = 1\n[taisync]\n7499m = 1\n"
                          "searchrange = 100\n9940w = 0.5\n[chaindelay]\n4000 = 1\n4001 = 2\n10000 = 3\n9999 = 4.5\n"
                          "[firfilter]\ntap = 0.5\ntap = 0.5, -0.25\n");
  std::vector<std::pair<int32_t, char>> stations;
  for (const auto& e : s.stationentries) stations.emplace_back(e.gri, e.letter);
  EXPECT_EQ(stations, (decltype(stations){{7499, 'M'}, {-7499, 'X'}, {7499, '9'}})) << "minus: blank it";
  ASSERT_EQ(s.taientries.size(), 2u);
  EXPECT_EQ(std::tuple(s.hidden, s.searchrange, s.taientries[1].gri, s.taientries[1].letter, s.taientries[1].value),
            std::tuple(1, 100.0f, 9940, 'W', 0.5f));
  ASSERT_EQ(s.chaindelays.size(), 2u) << "4000 < GRI < 10000";
  EXPECT_EQ(std::tuple(s.chaindelays[0].gri, s.chaindelays[1].delay), std::tuple(4001, 4.5f));
  EXPECT_EQ(std::tuple(s.tapre, s.tapim), std::tuple(std::vector<float>{0.5f, 0.5f}, std::vector<float>{0, -0.25f}));

  std::string text = "[stations]\n", warnings;
  for (int i = 0; i < 205; ++i) text += std::to_string(5000 + i) + "m\n";
  text += "[taisync]\n";
  for (int i = 0; i < 12; ++i) text += std::to_string(5000 + i) + "m = 1\n";
  text += "[firfilter]\n";
  for (int i = 0; i < 22; ++i) text += "tap = 1\n";
  s = configured(text, &warnings);
  EXPECT_EQ(std::tuple(s.stationentries.size(), s.taientries.size(), s.tapre.size()), std::tuple(200u, 10u, 20u));
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 3) << warnings;
  EXPECT_EQ(warnings.rfind("velkor: warning: ", 0), 0u);
}

} // namespace velkor
