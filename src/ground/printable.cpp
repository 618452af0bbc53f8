#include "ground/printable.h"

#include <cstdint>

namespace velkor {

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The well-formed UTF-8 sequence at `at`: its length and whether it encodes a
// printable character (not a C1 control). Length 0 when the bytes there are
// no such sequence (an overlong form, a surrogate, beyond U+10FFFF, cut
// short). Only called on a byte of 0x80 or above.
struct Sequence {
  std::size_t length = 0;
  bool printable = false;
};

Sequence sequenceAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1Fu;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0Fu;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07u;
  else return {};
  if (at + length > text.size()) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if (!isContinuation(byte)) return {};
    code = (code << 6) | (byte & 0x3Fu);
  }
  const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF) return {};
  if (code >= 0xD800 && code <= 0xDFFF) return {}; // surrogates are not characters
  return {length, code > 0x9F};                    // U+0080 ... U+009F: C1 controls
}

} // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      out += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
      ++at;
      continue;
    }
    const Sequence sequence = sequenceAt(text, at);
    if (sequence.length == 0) {
      out += '?'; // one for each byte that belongs to no character
      ++at;
      continue;
    }
    if (sequence.printable) out.append(text, at, sequence.length);
    else out += '?';
    at += sequence.length;
  }
  return out;
}

} // namespace velkor
