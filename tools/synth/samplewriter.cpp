#include "samplewriter.h"

#include "ground/bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace velkor::synth {

namespace {

void put16(std::string& out, uint32_t v) { appendLittle(out, v, 2); }

void put32(std::string& out, uint32_t v) { appendLittle(out, v, 4); }

std::string numberedName(const std::string& base, std::size_t index) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%03zu", index);
  return base + suffix;
}

constexpr int64_t kDaysFrom1958ToGpsEpoch = 8040; // [days] 1958-01-01 to 1980-01-06
constexpr int64_t kInternalMinusGps = 9;          // [s] (TAI - 10 s) - (TAI - 19 s)
constexpr int64_t kSecondsPerWeek = 604800;       // [s]
constexpr uint32_t kKiwiStampBytes = 10;          // [bytes]
constexpr int64_t kRiffFormatBytes = 12 + 8 + 16; // [bytes] "RIFF" size "WAVE" and a 16-byte "fmt "

// "RIFF" size "WAVE" and "fmt " for the KiwiSDR layout of `frames` frames.
std::string kiwiHeader(int channels, int bits, double rate, int64_t frames) {
  const int64_t frameBytes = channels * (bits / 8);
  const int64_t chunks = (frames + kKiwiChunkFrames - 1) / kKiwiChunkFrames;
  const int64_t riffSize = kRiffFormatBytes - 8 + chunks * (8 + kKiwiStampBytes + 8) + frames * frameBytes;
  std::string h = wavHeader(channels, bits, rate, frames, 44).substr(0, static_cast<std::size_t>(kRiffFormatBytes));
  std::string size;
  put32(size, static_cast<uint32_t>(riffSize));
  return h.replace(4, 4, size);
}

} // namespace

std::string kiwiChunk(const AbsoluteTime& start, double rate, int64_t frame) {
  std::string chunk = "kiwi";
  put32(chunk, kKiwiStampBytes);
  if (frame == 0) return chunk + std::string(kKiwiStampBytes, '\0');
  const double since = start.fraction + static_cast<double>(frame) / rate; // [s] after start.seconds
  const double whole = std::floor(since);
  int64_t seconds = start.seconds - kDaysFrom1958ToGpsEpoch * 86400 - kInternalMinusGps + static_cast<int64_t>(whole);
  int64_t nanoseconds = std::llround((since - whole) * 1e9);
  if (nanoseconds >= 1000000000) nanoseconds -= 1000000000, seconds += 1;
  seconds = ((seconds % kSecondsPerWeek) + kSecondsPerWeek) % kSecondsPerWeek;
  chunk += '\1';
  chunk += '\0';
  put32(chunk, static_cast<uint32_t>(seconds));
  put32(chunk, static_cast<uint32_t>(nanoseconds));
  return chunk;
}

std::string wavHeader(int channels, int bits, double rate, int64_t frames, int headerBytes) {
  const uint32_t bytesPerSample = static_cast<uint32_t>(bits / 8);
  const uint32_t fmtSize = headerBytes == 46 ? 18 : 16;
  const uint32_t dataBytes = static_cast<uint32_t>(frames * channels * bytesPerSample);
  const uint32_t whole = static_cast<uint32_t>(std::llround(rate));
  std::string h = "RIFF";
  put32(h, 4 + 8 + fmtSize + 8 + dataBytes);
  h += "WAVEfmt ";
  put32(h, fmtSize);
  put16(h, 1); // PCM
  put16(h, static_cast<uint32_t>(channels));
  put32(h, whole);
  put32(h, whole * static_cast<uint32_t>(channels) * bytesPerSample);
  put16(h, static_cast<uint32_t>(channels) * bytesPerSample);
  put16(h, static_cast<uint32_t>(bits));
  if (fmtSize == 18) put16(h, 0);
  h += "data";
  put32(h, dataBytes);
  return h;
}

SampleWriter::SampleWriter(const SynthConfig& config, int64_t frames, const AbsoluteTime& start, double rate)
    : config_(config), frames_(frames), start_(start), rate_(rate) {
  framesPerFile_ = 0;
  if (config.kind == OutputKind::Raw && config.split > 0)
    framesPerFile_ = std::max<int64_t>(1, std::llround(config.split * config.sr));
  openNext();
}

void SampleWriter::openNext() {
  if (out_.is_open()) {
    out_.close();
    if (!out_) throw std::runtime_error(files_.back() + ": cannot be written");
  }
  std::string name = framesPerFile_ > 0 ? numberedName(config_.output, files_.size()) : config_.output;
  out_.open(name, std::ios::binary | std::ios::trunc);
  if (!out_) throw std::runtime_error(name + ": cannot be created");
  files_.push_back(name);
  inFile_ = 0;
  if (config_.kind == OutputKind::Wav) {
    std::string header = config_.kiwistamps
                             ? kiwiHeader(config_.channels, config_.bits, config_.sr, frames_)
                             : wavHeader(config_.channels, config_.bits, config_.sr, frames_, config_.headerBytes);
    out_.write(header.data(), static_cast<std::streamsize>(header.size()));
  }
}

// The "kiwi" chunk and the data chunk header of the frames from written_ on.
void SampleWriter::beginKiwiChunk() {
  const int64_t frames = std::min(kKiwiChunkFrames, frames_ - written_);
  std::string headers = kiwiChunk(start_, rate_, written_) + "data";
  put32(headers, static_cast<uint32_t>(frames * config_.channels * (config_.bits / 8)));
  out_.write(headers.data(), static_cast<std::streamsize>(headers.size()));
}

int64_t quantiseSamples(const float* x, std::size_t count, int bits, int16_t* out) {
  const float hi = bits == 8 ? 127.0f : 32767.0f;
  const float lo = bits == 8 ? -128.0f : -32768.0f;
  int64_t clipped = 0;
  for (std::size_t j = 0; j < count; ++j) {
    float v = x[j];
    clipped += (v >= hi + 0.5f) | (v <= lo - 0.5f);
    v = std::min(std::max(v, lo), hi);
    out[j] = static_cast<int16_t>(v + (v < 0 ? -0.5f : 0.5f));
  }
  return clipped;
}

void packFrames(const int16_t* re, const int16_t* im, std::size_t count, int channels, int bits, uint8_t* b) {
  if (bits == 8) {
    if (channels == 2) {
      for (std::size_t j = 0; j < count; ++j) {
        b[2 * j] = static_cast<uint8_t>(re[j] + 128);
        b[2 * j + 1] = static_cast<uint8_t>(im[j] + 128);
      }
    } else {
      for (std::size_t j = 0; j < count; ++j) b[j] = static_cast<uint8_t>(re[j] + 128);
    }
  } else if (channels == 2) {
    for (std::size_t j = 0; j < count; ++j) {
      storeLittle16(b + 4 * j, static_cast<uint16_t>(re[j]));
      storeLittle16(b + 4 * j + 2, static_cast<uint16_t>(im[j]));
    }
  } else {
    for (std::size_t j = 0; j < count; ++j) storeLittle16(b + 2 * j, static_cast<uint16_t>(re[j]));
  }
}

void SampleWriter::write(const float* re, const float* im, std::size_t count) {
  while (count > 0) {
    if (framesPerFile_ > 0 && inFile_ == framesPerFile_) openNext();
    std::size_t n = count;
    if (framesPerFile_ > 0)
      n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), framesPerFile_ - inFile_));
    if (config_.kiwistamps) {
      const int64_t inChunk = written_ % kKiwiChunkFrames; // [frames]
      if (inChunk == 0) beginKiwiChunk();
      n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), kKiwiChunkFrames - inChunk));
    }
    const int channels = config_.channels;
    re_.resize(n);
    clipped_ += quantiseSamples(re, n, config_.bits, re_.data());
    if (channels == 2) {
      im_.resize(n);
      clipped_ += quantiseSamples(im, n, config_.bits, im_.data());
    }
    const std::size_t width = config_.bits == 8 ? 1 : 2;
    bytes_.resize(n * static_cast<std::size_t>(channels) * width);
    unsigned char* b = bytes_.data();
    packFrames(re_.data(), im_.data(), n, channels, config_.bits, b);
    out_.write(reinterpret_cast<const char*>(b), static_cast<std::streamsize>(bytes_.size()));
    if (!out_) throw std::runtime_error(files_.back() + ": cannot be written");
    inFile_ += static_cast<int64_t>(n);
    written_ += static_cast<int64_t>(n);
    re += n;
    im += n;
    count -= n;
  }
}

void SampleWriter::finish() {
  out_.close();
  if (!out_) throw std::runtime_error(files_.back() + ": cannot be written");
}

} // namespace velkor::synth
