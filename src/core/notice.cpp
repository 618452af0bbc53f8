#include "core/notice.h"

#include <ostream>

namespace velkor {

namespace {

// Length of the valid UTF-8 sequence at `at` that is not a C1 control, or 0.
std::size_t printableSequence(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (lead == 0xC2 && second < 0xA0) return 0;                 // C1 controls
  if (lead == 0xE0 && second < 0xA0) return 0;                 // overlong
  if (lead == 0xED && second >= 0xA0) return 0;                // surrogates
  if (lead == 0xF0 && second < 0x90) return 0;                 // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;                // above U+10FFFF
  return length;
}

} // namespace

void printNotice(Platform& platform, const std::string& text) {
  platform.console.endCurrentLine();
  platform.errors << "velkor: " << text << '\n';
  platform.errors.flush();
}

void notify(const State& s, Platform& platform, const std::string& text) {
  if (s.notices != 0) printNotice(platform, text);
}

std::string printableText(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += text[at++];
    } else if (const std::size_t length = byte >= 0x80 ? printableSequence(text, at) : 0; length > 0) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      out += '?';
      at += 1;
    }
  }
  return out;
}

} // namespace velkor
