// velkor on real signals: the KiwiSDR recordings in the shared data folder
// beside the repository (skipped when it is absent), each run with its
// example configuration from data/examples in a scratch directory, with the
// path of the recording put into the copy. The transmitters must stand out
// in their strips of the image, and the time that the synchronisation finds
// must agree with the GPS time stamps of the recording.
//
// KiwiSDR IQ file: RIFF/WAVE; after the "fmt " chunk, "kiwi" chunks (u8 GPS
// solution flag, u8 unused, u32 GPS seconds of the week, u32 nanoseconds:
// the time of the samples that follow) alternate with "data" chunks of
// 16-bit I/Q frames.
#include "image/bmpreader.h"
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velkor {
namespace {

const std::filesystem::path kData = std::filesystem::path(VELKOR_SOURCE_DIR) / "data";

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.push_back(line);
  }
  return result;
}

struct RecordingRun {
  test::ProcessResult result;
  test::BmpImage image;
  std::vector<std::string> output;
};

// Runs an example on its recording in a scratch directory beside a copy of
// the station table; only the wav line of the example is changed.
RecordingRun runExample(const std::string& example, const std::filesystem::path& recording, const std::string& bmp) {
  test::ScratchDir dir;
  std::filesystem::copy_file(kData / "table.txt", dir.path() / "table.txt");
  std::istringstream in(slurp(kData / "examples" / example));
  std::string text;
  int changed = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("wav ", 0) == 0 || line.rfind("wav=", 0) == 0) {
      line = "wav = " + recording.string();
      ++changed;
    }
    text += line + "\n";
  }
  EXPECT_EQ(changed, 1) << "one wav line in " << example;
  dir.write(example, text);
  RecordingRun run;
  run.result = test::runProcess({VELKOR_BINARY, example}, dir.path());
  run.image = test::readBmp(dir.read(bmp));
  run.output = lines(run.result.out);
  return run;
}

int brightness(const std::vector<uint8_t>& row, int pixel) {
  auto at = static_cast<std::size_t>(3 * pixel);
  return std::max({row[at], row[at + 1], row[at + 2]});
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

// One row of a station's strip of 24 points of 83 us: the pulse is expected
// to start at point 6; from point 12 (0.5 ms later) on the strip holds noise.
struct StripRow {
  int peakPixel = 0;
  double peak = 0;
  double noise = 0; // median brightness of points 12 to 23
};

StripRow stripRow(const std::vector<uint8_t>& row, int station) {
  StripRow strip;
  std::vector<double> far;
  for (int p = 0; p < 24; ++p) {
    const int value = brightness(row, station * 24 + p);
    if (p >= 2 && p < 12 && value > strip.peak) { // points 0 and 1 carry the hour ticks
      strip.peak = value;
      strip.peakPixel = p;
    }
    if (p >= 12) far.push_back(value);
  }
  strip.noise = median(far);
  return strip;
}

// The reference station's amplitudes from the status lines ("max" field).
std::vector<double> statusMaxima(const std::vector<std::string>& output) {
  std::vector<double> maxima;
  for (const auto& line : output) {
    const auto at = line.find(" max");
    if (line.size() > 8 && line[2] == ':' && line[5] == ':' && at == 8) maxima.push_back(std::atof(line.c_str() + 12));
  }
  return maxima;
}

// The time of day of the first sample as the synchronisation gives it: the
// "hh:mm:ss.mmm UT" at the end of the "TAI match" line [s].
double synchronisedStart(const std::vector<std::string>& output) {
  for (const auto& line : output) {
    if (line.rfind("TAI match", 0) != 0 || line.size() < 16 || !line.ends_with(" UT")) continue;
    const std::string time = line.substr(line.size() - 15, 12);
    return std::atoi(time.substr(0, 2).c_str()) * 3600.0 + std::atoi(time.substr(3, 2).c_str()) * 60.0 +
           std::atof(time.substr(6).c_str());
  }
  ADD_FAILURE() << "no TAI match line";
  return 0;
}

uint32_t little32(const std::string& bytes, std::size_t at) {
  return test::littleEndianAt(bytes, at, 4);
}

// The UTC time of day of the first sample from the first "kiwi" chunk with
// a GPS solution: its stamp less the frames before it at the true rate [s].
double gpsStart(const std::filesystem::path& recording, double rate) {
  const std::string bytes = slurp(recording);
  std::size_t at = 12;
  uint64_t frames = 0;
  while (at + 8 <= bytes.size()) {
    const std::string id = bytes.substr(at, 4);
    const uint32_t size = little32(bytes, at + 4);
    if (id == "kiwi" && size >= 10 && static_cast<uint8_t>(bytes[at + 8]) != 0) {
      const double gps = little32(bytes, at + 10) + little32(bytes, at + 14) * 1e-9;
      constexpr double kGpsAheadOfUtc = 18; // [s] since 2017
      return std::fmod(gps - kGpsAheadOfUtc - static_cast<double>(frames) / rate + 7 * 86400.0, 86400.0);
    }
    if (id == "data") frames += size / 4;
    at += 8 + size + (size & 1u);
  }
  ADD_FAILURE() << "no GPS time stamp in " << recording;
  return 0;
}

std::filesystem::path recordingPath(const std::string& name) {
  const auto shared = test::sharedDataDir();
  return shared.empty() ? std::filesystem::path() : shared / "recordings" / name;
}

} // namespace

// Anthorn (GRI 6731), 45 km from the KiwiSDR G4FUI: received as 6731 M and as
// 6731 Y, both far above the noise in every row, and the time right.
TEST(KiwiRecordingRun, AnthornStandsOutAndTheTimeAgreesWithGps) {
  const auto recording = recordingPath("20251207T170403Z_100000_G4FUI_iq.wav");
  if (recording.empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
  const RecordingRun run = runExample("kiwisdr-g4fui.ini", recording, "kiwisdr-g4fui.bmp");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.result.err, "");

  ASSERT_EQ(run.image.problem, "");
  ASSERT_EQ(run.image.width, 48);
  ASSERT_GE(run.image.height, 6) << "a row a second after two seconds of synchronisation";
  for (int station : {0, 1}) {
    int firstPeak = -1;
    for (std::size_t r = 0; r < run.image.rows.size(); ++r) {
      SCOPED_TRACE("station " + std::to_string(station) + ", row " + std::to_string(r));
      const StripRow strip = stripRow(run.image.rows[r], station);
      EXPECT_GE(strip.peak, 200);
      EXPECT_GE(strip.peak, 8 * (strip.noise + 1)) << "the pulse stands far above the noise";
      EXPECT_GE(strip.peakPixel, 5);
      EXPECT_LE(strip.peakPixel, 9);
      if (firstPeak < 0) firstPeak = strip.peakPixel;
      EXPECT_LE(std::abs(strip.peakPixel - firstPeak), 1) << "the pulse stays in place";
    }
  }

  // Anthorn peaks near 16000 sample units in this recording.
  const auto maxima = statusMaxima(run.output);
  ASSERT_GE(maxima.size(), 6u) << run.result.out;
  for (double max : maxima) {
    EXPECT_GT(max, 12000);
    EXPECT_LT(max, 22000);
  }

  // One chain fixes the time only modulo its phase-code interval; within it
  // the synchronisation must agree with the GPS stamps. (The KiwiSDR's samples
  // lag its stamps by about 1.1 ms.)
  const double pci = 6731 / 50000.0; // [s]
  const double difference = synchronisedStart(run.output) - gpsStart(recording, 11999.02);
  const double residual = (difference / pci - std::round(difference / pci)) * pci;
  EXPECT_LT(std::abs(residual), 0.003) << "the synchronised start differs from GPS by " << difference << " s";
}

// The Saudi chain (GRI 8830) heard in Qatar: Salwa, 109 km away, stands far
// out; Afif, 894 km away, is much weaker but still well above the noise.
TEST(KiwiRecordingRun, SalwaAndAfifStandOut) {
  const auto recording = recordingPath("20250825T063002Z_100000_QTR_iq.wav");
  if (recording.empty()) GTEST_SKIP() << "the shared recordings are not beside the repository";
  const RecordingRun run = runExample("kiwisdr-qtr.ini", recording, "kiwisdr-qtr.bmp");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.result.err, "");
  ASSERT_EQ(run.image.problem, "");
  ASSERT_EQ(run.image.width, 96);
  ASSERT_GE(run.image.height, 6);
  std::vector<double> afifPeaks, afifNoise;
  for (std::size_t r = 0; r < run.image.rows.size(); ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    const StripRow salwa = stripRow(run.image.rows[r], 1);
    EXPECT_GE(salwa.peak, 150);
    EXPECT_GE(salwa.peak, 8 * (salwa.noise + 1));
    EXPECT_GE(salwa.peakPixel, 5);
    EXPECT_LE(salwa.peakPixel, 9);
    const StripRow afif = stripRow(run.image.rows[r], 0);
    afifPeaks.push_back(afif.peak);
    afifNoise.push_back(afif.noise);
  }
  EXPECT_GE(median(afifPeaks), 4 * (median(afifNoise) + 1)) << "Afif stands out in most rows";
}

} // namespace velkor
