#include "acquisition/source.h"
#include "core/errors.h"

#include "acquisition/receiver.h"

#include <gtest/gtest.h>

namespace velkor {

using test::Receiver;
using test::Sample;

TEST(BlockGeometry, BlockLengthFollowsTheSampleRate) {
  const std::pair<double, int32_t> table[] = {
      {22050, 4096}, {44100, 8192}, {48000, 9216}, {96000, 17408}, {192000, 35840}, {11025, 2048}, {12000, 2048}};
  for (auto [rate, length] : table) {
    State s;
    s.sr = rate;
    computeBlockGeometry(s);
    EXPECT_EQ(s.blocklength, length) << rate;
    EXPECT_EQ(s.overlap, 256);
    EXPECT_EQ(s.buffersize, length + 256);
    EXPECT_EQ(s.blockbytes, 4 * length);
  }
}

TEST(BlockGeometry, SettingsThatChangeIt) {
  State s;
  s.fileblocklen = 1000;
  s.displaysamples = 256;
  s.channels = 1;
  s.bytespersample = 1;
  computeBlockGeometry(s);
  EXPECT_EQ(s.blocklength, 1000);
  EXPECT_EQ(s.overlap, 512);
  EXPECT_EQ(s.buffersize, 1512);
  EXPECT_EQ(s.blockbytes, 1000);
  s.displaysamples = 255;
  computeBlockGeometry(s);
  EXPECT_EQ(s.overlap, 256);
}

TEST(Blocks, DefaultRateReadsBlocksOf4096FramesBehindTheOverlap) {
  Receiver r;
  const auto values = test::rampFrames(2 * 4096 + 100);
  test::writeWav(r.s.inputfile, values, {});
  r.start();
  EXPECT_EQ(r.s.inputremaining, 4 * (2 * 4096 + 100));
  EXPECT_EQ(r.s.buffersize, 4352);
  const auto frames = test::asSamples(values);

  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.newsamples, 4096);
  EXPECT_EQ(r.s.inputremaining, 4 * (4096 + 100));
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin(), frames.begin() + 4096));
  EXPECT_DOUBLE_EQ(r.s.blockstart, -256 / 22050.0);
  EXPECT_DOUBLE_EQ(r.s.blockend, 4096 / 22050.0);

  readBlock(r.s, r.t.platform);
  for (int32_t i = 0; i < 256; ++i) {
    // The overlap repeats the end of the previous buffer.
    ASSERT_EQ(r.s.samplere[static_cast<std::size_t>(i)], frames[static_cast<std::size_t>(4096 - 256 + i)].re) << i;
    ASSERT_EQ(r.s.sampleim[static_cast<std::size_t>(i)], frames[static_cast<std::size_t>(4096 - 256 + i)].im) << i;
  }
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin() + 4096, frames.begin() + 8192));
  EXPECT_DOUBLE_EQ(r.s.blockstart, (4096 - 256) / 22050.0);
  EXPECT_DOUBLE_EQ(r.s.blockend, 8192 / 22050.0);

  // The last block is short, and the stamps advance by its span only.
  const double before = r.s.blockend;
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.newsamples, 100);
  EXPECT_EQ(r.s.inputremaining, 0);
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin() + 8192, frames.end()));
  EXPECT_DOUBLE_EQ(r.s.blockstart, before - 256 / 22050.0);
  EXPECT_DOUBLE_EQ(r.s.blockend, before + 100 / 22050.0);
}

TEST(Blocks, TimeStampsUseTheCurrentRate) {
  Receiver r;
  test::writeWav(r.s.inputfile, test::rampFrames(3 * 4096), {});
  r.start();
  readBlock(r.s, r.t.platform);
  r.s.sr = 22000; // as the tracking corrects it
  const double end = r.s.blockend;
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.blockstart, end - 256 / 22000.0);
  EXPECT_EQ(r.s.blockend, r.s.blockstart + (4096 + 256) / 22000.0);
}

TEST(Blocks, TrailingIncompleteFrameIsDropped) {
  Receiver r("in.dat", false);
  r.dir.write("in.dat", test::sampleBytes(test::rampFrames(10), 2) + std::string("\x01\x02\x03", 3));
  r.start();
  EXPECT_EQ(r.s.inputremaining, 43);
  r.t.keyboard.keys = {};
  r.t.keyboard.onWait = [&] { r.t.keyboard.keys.push_back('q'); };
  EXPECT_THROW(readBlock(r.s, r.t.platform), ProgramEnd); // the raw file is used up and awaited anew
  EXPECT_EQ(r.s.newsamples, 10);
  EXPECT_EQ(r.newSamples(), test::asSamples(test::rampFrames(10)));
}

TEST(Blocks, ScalingRoundsHalvesToEvenAndLeavesMonoImaginaryAtZero) {
  Receiver r;
  r.s.channels = 1;
  r.s.filescale = 0.5f;
  test::writeWav(r.s.inputfile, {1, 3, 5, 7, -3, 32767, -32768}, {1, 2, 22050, 44});
  r.start();
  EXPECT_EQ(r.readAll(), (std::vector<Sample>{{0, 0}, {2, 0}, {2, 0}, {4, 0}, {-2, 0}, {16384, 0}, {-16384, 0}}));

  Receiver doubled;
  doubled.s.filescale = 2;
  test::writeWav(doubled.s.inputfile, {100, -7, 20000, -20000}, {});
  doubled.start();
  EXPECT_EQ(doubled.readAll(), (std::vector<Sample>{{200, -14}, {32767, -32768}})) << "saturated";
}

TEST(Blocks, DcSumsTakeEveryRetiredSampleWithoutTheBlanker) {
  Receiver r;
  r.s.fileblocklen = 512;
  std::vector<int16_t> values;
  for (int k = 0; k < 3 * 512; ++k) {
    values.push_back(k == 100 ? 1000 : 1);
    values.push_back(k == 100 ? -1000 : -2);
  }
  test::writeWav(r.s.inputfile, values, {});
  r.start();
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.dccount, 0) << "nothing retires before the first block";
  readBlock(r.s, r.t.platform);
  // Retired: the 256 zeros of the first overlap and the first 256 samples.
  EXPECT_EQ(r.s.dccount, 512);
  EXPECT_EQ(r.s.dcsumre, 255 + 1000);
  EXPECT_EQ(r.s.dcsumim, -2 * 255 - 1000);
  readBlock(r.s, r.t.platform);
  // Then samples 256 ... 767: the rest of the first block and half the second.
  EXPECT_EQ(r.s.dccount, 1024);
  EXPECT_EQ(r.s.dcsumre, 255 + 1000 + 512);
  EXPECT_EQ(r.s.dcsumim, -2 * 255 - 1000 - 2 * 512);
}

TEST(Blocks, BlankerLeavesLoudSamplesOutOfTheDcSums) {
  Receiver r;
  r.s.fileblocklen = 512;
  r.s.nb = 1;
  std::vector<int16_t> values;
  for (int k = 0; k < 2 * 512; ++k) {
    values.push_back(k == 100 ? 1000 : 1);
    values.push_back(k == 100 ? -1000 : -2);
  }
  test::writeWav(r.s.inputfile, values, {});
  r.start();
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.samplepower[256 + 100], 2000000.0f);
  EXPECT_EQ(r.s.samplepower[256 + 101], 5.0f);
  readBlock(r.s, r.t.platform);
  // Mean power of the 512 retired samples: (255 x 5 + 2e6) / 512 = 3908.7;
  // the threshold is twice that, and only the spike lies above it.
  EXPECT_EQ(r.s.dccount, 512) << "left-out samples still count";
  EXPECT_EQ(r.s.dcsumre, 255);
  EXPECT_EQ(r.s.dcsumim, -2 * 255);
  // The power moved down with the samples: buffer index 0 is sample 256.
  EXPECT_EQ(r.s.samplepower[0], 5.0f);
  EXPECT_EQ(r.s.samplepower[256 + 100], 5.0f);
}

TEST(Blocks, HighRatesAreNotLimitedTo32767Samples) {
  Receiver r;
  r.s.sr = 192000;
  test::writeWav(r.s.inputfile, test::rampFrames(40000), {2, 2, 192000, 44});
  r.start();
  EXPECT_EQ(r.s.buffersize, 36096);
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.newsamples, 35840);
  const auto frames = test::asSamples(test::rampFrames(40000));
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin(), frames.begin() + 35840));
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.s.samplere[0], frames[35840 - 256].re);
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin() + 35840, frames.end()));
  EXPECT_TRUE(r.t.errors.str().empty());
}

TEST(Blocks, KeyQEndsTheRunAtTheNextBlockAndOtherKeysAreDropped) {
  Receiver r;
  test::writeWav(r.s.inputfile, test::rampFrames(3 * 4096), {});
  r.start();
  r.t.keyboard.keys = {'Q', 'x'};
  readBlock(r.s, r.t.platform);
  readBlock(r.s, r.t.platform);
  EXPECT_TRUE(r.t.keyboard.keys.empty());
  EXPECT_EQ(r.s.blockend, 8192 / 22050.0);
  r.t.keyboard.keys = {'q'};
  try {
    readBlock(r.s, r.t.platform);
    FAIL() << "q must end the run";
  } catch (const ProgramEnd& end) {
    EXPECT_EQ(end.status, 0);
  }
  EXPECT_FALSE(r.s.input.isOpen());
  EXPECT_EQ(r.s.newsamples, 4096) << "nothing read after q";
}

} // namespace velkor
