// The signal processing inside the main cycle, on a synthetic recording whose
// sample clock runs 20 ppm fast: the sample-clock loop must pull the reference
// edge to point 5 and sr to the true rate.
#include "core/cycle.h"
#include "core/errors.h"
#include "processing/synthetic.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace velkor {

namespace {

struct StatusLine {
  double edge;   // [points]
  double sr;     // [Hz]
  double max;    // [sample units]
};

double numberAfter(const std::string& line, const std::string& label) {
  auto at = line.find(label);
  if (at == std::string::npos) return NAN;
  return std::strtod(line.c_str() + at + label.size(), nullptr);
}

std::vector<StatusLine> statusLines(const std::string& text) {
  std::vector<StatusLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.find(" max") != std::string::npos)
      lines.push_back({numberAfter(line, " edge"), numberAfter(line, "SR "), numberAfter(line, " max")});
    start = end + 2;
  }
  return lines;
}

} // namespace

TEST(EndToEnd, ReferenceEdgeSettlesAtPointFiveAndSrFindsTheTrueRate) {
  const double configured = 48000.0;                 // [Hz]
  const double trueRate = configured * (1 + 20e-6); // [Hz] 48000.96
  const double seconds = 40;                         // [s] of recording

  // Two chains: a master and a secondary on GRI 6731, a master on GRI 7499.
  State s = test::stationState({{6731, 'M', 0, 12.3f}, {6731, 'X', 0, 27.9f}, {7499, 'M', 0, 31.7f}},
                               configured, 9216);
  s.shortintegration = 1.0f;
  s.longintegration = 1000; // no image rows in this run
  s.referencestation = 0;

  test::SyntheticSignal signal;
  signal.rate = trueRate;
  signal.shape = test::loranEnvelope;
  signal.shapestart = 0;
  signal.shapelength = 700e-6;
  signal.noise = 300;
  signal.transmitters = {{6731, true, 0.0123, 4000, 0.7}, {6731, false, 0.0279, 2500, 2.1},
                         {7499, true, 0.0317, 3000, -1.2}};
  test::SyntheticReader reader(signal, static_cast<int64_t>(seconds * trueRate));
  reader.start(s);

  test::TestPlatform t;
  int status = -1;
  try {
    runMainCycle(s, t.platform, reader.reader());
  } catch (const ProgramEnd& end) {
    status = end.status;
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(reader.produced(), static_cast<int64_t>(seconds * trueRate));

  std::vector<StatusLine> lines = statusLines(t.text());
  ASSERT_GE(lines.size(), 35u);
  for (const StatusLine& line : lines) EXPECT_GT(line.max, 1000) << "the reference stays in view";

  // The pulse starts at point 6; the 40 % crossing of its envelope lies about
  // one sample (20.8 us) later. The loop then moves it to point 5.
  EXPECT_GT(lines.front().edge, 6.3);
  // Settled: each period's edge and rate carry the noise of one period's
  // measurement (a few hundredths of a point, as many hundredths of a Hz);
  // their averages sit on point 5 and on the true rate, 0.96 Hz from the start.
  double edgesum = 0;
  double srsum = 0;
  const std::size_t settled = 20;
  for (std::size_t i = lines.size() - settled; i < lines.size(); ++i) {
    EXPECT_NEAR(lines[i].edge, 5.0, 0.15) << "period " << i;
    EXPECT_NEAR(lines[i].sr, trueRate, 0.15) << "period " << i;
    edgesum += lines[i].edge;
    srsum += lines[i].sr;
  }
  EXPECT_NEAR(edgesum / settled, 5.0, 0.02);
  EXPECT_NEAR(srsum / settled, trueRate, 0.02) << "0.4 ppm";
  EXPECT_NEAR(s.sr, trueRate, 0.15);
  EXPECT_EQ(s.resyncrequests, 0);
}

} // namespace velkor
