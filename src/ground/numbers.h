// Numbers as the receiver reads, stores and prints them: the leading number of
// a text, the conversions to the widths of its variables, and the plain print
// forms used on the console, in "stations.txt" and in the oscillator command.
//
// Plain print forms: an integer prints as " 12 " or "-12 " (sign position,
// digits, one blank); a single as " 1.5" or "-1.5" with "%.7g"; a double the
// same with "%.16g".
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>
#include <type_traits>

namespace velkor {

// The signal processing works its angles in single precision with pi itself
// held in single precision; the rounded value is part of the results.
inline constexpr float kPiSingle = std::numbers::pi_v<float>;

// The decimal number at the start of a text (blanks skipped; sign, digits,
// point, fraction, exponent); the rest is ignored, no number reads 0.
double parseLeadingNumber(std::string_view text);

// A real value stored in single precision; beyond its range it becomes an
// infinity instead of being undefined.
inline float toSingle(double x) {
  if (x > FLT_MAX) return HUGE_VALF;
  if (x < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(x);
}

// x rounded half to even to an integer, as std::nearbyint rounds it in the
// default rounding mode, but inline: the library call (a PLT call and the
// spills around it) was a tenth of the integration's cost per pulse window.
// Below 2^52 adding 2^52 leaves no fraction bits, so the addition itself
// rounds half to even and the subtraction is exact; copysign keeps -0.
// Larger magnitudes, infinities and NaN are already their own rounding.
inline double roundHalfEven(double x) {
  constexpr double kNoFractionBits = 0x1p52;
  const double magnitude = std::fabs(x);
  if (!(magnitude < kNoFractionBits)) return x;
  return std::copysign((magnitude + kNoFractionBits) - kNoFractionBits, x);
}

// A real value stored in an integer: rounded half to even, saturated at the
// type's range; NaN stores 0.
template <typename Int>
Int roundToInteger(double x) {
  if (std::isnan(x)) return 0;
  x = roundHalfEven(x);
  if (x >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
  if (x <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
  return static_cast<Int>(x);
}

// Whether a real value, rounded half to even, lies within the integer type's
// range (never for NaN or an infinity): the check before a conversion whose
// saturation would change what a value means.
template <typename Int>
bool fitsInteger(double x) {
  static_assert(std::is_signed_v<Int>);
  if (!std::isfinite(x)) return false;
  x = roundHalfEven(x);
  const double lowest = static_cast<double>(std::numeric_limits<Int>::min()); // exact: a power of two
  return x >= lowest && x < -lowest;
}

// snprintf of one value with a precision ("%.*f", "%.*e", "%.*g"), however
// long; empty when the format fails.
std::string printfText(const char* format, int precision, double value);

// " 12 " / "-12 ": sign position, digits, one blank.
std::string formatInteger(long long value);
// " 1.5" / "-1.5": sign position and "%.7g" of the magnitude.
std::string formatSingle(float value);
// The same with "%.16g".
std::string formatDouble(double value);

} // namespace velkor
