// TAI synchronisation on a recording whose clock is wrong: velkor is told the
// recording began at 12:00:00, velkor-synth knows when it truly began. The
// synchronisation must find the difference, and the station windows placed on
// the synchronised time must then hold every station's pulse where it belongs.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace velkor {

namespace {

struct ClockError {
  const char* name;
  const char* trueStart;  // UTC time of the first sample
  double offset;          // [s] true start minus the 12:00:00 velkor is given
};

// Three chains: 7499 (PCI 149.98 ms), 6731 (134.62 ms) and 9007 (180.14 ms).
std::vector<e2e::SceneStation> threeChains() {
  auto stations = e2e::twoChains();
  stations.push_back({"9007m", 0.5, 45});
  return stations;
}

void PrintTo(const ClockError& e, std::ostream* os) { *os << e.name; }

class TaiSynchronisation : public testing::TestWithParam<ClockError> {};

TEST_P(TaiSynchronisation, FindsTheClockOffsetAndPlacesEveryStation) {
  const ClockError& error = GetParam();
  const double rate = 12000;
  test::ScratchDir dir;
  const e2e::Truth truth = e2e::synthesise(dir, e2e::synthScene(rate, 30, threeChains(), error.trueStart));
  ASSERT_TRUE(truth.valid);

  // The first entry fixes the clock modulo its PCI, the other chains decide
  // the whole PCIs: a residual of 1/3000 s weighs 1, more than one sample at
  // 12 kHz, less than the 15 ms by which one PCI of 7499 moves the others.
  e2e::Settings receiver = e2e::receiverScene(rate, threeChains());
  receiver.set("taisync", "integrationtime", 4)
      .set("taisync", "searchrange", 60)
      .set("taisync", "7499x", 3000)
      .set("taisync", "6731x", 3000)
      .set("taisync", "9007m", 3000);
  auto run = e2e::runReceiver(dir, receiver);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  auto sync = e2e::syncResult(run.out);
  ASSERT_TRUE(sync.has_value()) << run.out;
  EXPECT_TRUE(sync->match) << run.out;
  EXPECT_NEAR(sync->offset, error.offset, 0.006) << "the offset is shown to 10 ms";
  // The time of the first sample, to the millisecond: the synchronisation
  // places a pulse by the sample of its correlation peak, 65 us after its start.
  EXPECT_NEAR(e2e::secondsOfDay(sync->ut), e2e::secondsOfDay(truth.startutc), 0.001)
      << sync->ut << " against the true start " << truth.startutc;

  // The reference (7499 X) is held with its edge at point 5 after the first periods.
  auto status = e2e::statusLines(run.out);
  ASSERT_GE(status.size(), 10u) << run.out;
  for (std::size_t i = 2; i < status.size(); ++i)
    EXPECT_NEAR(status[i].edge, 5.0, 1.0) << "status line " << i << " at " << status[i].time;

  // Every station of every chain rises where the reference does, with the
  // brightness of its amplitude (a pulse sampled 83 us apart and high-passed
  // keeps about 0.6 of its peak; a window a whole PCI off shows nothing).
  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  ASSERT_GE(image.height, 5);
  const double expected = e2e::trackedPeakColumn(rate);
  for (std::size_t station = 0; station < truth.stations.size(); ++station) {
    const e2e::Strip strip = e2e::readStrip(image, static_cast<int>(station), 24, 1);
    const std::string name = threeChains()[station].key;
    EXPECT_NEAR(strip.peak, expected, 1.0) << name;
    EXPECT_GT(strip.peaklevel, 0.3 * e2e::fullGrey(truth.stations[station].amplitude, 4000)) << name;
    EXPECT_GT(strip.peaklevel, 3 * strip.floor) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(ClockErrors, TaiSynchronisation,
                         testing::Values(ClockError{"FractionOfAPci", "12:00:00.035", 0.035},
                                         ClockError{"FourPcisLate", "12:00:00.62", 0.62},
                                         ClockError{"FivePcisEarly", "11:59:59.3", -0.7}),
                         [](const testing::TestParamInfo<ClockError>& info) { return std::string(info.param.name); });

} // namespace

} // namespace velkor
