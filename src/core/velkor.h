// The whole program: banner, start-up, main cycle; returns the exit status.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace velkor {

inline constexpr const char* kBanner = "velkor " VELKOR_VERSION " - Loran-C receiver";
inline constexpr const char* kVersionText = "velkor " VELKOR_VERSION;

int runVelkor(const std::vector<std::string>& arguments, Platform& platform);

} // namespace velkor
