// Building blocks of the per-sample and per-point loops: sums that wrap as
// 32-bit integers, an exact fast rounding, and a loop shape the vectoriser
// takes.
#pragma once

#include <bit>
#include <cstdint>

// 1 where the compiler builds single functions for x86-64 extensions
// ([[gnu::target("avx2")]]) and the processor can be asked for them
// (__builtin_cpu_supports): there the loops also have a wider build, chosen at
// preparation.
#if defined(__x86_64__) && defined(__GNUC__)
#define VELKOR_X86_BUILDS 1
#else
#define VELKOR_X86_BUILDS 0
#endif

namespace velkor {

// sum + value with 32-bit wrap-around, as the integer sums keep it.
inline int32_t wrapAdd(int32_t sum, int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(value));
}

// Nearest integer, halves to even, for |x| <= 2^22: adding 1.5 x 2^23 puts the
// rounded value into the low mantissa bits (default rounding mode), exactly as
// lrint rounds it. A rotated or mixed 16-bit sample stays within +-65536.
inline constexpr float kRoundingShift = 12582912.0f;      // 1.5 x 2^23
inline constexpr int32_t kRoundingShiftBits = 0x4B400000; // its bits
inline int32_t roundSmall(float x) {
  return static_cast<int32_t>(std::bit_cast<uint32_t>(x + kRoundingShift) - static_cast<uint32_t>(kRoundingShiftBits));
}

// f(0) ... f(count - 1), in groups of `Group` through a loop of fixed length,
// which the vectoriser of an -O2 build takes even under its cheapest cost
// model; the remainder one by one.
template <int32_t Group, typename F>
inline void forEachInGroups(int32_t count, F f) {
  int32_t i = 0;
  for (; i + Group <= count; i += Group)
    for (int32_t j = 0; j < Group; ++j) f(i + j);
  for (; i < count; ++i) f(i);
}

// sumre[i] += re[i] and sumim[i] += im[i] for i < count, wrapping, in groups of
// eight (16-bit samples fill a 128-bit vector eight at a time): the plain
// window added with its sign positive and the synchronisation's plain fold.
inline void addSamples(int32_t* __restrict sumre, int32_t* __restrict sumim, const int16_t* __restrict re,
                       const int16_t* __restrict im, int32_t count) {
  forEachInGroups<8>(count, [=](int32_t i) {
    sumre[i] = wrapAdd(sumre[i], re[i]);
    sumim[i] = wrapAdd(sumim[i], im[i]);
  });
}

// The same in groups of `Group`, then of `Smaller`, then one by one: for a
// build whose widest vectors take `Group` items, the smaller groups keep short
// remainders (a 24-point window in groups of 16) vectorised.
template <int32_t Group, int32_t Smaller, typename F>
inline void forEachInTwoGroups(int32_t count, F f) {
  int32_t i = 0;
  for (; i + Group <= count; i += Group)
    for (int32_t j = 0; j < Group; ++j) f(i + j);
  for (; i + Smaller <= count; i += Smaller)
    for (int32_t j = 0; j < Smaller; ++j) f(i + j);
  for (; i < count; ++i) f(i);
}

} // namespace velkor
