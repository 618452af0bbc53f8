#include "core/startup.h"
#include "core/velkor.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome runIn(const test::ScratchDir& dir, const std::vector<std::string>& arguments) {
  test::TestPlatform t;
  int status = -1;
  test::inDirectory(dir.path(), [&] { status = runVelkor(arguments, t.platform); });
  return {status, t.text(), t.errors.str()};
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

} // namespace

TEST(CommandLine, ArgumentsJoinedWithSingleBlanks) {
  EXPECT_EQ(configurationFileName({}), "velkor.ini");
  EXPECT_EQ(configurationFileName({"my conf.ini"}), "my conf.ini");
  EXPECT_EQ(configurationFileName({"my", "conf.ini"}), "my conf.ini");
  EXPECT_EQ(configurationFileName({"a", "b.ini"}), "a b.ini");
}

TEST(StartUp, MissingConfigurationIsFatalAfterTheBanner) {
  test::ScratchDir dir;
  Outcome run = runIn(dir, {});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, std::string(kBanner) + "\r\n");
  EXPECT_EQ(run.err, "velkor: velkor.ini: file not found\n");
}

TEST(StartUp, RefusesSettingsThatCannotWork) {
  const std::pair<const char*, const char*> cases[] = {
      {"[frequency]\nsr = 0\n", "velkor: sr = 0: "},
      {"[frequency]\nsr = -5\n", "velkor: sr = -5: "},
      {"[frequency]\nsr = 1e999\n", "velkor: sr = inf: "},
      {"[frequency]\nsr = 2000\n", "velkor: sr = 2000: "},
      {"[frequency]\nsr = 100000000\n", "velkor: sr = 100000000: "},
      {"[time]\ndisplaysamples = 0\n", "velkor: displaysamples = 0: "},
      {"[time]\nshortintegration = 0\n", "velkor: shortintegration = 0: "},
      {"[time]\nlongintegration = 0\n", "velkor: longintegration = 0: "},
      {"[amplitude]\nfullscale = 0\n", "velkor: fullscale = 0: "},
      {"[file]\nfileblocklen = 20000000\n", "velkor: fileblocklen = 20000000: "},
  };
  for (const auto& [config, message] : cases) {
    test::ScratchDir dir;
    dir.write("empty.txt", "");
    dir.write("velkor.ini", std::string("[file]\nwav = none.wav\ntable = empty.txt\n") + config);
    Outcome run = runIn(dir, {});
    EXPECT_EQ(run.status, 1) << config;
    EXPECT_EQ(run.err.rfind(message, 0), 0u) << config << " gave " << run.err;
  }
}

TEST(StartUp, ConfigurationNamedByQuotedOrSplitArguments) {
  test::ScratchDir dir;
  dir.write("my conf.ini", "[time]\ndisplaysamples = 0\n");
  for (const auto& arguments : {std::vector<std::string>{"my conf.ini"}, std::vector<std::string>{"my", "conf.ini"}}) {
    Outcome run = runIn(dir, arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(firstLine(run.err), "velkor: displaysamples = 0: must be 1 or more\n");
  }
}

TEST(StartUp, TheProgramPrintsItsBannerFirst) {
  test::ScratchDir dir;
  auto result = test::runProcess({VELKOR_BINARY}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, std::string(kBanner) + "\r\n");
  EXPECT_EQ(result.err, "velkor: velkor.ini: file not found\n");
}

} // namespace velkor
