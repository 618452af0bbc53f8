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
// Raw: the samples alone. With a split of N seconds the frames go to files
// name.000, name.001, … of round(N × nominal rate) frames each, the last one
// holding the rest; without a split to the one file `name`.
#pragma once

#include "synthconfig.h"

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

class SampleWriter {
public:
  SampleWriter(const SynthConfig& config, int64_t frames);

  // Quantises and writes `count` frames (im unused for mono).
  void write(const float* re, const float* im, std::size_t count);

  // Flushes and closes; throws std::runtime_error on a write failure.
  void finish();

  int64_t clipped() const { return clipped_; }
  const std::vector<std::string>& files() const { return files_; }

private:
  void openNext();

  SynthConfig config_;
  int64_t frames_;
  int64_t framesPerFile_; // 0: all in one file
  int64_t inFile_ = 0;    // frames written to the open file
  int64_t clipped_ = 0;
  std::ofstream out_;
  std::vector<std::string> files_;
  std::vector<int16_t> re_, im_;
  std::vector<unsigned char> bytes_;
};

} // namespace velkor::synth
