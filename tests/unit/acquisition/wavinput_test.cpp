#include "support/receiver.h"

#include <gtest/gtest.h>

#include <fstream>

namespace velkor {

using test::Receiver;
using test::Samples;

namespace {

std::string le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A chunk with its pad byte, or with a size field that need not fit the payload.
std::string chunk(const std::string& id, const std::string& payload) {
  return id + le32(static_cast<uint32_t>(payload.size())) + payload + std::string(payload.size() % 2, '\0');
}
std::string chunk(const std::string& id, uint32_t declared) { return id + le32(declared); }

// A WAV file with a "fmt " chunk (and `extension` after its 16 bytes) and the chunks.
std::string riff(uint32_t channels, uint32_t bits, uint32_t rate, const std::string& chunks,
                 const std::string& extension = "") {
  const std::string format = chunk("fmt ", le16(1) + le16(channels) + le32(rate) + le32(rate * channels * bits / 8) +
                                               le16(channels * bits / 8) + le16(bits) + extension);
  return "RIFF" + le32(static_cast<uint32_t>(4 + format.size() + chunks.size())) + "WAVE" + format + chunks;
}

Samples readWav(Receiver& r, const std::string& content) {
  r.dir.write("in.wav", content);
  r.start();
  return r.readAll();
}

} // namespace

TEST(WavInput, HeadersOf44And46BytesDataSizesAndHeaderlessFilesGiveTheSameSamples) {
  const auto values = test::rampFrames(5000);
  const std::string bytes = test::sampleBytes(values, 2);
  const std::string files[] = {riff(2, 16, 22050, chunk("data", bytes)),
                               riff(2, 16, 22050, chunk("data", bytes), le16(0)),
                               riff(2, 16, 22050, chunk("data", 0u) + bytes),
                               riff(2, 16, 22050, chunk("data", 0xFFFFFFFFu) + bytes),
                               riff(2, 16, 22050, chunk("data", 4u * 6000) + bytes),
                               std::string(46, 'h') + bytes};
  for (int i = 0; i < 6; ++i) {
    Receiver r;
    EXPECT_EQ(readWav(r, files[i]), test::asSamples(values)) << i;
    // Only the headerless file is said not to be a WAV file.
    EXPECT_EQ(r.t.errors.str().empty(), i < 5) << i << r.t.errors.str();
    EXPECT_EQ(r.t.errors.str().find(": not a RIFF/WAVE file; read as a 46-byte header") != std::string::npos, i == 5);
  }
}

TEST(WavInput, DataChunksInFileOrderPastOtherChunksAndPadBytes) {
  // 8-bit mono in blocks of 2 samples: an odd data chunk with its pad byte,
  // and odd non-data chunks, as KiwiSDR writes them between its data.
  Receiver r;
  r.s.settings.bytespersample = 1;
  r.s.settings.channels = 1;
  r.s.settings.fileblocklen = 2;
  r.dir.write("in.wav", riff(1, 8, 22050,
                             chunk("kiwi", "\1\1\1") + chunk("data", test::sampleBytes({1, 2, 3}, 1)) +
                                 chunk("LIST", "odd") + chunk("data", test::sampleBytes({4, 5}, 1))));
  r.start();
  EXPECT_EQ(r.s.acquisition.inputremaining, 5) << "sample bytes only";
  EXPECT_EQ(r.readAll(), (Samples{{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}));
  EXPECT_EQ(r.t.errors.str(), "");
}

TEST(WavInput, MissingFileIsFatal) {
  Receiver missing;
  try {
    missing.start();
    ADD_FAILURE() << "a missing recording must stop the run";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.what(), missing.s.settings.inputfile + ": file not found");
  }
}

TEST(WavInput, FormatThatDisagreesWithTheSettingsIsWarnedAbout) {
  // Against the settings 2 x 16 bits at 12000 Hz: the warning, or a part of
  // it; none within 1 % of the rate.
  const std::tuple<uint32_t, uint32_t, uint32_t, std::string> rows[] = {
      {1, 8, 48000,
       ": the file holds 1 channel of 8 bits at 48000 Hz, the settings say 2 channels of 16 bits at "
       "12000 Hz; it is read as the settings say\n"},
      {2, 16, 12120, ""},
      {2, 16, 11880, ""},
      {2, 16, 12121, "at 12121 Hz"},
      {2, 16, 11879, "at 11879 Hz"},
      {2, 24, 12000, "of 24 bits"}};
  for (const auto& [channels, bits, rate, warning] : rows) {
    Receiver r;
    r.s.settings.sr = 12000;
    const auto values = test::rampFrames(100);
    EXPECT_EQ(readWav(r, riff(channels, bits, rate, chunk("data", test::sampleBytes(values, 2)))),
              test::asSamples(values))
        << "the settings rule";
    const std::string errors = r.t.errors.str();
    EXPECT_EQ(errors.empty(), warning.empty()) << errors;
    EXPECT_TRUE(warning.empty() || errors.starts_with("velkor: warning: " + r.s.settings.inputfile + ": ")) << errors;
    EXPECT_NE(errors.find(warning), std::string::npos) << errors;
  }
}

// KiwiSDR IQ recordings: "fmt " at 12, then pairs of a 10-byte "kiwi" chunk
// and a 2048-byte data chunk; the first samples start at byte 62.
TEST(WavInput, KiwiRecordingReadsWithoutWarningFromItsDataChunks) {
  const auto data = test::sharedDataDir();
  if (data.empty()) GTEST_SKIP() << "no shared data beside the repository";
  Receiver r;
  r.s.settings.inputfile = (data / "recordings" / "20251207T170403Z_100000_G4FUI_iq.wav").string();
  r.s.settings.sr = 12000;
  std::ifstream file(r.s.settings.inputfile, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(file), {});
  r.start();
  const auto samples = r.readAll();
  EXPECT_EQ(r.t.errors.str(), "");
  ASSERT_EQ(samples.size(), (bytes.size() - 36) / 2074 * 512);
  Receiver chunk0; // the first data chunk alone
  chunk0.s.settings.sr = 12000;
  EXPECT_EQ(Samples(samples.begin(), samples.begin() + 512),
            readWav(chunk0, riff(2, 16, 12000, chunk("data", bytes.substr(62, 2048)))));
}

} // namespace velkor
