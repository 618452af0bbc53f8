#include "ground/timetext.h"

#include <cstdlib>
#include <string>

namespace velkor {

namespace {

int32_t leadingNumber(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
  int32_t value = 0;
  // The fields are a few digits long; the bound keeps a long digit run from overflowing.
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9' && value < 100000000; ++i)
    value = value * 10 + (field[i] - '0');
  return negative ? -value : value;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text without the blanks around it.
std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The value of text[first, first + count) when all of it are digits; -1 otherwise.
int32_t digitField(std::string_view text, std::size_t first, std::size_t count) {
  if (first + count > text.size()) return -1;
  int32_t value = 0;
  for (std::size_t i = first; i < first + count; ++i) {
    if (!isDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Three fields of the widths given, each of the two gaps one non-digit.
bool threeFields(std::string_view text, const int (&widths)[3], int32_t (&values)[3]) {
  std::size_t at = 0;
  for (int f = 0; f < 3; ++f) {
    if (f > 0) {
      if (at >= text.size() || isDigit(text[at])) return false;
      at += 1;
    }
    values[f] = digitField(text, at, static_cast<std::size_t>(widths[f]));
    if (values[f] < 0) return false;
    at += static_cast<std::size_t>(widths[f]);
  }
  return at == text.size();
}

int32_t monthLength(int32_t year, int32_t month) {
  constexpr int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}; // [days]
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kLengths[month - 1];
}

constexpr int32_t kFirstYear = 1900;
constexpr int32_t kLastYear = 2999;

} // namespace

std::optional<CivilDate> parseDateText(std::string_view text) {
  text = trimmed(text);
  int32_t f[3] = {};
  CivilDate date;
  if (threeFields(text, {2, 2, 4}, f)) {
    date = {f[2], f[0], f[1]};
  } else if (threeFields(text, {4, 2, 2}, f)) {
    date = {f[0], f[1], f[2]};
  } else {
    return std::nullopt;
  }
  if (date.year < kFirstYear || date.year > kLastYear || date.month < 1 || date.month > 12 || date.day < 1 ||
      date.day > monthLength(date.year, date.month))
    return std::nullopt;
  return date;
}

std::optional<ClockTime> parseTimeText(std::string_view text) {
  text = trimmed(text);
  std::string_view fraction;
  if (text.size() > 8) {
    // "HH:MM:SS" then "." and the digits of the fraction.
    fraction = text.substr(9);
    if (text[8] != '.' || fraction.empty()) return std::nullopt;
    for (char c : fraction)
      if (!isDigit(c)) return std::nullopt;
    text = text.substr(0, 8);
  }
  int32_t f[3] = {};
  if (!threeFields(text, {2, 2, 2}, f) || f[0] > 23 || f[1] > 59 || f[2] > 60) return std::nullopt;
  ClockTime time{f[0], f[1], f[2], 0.0};
  if (!fraction.empty()) time.fraction = std::strtod(("0." + std::string(fraction)).c_str(), nullptr);
  // So many nines that the nearest double is a whole second: no time of the day.
  if (!(time.fraction < 1)) return std::nullopt;
  return time;
}

int32_t textField(std::string_view text, std::size_t first, std::size_t count) {
  if (first >= text.size()) return 0;
  return leadingNumber(text.substr(first, count));
}

int32_t lastTextField(std::string_view text, std::size_t count) {
  std::size_t first = text.size() > count ? text.size() - count : 0;
  return leadingNumber(text.substr(first));
}

int32_t secondOfDay(std::string_view timeOfDay) {
  return textField(timeOfDay, 0, 2) * 3600 + textField(timeOfDay, 3, 2) * 60 + lastTextField(timeOfDay, 2);
}

} // namespace velkor
