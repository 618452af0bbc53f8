// Notices: single lines "velkor: <text>" on stderr about what the receiver
// is doing (lock gained or lost, re-synchronisation, long waits for input).
// A notice never joins a status line: the console line in progress is ended
// first, so on a terminal the status line it follows stays on its row.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

#include <string>
#include <string_view>

namespace velkor {

// Prints the notice whatever the settings say (for messages that only a new
// setting can cause).
void printNotice(Platform& platform, const std::string& text);

// Prints the notice when the setting notices is not 0.
void notify(const State& state, Platform& platform, const std::string& text);

// Text from a file or the command line with every control character (C0,
// DEL, C1) and every byte of invalid UTF-8 shown as "?".
std::string printableText(std::string_view text);

} // namespace velkor
