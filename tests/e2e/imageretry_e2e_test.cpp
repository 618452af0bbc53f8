// An image file that cannot be written for a while. velkor runs with a limit
// on the size of the files it may write, so that the header and three rows
// fit and the fourth row's write fails (EFBIG); after a second the test lifts
// the limit. With bmperrorhandling 1 velkor retries silently and the image
// comes out exactly as that of an undisturbed run; with 2 it also prints an
// error code per failed attempt; with 0 the failure ends the run. The retry
// covers failed writes only: an image path that cannot even be opened (here a
// directory put in its place) ends the run whatever bmperrorhandling says.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <thread>

namespace velkor {

namespace {

constexpr double kRate = 12000;
constexpr int kRowsBeforeTheFailure = 3;
constexpr int32_t kGreyHeader = 54 + 1024; // [bytes] header and palette
constexpr int32_t kRowBytes = 4 * 24;      // four strips of 24 grey pixels
constexpr int64_t kLimit = kGreyHeader + kRowsBeforeTheFailure * kRowBytes; // [bytes]

e2e::Settings receiver(int errorhandling) {
  e2e::Settings settings = e2e::receiverScene(kRate, e2e::twoChains());
  settings.set("time", "longintegration", 1).set("file", "bmperrorhandling", errorhandling);
  return settings;
}

// The height field of the image file, or -1 while it is shorter than a header.
int32_t imageHeight(const test::ScratchDir& dir) {
  const std::string bytes = dir.read("image.bmp");
  return bytes.size() < 54 ? -1 : static_cast<int32_t>(test::littleEndianAt(bytes, 22, 4));
}

class ImageWriteFailure : public testing::TestWithParam<int> {};

TEST_P(ImageWriteFailure, IsRetriedUntilTheRowIsWritten) {
  const int errorhandling = GetParam();
  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(kRate, 20, e2e::twoChains());
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  ASSERT_TRUE(e2e::synthesise(dir, synth).valid);

  auto undisturbed = e2e::runReceiver(dir, receiver(errorhandling));
  ASSERT_EQ(undisturbed.status, 0) << undisturbed.err;
  const std::string expected = dir.read("image.bmp");
  ASSERT_GT(test::readBmp(expected).height, kRowsBeforeTheFailure + 3);

  e2e::RunningReceiver velkor(dir, receiver(errorhandling), kLimit);
  // The run stops at the row that does not fit and retries it.
  ASSERT_TRUE(e2e::waitUntil([&] { return imageHeight(dir) >= kRowsBeforeTheFailure; }, 30));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_TRUE(velkor.running()) << "velkor retries the row";
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "image.bmp"), static_cast<std::uintmax_t>(kLimit));
  ASSERT_TRUE(velkor.liftFileSizeLimit());
  auto run = velkor.finish(30);

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.read("image.bmp"), expected) << "every row once, as without the failure";
  if (errorhandling == 1) {
    EXPECT_EQ(run.out, undisturbed.out) << "the retries are silent";
    return;
  }
  // Each failed attempt, one every 200 ms, prints the error code on its own
  // line between the status lines of the rows before and after the failure.
  std::vector<std::string> codes;
  for (const auto& line : e2e::consoleLines(run.out))
    if (line.size() > 2 && line.find_first_not_of(" 0123456789") == std::string::npos) codes.push_back(line);
  EXPECT_GE(codes.size(), 2u) << run.out;
  EXPECT_LE(codes.size(), 100u) << run.out;
  for (const auto& code : codes) EXPECT_EQ(code, codes.front()) << "one code for one kind of failure";
}

INSTANTIATE_TEST_SUITE_P(BmpErrorHandling, ImageWriteFailure, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("Silently") : std::string("WithErrorCodes");
                         });

TEST(ImageWriteFailure, EndsTheRunWithoutErrorHandling) {
  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(kRate, 20, e2e::twoChains());
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  ASSERT_TRUE(e2e::synthesise(dir, synth).valid);

  e2e::RunningReceiver velkor(dir, receiver(0), kLimit);
  auto run = velkor.finish(30);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("velkor: image.bmp: ", 0), 0u) << run.err;
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "image.bmp"), static_cast<std::uintmax_t>(kLimit));
}

TEST(ImageWriteFailure, AnImagePathThatCannotBeOpenedEndsTheRunEvenWithRetries) {
  // Raw files of one second each: the first is too short for an image row,
  // so the test can put a directory in the image's place while velkor waits
  // for the second.
  test::ScratchDir dir;
  e2e::Settings synth = e2e::synthScene(kRate, 4, e2e::twoChains());
  synth.erase("file", "date").erase("file", "time").set("file", "origin");
  synth.erase("file", "wav").erase("file", "header").set("file", "dat", "audio.dat").set("file", "split", 1);
  ASSERT_TRUE(e2e::synthesise(dir, synth, "audio.dat.json").valid);
  e2e::Settings settings = receiver(1);
  settings.erase("file", "wav").set("file", "dat", "audio.dat");

  const std::filesystem::path live = dir.path() / "audio.dat";
  const std::filesystem::path image = dir.path() / "image.bmp";
  e2e::RunningReceiver velkor(dir, settings);
  std::filesystem::rename(dir.path() / "audio.dat.000", live);
  ASSERT_TRUE(e2e::waitUntil([&] { return !std::filesystem::exists(live); }, 30));
  ASSERT_TRUE(std::filesystem::exists(image));
  std::filesystem::remove(image);
  std::filesystem::create_directory(image);
  for (const char* piece : {"audio.dat.001", "audio.dat.002"}) {
    ASSERT_TRUE(e2e::waitUntil([&] { return !std::filesystem::exists(live); }, 30));
    if (!velkor.running()) break;
    std::filesystem::rename(dir.path() / piece, live);
  }
  auto run = velkor.finish(30);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkor: image.bmp: Is a directory\n");
  EXPECT_EQ(e2e::statusLines(run.out).size(), 1u) << run.out;
}

} // namespace

} // namespace velkor
