// Mistakes in a configuration text that the reader passes over in silence:
// unknown sections and keys (with the nearest known name), values that are
// not numbers where numbers are read, a chain delay for a GRI out of range
// and a byte-order mark; and where in the text entries and keys stand, for
// the problems found later by the check of the whole configuration.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

struct ConfigurationProblem {
  int line = 0;             // [lines] from 1; 0: the file as a whole
  std::string text;         // what is wrong, printable
  bool unknownName = false; // an unknown section or key: warned in every run
  bool fatal = false;       // the run would be useless
};

// The problems of the names and values in a configuration text, in file order.
std::vector<ConfigurationProblem> findTextProblems(std::string_view text);

// The line of the last `key` in [section], 0 when it is not given.
int lastLineOf(std::string_view text, std::string_view section, std::string_view key);

// Where the entries the reader stores stand, in the order it stores them.
struct EntryLines {
  std::vector<int> stations; // line of each stored [stations] entry
  std::vector<int> tai;      // line of each stored [taisync] entry
  int stationsHeader = 0;    // line of the last [stations] header, 0 when none
};
EntryLines entryLines(std::string_view text);

} // namespace velkor
