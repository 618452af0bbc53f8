// The whole program: an option of the command line (--help, --version,
// --check), or banner, start-up, main cycle, shutdown; returns the exit
// status (0 at every orderly end, 1 after a fatal error or when --check finds
// the run would be useless).
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace velkor {

// Runs the receiver with the command-line `arguments` on `platform`.
int runVelkor(const std::vector<std::string>& arguments, Platform& platform);

} // namespace velkor
