// The signal processing inside the main cycle on a synthetic recording whose
// sample clock runs 20 ppm fast: the sample-clock loop must pull the
// reference edge to point 5 and sr to the true rate.
#include "top/cycle.h"
#include "ground/errors.h"
#include "support/synthreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace velkor {

TEST(EndToEnd, ReferenceEdgeSettlesAtPointFiveAndSrFindsTheTrueRate) {
  // Two chains: a master and a secondary on GRI 6731, a master on GRI 7499.
  const std::vector<TableRecord> table{
      {6731, "M", "", 52, 1, 0}, {6731, "X", "", 50, 4, 27900}, {7499, "M", "", 55, -3, 0}};
  synth::SynthConfig config{.lat = 51,
                            .lon = 0,
                            .date = "",
                            .sr = 48000,
                            .ppm = 20,
                            .duration = 40,
                            .noise = 300,
                            .stations = {{6731, 'M', 4, 40}, {6731, 'X', 2.5, 120}, {7499, 'M', 3, -70}}};
  test::SynthReader reader(synth::buildScenario(config, table));
  Record s = test::receiverState("[location]\nlat = 51\nlon = 0\n[frequency]\nsr = 48000\n[file]\nwav = a.wav\n"
                                 "[time]\nshortintegration = 1\n"
                                 "longintegration = 1000\n[stations]\n6731m\n6731x\n7499m\n",
                                 table);
  reader.open(s);
  test::TestPlatform t;
  EXPECT_EQ(runMainCycle(s, t.platform, reader.reader(s)), Outcome::endOfInput);
  EXPECT_EQ(reader.position(), std::llround(40 * 48000.96));

  // " max 4000 edge 5.01 SR 48000.9612Hz ..." once a second.
  std::vector<double> edges, rates;
  std::istringstream lines(t.text());
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" edge") == std::string::npos) continue;
    edges.push_back(std::strtod(line.c_str() + line.find(" edge") + 5, nullptr));
    rates.push_back(std::strtod(line.c_str() + line.find("SR ") + 3, nullptr));
    EXPECT_GT(std::strtod(line.c_str() + line.find(" max") + 4, nullptr), 1000) << "the reference stays in view";
  }
  ASSERT_GE(edges.size(), 35u);
  // The pulse starts at point 6; its 40 % crossing lies about a sample later.
  EXPECT_GT(edges.front(), 6.3);
  double edgesum = 0, ratesum = 0;
  for (std::size_t i = edges.size() - 20; i < edges.size(); ++i) {
    EXPECT_NEAR(edges[i], 5.0, 0.15) << i;
    EXPECT_NEAR(rates[i], 48000.96, 0.15) << i;
    edgesum += edges[i];
    ratesum += rates[i];
  }
  EXPECT_NEAR(edgesum / 20, 5.0, 0.02);
  EXPECT_NEAR(ratesum / 20, 48000.96, 0.02) << "0.4 ppm";
}

} // namespace velkor
