#include "ground/timetext.h"

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

} // namespace

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
