// The INI line walker and the whole-file reader shared by the configuration
// reader and the synthesiser's settings.
//
// Format of a line (the full description is in config/config.h): comments from
// ";" and "'" cut, blanks trimmed, lower-cased; "[name]" starts a section;
// "key = value", or a key alone with an empty value.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace velkor {

// The UTF-8 byte-order mark some editors put at the start of a text file.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The text without a leading byte-order mark, which would otherwise become
// part of the first line; reads nothing but `text`.
std::string_view withoutByteOrderMark(std::string_view text);

// One key line of a configuration text, after the reduction above.
struct ConfigurationLine {
  std::string_view section;       // lower case, without its brackets
  std::string_view key;           // lower case
  std::string_view value;         // lower case
  std::string_view originalValue; // as written, for names that keep their case
  int number = 0;                 // [lines] from 1
};

// Calls `apply` for every key line that stands in a section, in file order
// (a leading byte-order mark skipped),
// and `header` (when given) for every section header with its name and line;
// reads nothing but `text`.
void forEachConfigurationLine(std::string_view text, const std::function<void(const ConfigurationLine&)>& apply,
                              const std::function<void(std::string_view section, int number)>& header = {});

// The whole content of a file; FatalError naming the file when it cannot be read.
std::string readWholeFile(const std::string& fileName);

} // namespace velkor
