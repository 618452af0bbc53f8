#include "top/check.h"

#include "config/config.h"
#include "display/display.h"
#include "ground/errors.h"
#include "ground/ini.h"
#include "ground/printable.h"
#include "platform/files.h"
#include "stations/stationmodel.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <sstream>

namespace velkor {

namespace {

constexpr int kRiffProbeBytes = 12; // "RIFF", size, "WAVE"

std::string quoted(std::string_view text) { return "\"" + printable(text) + "\""; }

bool inTable(const std::vector<TableRecord>& table, int32_t gri, char letter) {
  return std::any_of(table.begin(), table.end(),
                     [&](const TableRecord& record) { return sameStation(gri, letter, record); });
}

std::string stationName(int32_t gri, char letter) {
  return std::to_string(gri) + " " + printable(std::string(1, letter));
}

// Reads the configuration as a start-up would and adds what the settings,
// the station table and the input say.
class Checker {
public:
  Checker(std::string_view text, Clock& clock) : text_(text) {
    settings_.date = clock.dateText();
    settings_.time = clock.timeText();
  }

  std::vector<ConfigurationProblem> run() {
    problems_ = findTextProblems(text_);
    std::ostringstream warnings;
    applyConfigurationText(settings_, text_, warnings);
    addWarnings(warnings.str());
    passes([&] { validateSettings(settings_); });
    if (!passes([&] { buildStationModel(settings_, stations_); })) return problems_;
    checkStations();
    checkTable();
    checkInput();
    return problems_;
  }

private:
  void add(int line, std::string text, bool fatal) { problems_.push_back({line, std::move(text), false, fatal}); }

  void addWarnings(const std::string& warnings) {
    std::istringstream lines(warnings);
    const std::string prefix = "velkor: warning: ";
    for (std::string line; std::getline(lines, line);)
      add(0, printable(line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line), false);
  }

  // Runs a start-up step; a refusal it throws becomes a problem that makes the run useless.
  template <typename Step>
  bool passes(Step step) {
    try {
      step();
      return true;
    } catch (const FatalError& error) {
      add(0, printable(error.what()), true);
      return false;
    }
  }

  void checkStations() {
    const int32_t count = stations_.stationcount();
    const int32_t reference = settings_.referencestation;
    if (count == 0)
      add(entryLines(text_).stationsHeader, "no stations: [stations] names none, so there is nothing to receive", true);
    else if (reference < 0 || reference >= count)
      add(lastLineOf(text_, "amplitude", "referencestation"),
          "referencestation = " + std::to_string(reference) + " names no station (there are " + std::to_string(count) +
              ", counted from 0)",
          true);
  }

  void checkTable() {
    const int line = lastLineOf(text_, "file", "table");
    std::vector<TableRecord> table;
    std::ostringstream warnings;
    try {
      table = readTableRecords(settings_.table, warnings);
    } catch (const FatalError& error) {
      // A refused record names its own line of the table: keep it.
      const bool recordRefused = error.subject() != settings_.table;
      add(line,
          "station table " + quoted(settings_.table) + ": " +
              (recordRefused ? printable(error.what()) : error.reason()),
          true);
      return;
    }
    addWarnings(warnings.str());
    const EntryLines lines = entryLines(text_);
    for (std::size_t i = 0; i < stations_.stationgri.size(); ++i)
      checkEntry(table, "station ", stations_.stationgri[i], stations_.stationletter[i], lines.stations, i);
    for (std::size_t i = 0; i < settings_.taientries.size(); ++i)
      checkEntry(table, "sync entry ", settings_.taientries[i].gri, settings_.taientries[i].letter, lines.tai, i);
  }

  // A problem at the entry's line when the table lacks its GRI and letter.
  void checkEntry(const std::vector<TableRecord>& table, const char* what, int32_t gri, char letter,
                  const std::vector<int>& lines, std::size_t index) {
    if (inTable(table, gri, letter)) return;
    add(index < lines.size() ? lines[index] : 0,
        what + stationName(gri, letter) + " is not in the station table " + quoted(settings_.table), false);
  }

  void checkInput() {
    if (!settings_.wavinput) return; // raw files come and go: a missing one is waited for
    const int line = lastLineOf(text_, "file", "wav");
    File input;
    if (!input.open(settings_.inputfile, File::Mode::Read)) {
      add(line, "input " + quoted(settings_.inputfile) + ": " + fileErrorText(input.error()), true);
      return;
    }
    char probe[kRiffProbeBytes] = {};
    if (input.read(probe, sizeof probe) != kRiffProbeBytes || std::memcmp(probe, "RIFF", 4) != 0 ||
        std::memcmp(probe + 8, "WAVE", 4) != 0)
      add(line, "input " + quoted(settings_.inputfile) + " is not a RIFF/WAVE file", true);
  }

  std::string_view text_;
  Settings settings_;
  Stations stations_;
  std::vector<ConfigurationProblem> problems_;
};

} // namespace

std::vector<ConfigurationProblem> checkConfigurationText(std::string_view text, Clock& clock) {
  std::vector<ConfigurationProblem> problems = Checker(text, clock).run();
  std::stable_sort(problems.begin(), problems.end(), [](const auto& a, const auto& b) {
    return (a.line == 0 ? INT_MAX : a.line) < (b.line == 0 ? INT_MAX : b.line);
  });
  return problems;
}

int checkConfiguration(const std::string& fileName, Platform& platform) {
  std::string text;
  try {
    text = readWholeFile(fileName);
  } catch (const FatalError& error) {
    printUnreadableConfiguration(fileName, error.reason(), platform.console);
    return 1;
  }
  const std::vector<ConfigurationProblem> problems = checkConfigurationText(text, platform.clock);
  printCheckReport(fileName, problems, platform.console);
  return std::any_of(problems.begin(), problems.end(), [](const auto& p) { return p.fatal; }) ? 1 : 0;
}

} // namespace velkor
