#include "support/receiver.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

namespace velkor {

using test::Receiver;
using test::Samples;

TEST(BlockGeometry, FollowsTheRateAndTheSettings) {
  // sr, fileblocklen, displaysamples, channels of 16 bits -> blocklength, overlap
  const std::array<int32_t, 6> rows[] = {{22050, 0, 24, 2, 4096, 256},     {44100, 0, 24, 2, 8192, 256},
                                         {48000, 0, 24, 2, 9216, 256},     {96000, 0, 24, 2, 17408, 256},
                                         {22050, 1000, 256, 1, 1000, 512}, {22050, 0, 255, 2, 4096, 256}};
  for (const auto& [rate, fileblocklen, displaysamples, channels, length, overlap] : rows) {
    Record s;
    s.settings.sr = rate;
    s.settings.fileblocklen = fileblocklen;
    s.settings.displaysamples = displaysamples;
    s.settings.channels = channels;
    computeBlockGeometry(s.settings, s.acquisition);
    EXPECT_EQ(std::tuple(s.acquisition.blocklength, s.acquisition.overlap, s.acquisition.buffersize,
                         s.acquisition.blockbytes),
              std::tuple(length, overlap, length + overlap, 2 * channels * length))
        << rate << " " << fileblocklen;
  }
}

// Two full blocks and a short one, at the default rate and at one whose
// buffer exceeds 32767 samples; then "q".
TEST(Blocks, OverlapShortLastBlockTimeStampsAndKeys) {
  for (auto [rate, n] : {std::pair{22050.0, 4096}, {192000.0, 35840}}) {
    Receiver r;
    r.s.settings.sr = rate;
    const auto values = test::rampFrames(2 * n + 100);
    const auto frames = test::asSamples(values);
    test::writeWav(r.s.settings.inputfile, values, {2, 2, static_cast<int>(rate), 46});
    r.start();
    r.t.keyboard.keys = {'Q', 'x'}; // other keys than "q" are dropped
    r.read();
    r.read();
    EXPECT_EQ(r.newSamples(), Samples(frames.begin() + n, frames.begin() + 2 * n)) << rate;
    for (std::size_t i = 0; i < 256; ++i) // the overlap repeats the end of the previous buffer
      ASSERT_EQ(test::Sample(r.s.acquisition.samplere[i], r.s.acquisition.sampleim[i]), frames[n - 256 + i])
          << rate << " " << i;
    EXPECT_DOUBLE_EQ(r.s.acquisition.clock.blockend, 2 * n / rate);
    // The last block is short; the stamps advance by its span at the current rate.
    const double end = r.s.acquisition.clock.blockend;
    r.s.acquisition.clock.sr = rate * 0.999;
    r.read();
    EXPECT_EQ(r.newSamples(), Samples(frames.begin() + 2 * n, frames.end())) << rate;
    EXPECT_EQ(r.s.acquisition.inputremaining, 0);
    EXPECT_DOUBLE_EQ(r.s.acquisition.clock.blockstart, end - 256 / r.s.acquisition.clock.sr);
    EXPECT_DOUBLE_EQ(r.s.acquisition.clock.blockend, r.s.acquisition.clock.blockstart + 356 / r.s.acquisition.clock.sr);
    r.t.keyboard.keys = {'q'};
    EXPECT_EQ(r.read(), Outcome::endOfInput) << "the end of the input comes before the key";
  }
}

TEST(Blocks, DcSumsLeaveOutSamplesAtOrAboveTheBlankerThreshold) {
  // 512-sample blocks of (1, -2), sample 100 times `spike`. The second block
  // retires the 256 zeros of the first overlap and samples 0 ... 255: with a
  // spike, the threshold 2 x (255 x 5 + 5e6) / 512 leaves out the spike only;
  // without, the threshold nbfac x 5 / 2 leaves out every (1, -2) at 2, none at 4.
  for (auto [nb, nbfac, spike, sumre, sumim] :
       {std::tuple<int16_t, float, int16_t, float, float>{0, 2, 1000, 255 + 1000, -510 - 2000},
        {1, 2, 1000, 255, -510},
        {1, 2, 1, 0, 0},
        {1, 4, 1, 256, -512}}) {
    Receiver r;
    r.s.settings.fileblocklen = 512;
    r.s.settings.nb = nb;
    r.s.settings.nbfac = nbfac;
    std::vector<int16_t> values;
    for (int16_t k = 0; k < 2 * 512; ++k) values.insert(values.end(), {1, -2});
    values[200] = spike;
    values[201] = static_cast<int16_t>(-2 * spike);
    test::writeWav(r.s.settings.inputfile, values, {});
    r.start();
    r.read();
    r.read();
    EXPECT_EQ(r.s.acquisition.dccount, 512) << "left-out samples still count";
    EXPECT_EQ(std::pair(r.s.acquisition.dcsumre, r.s.acquisition.dcsumim), std::pair(sumre, sumim))
        << nb << " " << spike;
    EXPECT_EQ(r.s.acquisition.samplepower[0], nb ? 5.0f : 0.0f) << "the power moves down with the samples";
  }
}

TEST(RawInput, FileIsReadDeletedAndTheNextOneAwaitedUntilQ) {
  Receiver r("audio.dat");
  r.s.settings.sleeptime = 0.4f; // rounds to 0: waits of 20 ms
  const auto first = test::rampFrames(5000);
  const auto second = test::rampFrames(300);
  test::writeRaw(r.s.settings.inputfile, first, 2);
  r.start();
  r.read();
  // The capture program writes the next file, with a trailing incomplete
  // frame, under another name and renames it while the receiver waits.
  std::thread capture([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    r.dir.write("audio.part", test::sampleBytes(second, 2) + "\1\2\3");
    std::filesystem::rename(r.dir.file("audio.part"), r.s.settings.inputfile);
  });
  r.t.keyboard.onWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  r.read();
  capture.join();
  const auto old = test::asSamples(first);
  EXPECT_EQ(r.newSamples(), Samples(old.begin() + 4096, old.end())) << "the old file's last block is decoded";
  EXPECT_EQ(r.s.acquisition.inputremaining, 1203) << "the next file is open";
  EXPECT_NEAR(r.t.keyboard.waited, r.t.keyboard.waits * 0.02, 1e-9);
  EXPECT_NEAR(r.s.acquisition.opentime, r.t.clock.now - 0.05, 0.6) << "the PC clock stamps the change";
  r.s.settings.sleeptime = 2.5f; // waits of 2 s
  const double waited = r.t.keyboard.waited;
  int presses = 0; // "Q" does not end the wait, "q" does
  r.t.keyboard.onWait = [&] { r.t.keyboard.keys.push_back(presses++ ? 'q' : 'Q'); };
  EXPECT_EQ(r.read(), Outcome::quit);
  EXPECT_EQ(presses, 2);
  EXPECT_DOUBLE_EQ(r.t.keyboard.waited - waited, 2 * 2.0);
  EXPECT_EQ(r.newSamples(), test::asSamples(second)) << "a block never spans two files";
  EXPECT_FALSE(std::filesystem::exists(r.s.settings.inputfile));
}

} // namespace velkor
