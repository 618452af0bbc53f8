// Writes sample files for tests: WAV recordings with a 44- or 46-byte header
// and raw sample files, from interleaved 16-bit or 8-bit values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::test {

struct SampleFormat {
  int channels = 2;
  int bytesPerSample = 2;
  int rate = 22050;     // [Hz] written into the header
  int headerBytes = 44; // 44: canonical RIFF header; 46: with a 2-byte fmt extension
};

// Little-endian bytes of interleaved values (8-bit values are offset by 128).
std::string sampleBytes(const std::vector<int16_t>& interleaved, int bytesPerSample);

void writeWav(const std::string& path, const std::vector<int16_t>& interleaved, const SampleFormat& format);
void writeRaw(const std::string& path, const std::vector<int16_t>& interleaved, int bytesPerSample);

} // namespace velkor::test
