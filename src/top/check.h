// The check of a whole configuration (velkor --check): the problems of its
// text (config/configcheck.h), then what a start-up would refuse, stations
// and synchronisation entries the station table lacks, no stations, and a
// missing or unreadable station table or WAV input.
#pragma once

#include "config/configcheck.h"
#include "platform/platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Every problem of configuration `text` and of what it names, read the way a
// start-up reads them (the date and time from `clock`); file order, problems
// of the file as a whole last.
std::vector<ConfigurationProblem> checkConfigurationText(std::string_view text, Clock& clock);

// Reads the file, prints every problem as "FILE:LINE: ..." and a summary on
// the console; returns the exit status: 1 when the file cannot be read or a
// problem would make the run useless, otherwise 0.
int checkConfiguration(const std::string& fileName, Platform& platform);

} // namespace velkor
