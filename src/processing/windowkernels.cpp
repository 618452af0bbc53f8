#include "processing/windowkernels.h"

#include <bit>

namespace velkor {

namespace {

// Points go in groups of kGroup through a loop of fixed length, which the
// vectoriser of an -O2 build takes even under its cheapest cost model; the
// remainder of a window runs one by one.
constexpr int32_t kGroup = 8; // [points]

template <typename F>
inline void forEachPoint(int32_t points, F f) {
  int32_t p = 0;
  for (; p + kGroup <= points; p += kGroup)
    for (int32_t j = 0; j < kGroup; ++j) f(p + j);
  for (; p < points; ++p) f(p);
}

inline int32_t wrapAdd(int32_t sum, int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(value));
}

// Nearest integer, halves to even, for |x| <= 2^22: adding 1.5 x 2^23 puts the
// rounded value into the low mantissa bits (default rounding mode), exactly as
// lrint rounds it. A rotated 16-bit sample stays within +-65536.
inline int32_t roundSmall(float x) {
  return static_cast<int32_t>(std::bit_cast<uint32_t>(x + 12582912.0f) - 0x4B400000u);
}

} // namespace

void addWindowPlain(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                    const int16_t* __restrict im, int32_t points, int sign) {
  if (sign > 0) {
    forEachPoint(points, [=](int32_t p) {
      sumre[p] = wrapAdd(sumre[p], re[p]);
      sumim[p] = wrapAdd(sumim[p], im[p]);
    });
  } else {
    forEachPoint(points, [=](int32_t p) {
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
  forEachPoint(points, [=](int32_t p) {
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
  forEachPoint(points, [=](int32_t p) {
    const float x = re[p];
    const float y = im[p];
    const float rotatedre = c * x - q * y;
    const float rotatedim = q * x + c * y;
    sumre[p] = wrapAdd(sumre[p], roundSmall(rotatedre));
    sumim[p] = wrapAdd(sumim[p], roundSmall(rotatedim));
  });
}

} // namespace velkor
