// The velkor program on real input files: a recording runs to its end, raw
// files are consumed and awaited until "q", a missing recording is fatal.
//
// The files written here: a raw file is interleaved 16-bit little-endian
// stereo frames (real, imaginary) without a header; a WAV file is the same
// frames behind the canonical 44-byte RIFF header ("RIFF", size, "WAVE", a
// 16-byte "fmt " chunk: PCM, 2 channels, rate, byte rate, frame size 4, 16
// bits; then "data" and its size).
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velkor {

namespace {

test::ProcessResult runVelkor(const test::ScratchDir& dir, const std::string& input = {}) {
  return test::runProcess({VELKOR_BINARY}, dir.path(), input);
}

void configure(const test::ScratchDir& dir, const std::string& fileSection) {
  dir.write("velkor.ini", "[file]\n" + fileSection + "table = table.txt\n");
  dir.write("table.txt", "");
}

std::string little(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string rawBytes(const std::vector<int16_t>& values) {
  std::string out;
  for (int16_t v : values) out += little(static_cast<uint16_t>(v), 2);
  return out;
}

std::string wavBytes(const std::vector<int16_t>& values, uint32_t rate) {
  const std::string data = rawBytes(values);
  const auto size = static_cast<uint32_t>(data.size());
  return "RIFF" + little(36 + size, 4) + "WAVEfmt " + little(16, 4) + little(1, 2) + little(2, 2) + little(rate, 4) +
         little(4 * rate, 4) + little(4, 2) + little(16, 2) + "data" + little(size, 4) + data;
}

std::vector<int16_t> noise(int frames) {
  std::vector<int16_t> values;
  uint32_t state = 12345;
  for (int i = 0; i < 2 * frames; ++i) {
    state = state * 1664525u + 1013904223u;
    values.push_back(static_cast<int16_t>(static_cast<int32_t>(state >> 16) - 32768));
  }
  return values;
}

} // namespace

TEST(AcquisitionEndToEnd, RecordingIsReadToItsEndAndTheRunEndsWithStatus0) {
  test::ScratchDir dir;
  configure(dir, "wav = rec.wav\n");
  dir.write("rec.wav", wavBytes(noise(50000), 22050));
  const auto result = runVelkor(dir);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(std::filesystem::exists(dir.file("rec.wav"))) << "a recording is never deleted";
}

TEST(AcquisitionEndToEnd, KiwiRecordingRunsWithoutWarning) {
  const auto data = test::sharedDataDir();
  if (data.empty()) GTEST_SKIP() << "no shared data beside the repository";
  test::ScratchDir dir;
  const auto recording = data / "recordings" / "20250825T063002Z_100000_QTR_iq.wav";
  configure(dir, "wav = " + recording.string() + "\n");
  dir.write("velkor.ini", dir.read("velkor.ini") + "[frequency]\nsr = 12000\n");
  const auto result = runVelkor(dir);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

TEST(AcquisitionEndToEnd, RawFileIsConsumedDeletedAndAwaitedUntilQ) {
  test::ScratchDir dir;
  configure(dir, "dat = audio.dat\n");
  dir.write("audio.dat", rawBytes(noise(4096)));
  // "x" is taken and dropped at the first block; "q" ends the wait for the next file.
  const auto result = runVelkor(dir, "xq");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_FALSE(std::filesystem::exists(dir.file("audio.dat"))) << "the used-up raw file is deleted";
}

TEST(AcquisitionEndToEnd, MissingRawFileIsAwaitedUntilQ) {
  test::ScratchDir dir;
  configure(dir, "dat = audio.dat\n");
  const auto result = runVelkor(dir, "q");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

TEST(AcquisitionEndToEnd, MissingRecordingIsFatal) {
  test::ScratchDir dir;
  configure(dir, "wav = rec.wav\n");
  const auto result = runVelkor(dir);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "velkor: rec.wav: file not found\n");
}

} // namespace velkor
