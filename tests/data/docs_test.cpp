// The user documentation against the program: docs/configuration.md
// documents exactly the keys the configuration reader knows, and the manual
// pages render without warnings.
//
// docs/configuration.md form read here: a heading "## [section]" starts a
// section; a table row "| `key` | ..." documents that key, a row
// "| *entry* | ..." the list entries of the section ("section *").
#include "core/config.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace velkor::test {
namespace {

const std::filesystem::path kSource(VELKOR_SOURCE_DIR);

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::multiset<std::string> documentedKeys() {
  std::multiset<std::string> keys;
  std::istringstream in(slurp(kSource / "docs" / "configuration.md"));
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.rfind("## [", 0) == 0) {
      section = line.substr(4, line.find(']') - 4);
    } else if (line.rfind("## ", 0) == 0) {
      section.clear();
    } else if (!section.empty() && line.rfind("| `", 0) == 0) {
      auto end = line.find('`', 3);
      keys.insert(section + " " + line.substr(3, end - 3));
    } else if (!section.empty() && line.rfind("| *entry* |", 0) == 0) {
      keys.insert(section + " *");
    }
  }
  return keys;
}

TEST(ConfigurationDocument, DocumentsEveryKeyTheReaderKnowsAndNoOther) {
  auto known = configurationKeys();
  std::set<std::string> reader(known.begin(), known.end());
  auto documented = documentedKeys();
  for (const auto& key : reader) EXPECT_EQ(documented.count(key), 1u) << "\"" << key << "\" is not documented once";
  for (const auto& key : documented) EXPECT_EQ(reader.count(key), 1u) << "\"" << key << "\" is not a key of the reader";
}

bool haveProgram(const std::string& name) {
  ScratchDir dir;
  return runProcess({"/bin/sh", "-c", "command -v " + name}, dir.path()).status == 0;
}

void expectRendersCleanly(const std::string& page, const std::string& name) {
  if (!haveProgram("man")) GTEST_SKIP() << "man is not installed";
  ScratchDir dir;
  auto path = (kSource / "docs" / page).string();
  ASSERT_TRUE(std::filesystem::exists(path)) << path;
  ProcessResult result =
      runProcess({"/bin/sh", "-c", "MANPAGER=cat MANWIDTH=80 man --warnings -l '" + path + "'"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "") << "warnings while rendering " << page;
  EXPECT_NE(result.out.find(name), std::string::npos);
  EXPECT_NE(result.out.find("SYNOPSIS"), std::string::npos);
}

TEST(ManualPages, VelkorRendersWithoutWarnings) { expectRendersCleanly("velkor.1", "velkor"); }

TEST(ManualPages, VelkorSynthRendersWithoutWarnings) { expectRendersCleanly("velkor-synth.1", "velkor-synth"); }

TEST(OutputDocument, ExplainsEveryFieldOfTheStatusLineAndTheSyncLines) {
  std::string text = slurp(kSource / "docs" / "output.md");
  for (const char* field : {"`PC`", "`max`", "`edge`", "`SR`", "`LO`", "TAI match", "TAI guess", "sync: averaging for",
                            "stations.txt", "not found in table", "(hidden)", "(blanked)", "blanked, sync to"})
    EXPECT_NE(text.find(field), std::string::npos) << field;
}

} // namespace
} // namespace velkor::test
