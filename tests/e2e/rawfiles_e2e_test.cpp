// Live reception from raw sample files, as a capture program delivers them:
// velkor reads the file "audio.dat" to its end, deletes it and waits for the
// next one under the same name. Here the test plays the capture program: it
// moves the pieces of one recording (velkor-synth's audio.dat.000, .001, …)
// into place one by one, each only after velkor has deleted the one before,
// and types "q" once the last piece is gone.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace velkor {

namespace {

TEST(RawFiles, AreReadDeletedAndAwaitedUntilQ) {
  const double rate = 48000;
  const int pieces = 5;
  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(rate, 4.2 * pieces, e2e::twoChains());
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  synth.erase("file", "wav").erase("file", "header").set("file", "dat", "audio.dat").set("file", "split", 4.2);
  const e2e::Truth truth = e2e::synthesise(dir, synth, "audio.dat.json");
  ASSERT_TRUE(truth.valid);

  // The sample clock is exact and the loop is off: the reference edge stays
  // where the first file puts it (the pulse start at point 6, the edge 21 us
  // later) unless samples are lost or doubled where one file meets the next.
  e2e::Settings receiver = e2e::receiverScene(rate, e2e::twoChains());
  receiver.erase("file", "wav").erase("file", "date").erase("file", "time").set("file", "dat", "audio.dat");
  receiver.set("frequency", "srcorr", 0);
  const std::filesystem::path live = dir.path() / "audio.dat";
  auto piece = [&](int i) { return dir.path() / ("audio.dat.00" + std::to_string(i)); };
  for (int i = 0; i < pieces; ++i) ASSERT_TRUE(std::filesystem::exists(piece(i)));

  e2e::RunningReceiver velkor(dir, receiver);
  // velkor starts without a file and waits for the first one.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(velkor.running());
  for (int i = 0; i < pieces; ++i) {
    std::filesystem::rename(piece(i), live);
    ASSERT_TRUE(e2e::waitUntil([&] { return !std::filesystem::exists(live); }, 30))
        << "velkor did not use up piece " << i;
    EXPECT_TRUE(velkor.running()) << "velkor waits for the file after piece " << i;
  }
  velkor.type("q");
  auto run = velkor.finish(30);

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.substr(run.out.size() - 4), "us\r\n") << "q ends the run without a further line";

  // 21 s of samples: 10 periods of 2 s.
  auto status = e2e::statusLines(run.out);
  EXPECT_EQ(status.size(), 10u) << run.out;
  for (std::size_t i = 0; i < status.size(); ++i) {
    EXPECT_TRUE(status[i].pc.has_value()) << "raw input shows the PC clock offset: " << status[i].time;
    EXPECT_NEAR(status[i].edge, 6 + 21e-6 * rate, 0.2) << "status line " << i;
    EXPECT_GT(status[i].max, 0.8 * truth.stations[0].amplitude) << "status line " << i;
  }

  const test::BmpImage image = test::readBmp(dir.read("image.bmp"));
  ASSERT_EQ(image.problem, "");
  EXPECT_EQ(image.height, 5);
  const e2e::Strip reference = e2e::readStrip(image, 0, 24);
  EXPECT_NEAR(reference.peak, 6 + 65e-6 * rate, 1.0);
  EXPECT_GT(reference.peaklevel, 0.5 * e2e::fullGrey(truth.stations[0].amplitude, 4000));
}

} // namespace

} // namespace velkor
