// The whole program: banner, start-up, main cycle, shutdown; returns the exit
// status (0 at every orderly end, 1 after a fatal error).
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace velkor {

// Runs the receiver with the command-line `arguments` on `platform`.
int runVelkor(const std::vector<std::string>& arguments, Platform& platform);

} // namespace velkor
