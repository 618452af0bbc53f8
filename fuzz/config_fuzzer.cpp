// The configuration reader on arbitrary text: the settings, the check of
// names and values, and the start-up steps that take the settings further
// (validation, station model, table completion, station list, chain timing,
// block geometry, clock time), as a run reads a configuration file. Refusals
// (FatalError) are the reader's answer to bad input; anything else that
// escapes, and every sanitizer report, is a crash.
#include "fuzzinput.h"

#include "acquisition/source.h"
#include "config/config.h"
#include "config/configcheck.h"
#include "display/display.h"
#include "ground/errors.h"
#include "platform/posixplatform.h"
#include "stations/chaintiming.h"
#include "stations/stationmodel.h"
#include "timing/calendar.h"
#include "timing/sync.h"

#include <sstream>
#include <string_view>

namespace {

using namespace velkor;

// The shipped station table, read once; empty when it is not at hand.
const std::vector<TableRecord>& shippedTable() {
  static const std::vector<TableRecord> table = [] {
    std::ostringstream warnings;
    try {
      return readTableRecords(VELKOR_FUZZ_TABLE, warnings);
    } catch (const FatalError&) {
      return std::vector<TableRecord>{};
    }
  }();
  return table;
}

// The start-up steps after the reading, in the order of a run.
void startUpFrom(Settings& settings, std::ostream& warnings, Console& console) {
  validateSettings(settings);
  clampBlankingWindow(settings);
  Stations stations;
  buildStationModel(settings, stations);
  completeFromTable(settings, stations, shippedTable());
  blankByDistance(settings, stations);
  printStationList(stations, console);
  printStationSummary(settings, stations, console);
  buildStationOrder(stations);
  Acquisition acquisition;
  computeBlockGeometry(settings, acquisition);
  computeChainTiming(settings, stations);
  Timing timing;
  timing.date = settings.date;
  timing.time = settings.time;
  computeClockTime(settings, timing);
  if (syncPlan(settings) == SyncPlan::run) announceSync(settings, console);
  warnings << rawFileWait(settings);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  std::ostringstream warnings;
  StreamConsole console(out, false);

  const std::vector<ConfigurationProblem> problems = findTextProblems(text);
  printCheckReport("fuzz.ini", problems, console);
  warnUnknownNames("fuzz.ini", problems, warnings);
  entryLines(text);
  lastLineOf(text, "file", "wav");

  Settings settings;
  settings.date = "01-01-2001";
  settings.time = "00:00:00";
  applyConfigurationText(settings, text, warnings);
  try {
    startUpFrom(settings, warnings, console);
  } catch (const FatalError& refusal) {
    warnings << refusal.what();
  }
  return 0;
}
