#include "display/format.h"

#include "ground/numbers.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace velkor {

namespace {

struct Field {
  bool plus = false;
  int integerDigits = 0; // "#" before the point
  bool point = false;
  int decimals = 0; // "#" after the point
  bool exponent = false;
  std::size_t width() const {
    return static_cast<std::size_t>((plus ? 1 : 0) + integerDigits + (point ? 1 + decimals : 0));
  }
};

bool isFieldStart(std::string_view pattern, std::size_t at) {
  if (pattern[at] == '#') return true;
  return pattern[at] == '+' && at + 1 < pattern.size() && pattern[at + 1] == '#';
}

std::size_t countRun(std::string_view pattern, std::size_t at, char c) {
  std::size_t n = 0;
  while (at + n < pattern.size() && pattern[at + n] == c) ++n;
  return n;
}

Field parseField(std::string_view pattern, std::size_t& at) {
  Field field;
  if (pattern[at] == '+') {
    field.plus = true;
    ++at;
  }
  std::size_t run = countRun(pattern, at, '#');
  field.integerDigits = static_cast<int>(run);
  at += run;
  if (at + 1 < pattern.size() && pattern[at] == '.' && pattern[at + 1] == '#') {
    field.point = true;
    run = countRun(pattern, at + 1, '#');
    field.decimals = static_cast<int>(run);
    at += 1 + run;
  }
  if (pattern.substr(at, 4) == "^^^^") {
    field.exponent = true;
    at += 4;
  }
  return field;
}

std::string signText(const Field& field, bool negative) {
  if (negative) return "-";
  return field.plus ? "+" : "";
}

std::string plainField(const Field& field, double value) {
  std::string digits = printfText("%.*f", field.decimals, std::fabs(value));
  // As printf rounds: -0.002 keeps its sign as "-0.00"; only an exact -0 prints unsigned.
  bool negative = value < 0;
  std::string text = signText(field, negative);
  text += digits;
  std::size_t width = field.width();
  if (text.size() > width && digits.rfind("0.", 0) == 0) {
    std::string bare = signText(field, negative);
    bare.append(digits, 1);
    if (bare.size() <= width) text = bare;
  }
  if (text.size() > width) return text.insert(0, 1, '%');
  return text.insert(0, width - text.size(), ' ');
}

// An infinity or NaN has no exponent: its sign and "inf" or "nan", right-aligned
// in the width a finite value takes, so the columns after it keep their place.
std::string nonFiniteExponentField(const Field& field, int significant, double value) {
  std::string text(1, std::signbit(value) ? '-' : (field.plus ? '+' : ' '));
  text += std::isnan(value) ? "nan" : "inf";
  const auto width =
      static_cast<std::size_t>(1 + significant + (field.decimals > 0 ? 1 : 0) + 4); // sign, digits, ".", E+dd
  if (text.size() < width) text.insert(1, width - text.size(), ' ');
  return text;
}

std::string exponentField(const Field& field, double value) {
  int mantissaDigits = std::max(1, field.integerDigits - (field.plus ? 0 : 1));
  int significant = mantissaDigits + field.decimals;
  if (!std::isfinite(value)) return nonFiniteExponentField(field, significant, value);
  std::string text = printfText("%.*e", significant - 1, std::fabs(value));
  auto e = text.find('e');
  std::string mantissa = text.substr(0, e);
  int exponent = std::stoi(text.substr(e + 1));
  if (value != 0 && mantissaDigits > 1) {
    // move the point right so that the mantissa has its integer digits
    std::string digits = mantissa;
    digits.erase(1, 1); // the point
    mantissa = digits.substr(0, static_cast<std::size_t>(mantissaDigits));
    if (field.decimals > 0) mantissa.append(".").append(digits, static_cast<std::size_t>(mantissaDigits));
    exponent -= mantissaDigits - 1;
  }
  bool negative = value < 0;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string out(1, negative ? '-' : (field.plus ? '+' : ' '));
  out += mantissa;
  out += buffer;
  return out;
}

} // namespace

std::string formatTemplate(std::string_view pattern, std::initializer_list<double> values) {
  std::string out;
  auto next = values.begin();
  std::size_t at = 0;
  while (at < pattern.size()) {
    if (!isFieldStart(pattern, at)) {
      out += pattern[at++];
      continue;
    }
    Field field = parseField(pattern, at);
    double value = next != values.end() ? *next++ : 0.0;
    out += field.exponent ? exponentField(field, value) : plainField(field, value);
  }
  return out;
}

} // namespace velkor
