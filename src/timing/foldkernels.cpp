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

// One step of the phase recurrence: theta + delta, less 2 pi once the sum has
// passed pi. The subtraction in double rounds as the same one in single
// would: 2 pi in single is exact, and double holds the difference of two
// floats exactly.
inline float stepPhase(float theta, float delta) {
  theta += delta;
  if (theta > kPiSingle) theta = static_cast<float>(theta - 2.0 * kPiSingle);
  return theta;
}

// ---- Steady runs of the recurrence ------------------------------------------
// While the phase keeps to one binade [2^e, 2^(e+1)) of magnitudes (and below
// pi, where it does not wrap), every sum rounds to the binade's grid of
// spacing u = 2^(e-23): the phase lies on the grid, so theta + delta rounds to
// theta + D, D the multiple of u nearest to delta, the same D at every step.
// A margin of one spacing above the binade's bottom keeps the exact sum
// inside it as well (a sum just below 2^e rounds to the finer grid there). Only where delta lies halfway between two multiples
// does the tie go by the phase's last bit, and the recurrence is stepped.
// Within such a run the k-th phase is theta + k D exactly, a float on the
// grid, so the run is written without the serial chain of additions.

// Binades below 2^(24-127) have no grid of normal spacings [biased exponent].
constexpr uint32_t kLowestSteadyExponent = 24;

// Runs shorter than this are stepped, as many steps as this at a time, so that
// large phase steps (a few steps per binade) pay little for the search.
constexpr int32_t kShortestSteadyRun = 8; // [steps]

// The number of steps (at most `most` <= kStretch) from theta on that each add
// the same `step`, or 0 where the rule above cannot tell. Products of up to
// kStretch steps with a step of up to 2^24 spacings stay exact in double.
int32_t steadySteps(float theta, float delta, int32_t most, float& step) {
  const uint32_t biased = (std::bit_cast<uint32_t>(theta) >> 23) & 0xffu;
  if (biased < kLowestSteadyExponent || biased == 0xffu) return 0;
  const double bottom = std::bit_cast<float>(biased << 23);          // 2^e
  const double spacing = std::bit_cast<float>((biased - 23u) << 23); // u
  const double quotient = delta / spacing;                           // exact: u is a power of two
  if (!(std::fabs(quotient) < 0x1p24)) return 0;
  // The nearest whole number of spacings, by truncation (the baseline build
  // has no floor instruction) and the exact fraction left.
  const auto whole = static_cast<int32_t>(quotient);
  const double fraction = quotient - whole;
  if (std::fabs(fraction) == 0.5) return 0;
  const double d = (whole + (fraction > 0.5 ? 1 : 0) - (fraction < -0.5 ? 1 : 0)) * spacing; // D
  double lowest = bottom + spacing;                                                          // the phases' range
  double highest = 2.0 * bottom - spacing;
  if (theta < 0) {
    lowest = -highest;
    highest = -(bottom + spacing);
  } else {
    highest = std::min(highest, double{kPiSingle});
  }
  const double t = theta;
  auto inside = [&](double x) { return x >= lowest && x <= highest; };
  if (!inside(t)) return 0;
  double steps = most; // >= 0, so that truncation is the floor
  if (d > 0) steps = std::min(steps, (highest - t) / d);
  if (d < 0) steps = std::min(steps, (lowest - t) / d);
  auto n = static_cast<int32_t>(steps);
  while (n > 0 && !inside(t + n * d)) --n; // the quotient's rounding may overshoot by one
  step = static_cast<float>(d);
  return n;
}

// phase[k] = theta + k step for k < n, each a float of the run's grid.
void fillSteady(float* phase, int32_t n, float theta, float step) {
  int32_t k = 0;
#if defined(__SSE2__)
  // Eight phases at a time, exactly: the first eight from their products in
  // double, then eight steps (8 D, a float) added to a phase of the run give
  // the phase eight steps on, which lies on the grid. Lanes beyond the run
  // are computed and not stored.
  if (n >= 8) {
    const __m128d start = _mm_set1_pd(theta);
    const __m128d each = _mm_set1_pd(step);
    auto two = [&](double first) {
      return _mm_cvtpd_ps(_mm_add_pd(start, _mm_mul_pd(_mm_set_pd(first + 1, first), each)));
    };
    __m128 low = _mm_movelh_ps(two(0), two(2));
    __m128 high = _mm_movelh_ps(two(4), two(6));
    const __m128 eight = _mm_set1_ps(8.0f * step);
    for (; k + 8 <= n; k += 8) {
      _mm_storeu_ps(phase + k, low);
      _mm_storeu_ps(phase + k + 4, high);
      low = _mm_add_ps(low, eight);
      high = _mm_add_ps(high, eight);
    }
  }
#endif
  for (; k < n; ++k) phase[k] = static_cast<float>(theta + k * static_cast<double>(step));
}

// phase[0 ... count - 1] (count <= kStretch): the phase before each of count
// steps from theta on; returns the phase after them.
float tabulatePhaseRow(float* phase, int32_t count, float theta, float delta) {
  int32_t i = 0;
  while (i < count) {
    float step = 0;
    const int32_t steady = steadySteps(theta, delta, count - i, step);
    if (steady >= kShortestSteadyRun) {
      fillSteady(phase + i, steady, theta, step);
      theta = static_cast<float>(theta + steady * static_cast<double>(step));
      i += steady;
      continue;
    }
    for (const int32_t end = std::min(count, i + kShortestSteadyRun); i < end; ++i) {
      phase[i] = theta;
      theta = stepPhase(theta, delta);
    }
  }
  return theta;
}

// The phase pass: the phase recurrence into a table, then each phase's cosine
// and sine by the table sincos, whose values are the ones the C library's
// sincosf gives on this machine (it chooses its implementation by processor
// at run time; the per-sample loop called it once per sample).
float tabulatePhases(float* c, float* q, int32_t count, float theta, float delta, SinCosPass sincos) {
  float phase[kStretch]; // [rad]
  theta = tabulatePhaseRow(phase, count, theta, delta);
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

void addFoldPlain(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                  const int16_t* __restrict im, int32_t count) {
  addSamples(sumre, sumim, re, im, count);
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

void tabulatePhaseLanes(float* phase, float* theta, const float* delta, int32_t lanes) {
  for (int32_t l = 0; l < lanes; ++l)
    theta[l] = tabulatePhaseRow(phase + l * kFoldStretch, kFoldStretch, theta[l], delta[l]);
}

FoldMixedPass chooseFoldMixed() {
#if VELKOR_X86_BUILDS
  if (__builtin_cpu_supports("avx2")) return addFoldMixedAvx2;
#endif
  return addFoldMixed;
}

} // namespace velkor
