// Mistakes in a configuration, found the way a run reads it: unknown
// sections and keys (with the nearest known name), values that are not
// numbers where numbers are read, stations and synchronisation entries that
// the station table lacks, a byte-order mark, no stations, a missing or
// unreadable station table or WAV input. `velkor --check` prints them all; a
// normal run warns about the unknown names only.
#pragma once

#include "platform/platform.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

struct ConfigurationProblem {
  int line = 0;           // [lines] from 1; 0: the file as a whole
  std::string text;       // what is wrong, printable
  bool unknownName = false; // an unknown section or key
  bool fatal = false;     // the run would be useless
};

// The problems of the names and values in a configuration text, in file order.
std::vector<ConfigurationProblem> findTextProblems(std::string_view text);

// One warning "velkor: warning: FILE:LINE: ..." per unknown section or key.
void warnAboutUnknownNames(std::string_view text, const std::string& fileName, std::ostream& warnings);

// Every problem of the configuration file and what it names (station table,
// WAV input), printed one per line as "FILE:LINE: ..." with a summary line
// on the console; returns the exit status: 1 when one of them would make the
// run useless, otherwise 0.
int checkConfiguration(const std::string& fileName, Platform& platform);

// `text` with every control character and every byte outside ASCII as "?".
std::string printableText(std::string_view text);

} // namespace velkor
