// The user documentation against the program: docs/configuration.md
// documents exactly the keys the configuration reader knows, and the manual
// pages render without warnings.
//
// docs/configuration.md: a heading "## [section]" starts a section; a table
// row "| `key` | ..." documents that key, a row "| *entry* | ..." the list
// entries of the section ("section *").
#include "config/config.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

namespace velkor::test {
namespace {

const std::filesystem::path kDocs = std::filesystem::path(VELKOR_SOURCE_DIR) / "docs";

TEST(ConfigurationDocument, DocumentsEveryKeyTheReaderKnowsAndNoOther) {
  std::multiset<std::string> documented;
  std::ifstream in(kDocs / "configuration.md");
  for (std::string line, section; std::getline(in, line);) {
    if (line.starts_with("## ")) section = line.starts_with("## [") ? line.substr(4, line.find(']') - 4) : "";
    else if (section.empty()) continue;
    else if (line.starts_with("| `")) documented.insert(section + " " + line.substr(3, line.find('`', 3) - 3));
    else if (line.starts_with("| *entry* |")) documented.insert(section + " *");
  }
  const auto keys = configurationKeys();
  const std::set<std::string> known(keys.begin(), keys.end());
  for (const auto& key : known) EXPECT_EQ(documented.count(key), 1u) << "\"" << key << "\" is not documented once";
  for (const auto& key : documented) EXPECT_EQ(known.count(key), 1u) << "\"" << key << "\" is not a key of the reader";
}

TEST(ManualPages, RenderWithoutWarnings) {
  ScratchDir dir;
  if (runProcess({"/bin/sh", "-c", "command -v man"}, dir.path()).status != 0) GTEST_SKIP() << "man is not installed";
  for (const std::string page : {"velkor", "velkor-synth", "velkor-capture"}) {
    const auto path = kDocs / (page + ".1");
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    auto result =
        runProcess({"/bin/sh", "-c", "MANPAGER=cat MANWIDTH=80 man --warnings -l '" + path.string() + "'"}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "warnings while rendering " << page;
    EXPECT_NE(result.out.find("SYNOPSIS"), std::string::npos) << page;
    EXPECT_NE(result.out.find(page), std::string::npos);
  }
}

} // namespace
} // namespace velkor::test
