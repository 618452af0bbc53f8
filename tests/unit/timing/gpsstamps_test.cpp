// The GPS time stamps of a KiwiSDR-style WAV: read from its "kiwi" chunks
// with the frame each stamps, and fitted to a rate and a first-frame time
// that are known exactly; the stamps that cannot be used (no fix, a glitch)
// are left out.
#include "acquisition/source.h"
#include "support/testplatform.h"
#include "timing/calendar.h"
#include "timing/gpsstamps.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

namespace {

std::string le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string chunk(const std::string& id, const std::string& payload) {
  return id + le32(static_cast<uint32_t>(payload.size())) + payload + std::string(payload.size() % 2, '\0');
}

constexpr double kRate = 11999.024;      // [Hz] true frames per GPS second
constexpr double kFirst = 604799.9;      // [s of the GPS week] of frame 0: the week turns over in the file
constexpr int kFramesPerChunk = 512;     // [frames] as a KiwiSDR writes them
constexpr int kChunks = 8;               // data chunks in the file
constexpr uint8_t kNoFixChunk = 3;       // the chunk whose stamp has no GPS fix
constexpr uint32_t kWrongSeconds = 1234; // [s] that stamp's time, far off the line
constexpr int kGlitchChunk = 5;          // the chunk whose stamp, with a fix, is a glitch
constexpr double kGlitch = 0.002;        // [s] of that glitch

// A "kiwi" stamp of frame `frame`: the true time (`glitch` [s] late), or a
// wrong one without a fix.
std::string stampOf(int frame, uint8_t solution, double glitch) {
  const double t = std::fmod(kFirst + frame / kRate + glitch, 604800.0);
  const auto seconds = static_cast<uint32_t>(std::floor(t));
  const auto nanoseconds = static_cast<uint32_t>(std::lrint((t - seconds) * 1e9));
  if (solution == kNoGpsFix) return std::string(1, static_cast<char>(solution)) + '\0' + le32(kWrongSeconds) + le32(0);
  return std::string(1, static_cast<char>(solution)) + '\0' + le32(seconds) + le32(nanoseconds);
}

// "fmt ", then per data chunk of 512 stereo 16-bit frames a "kiwi" chunk
// before it: all zeros first, one without a fix, one 2 ms off, and an odd
// chunk between.
std::string kiwiRecording() {
  std::string chunks = chunk("fmt ", le16(1) + le16(2) + le32(12000) + le32(48000) + le16(4) + le16(16)) +
                       chunk("kiwi", std::string(10, '\0'));
  for (int c = 0; c < kChunks; ++c) {
    if (c > 0)
      chunks += chunk("kiwi",
                      stampOf(c * kFramesPerChunk, c == kNoFixChunk ? kNoGpsFix : 1, c == kGlitchChunk ? kGlitch : 0));
    if (c == 2) chunks += chunk("LIST", "odd");
    chunks += chunk("data", std::string(kFramesPerChunk * 4, '\1'));
  }
  return "RIFF" + le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

} // namespace

TEST(GpsStamps, ReadWithTheirFramesAndFittedToTheTrueRateAndFirstFrame) {
  test::ScratchDir dir;
  dir.write("kiwi.wav", kiwiRecording());
  Settings cfg;
  cfg.inputfile = dir.file("kiwi.wav");
  const std::vector<KiwiStamp> stamps = readKiwiStamps(cfg);
  ASSERT_EQ(stamps.size(), std::size_t{kChunks});
  EXPECT_TRUE(stamps[0].blank) << "the first chunk of zeros is no stamp";
  for (int c = 0; c < kChunks; ++c) EXPECT_EQ(stamps[static_cast<std::size_t>(c)].frame, c * kFramesPerChunk);

  const GpsStampFit fit = fitGpsStamps(stamps);
  EXPECT_EQ(fit.stamps, kChunks - 1);
  EXPECT_EQ(fit.nofix, 1);
  EXPECT_EQ(fit.offline, 1) << "the glitch";
  EXPECT_EQ(fit.used, kChunks - 3);
  ASSERT_TRUE(fit.usable());
  // The stamps are whole nanoseconds: over 0.3 s that leaves the rate some 10 ppb.
  EXPECT_NEAR(fit.rate, kRate, 2e-4);
  EXPECT_NEAR(fit.firstframe, kFirst, 1e-9) << "the week turning over is unwrapped";
  EXPECT_LT(fit.rms, 1e-9);

  // Without two stamps that have a fix there is no fit.
  const std::vector<KiwiStamp> few(stamps.begin(), stamps.begin() + 2);
  EXPECT_FALSE(fitGpsStamps(few).usable());
}

TEST(GpsStamps, TakeTheWeekNearestTheConfiguredDateAndTime) {
  // GPS second 61461.3737 of the week that begins on Sunday 2025-12-07 is
  // 17:04:03.3737 UTC (GPS - UTC = 18 s), whichever date within three days
  // of it is configured.
  Settings cfg;
  cfg.clockoffset = 2; // the scale runs UTC + 27 s, as from 2017 on
  Timing truth;
  truth.date = "12-07-2025";
  truth.time = "17:04:03";
  computeClockTime(cfg, truth);
  for (const char* date : {"12-04-2025", "12-07-2025", "12-10-2025"}) {
    Timing tim;
    tim.date = date;
    tim.time = "17:04:03";
    computeClockTime(cfg, tim);
    EXPECT_NEAR(gpsInternalTime(tim, 61461.3737) - truth.clocktime, 0.3737, 1e-6) << date;
  }
}

} // namespace velkor
