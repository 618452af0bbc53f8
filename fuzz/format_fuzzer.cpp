// The console's number printers on arbitrary templates and values: the
// template printer (display/format.h) and the plain forms and the leading-
// number reader of ground/numbers.h, with printable() on the text. Layout of
// the input: one byte whose value modulo 5 is the count of values, that many
// 8-byte doubles (host byte order), one byte of printf precision, then the
// template. Anything that escapes, and every sanitizer report, is a crash.
// With VELKOR_FUZZ_FINITE set in the environment, inputs with a non-finite
// value are passed over, to look past that known class of crashes.
#include "display/format.h"
#include "ground/numbers.h"
#include "ground/printable.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace velkor;

constexpr std::size_t kMostValues = 4; // values of one template

std::string formatWithCount(std::string_view pattern, const std::array<double, kMostValues>& v, std::size_t count) {
  switch (count) {
  case 0:
    return formatTemplate(pattern, {});
  case 1:
    return formatTemplate(pattern, {v[0]});
  case 2:
    return formatTemplate(pattern, {v[0], v[1]});
  case 3:
    return formatTemplate(pattern, {v[0], v[1], v[2]});
  default:
    return formatTemplate(pattern, {v[0], v[1], v[2], v[3]});
  }
}

bool finiteOnly() {
  static const bool only = std::getenv("VELKOR_FUZZ_FINITE") != nullptr;
  return only;
}

// The plain print forms and printfText of one value.
void printPlainForms(double value, int precision) {
  formatDouble(value);
  formatSingle(toSingle(value));
  formatInteger(roundToInteger<long long>(value));
  long long bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  formatInteger(bits);
  for (const char* format : {"%.*f", "%.*e", "%.*g"}) printfText(format, precision, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t count = data[0] % (kMostValues + 1);
  std::size_t at = 1; // [bytes] into the input
  if (size < at + count * sizeof(double) + 1) return 0;
  std::array<double, kMostValues> values{};
  for (std::size_t i = 0; i < count; ++i, at += sizeof(double)) std::memcpy(&values[i], data + at, sizeof(double));
  for (std::size_t i = 0; i < count; ++i)
    if (finiteOnly() && !std::isfinite(values[i])) return 0;
  const int precision = data[at++];
  const std::string_view pattern(reinterpret_cast<const char*>(data + at), size - at);

  printable(formatWithCount(pattern, values, count));
  for (std::size_t i = 0; i < count; ++i) printPlainForms(values[i], precision);
  const double read = parseLeadingNumber(pattern);
  printPlainForms(read, precision);
  printable(pattern);
  return 0;
}
