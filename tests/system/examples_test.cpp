// Every example configuration of data/examples, read by the configuration
// reader without a warning and run through velkor in a scratch directory
// beside a copy of the station table: an example that reads a recording on
// its KiwiSDR recording (skipped without the shared data beside the
// repository); a live one on ten seconds of synthetic raw files that
// velkor-synth makes for its receiver (position, sample rate, carrier offset,
// stations), fed as fast as velkor takes them. The copy differs from the
// example only by settings appended to it: the recording's full path, or the
// lengths of the run and no PC clock check (the fast feed runs ahead of the
// PC clock). Each run must end with status 0 and no warning, list every
// station as found, synchronise once, print status lines and leave an image
// of the example's width in which the reference station's pulse stands well
// above the noise. The bundled demo runs too.
#include "config/config.h"
#include "top/record.h"
#include "system/e2e_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <set>
#include <vector>

namespace velkor::test {
namespace {

namespace fs = std::filesystem;
const fs::path kData = fs::path(VELKOR_SOURCE_DIR) / "data";

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The settings of a configuration read without a warning, every key one the
// reader knows or an entry (GRI, letter) of a list section: the reader passes
// over any other key.
Settings settingsOf(const std::string& text) {
  Settings state;
  std::ostringstream warnings;
  applyConfigurationText(state, text, warnings);
  EXPECT_EQ(warnings.str(), "");
  const auto keys = configurationKeys();
  const std::set<std::string> known(keys.begin(), keys.end());
  std::istringstream in(text);
  std::string section;
  for (std::string line; std::getline(in, line);) {
    std::string key = line.substr(0, std::min(line.find_first_of(";'"), line.find('=')));
    std::erase_if(key, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool header = key.starts_with("[");
    if (header) section = key.substr(1, key.find(']') - 1);
    std::string gri = key.substr(key.starts_with("-") ? 1 : 0); // an entry: [-]GRI[letter]
    if (!gri.empty() && std::isalpha(static_cast<unsigned char>(gri.back()))) gri.pop_back();
    const bool entry =
        known.contains(section + " *") && gri.size() == 4 && gri.find_first_not_of("0123456789") == std::string::npos;
    EXPECT_TRUE(header || key.empty() || entry || known.contains(section + " " + key)) << line;
  }
  return state;
}

// The UTC second of the day of a KiwiSDR recording's first sample, from the
// first "kiwi" chunk with a GPS solution (u8 flag, u8, u32 GPS seconds of the
// week, u32 ns: the time of the "data" chunk after it) less the frames before.
double gpsStart(const std::string& bytes, double rate) {
  uint64_t frames = 0;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = littleEndianAt(bytes, at + 4, 4);
    if (bytes.compare(at, 4, "kiwi") == 0 && bytes[at + 8] != 0) {
      const double gps = littleEndianAt(bytes, at + 10, 4) + littleEndianAt(bytes, at + 14, 4) * 1e-9;
      return std::fmod(gps - 18 /* GPS ahead of UTC */ - double(frames) / rate + 7 * 86400.0, 86400.0);
    }
    if (bytes.compare(at, 4, "data") == 0) frames += size / 4;
    at += 8 + size + (size & 1u);
  }
  ADD_FAILURE() << "no GPS time stamp";
  return 0;
}

// How far the sound card of a live example's recording is off: sound cards
// are 10-100 ppm off; the examples measure the rate before the loop starts.
constexpr double kSoundCardError = 50; // [ppm]

// velkor-synth settings for the example's receiver: `files` one-second raw
// files (of the card's seconds) in spool/ from `start` UTC on. The blanked
// stations are four times as strong as the others; there is noise, a DC
// offset, atmospherics, and the sound card runs `ppm` off.
std::string synthSettings(const Settings& example, std::time_t start, double ppm, int files) {
  char when[64];
  std::strftime(when, sizeof when, "date = %Y-%m-%d\ntime = %H:%M:%S\n", std::gmtime(&start));
  std::ostringstream out;
  out.precision(17);
  out << "[location]\nlat = " << example.lat << "\nlon = " << example.lon << "\n[file]\ntable = table.txt\n"
      << "dat = spool/audio.dat\nsplit = 1\nbits = " << 8 * example.bytespersample << "\n"
      << (example.channels == 2 ? "stereo\n" : "mono\n") << when << "[frequency]\nsr = " << example.sr
      << "\nppm = " << ppm
      << "\n"
      // The carrier lies at -bandcenter in I + jQ; the digital oscillator takes it down by looffset.
      << "bandcenter = " << example.bandcenter - example.looffset << "\n"
      << "[time]\nduration = " << files / (1 + ppm * 1e-6) << "\nasf = " << example.asf << "\n" // whole files
      << "[signal]\namplitude = 1000\nnoise = 700\nseed = 9\ndc = 25, -15\nimpulserate = 3\nimpulseamplitude = 12000\n"
      << "[stations]\n";
  std::set<std::string> heard;
  for (const auto& entry : example.stationentries) {
    const std::string key = std::to_string(std::abs(entry.gri)) + static_cast<char>(std::tolower(entry.letter));
    if (heard.insert(key).second) out << key << " = " << (entry.gri < 0 ? 4 : 1) << ", " << 47 * heard.size() << "\n";
  }
  return out.str();
}

// The raw files velkor-synth wrote to spool/, in order, and an empty file
// that ends the run.
std::vector<fs::path> spooledFiles(const ScratchDir& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir.path() / "spool"))
    if (entry.path().extension() != ".json") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  files.push_back(dir.path() / "spool" / "empty");
  std::ofstream(files.back()).close();
  return files;
}

// Hands the files to velkor as audio.dat, each as soon as velkor has
// deleted the one before: as fast as it takes them.
std::jthread feed(const ScratchDir& dir, std::vector<fs::path> files) {
  return std::jthread([&dir, files](std::stop_token stop) {
    for (const auto& file : files) {
      while (fs::exists(dir.path() / "audio.dat"))
        if (stop.stop_requested()) return;
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
      fs::rename(file, dir.path() / "audio.dat");
    }
  });
}

// A live example's set-up with short periods: a synchronisation on 2 s, a
// short integration a second, a row every two, and no PC clock check (the
// fast feed runs ahead of the PC clock).
const char* const kShortLivePeriods = "[taisync]\nintegrationtime = 2\nclockerrorlimit = 0\n"
                                      "[time]\nshortintegration = 1\nlongintegration = 2\n";

std::vector<std::string> examples() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kData / "examples"))
    if (entry.path().extension() == ".ini") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExampleRun : public testing::TestWithParam<std::string> {};

TEST_P(ExampleRun, ReadsCleanlyAndShowsTheReferenceStation) {
  const std::string original = slurp(kData / "examples" / GetParam());
  const Settings example = settingsOf(original);
  const bool recorded = example.wavinput != 0;
  std::string changes = kShortLivePeriods;
  const fs::path recording = kData / example.inputfile;
  if (recorded) {
    if (sharedDataDir().empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
    ASSERT_TRUE(fs::exists(recording)) << "the example names its recording from data/";
    changes = "[file]\nwav = " + recording.string() + "\n";
  }
  ScratchDir dir;
  fs::copy_file(kData / "table.txt", dir.path() / "table.txt");
  dir.write("velkor.ini", original + changes);
  const Settings settings = settingsOf(original + changes);
  // The PC clock shows local time, utcoffset hours ahead of UTC.
  const std::vector<std::string> command = {"/usr/bin/env", "TZ=UTC" + std::to_string(-settings.utcoffset),
                                            VELKOR_BINARY, "velkor.ini"};
  ProcessResult result;
  if (recorded) {
    result = runProcess(command, dir.path());
  } else {
    // The recording starts a second before now on velkor's time scale, which
    // runs clockoffset seconds ahead of UTC; an empty file ends the run.
    fs::create_directory(dir.path() / "spool");
    dir.write("synth.ini",
              synthSettings(settings, std::time(nullptr) - 1 + std::lround(settings.clockoffset), kSoundCardError, 10));
    const ProcessResult made = runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const std::vector<fs::path> files = spooledFiles(dir);
    ASSERT_EQ(files.size(), 11u);
    const std::jthread feeder = feed(dir, files);
    result = runProcess(command, dir.path());
  }
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err.find("warning"), std::string::npos) << result.err;
  // The sound-card examples search the rate; the KiwiSDR examples take it from their GPS stamps instead.
  // Every example gives notices: the receiver says it has locked.
  EXPECT_EQ(result.err.find("velkor: sample rate ") != std::string::npos,
            settings.srsearch > 0 && settings.kiwistamps == 0)
      << result.err;
  EXPECT_NE(result.err.find("velkor: locked: "), std::string::npos) << result.err;

  // Every station found; one synchronisation.
  EXPECT_EQ(result.out.find("not found"), std::string::npos) << result.out;
  const auto lines = e2e::consoleLines(result.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("TAI match"); }), 1);
  const auto status = e2e::statusLines(result.out);
  const int minimumRows = recorded ? 6 : 3; // ten seconds of recording after a sync of two
  EXPECT_GE(status.size(), std::size_t(minimumRows * settings.longintegration)) << result.out;

  const int displayed = static_cast<int>(settings.stationentries.size()) - settings.hidden;
  const BmpImage image = readBmp(dir.read(settings.bmp));
  ASSERT_EQ(image.problem, "") << settings.bmp;
  EXPECT_EQ(image.width, (settings.displaysamples * displayed + 3) / 4 * 4);
  EXPECT_EQ(image.bitsperpixel, settings.colour != 0 ? 24 : 8);
  ASSERT_GE(image.height, minimumRows);
  const e2e::Strip reference = e2e::readStrip(image, settings.referencestation, settings.displaysamples);
  EXPECT_GE(reference.peaklevel, 100);
  EXPECT_GE(reference.peaklevel, (recorded ? 8 : 4) * (reference.floor + 1)) << "the reference stands out";
  EXPECT_GE(reference.peak, 4);
  EXPECT_LE(reference.peak, 6 + 100e-6 * settings.sr);

  if (GetParam() == "kiwisdr-g4fui.ini") {
    // One chain fixes the time modulo its PCI; within it the synchronisation
    // agrees with the GPS stamps (the KiwiSDR's samples lag them by ~1.1 ms).
    const double pci = settings.taientries[0].gri / 50000.0;
    const auto sync = e2e::syncResult(result.out);
    ASSERT_TRUE(sync.has_value());
    const double difference = sync->start - gpsStart(slurp(recording), settings.sr);
    EXPECT_LT(std::abs(std::remainder(difference, pci)), 0.003) << "from GPS by " << difference << " s";
  }
  if (settings.pllcommandgiven) {
    // Locked after four strong periods, velkor runs the oscillator command once a period.
    const auto log = e2e::consoleLines(dir.read("pll.log"));
    EXPECT_FALSE(log.empty());
    for (const auto& value : log) EXPECT_TRUE(std::stod(value) >= 0 && std::stod(value) <= 4095) << value;
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRun, testing::ValuesIn(examples()), [](const auto& info) {
  std::string name = info.param;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
});

// The live example, its card 50 ppm slow, loses four seconds of its capture
// (files that never reach it) after it has locked. Files arrive in real
// time, each when its last sample is recorded, so the PC clock sees the
// stream fall behind: velkor gives up the lock, re-synchronises for that
// reason, finds the time again and locks again.
TEST(LiveExample, ResynchronisesAfterAGapInTheCapture) {
  const std::string original = slurp(kData / "examples" / "live-raw.ini");
  const std::string changes = "[taisync]\nintegrationtime = 2\n[time]\nshortintegration = 1\nlongintegration = 2\n";
  const Settings settings = settingsOf(original + changes);
  ScratchDir dir;
  fs::copy_file(kData / "table.txt", dir.path() / "table.txt");
  dir.write("velkor.ini", original + changes);
  fs::create_directory(dir.path() / "spool");
  constexpr int kFiles = 21;    // [s] of capture
  constexpr int kGapFrom = 8;   // the first file lost
  constexpr int kGapLength = 4; // [files] lost: more than clockerrorlimit seconds
  const std::time_t start = std::time(nullptr) + 1;
  dir.write("synth.ini", synthSettings(settings, start + std::lround(settings.clockoffset), -kSoundCardError, kFiles));
  const ProcessResult made = runProcess({VELKOR_SYNTH, "synth.ini"}, dir.path());
  ASSERT_EQ(made.status, 0) << made.err;
  const std::vector<fs::path> files = spooledFiles(dir);
  ASSERT_EQ(files.size(), std::size_t(kFiles + 1));
  // File k holds seconds k ... k + 1 of the recording: handed over at k + 1.
  const auto began = std::chrono::system_clock::from_time_t(start);
  std::jthread feeder([&](std::stop_token stop) {
    for (std::size_t k = 0; k < files.size(); ++k) {
      std::this_thread::sleep_until(began + std::chrono::seconds(k + 1));
      if (k >= std::size_t(kGapFrom) && k < std::size_t(kGapFrom + kGapLength)) continue;
      while (fs::exists(dir.path() / "audio.dat"))
        if (stop.stop_requested()) return;
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
      fs::rename(files[k], dir.path() / "audio.dat");
    }
  });
  const ProcessResult result = runProcess(
      {"/usr/bin/env", "TZ=UTC" + std::to_string(-settings.utcoffset), VELKOR_BINARY, "velkor.ini"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;

  // The notices in order: locked, lost, re-synchronising for the PC clock, locked.
  std::vector<std::string> events;
  std::istringstream err(result.err);
  for (std::string line; std::getline(err, line);)
    for (const char* event : {"velkor: locked: ", "velkor: lock lost: ", "velkor: re-synchronising: "})
      if (line.starts_with(event)) events.push_back(line);
  ASSERT_EQ(events.size(), 4u) << result.err << result.out;
  EXPECT_TRUE(events[0].starts_with("velkor: locked: reference 8390M")) << events[0];
  EXPECT_EQ(events[1], "velkor: lock lost: re-synchronising");
  EXPECT_TRUE(events[2].starts_with("velkor: re-synchronising: PC clock ")) << events[2];
  EXPECT_TRUE(events[3].starts_with("velkor: locked: reference 8390M")) << events[3];
  const auto lines = e2e::consoleLines(result.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("TAI match"); }), 2)
      << result.out;
}

// The bundled demo on one minute of its recording instead of ten: the
// synchronisation finds the 0.35 s by which the configured time is early,
// and every station's pulse stands out in its strip.
TEST(DemoRun, FindsTheTimeAndShowsEveryStation) {
  ScratchDir dir;
  fs::copy_file(kData / "table.txt", dir.path() / "table.txt");
  const fs::path demo = dir.path() / "demo";
  fs::create_directory(demo);
  std::ofstream(demo / "synth.ini") << slurp(kData / "demo" / "synth.ini") << "[time]\nduration = 60\n";
  fs::copy_file(kData / "demo" / "demo.ini", demo / "demo.ini");
  const ProcessResult made = runProcess({VELKOR_SYNTH, "synth.ini"}, demo);
  ASSERT_EQ(made.status, 0) << made.err;
  const ProcessResult result = runProcess({VELKOR_BINARY, "demo.ini"}, demo);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err.find("warning"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("velkor: locked: "), std::string::npos) << result.err;
  EXPECT_NE(result.out.find("TAI match at    0.35 s offset"), std::string::npos) << result.out;

  const BmpImage image = readBmp(slurp(demo / "velkor.bmp"));
  ASSERT_EQ(image.problem, "");
  ASSERT_EQ(image.width, 8 * 48);
  ASSERT_EQ(image.height, 3) << "a row every 15 s after 10 s of synchronisation";
  for (int station = 0; station < 8; ++station) {
    // The weakest, Bo on 7001 at a tenth of Lessay's amplitude, reaches about
    // twice the noise in three rows; noise alone stays below 100.
    const e2e::Strip strip = e2e::readStrip(image, station, 48);
    EXPECT_GE(strip.peaklevel, 100) << station;
    EXPECT_GE(strip.peaklevel, 1.6 * strip.floor) << station;
    EXPECT_NEAR(strip.peak, 8, 2) << station;
  }
  EXPECT_TRUE(fs::exists(demo / "stations.txt")) << "the labels of the demo's picture";
}

} // namespace
} // namespace velkor::test
