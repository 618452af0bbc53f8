#include "config/configcheck.h"

#include "config/config.h"
#include "ground/ini.h"
#include "ground/numbers.h"
#include "ground/printable.h"

#include <algorithm>
#include <cctype>

namespace velkor {

namespace {

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The candidate closest to `word`, or "" when none is near enough to be a typing slip.
std::string nearestName(std::string_view word, const std::vector<std::string>& candidates) {
  const std::size_t limit = word.size() <= 4 ? 1 : std::max<std::size_t>(2, word.size() / 3); // [edits]
  std::string best;
  std::size_t bestDistance = limit + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = editDistance(word, candidate);
    if (distance < bestDistance) best = candidate, bestDistance = distance;
  }
  return best;
}

// The named keys of `section` (list entries excluded).
std::vector<std::string> keysOf(std::string_view section) {
  std::vector<std::string> keys;
  for (const std::string& entry : configurationKeys()) {
    const auto blank = entry.find(' ');
    if (entry.compare(0, blank, section) == 0 && entry.substr(blank + 1) != "*")
      keys.push_back(entry.substr(blank + 1));
  }
  return keys;
}

// The sections in which `key` is a named key.
std::vector<std::string> sectionsWithKey(std::string_view key) {
  std::vector<std::string> sections;
  for (const std::string& section : configurationSections())
    if (isKnownKey(section, key)) sections.push_back(section);
  return sections;
}

bool beginsWithNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i < text.size() && text[i] == '.') ++i;
  return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

int32_t entryNumber(std::string_view key) { return roundToInteger<int32_t>(parseLeadingNumber(key)); }

// A key line of a list section that the reader stores as an entry.
bool isListEntry(std::string_view section, std::string_view key) {
  if (section == "stations") return entryNumber(key) != 0;
  if (section == "taisync") return entryNumber(key) > 0;
  if (section == "chaindelay") return beginsWithNumber(key);
  return section == "firfilter" && key == "tap";
}

std::string quoted(std::string_view text) { return "\"" + printable(text) + "\""; }

std::string unknownKeyText(const ConfigurationLine& line) {
  std::string text = "unknown key " + quoted(line.key) + " in [" + printable(line.section) + "]";
  const std::vector<std::string> elsewhere = sectionsWithKey(line.key);
  if (!elsewhere.empty()) return text + "; it is a key of [" + elsewhere.front() + "]";
  const std::string near = nearestName(line.key, keysOf(line.section));
  if (!near.empty()) return text + "; did you mean " + quoted(near) + "?";
  return text;
}

std::string unknownSectionText(std::string_view section) {
  std::string text = "unknown section [" + printable(section) + "], its keys are ignored";
  const std::string near = nearestName(section, configurationSections());
  if (!near.empty()) text += "; did you mean [" + near + "]?";
  return text;
}

std::string notANumberText(const ConfigurationLine& line) {
  return printable(line.key) + " = " + quoted(line.value) + ": not a number, read as 0";
}

// The value problems of a line the reader stores.
void checkValue(const ConfigurationLine& line, std::vector<ConfigurationProblem>& problems) {
  const bool known = isKnownKey(line.section, line.key);
  bool needsNumber = known ? keyReadsNumber(line.section, line.key) : line.section != "stations";
  if (line.section == "file" && line.key == "bits" && line.value.empty())
    needsNumber = false; // a bare bits line is valid
  if (needsNumber && !beginsWithNumber(line.value)) problems.push_back({line.number, notANumberText(line)});
  if (!known && line.section == "chaindelay") {
    const int32_t gri = entryNumber(line.key);
    if (gri < kLowestChainDelayGri || gri > kHighestChainDelayGri)
      problems.push_back({line.number, "chain delay for GRI " + printable(line.key) +
                                           " is ignored: the GRI must lie between 4001 and 9999"});
  }
}

} // namespace

std::vector<ConfigurationProblem> findTextProblems(std::string_view text) {
  std::vector<ConfigurationProblem> problems;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    problems.push_back({1, "note: the file begins with a byte-order mark, which is skipped"});
  const std::vector<std::string> sections = configurationSections();
  bool unknownSection = false;
  forEachConfigurationLine(
      text,
      [&](const ConfigurationLine& line) {
        if (unknownSection) return;
        if (isKnownKey(line.section, line.key) || isListEntry(line.section, line.key)) checkValue(line, problems);
        else problems.push_back({line.number, unknownKeyText(line), true, false});
      },
      [&](std::string_view section, int number) {
        unknownSection = std::find(sections.begin(), sections.end(), section) == sections.end();
        if (unknownSection) problems.push_back({number, unknownSectionText(section), true, false});
      });
  return problems;
}

int lastLineOf(std::string_view text, std::string_view section, std::string_view key) {
  int found = 0;
  forEachConfigurationLine(text, [&](const ConfigurationLine& line) {
    if (line.section == section && line.key == key) found = line.number;
  });
  return found;
}

EntryLines entryLines(std::string_view text) {
  EntryLines lines;
  forEachConfigurationLine(
      text,
      [&](const ConfigurationLine& line) {
        if (isKnownKey(line.section, line.key) || !isListEntry(line.section, line.key)) return;
        if (line.section == "stations" && lines.stations.size() < kStationCapacity)
          lines.stations.push_back(line.number);
        if (line.section == "taisync" && lines.tai.size() < kTaiCapacity) lines.tai.push_back(line.number);
      },
      [&](std::string_view section, int number) {
        if (section == "stations") lines.stationsHeader = number;
      });
  return lines;
}

} // namespace velkor
