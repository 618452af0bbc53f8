// Date and time-of-day texts.
//
// The forms a date or time given by the user may take (the configuration of
// velkor and of velkor-synth read them alike, so values copy across):
//   date  "MM-DD-YYYY" or "YYYY-MM-DD": two-digit month 01-12 and day (one
//         the month has), four-digit year 1900-2999;
//   time  "HH:MM:SS" or "HH:MM:SS.s...": two-digit hour 00-23, minute 00-59
//         and second 00-60 (a leap second), then optionally "." and one or
//         more digits of a fraction of the second.
// The fields are separated by any one character that is not a digit (the
// receiver has always read "07/12/2025" like "07-12-2025"); blanks around
// the whole text are allowed.
//
// The field readers below take the texts of the operating system
// ("MM-DD-YYYY", "HH:MM:SS") the way configuration numbers are read: what
// does not start with a number counts as 0, and a field beyond the end of a
// short text is empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velkor {

inline constexpr const char* kDateForms = "MM-DD-YYYY or YYYY-MM-DD";
inline constexpr const char* kTimeForms = "HH:MM:SS or HH:MM:SS.s (fraction of the second)";

struct CivilDate {
  int32_t year = 0;  // 1900 ... 2999
  int32_t month = 0; // 1 ... 12
  int32_t day = 0;   // 1 ... the month's length
};

struct ClockTime {
  int32_t hours = 0;   // [h] 0 ... 23
  int32_t minutes = 0; // [min] 0 ... 59
  int32_t seconds = 0; // [s] 0 ... 60
  double fraction = 0; // [s] 0 <= fraction < 1
};

// The date of a text in one of the date forms above; nothing otherwise.
std::optional<CivilDate> parseDateText(std::string_view text);

// The time of day of a text in one of the time forms above; nothing otherwise.
std::optional<ClockTime> parseTimeText(std::string_view text);

// The whole number at the start of text[first, first + count), after blanks; 0 if none.
int32_t textField(std::string_view text, std::size_t first, std::size_t count);

// The whole number in the last `count` characters of text.
int32_t lastTextField(std::string_view text, std::size_t count);

// hours x 3600 + minutes x 60 + seconds of an "HH:MM:SS" text [s].
int32_t secondOfDay(std::string_view timeOfDay);

} // namespace velkor
