// Reads the configuration file into the settings of the state record.
//
// Format (INI-like text, one setting per line):
//   - Everything from the first ";" and then from the first "'" on is a comment.
//   - Leading and trailing blanks (spaces only; tabs stay) are removed, and the
//     line is lower-cased, except the values of the file and command names
//     (bmp, table, wav, dat, bmpcmd in [file]; pllcommand in [pll]), which
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

#include "core/numbers.h"
#include "core/state.h"

#include <functional>

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Opens, reads and applies the whole file; FatalError when it cannot be opened.
void readConfiguration(State& state, const std::string& fileName, std::ostream& warnings);

// Applies the lines of a configuration text (the file's content).
void applyConfigurationText(State& state, std::string_view text, std::ostream& warnings);

// "section key" for every key the reader knows, list sections as "section *".
std::vector<std::string> configurationKeys();

// One key line of a configuration text, after the reduction above.
struct ConfigurationLine {
  std::string_view section;       // lower case, without its brackets
  std::string_view key;           // lower case
  std::string_view value;         // lower case
  std::string_view originalValue; // as written, for names that keep their case
  int number = 0;                 // [lines] from 1
};

// Calls `apply` for every key line that stands in a section, in file order,
// and `header` (when given) for every section header with its name and line.
void forEachConfigurationLine(std::string_view text, const std::function<void(const ConfigurationLine&)>& apply,
                              const std::function<void(std::string_view section, int number)>& header = {});

// The section of every key the reader knows, without duplicates.
std::vector<std::string> configurationSections();

// Whether [section] key is one the reader knows by name.
bool isKnownKey(std::string_view section, std::string_view key);

// Whether a known key's value is read as a number (not text, not a flag).
bool keyReadsNumber(std::string_view section, std::string_view key);

// The whole content of a file; FatalError naming the file when it cannot be read.
std::string readWholeFile(const std::string& fileName);

} // namespace velkor
