// cmake --install puts the programs, the manual pages, the station table,
// the examples and the documents under the prefix.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velkor::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Installation, PutsProgramsManualPagesTableAndExamplesUnderThePrefix) {
  ScratchDir dir;
  if (runProcess({"/bin/sh", "-c", "command -v cmake"}, dir.path()).status != 0) GTEST_SKIP() << "no cmake";
  const fs::path build = fs::path(VELKOR_BINARY).parent_path(), source = VELKOR_SOURCE_DIR;
  const fs::path prefix = dir.path() / "prefix";
  auto result = runProcess(
      {"/bin/sh", "-c", "cmake --install '" + build.string() + "' --strip --prefix '" + prefix.string() + "'"},
      dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  for (const char* program : {"velkor", "velkor-capture", "velkor-synth", "velkor-plot"}) {
    const auto status = fs::status(prefix / "bin" / program);
    EXPECT_TRUE(fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_exec) != fs::perms::none)
        << program;
  }
  // Stripped: no debugging sections are left, whatever the build type.
  EXPECT_EQ(slurp(prefix / "bin/velkor").find(".debug_info"), std::string::npos);
  for (const char* page : {"velkor.1", "velkor-synth.1", "velkor-capture.1"})
    EXPECT_TRUE(fs::exists(prefix / "share/man/man1" / page));
  for (const char* unit : {"velkor.service", "velkor-capture.service"})
    EXPECT_NE(slurp(prefix / "lib/systemd/user" / unit).find("ExecStart=" + (prefix / "bin").string() + "/velkor"),
              std::string::npos)
        << unit;
  EXPECT_TRUE(fs::exists(prefix / "share/doc/velkor/LICENSE"));
  EXPECT_EQ(fs::file_size(prefix / "share/velkor/table.txt"), fs::file_size(source / "data/table.txt"));
  for (const auto& entry : fs::directory_iterator(source / "data/examples")) {
    const fs::path installed = prefix / "share/velkor/examples" / entry.path().filename();
    EXPECT_TRUE(fs::exists(installed)) << entry.path();
    EXPECT_EQ(slurp(installed).find("shared/data"), std::string::npos) << installed << " points into the source tree";
  }
  for (const char* document : {"configuration.md", "output.md", "stations.md"})
    EXPECT_TRUE(fs::exists(prefix / "share/doc/velkor" / document)) << document;
}

} // namespace
} // namespace velkor::test
