#include "processing/windowkernels.h"

#include "ground/kernels.h"
#include "ground/numbers.h"

#include <cmath>

#if VELKOR_X86_BUILDS
#include <immintrin.h>
#endif

namespace velkor {

namespace {

// Points per group of the loops: 16-bit samples fill a 128-bit vector eight
// at a time, which the vectoriser of an -O2 build takes (the baseline build);
// the AVX2 build takes eight points per 256-bit operation.
constexpr int32_t kPointGroup = 8; // [points]

// The baseline build's loops, written for the vectoriser; the AVX2 build
// below does the same operations on each point in the same order, its last
// points through the very same functions, so both builds give the same bits.
// The vectoriser needs the non-overlapping pointers declared on the outer
// functions as well.
inline void plainWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                        const int16_t* __restrict im, int32_t points, int sign) {
  if (sign > 0) {
    addSamples(sumre, sumim, re, im, points);
  } else {
    forEachInGroups<kPointGroup>(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], -int32_t{re[p]});
      sumim[p] = wrapAdd(sumim[p], -int32_t{im[p]});
    });
  }
}

// One point of the blanking window. The selections are integer masks: a
// conditional floating-point operation may not be speculated while
// floating-point exceptions are observable.
inline void blankPoint(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                       const float* __restrict threshold, float* __restrict blankcount, const int16_t* __restrict re,
                       const int16_t* __restrict im, const float* __restrict power, int32_t negate, int32_t p) {
  powersum[p] += power[p];
  const int32_t keep = -static_cast<int32_t>(power[p] < threshold[p]); // all ones: the sample is used
  const int32_t x = (int32_t{re[p]} ^ negate) - negate;
  const int32_t y = (int32_t{im[p]} ^ negate) - negate;
  sumre[p] = wrapAdd(sumre[p], x & keep);
  sumim[p] = wrapAdd(sumim[p], y & keep);
  blankcount[p] += std::bit_cast<float>(std::bit_cast<uint32_t>(1.0f) & ~static_cast<uint32_t>(keep));
}

// All ones where the window's sign is negative: subtract.
inline int32_t negation(int sign) { return sign > 0 ? 0 : -1; }

inline void blankingWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                           const float* __restrict threshold, float* __restrict blankcount,
                           const int16_t* __restrict re, const int16_t* __restrict im, const float* __restrict power,
                           int32_t points, int sign) {
  const int32_t negate = negation(sign);
  forEachInGroups<kPointGroup>(
      points, [=](int32_t p) { blankPoint(sumre, sumim, powersum, threshold, blankcount, re, im, power, negate, p); });
}

// One point of the mixing window.
inline void mixPoint(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                     const int16_t* __restrict im, float c, float q, int32_t p) {
  const float x = re[p];
  const float y = im[p];
  const float rotatedre = c * x - q * y;
  const float rotatedim = q * x + c * y;
  sumre[p] = wrapAdd(sumre[p], roundSmall(rotatedre));
  sumim[p] = wrapAdd(sumim[p], roundSmall(rotatedim));
}

inline void mixedWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                        const int16_t* __restrict im, int32_t points, float c, float q) {
  forEachInGroups<kPointGroup>(points, [=](int32_t p) { mixPoint(sumre, sumim, re, im, c, q, p); });
}

// The mixing phases, one by one: the baseline build has no floor
// instruction (SSE4.1 brought it) and builds std::floor from conversions and
// a comparison, a tenth of a mixing run's integration; the AVX2 build rounds
// in one instruction to the same value.
inline void phaseTable(float* __restrict phi, const double* __restrict t, double bandcenter, int32_t count) {
  for (int32_t j = 0; j < count; ++j) {
    const double ph = t[j] * bandcenter; // [cycles]
    phi[j] = static_cast<float>(2.0 * kPiSingle * (ph - std::floor(ph)));
  }
}

#if VELKOR_X86_BUILDS

// AVX2 alone: no fused multiply-adds (and -ffp-contract=off would not form
// them), so the products and sums round as in the baseline build. Each
// 256-bit operation takes eight points: the vectoriser would carry the 16-bit
// samples' groups of eight in 128-bit halves.

[[gnu::target("avx2")]] inline __m256i loadEight(const int32_t* values) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values));
}

[[gnu::target("avx2")]] inline void storeEight(int32_t* values, __m256i eight) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(values), eight);
}

// Eight 16-bit samples as 32-bit integers.
[[gnu::target("avx2")]] inline __m256i eightWide(const int16_t* values) {
  return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values)));
}

// Eight 16-bit samples as singles.
[[gnu::target("avx2")]] inline __m256 eightSamples(const int16_t* values) {
  return _mm256_cvtepi32_ps(eightWide(values));
}

// sum + roundSmall(x) in each of eight lanes, as mixPoint adds them.
[[gnu::target("avx2")]] inline void addRounded(int32_t* sum, __m256 x) {
  const __m256i rounded = _mm256_sub_epi32(_mm256_castps_si256(_mm256_add_ps(x, _mm256_set1_ps(kRoundingShift))),
                                           _mm256_set1_epi32(kRoundingShiftBits));
  storeEight(sum, _mm256_add_epi32(loadEight(sum), rounded));
}

// Eight 16-bit samples as 32-bit integers, negated where negate is all ones.
[[gnu::target("avx2")]] inline __m256i eightSigned(const int16_t* values, __m256i negate) {
  return _mm256_sub_epi32(_mm256_xor_si256(eightWide(values), negate), negate);
}

// The plain window's sums for eight points at a time; the last points
// through the baseline loop.
[[gnu::target("avx2")]] void addWindowPlainAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                const int16_t* __restrict re, const int16_t* __restrict im,
                                                int32_t points, int sign) {
  const __m256i negate = _mm256_set1_epi32(negation(sign));
  int32_t p = 0;
  for (; p + kPointGroup <= points; p += kPointGroup) {
    storeEight(sumre + p, _mm256_add_epi32(loadEight(sumre + p), eightSigned(re + p, negate)));
    storeEight(sumim + p, _mm256_add_epi32(loadEight(sumim + p), eightSigned(im + p, negate)));
  }
  plainWindow(sumre + p, sumim + p, re + p, im + p, points - p, sign);
}

// blankPoint for eight points at a time: its additions, comparison and masks
// in each lane; the last points through blankPoint itself.
[[gnu::target("avx2")]] void addWindowBlankingAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                   float* __restrict powersum, const float* __restrict threshold,
                                                   float* __restrict blankcount, const int16_t* __restrict re,
                                                   const int16_t* __restrict im, const float* __restrict power,
                                                   int32_t points, int sign) {
  const int32_t negate = negation(sign);
  const __m256i negateall = _mm256_set1_epi32(negate);
  const __m256i one = _mm256_castps_si256(_mm256_set1_ps(1.0f));
  int32_t p = 0;
  for (; p + kPointGroup <= points; p += kPointGroup) {
    const __m256 pw = _mm256_loadu_ps(power + p);
    _mm256_storeu_ps(powersum + p, _mm256_add_ps(_mm256_loadu_ps(powersum + p), pw));
    const __m256i keep = _mm256_castps_si256(_mm256_cmp_ps(pw, _mm256_loadu_ps(threshold + p), _CMP_LT_OQ));
    storeEight(sumre + p,
               _mm256_add_epi32(loadEight(sumre + p), _mm256_and_si256(eightSigned(re + p, negateall), keep)));
    storeEight(sumim + p,
               _mm256_add_epi32(loadEight(sumim + p), _mm256_and_si256(eightSigned(im + p, negateall), keep)));
    const __m256 blanked = _mm256_castsi256_ps(_mm256_andnot_si256(keep, one));
    _mm256_storeu_ps(blankcount + p, _mm256_add_ps(_mm256_loadu_ps(blankcount + p), blanked));
  }
  for (; p < points; ++p) blankPoint(sumre, sumim, powersum, threshold, blankcount, re, im, power, negate, p);
}

// mixPoint for eight points at a time: its products, their difference or sum
// and its rounding in each lane; the last points through mixPoint itself.
[[gnu::target("avx2")]] void addWindowMixedAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                const int16_t* __restrict re, const int16_t* __restrict im,
                                                int32_t points, float c, float q) {
  const __m256 cosine = _mm256_set1_ps(c);
  const __m256 sine = _mm256_set1_ps(q);
  int32_t p = 0;
  for (; p + kPointGroup <= points; p += kPointGroup) {
    const __m256 x = eightSamples(re + p);
    const __m256 y = eightSamples(im + p);
    addRounded(sumre + p, _mm256_sub_ps(_mm256_mul_ps(cosine, x), _mm256_mul_ps(sine, y)));
    addRounded(sumim + p, _mm256_add_ps(_mm256_mul_ps(sine, x), _mm256_mul_ps(cosine, y)));
  }
  for (; p < points; ++p) mixPoint(sumre, sumim, re, im, c, q, p);
}

[[gnu::target("avx2")]] void mixingPhasesAvx2(float* phi, const double* t, double bandcenter, int32_t count) {
  phaseTable(phi, t, bandcenter, count);
}
#endif

} // namespace

void addWindowPlain(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, int sign) {
  plainWindow(sumre, sumim, re, im, points, sign);
}

void addWindowBlanking(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                       const float* __restrict threshold, float* __restrict blankcount, const int16_t* __restrict re,
                       const int16_t* __restrict im, const float* __restrict power, int32_t points, int sign) {
  blankingWindow(sumre, sumim, powersum, threshold, blankcount, re, im, power, points, sign);
}

void addWindowMixed(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, float c, float q) {
  mixedWindow(sumre, sumim, re, im, points, c, q);
}

void mixingPhases(float* phi, const double* t, double bandcenter, int32_t count) {
  phaseTable(phi, t, bandcenter, count);
}

WindowKernels chooseWindowKernels() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2"))
    return {addWindowPlainAvx2, addWindowBlankingAvx2, addWindowMixedAvx2, mixingPhasesAvx2};
#endif
  return {};
}

} // namespace velkor
