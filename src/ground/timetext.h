// Numbers inside the date and time-of-day texts ("MM-DD-YYYY", "HH:MM:SS").
// The texts come from the operating system or from the configuration, so a
// field is read the way configuration numbers are: what does not start with
// a number counts as 0, and a field beyond the end of a short text is empty.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkor {

// The whole number at the start of text[first, first + count), after blanks; 0 if none.
int32_t textField(std::string_view text, std::size_t first, std::size_t count);

// The whole number in the last `count` characters of text.
int32_t lastTextField(std::string_view text, std::size_t count);

// hours x 3600 + minutes x 60 + seconds of an "HH:MM:SS" text [s].
int32_t secondOfDay(std::string_view timeOfDay);

} // namespace velkor
