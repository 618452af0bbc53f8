#include "ground/numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velkor {

std::string printfText(const char* format, int precision, double value) {
  char text[512];
  int length = std::snprintf(text, sizeof text, format, precision, value);
  if (length < 0) return {};
  if (length < static_cast<int>(sizeof text)) return std::string(text, static_cast<std::size_t>(length));
  // A field of hundreds of digits is printed again at its full length: cut,
  // it would lose the exponent that the template printer reads back.
  std::string whole(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(whole.data(), whole.size(), format, precision, value);
  whole.resize(static_cast<std::size_t>(length));
  return whole;
}

namespace {

std::string signedGeneral(double value, int digits) {
  bool negative = std::signbit(value) && value != 0;
  std::string text(1, negative ? '-' : ' ');
  text += printfText("%.*g", digits, std::fabs(value));
  return text;
}

} // namespace

double parseLeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::size_t start = i;
  auto digitsAt = [&](std::size_t at) {
    std::size_t n = 0;
    while (at + n < text.size() && std::isdigit(static_cast<unsigned char>(text[at + n]))) ++n;
    return n;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissaDigits = digitsAt(i);
  i += mantissaDigits;
  if (i < text.size() && text[i] == '.') {
    std::size_t fraction = digitsAt(i + 1);
    if (mantissaDigits + fraction > 0) i += 1 + fraction;
    mantissaDigits += fraction;
  }
  if (mantissaDigits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t exponentDigits = digitsAt(j);
    if (exponentDigits > 0) i = j + exponentDigits;
  }
  std::string number(text.substr(start, i - start));
  return std::strtod(number.c_str(), nullptr);
}

std::string formatInteger(long long value) {
  auto magnitude = static_cast<unsigned long long>(value);
  std::string text(1, value < 0 ? '-' : ' ');
  text += std::to_string(value < 0 ? 0 - magnitude : magnitude);
  text += ' ';
  return text;
}

std::string formatSingle(float value) { return signedGeneral(value, 7); }

std::string formatDouble(double value) { return signedGeneral(value, 16); }

} // namespace velkor
