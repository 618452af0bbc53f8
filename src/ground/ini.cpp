#include "ground/ini.h"

#include "ground/errors.h"
#include "platform/files.h"

#include <cctype>

namespace velkor {

namespace {

// ---- Lines --------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Comment cut, blanks trimmed; case and inner text as written.
std::string_view reduceLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  line = line.substr(0, line.find(';'));
  line = line.substr(0, line.find('\''));
  return trimBlanks(line);
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

} // namespace

std::string_view withoutByteOrderMark(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  return text;
}

void forEachConfigurationLine(std::string_view text, const std::function<void(const ConfigurationLine&)>& apply,
                              const std::function<void(std::string_view section, int number)>& header) {
  text = withoutByteOrderMark(text);
  std::string section;
  int number = 0; // [lines] of the line at hand, from 1
  while (!text.empty()) {
    ++number;
    auto end = text.find('\n');
    std::string_view original = reduceLine(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (original.empty()) continue;
    std::string line = lowerCase(original);
    if (line.front() == '[') {
      section = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
      if (header) header(section, number);
      continue;
    }
    std::string_view lowered(line);
    auto equals = lowered.find('=');
    std::string_view key = trimBlanks(lowered.substr(0, equals));
    std::size_t valueStart = equals == std::string_view::npos ? lowered.size() : equals + 1;
    while (valueStart < lowered.size() && lowered[valueStart] == ' ') ++valueStart;
    if (key.empty() || section.empty()) continue;
    apply({section, key, lowered.substr(valueStart), original.substr(valueStart), number});
  }
}

std::string readWholeFile(const std::string& fileName) {
  File file;
  std::string text;
  if (!file.open(fileName, File::Mode::Read) || !file.readAll(text))
    throw FatalError(fileName, fileErrorText(file.error()));
  return text;
}

} // namespace velkor
