// Reads the configuration file into the settings part of the record.
//
// Format (INI-like text, one setting per line):
//   - Everything from the first ";" and then from the first "'" on is a comment.
//   - Leading and trailing blanks (spaces only; tabs stay) are removed, and the
//     line is lower-cased, except the values of the file and command names
//     (bmp, table, wav, dat, bmpcmd, log in [file]; pllcommand in [pll]), which
//     keep their case. Empty lines are ignored; a line end may be LF or CRLF.
//   - "[name]" starts a section; the name is the line without its first and
//     its last character. Before the first header no key has an effect.
//   - "key = value": the key is the text before the first "=" without trailing
//     blanks, the value the text after it without leading blanks. A line
//     without "=" is a key with an empty value (flags such as "stereo").
//   - Numbers are read from the start of the value (sign, digits, point,
//     fraction, exponent); the rest is ignored, no number reads as 0. Integer
//     settings round halves to even and saturate at their range; NaN reads 0.
//   - Unknown sections and keys are ignored; a repeated key takes its last value.
//   - Lists: [stations] "7499m" / "-7499x" (minus: blank it), [taisync]
//     "7499m = weight", [chaindelay] "7499 = ms" (4000 < GRI < 10000),
//     [firfilter] "tap = re, im". Capacities 200, 10, 20 and 20 entries; more
//     are ignored with one warning per list.
// docs/configuration.md documents every key.
#pragma once

#include "config/settings.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Applies the lines of a configuration text (the file's content) to settings;
// warnings of full lists go to `warnings`.
void applyConfigurationText(Settings& settings, std::string_view text, std::ostream& warnings);

// "section key" for every key the reader knows, list sections as "section *"
// (for the documentation check).
std::vector<std::string> configurationKeys();

// The section of every key the reader knows, without duplicates.
std::vector<std::string> configurationSections();

// Whether [section] key is one the reader knows by name.
bool isKnownKey(std::string_view section, std::string_view key);

// Whether a known key's value is read as a number (not text, not a flag).
bool keyReadsNumber(std::string_view section, std::string_view key);

inline constexpr int32_t kLowestChainDelayGri = 4001;  // [10 us] [chaindelay] entries are kept from here
inline constexpr int32_t kHighestChainDelayGri = 9999; // [10 us] up to here

inline constexpr int64_t kLargestArray = int64_t{1} << 24; // [entries] of any working array

// FatalError "<key> = <value>: <reason>" unless `fine`.
void refuseUnless(bool fine, const char* key, double value, const char* reason);

// Refuses settings that would divide by zero, hang or overrun an array, and
// a date or time in none of the accepted forms (FatalError naming the key
// and its value).
void validateSettings(const Settings& settings);

// Refuses (FatalError naming the key and its value) every numeric setting and
// list number that is not finite, and those whose use would overflow or never
// end: a position off the globe, a clock moved by more than a century, a
// synchronisation of more than 2^31 samples or search steps, a period
// shorter than one sample. Part of validateSettings.
void validateNumbers(const Settings& settings);

// The blanked-pulse window clamped into the station window:
// firstblankedsample >= 0, lastblankedsample <= displaysamples - 1.
void clampBlankingWindow(Settings& settings);

} // namespace velkor
