#include "support/wavfile.h"

#include "ground/bytes.h"
#include "samplewriter.h"

#include <fstream>

namespace velkor::test {

std::string sampleBytes(const std::vector<int16_t>& interleaved, int bytesPerSample) {
  std::string out;
  out.reserve(interleaved.size() * static_cast<std::size_t>(bytesPerSample));
  for (int16_t v : interleaved) {
    if (bytesPerSample == 1) out += static_cast<char>(static_cast<uint8_t>(v + 128));
    else appendLittle(out, static_cast<uint16_t>(v), 2);
  }
  return out;
}

void writeWav(const std::string& path, const std::vector<int16_t>& interleaved, const SampleFormat& f) {
  const auto frames = static_cast<int64_t>(interleaved.size()) / f.channels;
  std::ofstream(path, std::ios::binary) << synth::wavHeader(f.channels, 8 * f.bytesPerSample, f.rate, frames,
                                                            f.headerBytes)
                                        << sampleBytes(interleaved, f.bytesPerSample);
}

void writeRaw(const std::string& path, const std::vector<int16_t>& interleaved, int bytesPerSample) {
  std::ofstream(path, std::ios::binary) << sampleBytes(interleaved, bytesPerSample);
}

} // namespace velkor::test
