#include "timing/foldkernels.h"

#include "ground/kernels.h"
#include "ground/numbers.h"

#include <algorithm>
#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkor {

namespace {

// Samples per table: the phases' cosines and sines of one stretch stay in the
// first-level cache between the two passes.
constexpr int32_t kStretch = kFoldStretch; // [samples]

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

#if VELKOR_X86_BUILDS

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
#endif

} // namespace

float addFoldMixed(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, int32_t count, float theta,
                   float delta, SinCosPass sincos) {
  return foldMixed<addProducts>(sumre, sumim, re, im, count, theta, delta, sincos);
}

void addFoldProducts(int32_t* sumre, int32_t* sumim, const int16_t* re, const int16_t* im, const float* cosine,
                     const float* sine, int32_t count) {
  addProducts(sumre, sumim, re, im, cosine, sine, count);
}

FoldProductsPass chooseFoldProducts() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2")) return addProductsAvx2;
#endif
  return addFoldProducts;
}

namespace {

// The per-chain recurrence of addFoldMixed for `Chains` chains side by side in
// scalar registers: a vector step costs about three scalar steps of latency,
// so up to three chains overlap their serial additions this way.
template <int32_t Chains>
void stepChains(float* phase, float* theta, const float* delta) {
  float t[Chains]; // [rad]
  float d[Chains]; // [rad] per sample
  for (int32_t l = 0; l < Chains; ++l) {
    t[l] = theta[l];
    d[l] = delta[l];
  }
  for (int32_t i = 0; i < kFoldStretch; ++i) {
    for (int32_t l = 0; l < Chains; ++l) {
      phase[l * kFoldStretch + i] = t[l];
      t[l] += d[l];
      if (t[l] > kPiSingle) t[l] = static_cast<float>(t[l] - 2.0 * kPiSingle);
    }
  }
  for (int32_t l = 0; l < Chains; ++l) theta[l] = t[l];
}

} // namespace

#if defined(__SSE2__)
namespace {

// Lanes per vector of the phase pass.
constexpr int32_t kVectorLanes = 4; // [chains]

// One step of four lanes: theta + delta, less 2 pi where the sum passed pi.
// A lane that does not wrap subtracts +0, which leaves every value (-0, NaN
// and infinities included) as it is; one that wraps subtracts 2 pi in single
// precision, which rounds as addFoldMixed's subtraction in double rounded to
// single: the difference of two floats, rounded to double and then to single,
// is the difference rounded to single at once (double has more than
// 2 x 24 + 2 bits).
inline __m128 stepLanes(__m128 theta, __m128 delta) {
  const __m128 sum = _mm_add_ps(theta, delta);
  const __m128 passed = _mm_cmpgt_ps(sum, _mm_set1_ps(kPiSingle));
  return _mm_sub_ps(sum, _mm_and_ps(passed, _mm_set1_ps(2.0f * kPiSingle)));
}

// Vectors vectors of four lanes side by side (their steps are independent, so
// their latencies overlap); every four steps the 4 x 4 block of each vector
// is turned so that each lane's four phases go to its own row.
template <int32_t Vectors>
void stepVectors(float* phase, float* theta, const float* delta) {
  __m128 t[Vectors];
  __m128 d[Vectors];
  for (int32_t v = 0; v < Vectors; ++v) {
    t[v] = _mm_loadu_ps(theta + kVectorLanes * v);
    d[v] = _mm_loadu_ps(delta + kVectorLanes * v);
  }
  for (int32_t i = 0; i < kFoldStretch; i += kVectorLanes) {
    for (int32_t v = 0; v < Vectors; ++v) {
      __m128 r0 = t[v];
      __m128 r1 = stepLanes(r0, d[v]);
      __m128 r2 = stepLanes(r1, d[v]);
      __m128 r3 = stepLanes(r2, d[v]);
      t[v] = stepLanes(r3, d[v]);
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
      float* row = phase + kVectorLanes * v * kFoldStretch + i;
      _mm_storeu_ps(row, r0);
      _mm_storeu_ps(row + kFoldStretch, r1);
      _mm_storeu_ps(row + 2 * kFoldStretch, r2);
      _mm_storeu_ps(row + 3 * kFoldStretch, r3);
    }
  }
  for (int32_t v = 0; v < Vectors; ++v) _mm_storeu_ps(theta + kVectorLanes * v, t[v]);
}

} // namespace
#endif

void tabulatePhaseLanes(float* phase, float* theta, const float* delta, int32_t lanes) {
  switch (lanes) {
  case 1:
    return stepChains<1>(phase, theta, delta);
  case 2:
    return stepChains<2>(phase, theta, delta);
  case 3:
    return stepChains<3>(phase, theta, delta);
  default:
    break;
  }
#if defined(__SSE2__)
  switch ((lanes + kVectorLanes - 1) / kVectorLanes) {
  case 2:
    stepVectors<2>(phase, theta, delta);
    break;
  case 3:
    stepVectors<3>(phase, theta, delta);
    break;
  default:
    stepVectors<4>(phase, theta, delta);
    break;
  }
#else
  for (int32_t l = 0; l < lanes; ++l) stepChains<1>(phase + l * kFoldStretch, theta + l, delta + l);
#endif
}

FoldMixedPass chooseFoldMixed() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2")) return addFoldMixedAvx2;
#endif
  return addFoldMixed;
}

} // namespace velkor
