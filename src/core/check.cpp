#include "core/check.h"

#include "core/config.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/startup.h"
#include "platform/files.h"
#include "stations/stationmodel.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>

namespace velkor {

namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";
constexpr int kRiffProbeBytes = 12; // "RIFF", size, "WAVE"

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
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
    if (entry.compare(0, blank, section) == 0 && entry.substr(blank + 1) != "*") keys.push_back(entry.substr(blank + 1));
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

std::string quoted(std::string_view text) { return "\"" + printableText(text) + "\""; }

std::string unknownKeyText(const ConfigurationLine& line) {
  std::string text = "unknown key " + quoted(line.key) + " in [" + printableText(line.section) + "]";
  const std::vector<std::string> elsewhere = sectionsWithKey(line.key);
  if (!elsewhere.empty()) return text + "; it is a key of [" + elsewhere.front() + "]";
  const std::string near = nearestName(line.key, keysOf(line.section));
  if (!near.empty()) return text + "; did you mean " + quoted(near) + "?";
  return text;
}

std::string unknownSectionText(std::string_view section) {
  std::string text = "unknown section [" + printableText(section) + "], its keys are ignored";
  const std::string near = nearestName(section, configurationSections());
  if (!near.empty()) text += "; did you mean [" + near + "]?";
  return text;
}

std::string notANumberText(const ConfigurationLine& line) {
  return printableText(line.key) + " = " + quoted(line.value) + ": not a number, read as 0";
}

// The value problems of a line the reader stores.
void checkValue(const ConfigurationLine& line, std::vector<ConfigurationProblem>& problems) {
  const bool known = isKnownKey(line.section, line.key);
  bool needsNumber = known ? keyReadsNumber(line.section, line.key) : line.section != "stations";
  if (line.section == "file" && line.key == "bits" && line.value.empty()) needsNumber = false; // a bare bits line is valid
  if (needsNumber && !beginsWithNumber(line.value)) problems.push_back({line.number, notANumberText(line)});
  if (!known && line.section == "chaindelay") {
    const int32_t gri = entryNumber(line.key);
    if (gri <= 4000 || gri >= 10000)
      problems.push_back({line.number, "chain delay for GRI " + printableText(line.key) +
                                           " is ignored: the GRI must lie between 4001 and 9999"});
  }
}

// The line of the last `key` in [section], 0 when it is not given.
int lastLineOf(std::string_view text, std::string_view section, std::string_view key) {
  int found = 0;
  forEachConfigurationLine(text, [&](const ConfigurationLine& line) {
    if (line.section == section && line.key == key) found = line.number;
  });
  return found;
}

struct EntryLines {
  std::vector<int> stations; // line of each stored [stations] entry
  std::vector<int> tai;      // line of each stored [taisync] entry
  int stationsHeader = 0;    // line of the last [stations] header
};

EntryLines entryLines(std::string_view text) {
  EntryLines lines;
  forEachConfigurationLine(
      text,
      [&](const ConfigurationLine& line) {
        if (isKnownKey(line.section, line.key) || !isListEntry(line.section, line.key)) return;
        if (line.section == "stations" && lines.stations.size() < kStationCapacity) lines.stations.push_back(line.number);
        if (line.section == "taisync" && lines.tai.size() < kTaiCapacity) lines.tai.push_back(line.number);
      },
      [&](std::string_view section, int number) {
        if (section == "stations") lines.stationsHeader = number;
      });
  return lines;
}

bool inTable(const std::vector<TableRecord>& table, int32_t gri, char letter) {
  return std::any_of(table.begin(), table.end(), [&](const TableRecord& record) {
    return record.gri == gri && record.letter.size() == 1 && record.letter[0] == letter;
  });
}

std::string stationName(int32_t gri, char letter) { return std::to_string(gri) + " " + std::string(1, letter); }

// Reads the configuration as a start-up would and adds what the settings,
// the station table and the input say.
class Checker {
public:
  Checker(std::string_view text, Platform& platform) : text_(text), state_(std::make_unique<State>()) {
    state_->date = platform.clock.dateText();
    state_->time = platform.clock.timeText();
  }

  std::vector<ConfigurationProblem> run() {
    problems_ = findTextProblems(text_);
    std::ostringstream warnings;
    applyConfigurationText(*state_, text_, warnings);
    addWarnings(warnings.str());
    passes([&] { validateSettings(*state_); });
    if (!passes([&] { buildStationModel(*state_); })) return problems_;
    checkStations();
    checkTable();
    checkInput();
    return problems_;
  }

private:
  void add(int line, std::string text, bool fatal) { problems_.push_back({line, std::move(text), false, fatal}); }

  void addWarnings(const std::string& warnings) {
    std::istringstream lines(warnings);
    for (std::string line; std::getline(lines, line);) {
      const std::string prefix = "velkor: warning: ";
      add(0, line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line, false);
    }
  }

  // Runs a start-up step; a refusal it throws becomes a problem that makes the run useless.
  template <typename Step>
  bool passes(Step step) {
    try {
      step();
      return true;
    } catch (const FatalError& error) {
      add(0, printableText(error.what()), true);
      return false;
    }
  }

  void checkStations() {
    const State& s = *state_;
    if (s.stationcount == 0)
      add(entryLines(text_).stationsHeader, "no stations: [stations] names none, so there is nothing to receive", true);
    else if (s.referencestation < 0 || s.referencestation >= s.stationcount)
      add(lastLineOf(text_, "amplitude", "referencestation"),
          "referencestation = " + std::to_string(s.referencestation) + " names no station (there are " +
              std::to_string(s.stationcount) + ", counted from 0)",
          true);
  }

  void checkTable() {
    const State& s = *state_;
    const int line = lastLineOf(text_, "file", "table");
    std::vector<TableRecord> table;
    std::ostringstream warnings;
    try {
      table = readTableRecords(s.table, warnings);
    } catch (const FatalError& error) {
      add(line, "station table " + quoted(s.table) + ": " + error.reason(), true);
      return;
    }
    addWarnings(warnings.str());
    const EntryLines lines = entryLines(text_);
    checkEntries(table, "station ", s.stationgri, s.stationletter, lines.stations);
    checkEntries(table, "sync entry ", s.taigri, s.tailetter, lines.tai);
  }

  // One problem per entry (GRI and letter) that the table lacks, at the entry's line.
  void checkEntries(const std::vector<TableRecord>& table, const char* what, const std::vector<int32_t>& gri,
                    const std::vector<char>& letter, const std::vector<int>& lines) {
    for (std::size_t i = 0; i < gri.size(); ++i)
      if (!inTable(table, gri[i], letter[i]))
        add(i < lines.size() ? lines[i] : 0,
            what + stationName(gri[i], letter[i]) + " is not in the station table " + quoted(state_->table), false);
  }

  void checkInput() {
    const State& s = *state_;
    if (!s.wavinput) return; // raw files come and go: a missing one is waited for
    const int line = lastLineOf(text_, "file", "wav");
    File input;
    if (!input.open(s.inputfile, File::Mode::Read)) {
      add(line, "input " + quoted(s.inputfile) + ": " + fileErrorText(input.error()), true);
      return;
    }
    char probe[kRiffProbeBytes] = {};
    if (input.read(probe, sizeof probe) != kRiffProbeBytes || std::memcmp(probe, "RIFF", 4) != 0 ||
        std::memcmp(probe + 8, "WAVE", 4) != 0)
      add(line, "input " + quoted(s.inputfile) + " is not a RIFF/WAVE file", true);
  }

  std::string_view text_;
  std::unique_ptr<State> state_; // large: off the stack
  std::vector<ConfigurationProblem> problems_;
};

std::string locate(const std::string& fileName, int line) {
  return printableText(fileName) + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

std::string summary(const std::vector<ConfigurationProblem>& problems) {
  const auto fatal = std::count_if(problems.begin(), problems.end(), [](const auto& p) { return p.fatal; });
  if (problems.empty()) return "no problems found";
  std::string text = std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems");
  if (fatal == 0) return text + "; none keeps the run from working";
  return text + ", " + std::to_string(fatal) + (fatal == 1 ? " makes" : " make") + " the run useless";
}

} // namespace

std::string printableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f) c = '?';
  }
  return out;
}

std::vector<ConfigurationProblem> findTextProblems(std::string_view text) {
  std::vector<ConfigurationProblem> problems;
  if (text.substr(0, 3) == kByteOrderMark)
    problems.push_back({1, "the file begins with a byte-order mark, which hides its first line; save it without one",
                        false, true});
  const std::vector<std::string> sections = configurationSections();
  bool unknownSection = false;
  forEachConfigurationLine(
      text,
      [&](const ConfigurationLine& line) {
        if (unknownSection) return;
        if (isKnownKey(line.section, line.key) || isListEntry(line.section, line.key))
          checkValue(line, problems);
        else
          problems.push_back({line.number, unknownKeyText(line), true, false});
      },
      [&](std::string_view section, int number) {
        unknownSection = std::find(sections.begin(), sections.end(), section) == sections.end();
        if (unknownSection) problems.push_back({number, unknownSectionText(section), true, false});
      });
  return problems;
}

void warnAboutUnknownNames(std::string_view text, const std::string& fileName, std::ostream& warnings) {
  for (const ConfigurationProblem& problem : findTextProblems(text))
    if (problem.unknownName) warnings << "velkor: warning: " << locate(fileName, problem.line) << problem.text << "\n";
  warnings.flush();
}

int checkConfiguration(const std::string& fileName, Platform& platform) {
  std::string text;
  try {
    text = readWholeFile(fileName);
  } catch (const FatalError& error) {
    platform.console.write(locate(fileName, 0) + printableText(error.reason()) + "\n");
    return 1;
  }
  std::vector<ConfigurationProblem> problems = Checker(text, platform).run();
  // File order; problems of the file as a whole after those of its lines.
  std::stable_sort(problems.begin(), problems.end(), [](const auto& a, const auto& b) {
    return (a.line == 0 ? INT32_MAX : a.line) < (b.line == 0 ? INT32_MAX : b.line);
  });
  for (const ConfigurationProblem& problem : problems)
    platform.console.write(locate(fileName, problem.line) + problem.text + "\n");
  platform.console.write(locate(fileName, 0) + summary(problems) + "\n");
  return std::any_of(problems.begin(), problems.end(), [](const auto& p) { return p.fatal; }) ? 1 : 0;
}

} // namespace velkor
