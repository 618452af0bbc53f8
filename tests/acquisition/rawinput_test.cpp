#include "acquisition/source.h"
#include "core/errors.h"

#include "acquisition/receiver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace velkor {

using test::Receiver;
using test::Sample;

namespace {

struct RawReceiver : Receiver {
  RawReceiver() : Receiver("audio.dat", false) {}
  bool exists() const { return std::filesystem::exists(s.inputfile); }
};

int endStatus(const std::function<void()>& f) {
  try {
    f();
  } catch (const ProgramEnd& end) {
    return end.status;
  }
  return -1;
}

} // namespace

TEST(RawInput, FileIsReadToItsEndDeletedAndTheNextOneAwaited) {
  RawReceiver r;
  const auto first = test::asSamples(test::rampFrames(5000));
  const auto second = test::rampFrames(300);
  test::writeRaw(r.s.inputfile, test::rampFrames(5000), 2);
  r.start();
  EXPECT_EQ(r.s.inputremaining, 20000);
  EXPECT_EQ(r.t.keyboard.waits, 0) << "an existing file is opened at once";

  readBlock(r.s, r.t.platform);
  EXPECT_TRUE(r.exists());
  EXPECT_EQ(r.s.inputremaining, 20000 - 16384);

  // The capture program writes the next file while the receiver waits; after
  // that one, the user ends the run.
  r.t.keyboard.onWait = [&] {
    if (r.t.keyboard.waits == 3) test::writeRaw(r.s.inputfile, second, 2);
    if (r.t.keyboard.waits == 5) r.t.keyboard.keys.push_back('q');
  };
  readBlock(r.s, r.t.platform);
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(first.begin() + 4096, first.end()))
      << "the last block of the old file is decoded normally";
  EXPECT_EQ(r.t.keyboard.waits, 3);
  EXPECT_TRUE(r.exists());
  EXPECT_EQ(r.s.inputremaining, 1200) << "the next file is open";

  EXPECT_EQ(endStatus([&] { readBlock(r.s, r.t.platform); }), 0);
  EXPECT_EQ(r.newSamples(), test::asSamples(second)) << "a block never spans two files";
  EXPECT_FALSE(r.exists()) << "the second file is used up and deleted too";
  EXPECT_EQ(r.t.keyboard.waits, 5);
}

TEST(RawInput, FileChangeStampsThePcClock) {
  RawReceiver r;
  test::writeRaw(r.s.inputfile, test::rampFrames(100), 2);
  r.t.clock.now = 7200.6; // time of day 02:00:00.6
  r.start();
  r.s.clockconfidence = 0;
  r.s.timeroffset = 100; // the readings disagree: no confidence is gained
  r.t.keyboard.onWait = [&] { test::writeRaw(r.s.inputfile, test::rampFrames(100), 2); };
  readBlock(r.s, r.t.platform);
  // The confidence was 0, so the clock was calibrated against the next tick.
  EXPECT_EQ(r.s.clockconfidence, 3);
  EXPECT_GT(r.t.clock.slept, 0);
  EXPECT_FLOAT_EQ(r.s.opentime, static_cast<float>(r.s.pcclock - 0.05));
  // The next file is stamped when it opens, with the calibrated clock.
  EXPECT_NEAR(r.s.opentime, r.t.clock.now - 0.05, 0.6);
  // The following file change reads the calibrated clock.
  r.t.clock.now += 10;
  readBlock(r.s, r.t.platform);
  EXPECT_NEAR(r.s.opentime, r.t.clock.now - 0.05, 0.6);
}

TEST(RawInput, WaitIsSleeptimeInWholeSecondsOr10Milliseconds) {
  const std::pair<float, double> cases[] = {{0.0f, 0.01}, {0.4f, 0.01}, {0.5f, 0.01}, {1.5f, 2},
                                            {2.5f, 2},    {3.5f, 4},    {-3.0f, 0.01}};
  for (auto [sleeptime, wait] : cases) {
    RawReceiver r;
    r.s.sleeptime = sleeptime;
    r.t.keyboard.onWait = [&] {
      if (r.t.keyboard.waits == 4) test::writeRaw(r.s.inputfile, {1, 2}, 2);
    };
    r.start();
    EXPECT_EQ(r.t.keyboard.waits, 4) << sleeptime;
    EXPECT_DOUBLE_EQ(r.t.keyboard.waited, 4 * wait) << sleeptime;
    EXPECT_EQ(r.s.inputremaining, 4);
  }
}

TEST(RawInput, KeyQEndsTheWaitAndOtherKeysDoNot) {
  RawReceiver r;
  r.t.keyboard.onWait = [&] {
    if (r.t.keyboard.waits == 1) r.t.keyboard.keys.push_back('x');
    if (r.t.keyboard.waits == 2) r.t.keyboard.keys.push_back('Q');
    if (r.t.keyboard.waits == 3) r.t.keyboard.keys.push_back('q');
  };
  EXPECT_EQ(endStatus([&] { r.start(); }), 0);
  EXPECT_EQ(r.t.keyboard.waits, 3);
  EXPECT_TRUE(r.t.keyboard.keys.empty());
}

TEST(RawInput, NextFileWrittenLaterByAnotherThread) {
  RawReceiver r;
  test::writeRaw(r.s.inputfile, test::rampFrames(10), 2);
  r.start();
  std::atomic<bool> written{false};
  const auto next = test::rampFrames(5000);
  // The capture program writes under another name and renames, so that the
  // file is complete when it first appears.
  std::thread capture([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string partial = r.dir.file("audio.part");
    test::writeRaw(partial, next, 2);
    std::filesystem::rename(partial, r.s.inputfile);
    written = true;
  });
  r.t.keyboard.onWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  readBlock(r.s, r.t.platform);
  capture.join();
  EXPECT_TRUE(written);
  EXPECT_GT(r.t.keyboard.waits, 0);
  EXPECT_EQ(r.s.inputremaining, 20000);
  readBlock(r.s, r.t.platform);
  const auto frames = test::asSamples(next);
  EXPECT_EQ(r.newSamples(), std::vector<Sample>(frames.begin(), frames.begin() + 4096));
}

TEST(RawInput, EmptyFileLeavesNothingToRead) {
  RawReceiver r;
  r.dir.write("audio.dat", "");
  r.start();
  EXPECT_EQ(r.s.inputremaining, 0);
  EXPECT_TRUE(r.exists());
}

TEST(RawInput, EightBitStereoFile) {
  RawReceiver r;
  r.s.bytespersample = 1;
  r.dir.write("audio.dat", std::string("\x80\x00\xff\x7f", 4));
  r.start();
  r.t.keyboard.onWait = [&] { r.t.keyboard.keys.push_back('q'); };
  EXPECT_EQ(endStatus([&] { readBlock(r.s, r.t.platform); }), 0);
  EXPECT_EQ(r.newSamples(), (std::vector<Sample>{{0, -128}, {127, -1}}));
  EXPECT_FALSE(r.exists());
}

} // namespace velkor
