// The per-sample passes of the block decoder. Each works on plain arrays so
// that the compiler can vectorise it and the benchmarks and tests can drive
// it without a file; the oscillator alone is a sequential recurrence.
#pragma once

#include "config/settings.h"

#include <cstdint>

namespace velkor {

struct Acquisition;

// Nearest 16-bit value, halves to even, saturating (NaN gives -32768).
int16_t roundToSample(float value);

// Decodes `frames` sample frames of little-endian bytes into re and im.
// 8-bit values are unsigned with 128 as zero; mono frames give im = 0.
void decodeFrames(const uint8_t* bytes, int32_t frames, int32_t channels, int32_t bytesPerSample, int16_t* re,
                  int16_t* im);

// values[i] = round(factor x values[i]) for i < count.
void scaleSamples(int16_t* values, int32_t count, float factor);

// Shifts samplere/im[first, first + count) down by looffset [Hz] with the
// running oscillator (lophase, lore, loim, locount, looffset moved by the
// setting lodrift [Hz/s]); filescale is applied with it.
void mixWithOscillator(const Settings& settings, Acquisition& acquisition, int32_t first, int32_t count);

// power[i] = re[i]^2 + im[i]^2, exact, rounded once to single.
void computePower(const int16_t* re, const int16_t* im, float* power, int32_t count);

// decodeFrames and computePower in one pass over the frames (16-bit stereo;
// the other layouts in two), for blocks that nothing else changes.
void decodeFramesWithPower(const uint8_t* bytes, int32_t frames, int32_t channels, int32_t bytesPerSample, int16_t* re,
                           int16_t* im, float* power);

// Sums of the real and imaginary values [sample units].
struct SampleSums {
  int64_t re = 0;
  int64_t im = 0;
};

// Sums of re and im over count samples [sample units].
SampleSums sumSamples(const int16_t* re, const int16_t* im, int32_t count);

// Sums of the values whose power lies below `threshold` [sample units^2].
SampleSums sumQuietSamples(const int16_t* re, const int16_t* im, const float* power, int32_t count, float threshold);

// Exact sum of count power values (they hold whole numbers) [sample units^2].
double sumPower(const float* power, int32_t count);

// The decoder's one pass with the powers and the two sums of the samples that
// leave the buffer, of one build; by default the baseline build above.
struct SampleKernels {
  decltype(&decodeFramesWithPower) decode = decodeFramesWithPower;
  decltype(&sumPower) power = sumPower;
  decltype(&sumQuietSamples) quiet = sumQuietSamples;
};

// The build for this processor: the same integer work in 256-bit vectors
// where it has AVX2, the baseline build elsewhere; both give the same
// numbers. Reads the processor's features; called once at preparation.
SampleKernels chooseSampleKernels();

} // namespace velkor
