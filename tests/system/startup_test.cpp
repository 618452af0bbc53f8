// The program's start: banner, the configuration file named by the arguments,
// and the settings it refuses to run with.
#include "display/display.h"

#include "support/testplatform.h"

#include <gtest/gtest.h>

namespace velkor {

TEST(StartUp, BannerThenTheConfigurationNamedByTheArgumentsJoined) {
  test::ScratchDir dir;
  using Arguments = std::vector<std::string>;
  for (auto [arguments, name] : {std::pair(Arguments{}, "velkor.ini"),
                                 {Arguments{"my", "conf.ini"}, "my conf.ini"},
                                 {Arguments{"my conf.ini"}, "my conf.ini"}}) {
    Arguments argv{VELKOR_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto r = test::runProcess(argv, dir.path());
    EXPECT_EQ(std::tuple(r.status, r.out, r.err),
              std::tuple(1, std::string(kBanner) + "\r\n", "velkor: " + std::string(name) + ": file not found\n"));
  }
}

TEST(StartUp, RefusesSettingsThatCannotWork) {
  const std::pair<const char*, const char*> cases[] = {
      {"[frequency]\nsr = 0\n", "velkor: sr = 0: "},
      {"[frequency]\nsr = 1e999\n", "velkor: sr = inf: "},
      {"[frequency]\nsr = 2000\n", "velkor: sr = 2000: "},
      {"[frequency]\nsr = 100000000\n", "velkor: sr = 100000000: "},
      {"[time]\ndisplaysamples = 0\n", "velkor: displaysamples = 0: must be 1 or more\n"},
      {"[time]\nshortintegration = 0\n", "velkor: shortintegration = 0: "},
      {"[time]\nlongintegration = 0\n", "velkor: longintegration = 0: "},
      {"[amplitude]\nfullscale = 0\n", "velkor: fullscale = 0: "},
      {"[file]\nfileblocklen = 20000000\n", "velkor: fileblocklen = 20000000: "},
      {"[file]\ndate = 2025-13-07\n", "velkor: date = 2025-13-07: not a date of the form MM-DD-YYYY or YYYY-MM-DD\n"},
      {"[file]\ntime = 17:04\n", "velkor: time = 17:04: not a time of the form HH:MM:SS or HH:MM:SS.s"},
      {"[time]\nrawlatency = -1\n", "velkor: rawlatency = -1: must be 0 ms or more\n"},
  };
  test::ScratchDir dir;
  dir.write("empty.txt", "");
  for (const auto& [settings, message] : cases) {
    dir.write("velkor.ini", std::string("[file]\nwav = none.wav\ntable = empty.txt\n") + settings);
    auto r = test::runProcess({VELKOR_BINARY}, dir.path());
    EXPECT_EQ(r.status, 1) << settings;
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << settings << " gave " << r.err;
  }
  // velkor-synth refuses them alike (its reader is velkor's).
  dir.write("synth.ini", "[file]\ndate = 2025-07-12\ntime = 170403\n");
  auto r = test::runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
  EXPECT_EQ(std::tuple(r.status, r.err),
            std::tuple(1, "velkor-synth: time = 170403: not a time of the form HH:MM:SS or HH:MM:SS.s (fraction of "
                          "the second)\n"));
}

} // namespace velkor
