// cmake --install puts the programs, the manual pages, the station table,
// the examples and the documents under the prefix.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velkor::test {
namespace {

TEST(Installation, PutsProgramsManualPagesTableAndExamplesUnderThePrefix) {
  ScratchDir dir;
  if (runProcess({"/bin/sh", "-c", "command -v cmake"}, dir.path()).status != 0) GTEST_SKIP() << "no cmake";
  // velkor is built at the top of the build tree.
  auto build = std::filesystem::path(VELKOR_BINARY).parent_path();
  ASSERT_TRUE(std::filesystem::exists(build / "cmake_install.cmake")) << build;
  auto prefix = dir.path() / "prefix";
  ProcessResult result = runProcess(
      {"/bin/sh", "-c", "cmake --install '" + build.string() + "' --prefix '" + prefix.string() + "'"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;

  namespace fs = std::filesystem;
  for (const char* program : {"velkor", "velkor-capture"}) {
    auto file = prefix / "bin" / program;
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none) << file;
  }
  EXPECT_TRUE(fs::exists(prefix / "share" / "man" / "man1" / "velkor.1"));
  EXPECT_TRUE(fs::exists(prefix / "share" / "velkor" / "table.txt"));
  EXPECT_EQ(fs::file_size(prefix / "share" / "velkor" / "table.txt"),
            fs::file_size(fs::path(VELKOR_SOURCE_DIR) / "data" / "table.txt"));
  for (const auto& entry : fs::directory_iterator(fs::path(VELKOR_SOURCE_DIR) / "data" / "examples"))
    EXPECT_TRUE(fs::exists(prefix / "share" / "velkor" / "examples" / entry.path().filename())) << entry.path();
  for (const char* document : {"configuration.md", "output.md", "stations.md"})
    EXPECT_TRUE(fs::exists(prefix / "share" / "doc" / "velkor" / document)) << document;
  // velkor-synth and its page come with the program, when it is built.
  EXPECT_EQ(fs::exists(prefix / "bin" / "velkor-synth"),
            fs::exists(prefix / "share" / "man" / "man1" / "velkor-synth.1"));
}

} // namespace
} // namespace velkor::test
