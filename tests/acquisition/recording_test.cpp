#include "acquisition/source.h"

#include "acquisition/receiver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velkor {

using test::Receiver;
using test::Sample;

namespace {

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Sample frameAt(const std::string& bytes, std::size_t at) {
  auto value = [&](std::size_t i) {
    return static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
  };
  return {value(at), value(at + 2)};
}

} // namespace

// KiwiSDR IQ recordings: "fmt " (16 bytes) at 12, then pairs of a 10-byte
// "kiwi" chunk and a 2048-byte data chunk, so the first samples start at byte
// 12 + 24 + 18 + 8 = 62 and every further data chunk 2074 bytes later.
TEST(KiwiRecording, ReadWithoutWarningFromItsDataChunks) {
  const auto data = test::sharedDataDir();
  if (data.empty()) GTEST_SKIP() << "no shared data beside the repository";
  for (const char* name : {"20251207T170403Z_100000_G4FUI_iq.wav", "20250825T063002Z_100000_QTR_iq.wav"}) {
    const auto path = data / "recordings" / name;
    const std::string bytes = fileBytes(path);
    ASSERT_EQ(bytes.substr(54, 4), "data") << name;

    Receiver r;
    r.s.inputfile = path.string();
    r.s.sr = 12000;
    r.start();
    const std::size_t chunks = (bytes.size() - 36) / 2074;
    EXPECT_EQ(r.s.inputremaining, static_cast<int64_t>(chunks * 2048)) << name;
    const auto samples = r.readAll();
    EXPECT_TRUE(r.t.errors.str().empty()) << r.t.errors.str();
    ASSERT_EQ(samples.size(), chunks * 512) << name;
    for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, chunks - 1}) {
      for (std::size_t k = 0; k < 512; ++k) {
        ASSERT_EQ(samples[chunk * 512 + k], frameAt(bytes, 62 + chunk * 2074 + 4 * k)) << name << " chunk " << chunk;
      }
    }
  }
}

TEST(KiwiRecording, ShiftedByTheOscillatorAroundTheCarrier) {
  const auto data = test::sharedDataDir();
  if (data.empty()) GTEST_SKIP() << "no shared data beside the repository";
  const auto path = data / "recordings" / "20251207T170403Z_100000_G4FUI_iq.wav";
  Receiver plain, shifted;
  for (Receiver* r : {&plain, &shifted}) {
    r->s.inputfile = path.string();
    r->s.sr = 12000;
  }
  shifted.s.looffset = 1000;
  plain.start();
  shifted.start();
  const auto a = plain.readAll();
  const auto b = shifted.readAll();
  ASSERT_EQ(a.size(), b.size());
  // A frequency shift keeps every sample's magnitude (up to rounding).
  for (std::size_t k = 0; k < a.size(); k += 97)
    ASSERT_NEAR(std::hypot(b[k].re, b[k].im), std::hypot(a[k].re, a[k].im), 1.5) << k;
}

} // namespace velkor
