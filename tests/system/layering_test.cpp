// The includes of the source tree run one way, as docs/architecture.md draws
// them: every "folder/file.h" include of a file under src/ names a folder of
// the same or a lower layer, and nothing outside src/top/ but the tests and
// benchmarks (which drive the whole program) includes the top.
//
// A new folder under src/ must be given its layer here and in
// docs/architecture.md; until then this test names it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::test {
namespace {

namespace fs = std::filesystem;
const fs::path kSource = fs::path(VELKOR_SOURCE_DIR);

// Layer of each folder under src/: a file may include its own folder and any
// folder of a lower number. The subsystems are ordered among themselves so
// that their few includes of each other also run one way.
const std::map<std::string, int> kLayers = {
    {"platform", 0},   {"ground", 1}, {"config", 2}, {"stations", 3}, {"acquisition", 3}, {"timing", 4},
    {"processing", 5}, {"image", 6},  {"log", 6},    {"display", 7},  {"top", 8},
};

struct Include {
  fs::path file;
  int line;
  std::string folder;
};

// The folder of a `#include "folder/file.h"` line, or "" for any other line.
std::string includedFolder(std::string_view text) {
  const auto start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos || text.substr(start, 8) != "#include") return {};
  const auto open = text.find('"', start);
  const auto slash = text.find('/', open);
  if (open == std::string_view::npos || slash == std::string_view::npos) return {};
  return std::string(text.substr(open + 1, slash - open - 1));
}

std::vector<Include> quotedIncludes(const fs::path& root) {
  std::vector<Include> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    auto extension = entry.path().extension();
    if (extension != ".h" && extension != ".cpp") continue;
    std::ifstream in(entry.path());
    int number = 0;
    for (std::string text; std::getline(in, text);) {
      ++number;
      if (std::string folder = includedFolder(text); !folder.empty()) found.push_back({entry.path(), number, folder});
    }
  }
  return found;
}

std::string where(const Include& include) {
  return fs::relative(include.file, kSource).string() + ":" + std::to_string(include.line);
}

TEST(Layering, IncludesRunDownTheLayersAndOnlyDriversIncludeTheTop) {
  for (const auto& folder : fs::directory_iterator(kSource / "src"))
    EXPECT_TRUE(kLayers.count(folder.path().filename().string()))
        << "src/" << folder.path().filename().string() << " has no layer";

  for (const auto& include : quotedIncludes(kSource / "src")) {
    std::string own = fs::relative(include.file, kSource / "src").begin()->string();
    if (!kLayers.count(own) || !kLayers.count(include.folder)) continue;
    EXPECT_LE(kLayers.at(include.folder), kLayers.at(own))
        << where(include) << ": " << own << " includes the higher " << include.folder;
  }
  for (const auto& include : quotedIncludes(kSource / "tools"))
    EXPECT_NE(include.folder, "top") << where(include) << ": a tool includes the top";
}

} // namespace
} // namespace velkor::test
