#include "timing/foldkernels.h"

#include "ground/kernels.h"
#include "ground/numbers.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velkor {

namespace {

// Samples per table: the phases' cosines and sines of one stretch stay in the
// first-level cache between the two passes.
constexpr int32_t kStretch = 256; // [samples]

// The phase pass: the serial phase recurrence into a table, then each
// phase's cosine and sine by the table sincos, whose values are the ones the
// C library's sincosf gives on this machine (it chooses its implementation by
// processor at run time; the per-sample loop called it once per sample).
float tabulatePhases(float* c, float* q, int32_t count, float theta, float delta, SinCosPass sincos) {
  float phase[kStretch]; // [rad]
  for (int32_t i = 0; i < count; ++i) {
    phase[i] = theta;
    theta += delta;
    if (theta > kPiSingle) theta = static_cast<float>(theta - 2.0 * kPiSingle);
  }
  sincos(phase, q, c, count);
  return theta;
}

// Samples go through the product pass in groups of kGroup, a loop of fixed
// length that the vectoriser of an -O2 build takes even under its cheapest
// cost model, when the group fills the vector it chose: 16-bit samples fill a
// 128-bit vector eight at a time (the baseline build), a 256-bit one sixteen
// at a time (the AVX2 build, which then goes on in groups of kGroup); the
// remainder of a stretch runs one by one.
constexpr int32_t kGroup = 8;      // [samples]
constexpr int32_t kWideGroup = 16; // [samples]

inline void addProduct(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                       const int16_t* __restrict im, const float* __restrict c, const float* __restrict q, int32_t i) {
  const float x = re[i];
  const float y = im[i];
  const float mixedre = x * c[i] + y * q[i];
  const float mixedim = y * c[i] - x * q[i];
  sumre[i] = wrapAdd(sumre[i], roundSmall(mixedre));
  sumim[i] = wrapAdd(sumim[i], roundSmall(mixedim));
}

// The product pass, free of calls: the vectoriser takes it. Kept out of line,
// where its pointers are known not to overlap; inlined into the caller, whose
// tables the sincos pass writes through pointers, it would stay scalar.
[[gnu::noinline]] void addProducts(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                                   const int16_t* __restrict im, const float* __restrict c, const float* __restrict q,
                                   int32_t count) {
  forEachInGroups<kGroup>(count, [=](int32_t i) { addProduct(sumre, sumim, re, im, c, q, i); });
}

// The fold with one build of the product pass: every sample goes through the
// same operations in the same order in either, so both give the same bits.
template <auto Products>
inline float foldMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                       float delta, SinCosPass sincos) {
  float c[kStretch]; // cosines of the stretch's phases
  float q[kStretch]; // their sines
  for (int32_t done = 0; done < count; done += kStretch) {
    const int32_t n = std::min(kStretch, count - done);
    theta = tabulatePhases(c, q, n, theta, delta, sincos);
    Products(sumre + done, sumim + done, re + done, im + done, c, q, n);
  }
  return theta;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define VELKOR_FOLD_AVX2 1

// AVX2 alone: no fused multiply-adds (and -ffp-contract=off would not form
// them), so the products and sums round as in the baseline build.
[[gnu::target("avx2"), gnu::noinline]] void addProductsAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                            const int16_t* __restrict re, const int16_t* __restrict im,
                                                            const float* __restrict c, const float* __restrict q,
                                                            int32_t count) {
  forEachInTwoGroups<kWideGroup, kGroup>(count, [=](int32_t i) { addProduct(sumre, sumim, re, im, c, q, i); });
}

float addFoldMixedAvx2(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                       float delta, SinCosPass sincos) {
  return foldMixed<addProductsAvx2>(sumre, sumim, re, im, count, theta, delta, sincos);
}
#else
#define VELKOR_FOLD_AVX2 0
#endif

} // namespace

float addFoldMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                   float delta, SinCosPass sincos) {
  return foldMixed<addProducts>(sumre, sumim, re, im, count, theta, delta, sincos);
}

FoldMixedPass chooseFoldMixed() {
#if VELKOR_FOLD_AVX2
  if (__builtin_cpu_supports("avx2")) return addFoldMixedAvx2;
#endif
  return addFoldMixed;
}

} // namespace velkor
