// The files of a run under misuse. An output named like an input (under
// another spelling of its path) is refused before anything is written, so
// the input keeps every byte. A raw sample file that is there but cannot be
// opened ends the run at once instead of being waited for; an image that
// cannot be created ends it before any raw file is read. An empty raw file
// ends the run and is deleted like every raw file that has been read.
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {
namespace {

namespace fs = std::filesystem;

TEST(RunFiles, OutputsNeverOverwriteInputsAndBrokenFilesEndTheRunBeforeAnyIsConsumed) {
  test::ScratchDir dir;
  ASSERT_TRUE(e2e::synthesise(dir, e2e::synthScene(12000, 2, e2e::threeChains())).valid);
  const std::string recording = dir.read("rec.wav");
  fs::copy_file(std::string(VELKOR_SOURCE_DIR) + "/data/table.txt", dir.path() / "table.txt");
  const std::string table = dir.read("table.txt");
  fs::create_directory(dir.path() / "sub");

  const e2e::Settings plain = e2e::receiverScene(12000, e2e::threeChains()).set("file", "table", "table.txt");
  struct Case {
    e2e::Settings settings;
    std::string output, overwritten;
  };
  Case cases[] = {
      {e2e::Settings(plain).set("file", "bmp", "./sub/../rec.wav"), "./sub/../rec.wav", "WAV input rec.wav"},
      {e2e::Settings(plain).set("file", "bmp", dir.file("velkor.ini")), dir.file("velkor.ini"),
       "configuration file velkor.ini"},
      {e2e::Settings(plain).set("file", "bmp", "sub/../table.txt"), "sub/../table.txt", "station table table.txt"},
      {e2e::Settings(plain).set("file", "log", "rec.wav"), "rec.wav", "WAV input rec.wav"},
      {e2e::Settings(plain).set("file", "table", "stations.txt").set("stations", "printstationlist", 1), "stations.txt",
       "station table stations.txt"},
  };
  dir.write("stations.txt", table);
  for (const Case& refused : cases) {
    const auto run = e2e::runReceiver(dir, refused.settings);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("velkor: " + refused.output + ": the "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" would overwrite the " + refused.overwritten + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(dir.read("rec.wav"), recording);
    EXPECT_EQ(dir.read("table.txt"), table);
    EXPECT_EQ(dir.read("stations.txt"), table);
    EXPECT_TRUE(dir.read("velkor.ini").starts_with("[location]")) << refused.output;
  }

  // Raw input: a file that is there but cannot be opened (a link to itself).
  const e2e::Settings raw = e2e::Settings(plain).erase("file", "wav").set("file", "dat", "audio.dat");
  fs::create_symlink("audio.dat", dir.path() / "audio.dat");
  auto run = e2e::RunningReceiver(dir, raw).finish(10);
  EXPECT_EQ(run.status, 1) << "not waited for";
  EXPECT_EQ(run.err, "velkor: audio.dat: Too many levels of symbolic links\n");
  fs::remove(dir.path() / "audio.dat");

  // An image in a folder that does not exist is found before the raw file is read.
  fs::copy_file(dir.path() / "rec.wav", dir.path() / "audio.dat");
  run = e2e::runReceiver(dir, e2e::Settings(raw).set("file", "bmp", "none/image.bmp"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "velkor: none/image.bmp: file not found\n");
  EXPECT_TRUE(fs::exists(dir.path() / "audio.dat")) << "no raw file is consumed";
  fs::remove(dir.path() / "audio.dat");

  // An empty raw file: the capture program's stop signal, deleted once read.
  dir.write("audio.dat", "");
  run = e2e::runReceiver(dir, raw);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(dir.path() / "audio.dat")) << "the next run would end at once";
}

} // namespace
} // namespace velkor
