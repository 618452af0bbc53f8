// An image file that cannot be written for a while. velkor runs with a limit
// on the size of the files it may write, so that the header and three rows
// fit and the fourth row's write fails (EFBIG); the test lifts the limit half
// a second later. With bmperrorhandling 1 velkor retries silently and the
// image comes out as that of an undisturbed run; with 2 it also prints an
// error code per failed attempt (one every 200 ms); with 0 the run ends, its
// limit in the middle of the fourth row (a disk that fills while the row goes
// in), and leaves the image of three rows whose size field tells its length.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace velkor {
namespace {

TEST(ImageWriteFailure, IsRetriedSilentlyOrWithCodesOrEndsTheRun) {
  const double rate = 12000;
  constexpr int64_t kLimit = 54 + 1024 + 3 * 5 * 24; // [bytes] header, palette, three rows of five grey strips
  test::ScratchDir recording;
  ASSERT_TRUE(e2e::synthesise(recording, e2e::synthScene(rate, 20, e2e::threeChains())).valid);
  auto receiver = [&](int errorhandling) {
    e2e::Settings settings = e2e::receiverScene(rate, e2e::threeChains());
    settings.set("file", "wav", recording.file("rec.wav")).set("time", "longintegration", 1);
    return settings.set("file", "bmperrorhandling", errorhandling);
  };
  const auto undisturbed = e2e::runReceiver(recording, receiver(1));
  ASSERT_EQ(undisturbed.status, 0) << undisturbed.err;
  const std::string expected = recording.read("image.bmp");
  ASSERT_GT(test::readBmp(expected).height, 6);

  // The three runs side by side, each in a directory of its own.
  test::ScratchDir dirs[3];
  std::unique_ptr<e2e::RunningReceiver> runs[3];
  for (int level : {0, 1, 2})
    runs[level] = std::make_unique<e2e::RunningReceiver>(dirs[level], receiver(level), kLimit + (level == 0 ? 50 : 0));
  auto size = [&](int level) {
    std::error_code failed;
    auto bytes = std::filesystem::file_size(dirs[level].path() / "image.bmp", failed);
    return failed ? 0 : static_cast<int64_t>(bytes);
  };
  for (int level : {1, 2}) ASSERT_TRUE(e2e::waitUntil([&] { return size(level) == kLimit; }, 30));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (int level : {1, 2}) {
    EXPECT_TRUE(runs[level]->running()) << "velkor retries the row";
    EXPECT_TRUE(runs[level]->liftFileSizeLimit());
  }

  const auto fatal = runs[0]->finish(30);
  EXPECT_EQ(fatal.status, 1);
  EXPECT_TRUE(fatal.err.starts_with("velkor: image.bmp: ")) << fatal.err;
  EXPECT_EQ(size(0), kLimit);
  const test::BmpImage cut = test::readBmp(dirs[0].read("image.bmp"));
  EXPECT_EQ(cut.problem, "");
  EXPECT_EQ(cut.height, 3);

  const auto silent = runs[1]->finish(30);
  EXPECT_EQ(silent.status, 0) << silent.err;
  EXPECT_EQ(silent.out, undisturbed.out) << "the retries are silent";
  EXPECT_EQ(dirs[1].read("image.bmp"), expected) << "every row once, as without the failure";

  const auto coded = runs[2]->finish(30);
  EXPECT_EQ(coded.status, 0) << coded.err;
  EXPECT_EQ(coded.err, "");
  EXPECT_EQ(dirs[2].read("image.bmp"), expected);
  // One line per failed attempt, each with the same code, between the status lines.
  std::vector<std::string> codes;
  for (const auto& line : e2e::consoleLines(coded.out))
    if (line.size() > 2 && line.find_first_not_of(" 0123456789") == std::string::npos) codes.push_back(line);
  EXPECT_GE(codes.size(), 2u) << coded.out;
  EXPECT_LE(codes.size(), 50u) << coded.out;
  for (const auto& code : codes) EXPECT_EQ(code, codes.front());
}

} // namespace
} // namespace velkor
