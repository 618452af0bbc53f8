#include "processing/windowkernels.h"

#include "ground/kernels.h"

namespace velkor {

namespace {

// Points per group of the vectorised loops.
constexpr int32_t kPointGroup = 8; // [points]

} // namespace

void addWindowPlain(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, int sign) {
  if (sign > 0) {
    forEachInGroups<kPointGroup>(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], re[p]);
      sumim[p] = wrapAdd(sumim[p], im[p]);
    });
  } else {
    forEachInGroups<kPointGroup>(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], -int32_t{re[p]});
      sumim[p] = wrapAdd(sumim[p], -int32_t{im[p]});
    });
  }
}

void addWindowBlanking(int32_t* __restrict sumre, int32_t* __restrict sumim, float* __restrict powersum,
                       const float* __restrict threshold, float* __restrict blankcount, const int16_t* __restrict re,
                       const int16_t* __restrict im, const float* __restrict power, int32_t points, int sign) {
  // The selections are integer masks: a conditional floating-point operation
  // may not be speculated while floating-point exceptions are observable.
  const int32_t negate = sign > 0 ? 0 : -1; // all ones: subtract
  forEachInGroups<kPointGroup>(points, [=](int32_t p) {
    powersum[p] += power[p];
    const int32_t keep = -static_cast<int32_t>(power[p] < threshold[p]); // all ones: the sample is used
    const int32_t x = (int32_t{re[p]} ^ negate) - negate;
    const int32_t y = (int32_t{im[p]} ^ negate) - negate;
    sumre[p] = wrapAdd(sumre[p], x & keep);
    sumim[p] = wrapAdd(sumim[p], y & keep);
    blankcount[p] += std::bit_cast<float>(std::bit_cast<uint32_t>(1.0f) & ~static_cast<uint32_t>(keep));
  });
}

void addWindowMixed(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, float c, float q) {
  forEachInGroups<kPointGroup>(points, [=](int32_t p) {
    const float x = re[p];
    const float y = im[p];
    const float rotatedre = c * x - q * y;
    const float rotatedim = q * x + c * y;
    sumre[p] = wrapAdd(sumre[p], roundSmall(rotatedre));
    sumim[p] = wrapAdd(sumim[p], roundSmall(rotatedim));
  });
}

} // namespace velkor
