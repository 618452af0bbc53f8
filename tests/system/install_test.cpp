// cmake --install puts the programs, the manual pages, the station table,
// the examples and the documents under the prefix.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor::test {
namespace {

namespace fs = std::filesystem;

TEST(Installation, PutsProgramsManualPagesTableAndExamplesUnderThePrefix) {
  ScratchDir dir;
  if (runProcess({"/bin/sh", "-c", "command -v cmake"}, dir.path()).status != 0) GTEST_SKIP() << "no cmake";
  const fs::path build = fs::path(VELKOR_BINARY).parent_path(), source = VELKOR_SOURCE_DIR;
  const fs::path prefix = dir.path() / "prefix";
  auto result = runProcess(
      {"/bin/sh", "-c", "cmake --install '" + build.string() + "' --prefix '" + prefix.string() + "'"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  for (const char* program : {"velkor", "velkor-capture", "velkor-synth"}) {
    const auto status = fs::status(prefix / "bin" / program);
    EXPECT_TRUE(fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_exec) != fs::perms::none)
        << program;
  }
  for (const char* page : {"velkor.1", "velkor-synth.1"}) EXPECT_TRUE(fs::exists(prefix / "share/man/man1" / page));
  EXPECT_EQ(fs::file_size(prefix / "share/velkor/table.txt"), fs::file_size(source / "data/table.txt"));
  for (const auto& entry : fs::directory_iterator(source / "data/examples"))
    EXPECT_TRUE(fs::exists(prefix / "share/velkor/examples" / entry.path().filename())) << entry.path();
  for (const char* document : {"configuration.md", "output.md", "stations.md"})
    EXPECT_TRUE(fs::exists(prefix / "share/doc/velkor" / document)) << document;
}

} // namespace
} // namespace velkor::test
