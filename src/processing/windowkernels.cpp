#include "processing/windowkernels.h"

#include "ground/kernels.h"

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

template <int32_t Group>
inline void mixedWindow(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                        const int16_t* __restrict im, int32_t points, float c, float q) {
  forEachInTwoGroups<Group, kPointGroup>(points, [=](int32_t p) {
    const float x = re[p];
    const float y = im[p];
    const float rotatedre = c * x - q * y;
    const float rotatedim = q * x + c * y;
    sumre[p] = wrapAdd(sumre[p], roundSmall(rotatedre));
    sumim[p] = wrapAdd(sumim[p], roundSmall(rotatedim));
  });
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

[[gnu::target("avx2")]] void addWindowMixedAvx2(int32_t* __restrict sumre, int32_t* __restrict sumim,
                                                const int16_t* __restrict re, const int16_t* __restrict im,
                                                int32_t points, float c, float q) {
  mixedWindow<kWidePointGroup>(sumre, sumim, re, im, points, c, q);
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
