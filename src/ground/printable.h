// Text that came from a file or the command line, made safe to print on a
// terminal: a station name or a file name must not move the cursor, clear the
// screen or set the window title.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// `text` with every C0 control character (0x00-0x1F), DEL (0x7F), C1 control
// (U+0080-U+009F) and every byte that is not part of a valid UTF-8 sequence
// replaced by "?"; printable ASCII and valid UTF-8 come out unchanged.
std::string printable(std::string_view text);

} // namespace velkor
