#include "acquisition/samplekernels.h"

#include "acquisition/acquisition.h"
#include "ground/bytes.h"
#include "ground/kernels.h"
#include "ground/numbers.h"

#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if VELKOR_X86_BUILDS
#include <immintrin.h>
#endif

namespace velkor {

namespace {

// The passes below are written for the vectoriser of an -O2 build: full groups
// of kLanes samples go through a loop of fixed length, which it vectorises even
// under its cheapest cost model; the remainder runs one by one. Selections are
// integer masks, because a conditional floating-point operation may not be
// speculated while floating-point exceptions are observable.
constexpr int32_t kLanes = 16;            // [samples] per group
constexpr int32_t kGroupsPerFlush = 1024; // groups summed in 32 bits: 1024 x 32768 < 2^31

// Sums re(i) and im(i) over i < count; every term is a 16-bit value.
template <typename Re, typename Im>
[[gnu::always_inline]] inline SampleSums sumInLanes(int32_t count, Re re, Im im) {
  SampleSums total;
  int32_t i = 0;
  while (i + kLanes <= count) {
    int32_t lanere[kLanes] = {};
    int32_t laneim[kLanes] = {};
    const int32_t stop = count - i > kLanes * kGroupsPerFlush ? i + kLanes * kGroupsPerFlush : count;
    for (; i + kLanes <= stop; i += kLanes) {
      for (int32_t j = 0; j < kLanes; ++j) {
        lanere[j] += re(i + j);
        laneim[j] += im(i + j);
      }
    }
    for (int32_t j = 0; j < kLanes; ++j) {
      total.re += lanere[j];
      total.im += laneim[j];
    }
  }
  for (; i < count; ++i) {
    total.re += re(i);
    total.im += im(i);
  }
  return total;
}

// Rounds to the nearest whole number, halves to even, and saturates to 16
// bits; NaN saturates by its sign bit. For |x| < 32768, adding 1.5 x 2^23
// leaves the rounded value in the low mantissa bits (default rounding mode),
// exactly as nearbyint would round it; larger magnitudes (exponent field 142
// and up, also infinity and NaN) take the bound of their sign.
inline int16_t roundClamped(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  const int32_t big = -static_cast<int32_t>(((bits >> 23) & 0xFFu) >= 142u); // all ones: |x| >= 32768
  const int32_t rounded = static_cast<int32_t>(std::bit_cast<uint32_t>(x + 12582912.0f) - 0x4B400000u);
  const int32_t bound = 32767 - static_cast<int32_t>(bits >> 31) * 65535;
  const int32_t r = (bound & big) | (rounded & ~big);
  return static_cast<int16_t>(r < 32767 ? r : 32767); // 32767.5 and above round to 32768
}

// re^2 + im^2, exact, rounded once to single. The sum is at most 2^31, a
// whole number that fits in 32 unsigned bits exactly; read as signed it is
// the same number except 2^31 itself (both values -32768), which reads as
// -2^31. The conversion to single rounds the exact value once, and clearing
// the sign gives 2^31 back: the integer multiply-adds vectorise where doubles
// are slow.
inline float powerOf(int32_t x, int32_t y) {
  const uint32_t sum = static_cast<uint32_t>(x * x) + static_cast<uint32_t>(y * y);
  return std::fabs(static_cast<float>(static_cast<int32_t>(sum)));
}

inline int16_t littleEndian16(const uint8_t* bytes) { return static_cast<int16_t>(readLittle16(bytes)); }

inline int16_t offsetBinary8(uint8_t byte) { return static_cast<int16_t>(byte - 128); }

// Phase advance per sample [rad], from the oscillator frequency [Hz] and rate [Hz].
inline float oscillatorStep(double looffset, float losamplerate) {
  return static_cast<float>(2.0 * kPiSingle * looffset / losamplerate);
}

// Cosine and sine of one angle [rad] by the acquisition's sincos pass: the
// values of the library's sincosf, without its call.
struct CosSin {
  float c = 0;
  float s = 0;
};
inline CosSin cosSin(SinCosPass sincos, float angle) {
  CosSin value;
  sincos(&angle, &value.s, &value.c, 1);
  return value;
}

constexpr int32_t kOscillatorStretch = 128;  // [samples] of oscillator values computed ahead of the products
constexpr double kOscillatorRefresh = 100.0; // [samples] between settings of the oscillator from its phase

// The oscillator is a recurrence from sample to sample and stays sequential;
// its values for a stretch of samples go into a small table first, so that
// the products with the samples form a separate pass that vectorises.
template <bool Stereo>
void mix(const Settings& cfg, Acquisition& acq, int16_t* __restrict re, int16_t* __restrict im, int32_t count) {
  const float losamplerate = acq.losamplerate;             // [Hz] the rate the oscillator was set up for
  float step = oscillatorStep(acq.looffset, losamplerate); // [rad]
  CosSin turn = cosSin(acq.sincos, step);
  float c = turn.c;
  float sn = -turn.s;
  float lore = acq.lore;
  float loim = acq.loim;
  int32_t locount = acq.locount; // [samples]
  float tablere[kOscillatorStretch];
  float tableim[kOscillatorStretch];
  for (int32_t first = 0; first < count; first += kOscillatorStretch) {
    const int32_t n = count - first < kOscillatorStretch ? count - first : kOscillatorStretch; // [samples]
    for (int32_t j = 0; j < n; ++j) {
      // Every 100 samples the oscillator is set afresh from its phase, so
      // that the rounding of the complex steps in between never accumulates.
      if (++locount >= kOscillatorRefresh) {
        locount = 0;
        const float theta = static_cast<float>(2.0 * kPiSingle * acq.lophase); // [rad]
        const CosSin now = cosSin(acq.sincos, theta);
        lore = now.c * cfg.filescale;
        loim = -now.s * cfg.filescale;
        acq.lophase = static_cast<float>(acq.lophase + acq.looffset / losamplerate * kOscillatorRefresh);
        acq.lophase -= std::floor(acq.lophase);
        if (cfg.lodrift != 0) {
          acq.looffset += cfg.lodrift * kOscillatorRefresh / losamplerate;
          step = oscillatorStep(acq.looffset, losamplerate);
          turn = cosSin(acq.sincos, step);
          c = turn.c;
          sn = -turn.s;
        }
      }
      tablere[j] = lore;
      tableim[j] = loim;
      const float nextre = c * lore - sn * loim;
      loim = sn * lore + c * loim;
      lore = nextre;
    }
    int16_t* __restrict r = re + first;
    int16_t* __restrict q = im + first;
    forEachInGroups<kLanes>(n, [&](int32_t j) {
      const float x = r[j];
      if constexpr (Stereo) {
        const float y = q[j];
        r[j] = roundClamped(tablere[j] * x - tableim[j] * y);
        q[j] = roundClamped(tableim[j] * x + tablere[j] * y);
      } else {
        r[j] = roundClamped(tablere[j] * x);
        q[j] = roundClamped(tableim[j] * x);
      }
    });
  }
  acq.lore = lore;
  acq.loim = loim;
  acq.locount = static_cast<int16_t>(locount);
}

// Samples below which a sum of powers (each at most 2^31) stays below 2^53.
constexpr int32_t kExactPowerSamples = 1 << 22; // [samples]

// The sum in four lanes of doubles, exact below 2^22 samples.
double sumPowerInDoubles(const float* __restrict power, int32_t count) {
  // Every power is a whole number of at most 2^31, so the partial sums are
  // exact (below 2^53 for any block under 2^22 samples) and their order does
  // not matter: four lanes let the sum vectorise.
  double lane[4] = {0, 0, 0, 0};
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    lane[0] += power[i];
    lane[1] += power[i + 1];
    lane[2] += power[i + 2];
    lane[3] += power[i + 3];
  }
  for (; i < count; ++i) lane[0] += power[i];
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

// The sums of sumQuietSamples, written once for both builds. Powers are
// never negative, and non-negative floats order as their bit patterns do:
// power < threshold becomes an integer comparison. A threshold that is not
// above 0 (or NaN) leaves every sample out.
[[gnu::always_inline]] inline SampleSums quietSums(const int16_t* __restrict re, const int16_t* __restrict im,
                                                   const float* __restrict power, int32_t count, float threshold) {
  const int32_t limit = threshold > 0 ? std::bit_cast<int32_t>(threshold) : 0;
  auto keep = [=](int32_t i) { return -static_cast<int32_t>(std::bit_cast<int32_t>(power[i]) < limit); };
  return sumInLanes(
      count, [=](int32_t i) { return keep(i) & re[i]; }, [=](int32_t i) { return keep(i) & im[i]; });
}

#if VELKOR_X86_BUILDS
// The same integer operations in 256-bit vectors: every sum is exact, so the
// numbers are those of the baseline build.
[[gnu::target("avx2")]] SampleSums sumQuietSamplesAvx2(const int16_t* __restrict re, const int16_t* __restrict im,
                                                       const float* __restrict power, int32_t count, float threshold) {
  return quietSums(re, im, power, count, threshold);
}

// sumPower with eight powers at a time, by the steps of the SSE2 loop there.
[[gnu::target("avx2")]] double sumPowerAvx2(const float* __restrict power, int32_t count) {
  if (count >= kExactPowerSamples) return sumPowerInDoubles(power, count);
  const __m256i zero = _mm256_setzero_si256();
  __m256i lanes = zero; // four 64-bit sums
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i whole = _mm256_cvttps_epi32(_mm256_loadu_ps(power + i));
    lanes = _mm256_add_epi64(lanes,
                             _mm256_add_epi64(_mm256_unpacklo_epi32(whole, zero), _mm256_unpackhi_epi32(whole, zero)));
  }
  uint64_t sums[4];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums), lanes);
  uint64_t total = (sums[0] + sums[1]) + (sums[2] + sums[3]);
  for (; i < count; ++i) total += static_cast<uint64_t>(power[i]);
  return static_cast<double>(total);
}

// re^2 + im^2 of eight 16-bit pairs, converted as powerOf converts it (the
// multiply-add gives 0x80000000 for two -32768, as powerOf's signed reading).
[[gnu::target("avx2")]] inline __m256 powersOfPairs(__m256i pairs) {
  const __m256 converted = _mm256_cvtepi32_ps(_mm256_madd_epi16(pairs, pairs));
  return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), converted);
}

// Sixteen 16-bit values from two vectors of eight 32-bit ones, in order: the
// pack works within each 128-bit half, the permutation puts the halves back.
[[gnu::target("avx2")]] inline __m256i packInOrder(__m256i first, __m256i second) {
  return _mm256_permute4x64_epi64(_mm256_packs_epi32(first, second), 0xD8);
}

// decodeFramesWithPower of 16-bit stereo frames sixteen at a time, by the
// steps of the SSE2 pass there; the last frames and the other layouts go to
// that pass.
[[gnu::target("avx2")]] void decodeFramesWithPowerAvx2(const uint8_t* __restrict bytes, int32_t frames,
                                                       int32_t channels, int32_t bytesPerSample, int16_t* __restrict re,
                                                       int16_t* __restrict im, float* __restrict power) {
  int32_t k = 0;
  if (channels == 2 && bytesPerSample == 2) { // x86-64: little-endian bytes
    for (; k + 16 <= frames; k += 16) {
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 4 * k));
      const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 4 * k + 32));
      const __m256i refirst = _mm256_srai_epi32(_mm256_slli_epi32(first, 16), 16);
      const __m256i resecond = _mm256_srai_epi32(_mm256_slli_epi32(second, 16), 16);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(re + k), packInOrder(refirst, resecond));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(im + k),
                          packInOrder(_mm256_srai_epi32(first, 16), _mm256_srai_epi32(second, 16)));
      _mm256_storeu_ps(power + k, powersOfPairs(first));
      _mm256_storeu_ps(power + k + 8, powersOfPairs(second));
    }
  }
  decodeFramesWithPower(bytes + static_cast<std::ptrdiff_t>(k) * channels * bytesPerSample, frames - k, channels,
                        bytesPerSample, re + k, im + k, power + k);
}
#endif

} // namespace

int16_t roundToSample(float value) { return roundClamped(value); }

void decodeFrames(const uint8_t* __restrict bytes, int32_t frames, int32_t channels, int32_t bytesPerSample,
                  int16_t* __restrict re, int16_t* __restrict im) {
  if (channels == 2 && bytesPerSample == 2) {
    forEachInGroups<kLanes>(frames, [=](int32_t k) {
      re[k] = littleEndian16(bytes + 4 * k);
      im[k] = littleEndian16(bytes + 4 * k + 2);
    });
  } else if (channels == 2) {
    forEachInGroups<kLanes>(frames, [=](int32_t k) {
      re[k] = offsetBinary8(bytes[2 * k]);
      im[k] = offsetBinary8(bytes[2 * k + 1]);
    });
  } else if (bytesPerSample == 2) {
    forEachInGroups<kLanes>(frames, [=](int32_t k) {
      re[k] = littleEndian16(bytes + 2 * k);
      im[k] = 0;
    });
  } else {
    forEachInGroups<kLanes>(frames, [=](int32_t k) {
      re[k] = offsetBinary8(bytes[k]);
      im[k] = 0;
    });
  }
}

void scaleSamples(int16_t* __restrict values, int32_t count, float factor) {
  forEachInGroups<kLanes>(count, [=](int32_t i) { values[i] = roundClamped(factor * static_cast<float>(values[i])); });
}

void mixWithOscillator(const Settings& cfg, Acquisition& acq, int32_t first, int32_t count) {
  int16_t* re = acq.samplere.data() + first;
  int16_t* im = acq.sampleim.data() + first;
  if (cfg.channels == 2) mix<true>(cfg, acq, re, im, count);
  else mix<false>(cfg, acq, re, im, count);
}

void computePower(const int16_t* __restrict re, const int16_t* __restrict im, float* __restrict power, int32_t count) {
  forEachInGroups<kLanes>(count, [=](int32_t i) { power[i] = powerOf(re[i], im[i]); });
}

void decodeFramesWithPower(const uint8_t* __restrict bytes, int32_t frames, int32_t channels, int32_t bytesPerSample,
                           int16_t* __restrict re, int16_t* __restrict im, float* __restrict power) {
  if (channels == 2 && bytesPerSample == 2) {
    int32_t k = 0;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight frames at a time: one multiply-add of each 16-bit pair with itself
    // gives re^2 + im^2 (2^31, from two -32768, wraps to the same 32 bits),
    // which then converts as powerOf converts it.
    const __m128 sign = _mm_set1_ps(-0.0f);
    auto powers = [&](__m128i pairs) { return _mm_andnot_ps(sign, _mm_cvtepi32_ps(_mm_madd_epi16(pairs, pairs))); };
    for (; k + 8 <= frames; k += 8) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 4 * k));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 4 * k + 16));
      const __m128i refirst = _mm_srai_epi32(_mm_slli_epi32(first, 16), 16);
      const __m128i resecond = _mm_srai_epi32(_mm_slli_epi32(second, 16), 16);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(re + k), _mm_packs_epi32(refirst, resecond));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(im + k),
                       _mm_packs_epi32(_mm_srai_epi32(first, 16), _mm_srai_epi32(second, 16)));
      _mm_storeu_ps(power + k, powers(first));
      _mm_storeu_ps(power + k + 4, powers(second));
    }
#endif
    for (; k < frames; ++k) {
      const int16_t x = littleEndian16(bytes + 4 * k);
      const int16_t y = littleEndian16(bytes + 4 * k + 2);
      re[k] = x;
      im[k] = y;
      power[k] = powerOf(x, y);
    }
  } else {
    decodeFrames(bytes, frames, channels, bytesPerSample, re, im);
    computePower(re, im, power, frames);
  }
}

SampleSums sumSamples(const int16_t* __restrict re, const int16_t* __restrict im, int32_t count) {
  return sumInLanes(
      count, [=](int32_t i) { return int32_t{re[i]}; }, [=](int32_t i) { return int32_t{im[i]}; });
}

SampleSums sumQuietSamples(const int16_t* __restrict re, const int16_t* __restrict im, const float* __restrict power,
                           int32_t count, float threshold) {
  return quietSums(re, im, power, count, threshold);
}

double sumPower(const float* __restrict power, int32_t count) {
#if defined(__SSE2__)
  // Below 2^22 samples the exact sum stays below 2^53 and converts to double
  // exactly, as the sum in doubles is exact: the sum in integers gives the
  // same number with integer adds. Truncation converts every power (a whole
  // number from 0 to 2^31) exactly; 2^31, beyond the signed range, gives
  // 0x80000000, the same 32 bits read unsigned.
  if (count < kExactPowerSamples) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lanes = zero; // two 64-bit sums
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
      const __m128i whole = _mm_cvttps_epi32(_mm_loadu_ps(power + i));
      lanes = _mm_add_epi64(lanes, _mm_add_epi64(_mm_unpacklo_epi32(whole, zero), _mm_unpackhi_epi32(whole, zero)));
    }
    uint64_t sums[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), lanes);
    uint64_t total = sums[0] + sums[1];
    for (; i < count; ++i) total += static_cast<uint64_t>(power[i]);
    return static_cast<double>(total);
  }
#endif
  return sumPowerInDoubles(power, count);
}

SampleKernels chooseSampleKernels() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2")) return {decodeFramesWithPowerAvx2, sumPowerAvx2, sumQuietSamplesAvx2};
#endif
  return {};
}

} // namespace velkor
