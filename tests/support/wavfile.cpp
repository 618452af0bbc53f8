#include "support/wavfile.h"

#include <fstream>

namespace velkor::test {

namespace {
void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
} // namespace

std::string sampleBytes(const std::vector<int16_t>& interleaved, int bytesPerSample) {
  std::string out;
  out.reserve(interleaved.size() * static_cast<std::size_t>(bytesPerSample));
  for (int16_t v : interleaved) {
    if (bytesPerSample == 1) out += static_cast<char>(static_cast<uint8_t>(v + 128));
    else put16(out, static_cast<uint16_t>(v));
  }
  return out;
}

void writeWav(const std::string& path, const std::vector<int16_t>& interleaved, const SampleFormat& f) {
  std::string data = sampleBytes(interleaved, f.bytesPerSample);
  uint32_t fmtSize = f.headerBytes == 46 ? 18 : 16;
  std::string out = "RIFF";
  put32(out, static_cast<uint32_t>(4 + 8 + fmtSize + 8 + data.size()));
  out += "WAVEfmt ";
  put32(out, fmtSize);
  put16(out, 1);
  put16(out, static_cast<uint32_t>(f.channels));
  put32(out, static_cast<uint32_t>(f.rate));
  put32(out, static_cast<uint32_t>(f.rate * f.channels * f.bytesPerSample));
  put16(out, static_cast<uint32_t>(f.channels * f.bytesPerSample));
  put16(out, static_cast<uint32_t>(8 * f.bytesPerSample));
  if (fmtSize == 18) put16(out, 0);
  out += "data";
  put32(out, static_cast<uint32_t>(data.size()));
  out += data;
  std::ofstream(path, std::ios::binary) << out;
}

void writeRaw(const std::string& path, const std::vector<int16_t>& interleaved, int bytesPerSample) {
  std::ofstream(path, std::ios::binary) << sampleBytes(interleaved, bytesPerSample);
}

} // namespace velkor::test
