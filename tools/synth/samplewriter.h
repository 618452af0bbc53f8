// Writes the samples as a WAV recording or as raw sample files.
//
// Sample layout (both kinds): frames of one or two channels, the first
// channel I (in-phase, real part), the second Q (quadrature, imaginary part);
// 16-bit signed little-endian values, or 8-bit values stored as value + 128
// (0x80 is 0). Values are rounded to the nearest integer (halves away from
// zero) and saturate at −32768 … 32767 (16 bit) or −128 … 127 (8 bit); each
// saturated value counts as clipped.
//
// WAV: a RIFF/WAVE header, then the samples. The 44-byte header is
//   "RIFF" size "WAVE" "fmt " 16 format=1 channels rate byterate blockalign
//   bits "data" datasize
// (all little-endian, rate the nominal sample rate rounded to whole Hz); the
// 46-byte one has an 18-byte fmt chunk whose last field (extension size) is 0.
//
// KiwiSDR layout (kiwistamps): the 36 bytes up to the end of "fmt ", then
// per 512 frames a 10-byte "kiwi" chunk and a "data" chunk (the last one
// shorter). The "kiwi" chunk is the GPS time of the data chunk's first frame
// as a KiwiSDR writes it, little-endian: solution byte 1, a zero byte, the
// 32-bit GPS second of the week and 32-bit nanoseconds; the first one is
// all zeros. GPS time is the internal time less 9 s (TAI - 19 s against
// TAI - 10 s), counted from 1980-01-06, and a frame's time is the start
// plus its index over the true rate.
//
// Raw: the samples alone. With a split of N seconds the frames go to files
// name.000, name.001, … of round(N × nominal rate) frames each, the last one
// holding the rest; without a split to the one file `name`.
#pragma once

#include "synthconfig.h"
#include "synthtime.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace velkor::synth {

// The WAV header for `frames` frames.
std::string wavHeader(int channels, int bits, double rate, int64_t frames, int headerBytes);

// Rounds `count` values to `bits`-bit samples (8 or 16), half away from
// zero, clipping at the ends; returns how many were clipped.
int64_t quantiseSamples(const float* x, std::size_t count, int bits, int16_t* out);

// Packs `count` frames of samples as the file stores them: 8-bit offset
// binary or 16-bit little-endian, interleaved re, im for two channels.
// `bytes` must hold count x channels x bits / 8.
void packFrames(const int16_t* re, const int16_t* im, std::size_t count, int channels, int bits, uint8_t* bytes);

inline constexpr int64_t kKiwiChunkFrames = 512; // [frames] per data chunk of the KiwiSDR layout

// The "kiwi" chunk (header and payload) of the data chunk that starts with
// frame `frame` of a recording whose first frame is at `start` and whose
// true rate is `rate` [Hz].
std::string kiwiChunk(const AbsoluteTime& start, double rate, int64_t frame);

class SampleWriter {
public:
  // `start` and `rate` [Hz] (true) date the frames for the KiwiSDR layout.
  SampleWriter(const SynthConfig& config, int64_t frames, const AbsoluteTime& start = {}, double rate = 0);

  // Quantises and writes `count` frames (im unused for mono).
  void write(const float* re, const float* im, std::size_t count);

  // Flushes and closes; throws std::runtime_error on a write failure.
  void finish();

  int64_t clipped() const { return clipped_; }
  const std::vector<std::string>& files() const { return files_; }

private:
  void openNext();
  void beginKiwiChunk();

  SynthConfig config_;
  int64_t frames_;
  int64_t framesPerFile_; // 0: all in one file
  int64_t inFile_ = 0;    // frames written to the open file
  AbsoluteTime start_;    // internal time of the first frame (KiwiSDR layout)
  double rate_ = 0;       // [Hz] true frames per second (KiwiSDR layout)
  int64_t written_ = 0;   // [frames] written so far
  int64_t clipped_ = 0;
  std::ofstream out_;
  std::vector<std::string> files_;
  std::vector<int16_t> re_, im_;
  std::vector<unsigned char> bytes_;
};

} // namespace velkor::synth
