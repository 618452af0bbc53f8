#include "processing/windowkernels.h"

#include "ground/kernels.h"

#if VELKOR_X86_BUILDS
#include <immintrin.h>
#endif

namespace velkor {

namespace {

// Points per group of the vectorised loops: 16-bit samples fill a 128-bit
// vector eight at a time (the baseline build) and a 256-bit one sixteen at a
// time (the AVX2 build); the vectoriser of an -O2 build takes a group only
// when it fills the vector it chose.
constexpr int32_t kPointGroup = 8;      // [points]
constexpr int32_t kWidePointGroup = 16; // [points], then groups of kPointGroup

// The loops, written once and compiled for each build: every point goes
// through the same operations in the same order whatever the group, so both
// builds give the same bits. The vectoriser needs the non-overlapping
// pointers declared on the outer functions as well.
template <int32_t Group>
inline void plainWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                        const int16_t* __restrict im, int32_t points, int sign) {
  if (sign > 0) {
    forEachInTwoGroups<Group, kPointGroup>(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], re[p]);
      sumim[p] = wrapAdd(sumim[p], im[p]);
    });
  } else {
    forEachInTwoGroups<Group, kPointGroup>(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], -int32_t{re[p]});
      sumim[p] = wrapAdd(sumim[p], -int32_t{im[p]});
    });
  }
}

template <int32_t Group>
inline void blankingWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                           const float* __restrict threshold, float* __restrict blankcount,
                           const int16_t* __restrict re, const int16_t* __restrict im, const float* __restrict power,
                           int32_t points, int sign) {
  // The selections are integer masks: a conditional floating-point operation
  // may not be speculated while floating-point exceptions are observable.
  const int32_t negate = sign > 0 ? 0 : -1; // all ones: subtract
  forEachInTwoGroups<Group, kPointGroup>(points, [=](int32_t p) {
    powersum[p] += power[p];
    const int32_t keep = -static_cast<int32_t>(power[p] < threshold[p]); // all ones: the sample is used
    const int32_t x = (int32_t{re[p]} ^ negate) - negate;
    const int32_t y = (int32_t{im[p]} ^ negate) - negate;
    sumre[p] = wrapAdd(sumre[p], x & keep);
    sumim[p] = wrapAdd(sumim[p], y & keep);
    blankcount[p] += std::bit_cast<float>(std::bit_cast<uint32_t>(1.0f) & ~static_cast<uint32_t>(keep));
  });
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

template <int32_t Group>
inline void mixedWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                        const int16_t* __restrict im, int32_t points, float c, float q) {
  forEachInTwoGroups<Group, kPointGroup>(points, [=](int32_t p) { mixPoint(sumre, sumim, re, im, c, q, p); });
}

#if VELKOR_X86_BUILDS

// AVX2 alone: no fused multiply-adds (and -ffp-contract=off would not form
// them), so the products and sums round as in the baseline build.
[[gnu::target("avx2")]] void addWindowPlainAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                const int16_t* __restrict re, const int16_t* __restrict im,
                                                int32_t points, int sign) {
  plainWindow<kWidePointGroup>(sumre, sumim, re, im, points, sign);
}

[[gnu::target("avx2")]] void addWindowBlankingAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                   float* __restrict powersum, const float* __restrict threshold,
                                                   float* __restrict blankcount, const int16_t* __restrict re,
                                                   const int16_t* __restrict im, const float* __restrict power,
                                                   int32_t points, int sign) {
  blankingWindow<kWidePointGroup>(sumre, sumim, powersum, threshold, blankcount, re, im, power, points, sign);
}

// Eight 16-bit samples as singles.
[[gnu::target("avx2")]] inline __m256 eightSamples(const int16_t* values) {
  return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values))));
}

// sum + roundSmall(x) in each of eight lanes, as mixPoint adds them.
[[gnu::target("avx2")]] inline void addRounded(int32_t* sum, __m256 x) {
  const __m256i rounded = _mm256_sub_epi32(_mm256_castps_si256(_mm256_add_ps(x, _mm256_set1_ps(kRoundingShift))),
                                           _mm256_set1_epi32(kRoundingShiftBits));
  auto* at = reinterpret_cast<__m256i*>(sum);
  _mm256_storeu_si256(at, _mm256_add_epi32(_mm256_loadu_si256(at), rounded));
}

// Eight points at a time, each 256-bit operation taking all eight: the
// vectoriser would carry the 16-bit samples' groups of eight in 128-bit
// halves. The products, their difference or sum and the rounding are
// mixPoint's, point by point; the last points go through mixPoint itself.
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
#endif

} // namespace

void addWindowPlain(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, int sign) {
  plainWindow<kPointGroup>(sumre, sumim, re, im, points, sign);
}

void addWindowBlanking(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                       const float* __restrict threshold, float* __restrict blankcount, const int16_t* __restrict re,
                       const int16_t* __restrict im, const float* __restrict power, int32_t points, int sign) {
  blankingWindow<kPointGroup>(sumre, sumim, powersum, threshold, blankcount, re, im, power, points, sign);
}

void addWindowMixed(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, float c, float q) {
  mixedWindow<kPointGroup>(sumre, sumim, re, im, points, c, q);
}

WindowKernels chooseWindowKernels() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2")) return {addWindowPlainAvx2, addWindowBlankingAvx2, addWindowMixedAvx2};
#endif
  return {};
}

} // namespace velkor
