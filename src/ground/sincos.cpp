#include "ground/sincos.h"

#include <algorithm>
#include <bit>
#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 warns of the "undefined" start values inside its own AVX-512
// conversion intrinsics; the warning concerns the header, not this code.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#define VELKOR_SINCOS_X86 1
#else
#define VELKOR_SINCOS_X86 0
#endif

namespace velkor {

namespace {

// ---- The library's algorithm ------------------------------------------------
// glibc's single-precision sincos (sysdeps/ieee754/flt-32): the argument in
// double, reduced to [-pi/4, pi/4] by one multiple of pi/2 below 120 and by a
// 192-bit product with 4/pi above, then polynomials in double. Every constant
// and every operation is the library's, in its order; Fused selects the
// build whose compiler contracted each a * b + c into one fused multiply-add.

// Coefficients of one quadrant pair; the second pair has the cosine's negated.
struct SinCosCoefficients {
  double c0, c1, s1, c2, s2, c3, s3, c4;
};

constexpr SinCosCoefficients kQuadrants01 = {0x1p0,
                                             -0x1.ffffffd0c621cp-2,
                                             -0x1.555545995a603p-3,
                                             0x1.55553e1068f19p-5,
                                             0x1.1107605230bc4p-7,
                                             -0x1.6c087e89a359dp-10,
                                             -0x1.994eb3774cf24p-13,
                                             0x1.99343027bf8c3p-16};
constexpr SinCosCoefficients kQuadrants23 = {-0x1p0,
                                             0x1.ffffffd0c621cp-2,
                                             -0x1.555545995a603p-3,
                                             -0x1.55553e1068f19p-5,
                                             0x1.1107605230bc4p-7,
                                             0x1.6c087e89a359dp-10,
                                             -0x1.994eb3774cf24p-13,
                                             -0x1.99343027bf8c3p-16};
constexpr double kQuadrantSign[4] = {1.0, -1.0, -1.0, 1.0}; // sign of the sine per quadrant
constexpr double kTwoByPiScaled = 0x1.45f306dc9c883p+23;    // 2 / pi x 2^24
constexpr double kHalfPi = 0x1.921fb54442d18p0;             // pi / 2
constexpr double kTwoPiBy2To64 = 0x1.921fb54442d18p-62;     // 2 pi x 2^-64
// Bits of 4 / pi, as 32-bit words starting every byte.
constexpr uint32_t kFourByPi[24] = {0xa2,       0xa2f9,     0xa2f983,   0xa2f9836e, 0xf9836e4e, 0x836e4e44,
                                    0x6e4e4415, 0x4e441529, 0x441529fc, 0x1529fc27, 0x29fc2757, 0xfc2757d1,
                                    0x2757d1f5, 0x57d1f534, 0xd1f534dd, 0xf534ddc0, 0x34ddc0db, 0xddc0db62,
                                    0xc0db6295, 0xdb629599, 0x6295993c, 0x95993c43, 0x993c4390, 0x3c439041};

// Exponent and the three leading mantissa bits of |y|: the library's ranges.
constexpr uint32_t kTinyTop = 0x398;    // |y| < 2^-12: sine y, cosine 1
constexpr uint32_t kSmallTop = 0x3f4;   // |y| < 0.75: no reduction
constexpr uint32_t kReducedTop = 0x42f; // |y| < 120: one multiple of pi / 2
constexpr uint32_t kFiniteTop = 0x7f8;  // infinity and NaN from here

inline uint32_t top12(float y) { return (std::bit_cast<uint32_t>(y) >> 20) & 0x7ffu; }

// a * b + c, fused or as the two rounded operations.
template <bool Fused>
inline double mulAdd(double a, double b, double c) {
  if constexpr (Fused) return __builtin_fma(a, b, c);
  else return a * b + c;
}

template <bool Fused>
inline void polynomials(double x, double x2, const SinCosCoefficients& p, int32_t n, float* sine, float* cosine) {
  const double x4 = x2 * x2;
  const double x3 = x2 * x;
  const double c2 = mulAdd<Fused>(x2, p.c4, p.c3);
  const double s1 = mulAdd<Fused>(x2, p.s3, p.s2);
  const double c1 = mulAdd<Fused>(x2, p.c1, p.c0);
  const double x5 = x3 * x2;
  const double x6 = x4 * x2;
  const double s = mulAdd<Fused>(x3, p.s1, x);
  const double c = mulAdd<Fused>(x4, p.c2, c1);
  // Odd quadrants exchange sine and cosine.
  float* const sinp = (n & 1) != 0 ? cosine : sine;
  float* const cosp = (n & 1) != 0 ? sine : cosine;
  *sinp = static_cast<float>(mulAdd<Fused>(x5, s1, s));
  *cosp = static_cast<float>(mulAdd<Fused>(x6, c2, c));
}

// The argument below 120 less n pi / 2 [rad].
template <bool Fused>
inline double reduceOnce(double x, int32_t* n) {
  const double r = x * kTwoByPiScaled;
  *n = (static_cast<int32_t>(r) + 0x800000) >> 24;
  return mulAdd<Fused>(-static_cast<double>(*n), kHalfPi, x);
}

// The argument from 120 on less n pi / 2 [rad], from its bits: the mantissa
// times the three words of 4 / pi that its exponent selects gives y x 2 / pi
// as a 64-bit fixed-point number with two integer bits (the quadrant n,
// rounded to nearest) and the fraction, which scales back to radians. The
// first product keeps its low 32 bits only, as the library's does.
inline double reduceLarge(uint32_t bits, int32_t* n) {
  const uint32_t* words = &kFourByPi[(bits >> 26) & 15];
  const int shift = static_cast<int>((bits >> 23) & 7);
  bits = ((bits & 0xffffff) | 0x800000) << shift;
  uint64_t res0 = bits * words[0];
  const uint64_t res1 = uint64_t{bits} * words[4];
  const uint64_t res2 = uint64_t{bits} * words[8];
  res0 = (res2 >> 32) | (res0 << 32);
  res0 += res1;
  const uint64_t quadrant = (res0 + (uint64_t{1} << 61)) >> 62;
  res0 -= quadrant << 62;
  *n = static_cast<int32_t>(quadrant);
  return static_cast<double>(static_cast<int64_t>(res0)) * kTwoPiBy2To64;
}

template <bool Fused>
inline void sinCosOne(float y, float* sine, float* cosine) {
  const uint32_t top = top12(y);
  double x = y;
  int32_t n = 0;
  if (top < kSmallTop) {
    if (top < kTinyTop) {
      *sine = y;
      *cosine = 1.0f;
      return;
    }
    polynomials<Fused>(x, x * x, kQuadrants01, 0, sine, cosine);
  } else if (top < kReducedTop) {
    x = reduceOnce<Fused>(x, &n);
    const double s = kQuadrantSign[n & 3];
    polynomials<Fused>(x * s, x * x, (n & 2) != 0 ? kQuadrants23 : kQuadrants01, n, sine, cosine);
  } else if (top < kFiniteTop) {
    const uint32_t bits = std::bit_cast<uint32_t>(y);
    x = reduceLarge(bits, &n);
    const auto quadrant = static_cast<int32_t>(static_cast<uint32_t>(n) + (bits >> 31));
    const double s = kQuadrantSign[quadrant & 3];
    polynomials<Fused>(x * s, x * x, (quadrant & 2) != 0 ? kQuadrants23 : kQuadrants01, n, sine, cosine);
  } else {
    *sine = y - y;
    *cosine = y - y;
  }
}

#if VELKOR_SINCOS_X86

// ---- Four (AVX2) or eight (AVX-512) values at a time, with FMA ---------------
// Arguments from 2^-12 to below 120 (the fold's and the oscillator's phases)
// go through the reduced path four at a time; a group with any other argument
// goes one by one. Below 0.75 the reduction gives n = 0 and leaves x as it is,
// so the library's unreduced path is the same arithmetic. The second quadrant
// pair's negated cosine coefficients negate every partial sum of the cosine
// exactly (rounding to nearest is symmetric), so it is the first pair's result
// with its sign flipped.

[[gnu::target("avx2,fma")]] inline __m256d broadcast(double value) { return _mm256_set1_pd(value); }

// The quadrant n of each argument [rad], as the library computes it in
// integers, ((int)(x 2 / pi 2^24) + 2^23) >> 24, but in doubles: truncation
// and the shift's floor as roundings of exact values (|x| < 120 keeps every
// step below 2^31), so that n stays in the lanes of the reduction.
[[gnu::target("avx2,fma")]] inline __m256d quadrantOf(__m256d x) {
  const __m256d truncated =
      _mm256_round_pd(_mm256_mul_pd(x, broadcast(kTwoByPiScaled)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  return _mm256_round_pd(_mm256_fmadd_pd(truncated, broadcast(0x1p-24), broadcast(0.5)),
                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// Bit `Bit` of each quadrant's bits (those of n + 1.5 x 2^52) in the sign bit of its lane.
template <int Bit>
[[gnu::target("avx2,fma")]] inline __m256i signFromBit(__m256i bits) {
  return _mm256_slli_epi64(_mm256_srli_epi64(bits, Bit), 63);
}

[[gnu::target("avx2,fma")]] inline void sinCosFour(const float* theta, float* sine, float* cosine) {
  const __m256d x = _mm256_cvtps_pd(_mm_loadu_ps(theta));
  const __m256d n = quadrantOf(x);
  const __m256d reduced = _mm256_fnmadd_pd(n, broadcast(kHalfPi), x);
  // n + 1.5 x 2^52 holds the small integer n in two's complement in its low
  // mantissa bits.
  const __m256i bits = _mm256_castpd_si256(_mm256_add_pd(n, broadcast(0x1.8p52)));
  // The sine's sign per quadrant (1, -1, -1, 1) is bit 0 xor bit 1 of n.
  const __m256d xs =
      _mm256_xor_pd(reduced, _mm256_castsi256_pd(signFromBit<0>(_mm256_xor_si256(bits, _mm256_srli_epi64(bits, 1)))));
  const __m256d x2 = _mm256_mul_pd(reduced, reduced);
  const __m256d x4 = _mm256_mul_pd(x2, x2);
  const __m256d x3 = _mm256_mul_pd(x2, xs);
  const __m256d c2 = _mm256_fmadd_pd(x2, broadcast(kQuadrants01.c4), broadcast(kQuadrants01.c3));
  const __m256d s1 = _mm256_fmadd_pd(x2, broadcast(kQuadrants01.s3), broadcast(kQuadrants01.s2));
  const __m256d c1 = _mm256_fmadd_pd(x2, broadcast(kQuadrants01.c1), broadcast(kQuadrants01.c0));
  const __m256d x5 = _mm256_mul_pd(x3, x2);
  const __m256d x6 = _mm256_mul_pd(x4, x2);
  const __m256d s = _mm256_fmadd_pd(x3, broadcast(kQuadrants01.s1), xs);
  const __m256d c = _mm256_fmadd_pd(x4, broadcast(kQuadrants01.c2), c1);
  const __m256d sinpoly = _mm256_fmadd_pd(x5, s1, s);
  const __m256d cospoly = _mm256_xor_pd(_mm256_fmadd_pd(x6, c2, c), _mm256_castsi256_pd(signFromBit<1>(bits)));
  // Odd quadrants exchange the two; choosing before the conversion to single
  // chooses the same values.
  const __m256d odd = _mm256_castsi256_pd(signFromBit<0>(bits));
  _mm_storeu_ps(sine, _mm256_cvtpd_ps(_mm256_blendv_pd(sinpoly, cospoly, odd)));
  _mm_storeu_ps(cosine, _mm256_cvtpd_ps(_mm256_blendv_pd(cospoly, sinpoly, odd)));
}

// Whether all of theta[0 ... count - 1] lie in [2^-12, 120): their magnitudes'
// bits less those of 2^-12, read unsigned (smaller ones wrap to large), all
// below the span of the range; eight at a time.
[[gnu::target("avx2,fma")]] bool allInReducedRange(const float* theta, int32_t count) {
  constexpr uint32_t kLowest = kTinyTop << 20;              // bits of 2^-12
  constexpr uint32_t kSpan = (kReducedTop << 20) - kLowest; // to the bits of 120
  const __m256i magnitude = _mm256_set1_epi32(0x7fffffff);
  const __m256i lowest = _mm256_set1_epi32(static_cast<int32_t>(kLowest));
  __m256i largest = _mm256_setzero_si256(); // of the offsets
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i bits = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(theta + i));
    largest = _mm256_max_epu32(largest, _mm256_sub_epi32(_mm256_and_si256(bits, magnitude), lowest));
  }
  uint32_t offsets[8];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(offsets), largest);
  uint32_t top = 0;
  for (const uint32_t offset : offsets) top = std::max(top, offset);
  for (; i < count; ++i) top = std::max(top, (std::bit_cast<uint32_t>(theta[i]) & 0x7fffffffu) - kLowest);
  return top < kSpan;
}

// The whole groups of a table, `Width` values at a time; returns how many
// values they hold. A table whose arguments all lie in the vector path's
// range goes through a loop that holds no check and no call, so that its
// constants stay in registers; another one group by group, a group with
// any other argument one by one.
template <int32_t Width, auto group>
[[gnu::always_inline]] inline int32_t sinCosInGroups(const float* theta, float* sine, float* cosine, int32_t count) {
  const int32_t whole = count - count % Width;
  if (allInReducedRange(theta, whole)) {
    for (int32_t i = 0; i < whole; i += Width) group(theta + i, sine + i, cosine + i);
    return whole;
  }
  for (int32_t i = 0; i < whole; i += Width) {
    if (allInReducedRange(theta + i, Width)) {
      group(theta + i, sine + i, cosine + i);
    } else {
      for (int32_t j = i; j < i + Width; ++j) sinCosOne<true>(theta[j], &sine[j], &cosine[j]);
    }
  }
  return whole;
}

[[gnu::target("avx2,fma")]] void sinCosFusedAvx2(const float* theta, float* sine, float* cosine, int32_t count) {
  for (int32_t i = sinCosInGroups<4, sinCosFour>(theta, sine, cosine, count); i < count; ++i)
    sinCosOne<true>(theta[i], &sine[i], &cosine[i]);
}

// The same arithmetic on eight values at a time, for processors with AVX-512
// (foundation and 256-bit lengths). The quadrant stays in doubles as in the
// AVX2 build; its signs come from two small tables indexed by the low bits of
// n (a permutation takes an index's three low bits, and the tables repeat
// every four quadrants), and the odd quadrants' exchange is a mask blend of
// the values converted to single.

#define VELKOR_AVX512 "avx512f,avx512vl,avx2,fma"

constexpr int64_t kSignBit = INT64_MIN;

[[gnu::target(VELKOR_AVX512)]] inline __m512d flip(__m512d x, __m512i sign) {
  return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(x), sign));
}

[[gnu::target(VELKOR_AVX512)]] inline void sinCosEight(const float* theta, float* sine, float* cosine) {
  const __m512d x = _mm512_cvtps_pd(_mm256_loadu_ps(theta));
  const __m512d truncated =
      _mm512_roundscale_pd(_mm512_mul_pd(x, _mm512_set1_pd(kTwoByPiScaled)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m512d n = _mm512_roundscale_pd(_mm512_fmadd_pd(truncated, _mm512_set1_pd(0x1p-24), _mm512_set1_pd(0.5)),
                                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d reduced = _mm512_fnmadd_pd(n, _mm512_set1_pd(kHalfPi), x);
  // n + 1.5 x 2^52 holds n in two's complement in its low mantissa bits.
  const __m512i bits = _mm512_castpd_si512(_mm512_add_pd(n, _mm512_set1_pd(0x1.8p52)));
  // The sine's sign per quadrant (+, -, -, +) and the cosine's (+, +, -, -).
  const __m512i sinesign =
      _mm512_permutexvar_epi64(bits, _mm512_set_epi64(0, kSignBit, kSignBit, 0, 0, kSignBit, kSignBit, 0));
  const __m512i cosinesign =
      _mm512_permutexvar_epi64(bits, _mm512_set_epi64(kSignBit, kSignBit, 0, 0, kSignBit, kSignBit, 0, 0));
  const __m512d xs = flip(reduced, sinesign);
  const __m512d x2 = _mm512_mul_pd(reduced, reduced);
  const __m512d x4 = _mm512_mul_pd(x2, x2);
  const __m512d x3 = _mm512_mul_pd(x2, xs);
  const __m512d c2 = _mm512_fmadd_pd(x2, _mm512_set1_pd(kQuadrants01.c4), _mm512_set1_pd(kQuadrants01.c3));
  const __m512d s1 = _mm512_fmadd_pd(x2, _mm512_set1_pd(kQuadrants01.s3), _mm512_set1_pd(kQuadrants01.s2));
  const __m512d c1 = _mm512_fmadd_pd(x2, _mm512_set1_pd(kQuadrants01.c1), _mm512_set1_pd(kQuadrants01.c0));
  const __m512d x5 = _mm512_mul_pd(x3, x2);
  const __m512d x6 = _mm512_mul_pd(x4, x2);
  const __m512d s = _mm512_fmadd_pd(x3, _mm512_set1_pd(kQuadrants01.s1), xs);
  const __m512d c = _mm512_fmadd_pd(x4, _mm512_set1_pd(kQuadrants01.c2), c1);
  const __m256 sinpoly = _mm512_cvtpd_ps(_mm512_fmadd_pd(x5, s1, s));
  const __m256 cospoly = _mm512_cvtpd_ps(flip(_mm512_fmadd_pd(x6, c2, c), cosinesign));
  const __mmask8 odd = _mm512_test_epi64_mask(bits, _mm512_set1_epi64(1));
  _mm256_storeu_ps(sine, _mm256_mask_blend_ps(odd, sinpoly, cospoly));
  _mm256_storeu_ps(cosine, _mm256_mask_blend_ps(odd, cospoly, sinpoly));
}

// Whether the processor has the AVX-512 parts the eight-value build uses.
bool hasAvx512() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"); }

[[gnu::target(VELKOR_AVX512)]] void sinCosFusedAvx512(const float* theta, float* sine, float* cosine, int32_t count) {
  const int32_t i = sinCosInGroups<8, sinCosEight>(theta, sine, cosine, count);
  sinCosFusedAvx2(theta + i, sine + i, cosine + i, count - i);
}

// Arguments where the two builds of the library differ in the last bit of
// the sine or the cosine (found by the exhaustive comparison of
// tools/sincoscheck), and one of every other path.
constexpr float kProbes[] = {0x1.1475b6p+4f, -0x1.78edb2p+4f, 0x1.05d696p+5f, -0x1.d0f4aap+6f,
                             0x1.2p-3f,      1e-5f,           1234.5f,        -3.0e7f};

bool agreesWithLibrary(SinCosPass pass) {
  for (const float y : kProbes) {
    float wantsine = 0, wantcosine = 0, sine = 0, cosine = 0;
    ::sincosf(y, &wantsine, &wantcosine);
    pass(&y, &sine, &cosine, 1);
    if (std::bit_cast<uint32_t>(sine) != std::bit_cast<uint32_t>(wantsine) ||
        std::bit_cast<uint32_t>(cosine) != std::bit_cast<uint32_t>(wantcosine))
      return false;
  }
  return true;
}

#endif

} // namespace

void sinCosByLibrary(const float* theta, float* sine, float* cosine, int32_t count) {
  for (int32_t i = 0; i < count; ++i) ::sincosf(theta[i], &sine[i], &cosine[i]);
}

void sinCosUnfused(const float* theta, float* sine, float* cosine, int32_t count) {
  for (int32_t i = 0; i < count; ++i) sinCosOne<false>(theta[i], &sine[i], &cosine[i]);
}

void sinCosFused(const float* theta, float* sine, float* cosine, int32_t count) {
#if VELKOR_SINCOS_X86
  if (__builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2")) {
    if (hasAvx512()) sinCosFusedAvx512(theta, sine, cosine, count);
    else sinCosFusedAvx2(theta, sine, cosine, count);
    return;
  }
#endif
  sinCosUnfused(theta, sine, cosine, count);
}

SinCosPass chooseSinCos() {
#if VELKOR_SINCOS_X86 && defined(__GLIBC__)
  // glibc's choice: its FMA build where FMA and AVX2 are usable. The widest
  // vectors the processor has carry the same arithmetic.
  const bool fused = __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2");
  const bool wide = fused && hasAvx512();
  const SinCosPass pass = wide ? sinCosFusedAvx512 : fused ? sinCosFusedAvx2 : sinCosUnfused;
  if (agreesWithLibrary(pass)) return pass;
#endif
  return sinCosByLibrary;
}

} // namespace velkor
