// velkor-synth: writes a synthetic Loran-C recording (WAV or raw sample files)
// and the truth about it, from a settings file (default "synth.ini"; see
// docs/synth.md). The truth goes to <output>.json and, readable, to stdout.
#include "recording.h"
#include "scenario.h"
#include "synthconfig.h"

#include "ground/errors.h"
#include "ground/printable.h"
#include "stations/stationmodel.h"

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

// `text` line by line through printable(): file and station names in it come
// from the settings and the table, and must not reach the terminal raw.
std::string printableLines(const std::string& text) {
  std::string out;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
    out += velkor::printable(std::string_view(text).substr(begin, end - begin)) + "\n";
  return out + velkor::printable(std::string_view(text).substr(begin));
}

} // namespace

int main(int argc, char** argv) {
  using namespace velkor::synth;
  std::string fileName = "synth.ini";
  if (argc > 1) {
    std::string first = argv[1];
    if (first == "-h" || first == "--help") {
      std::cout << "usage: velkor-synth [settings file]   (default synth.ini)\n"
                   "writes the recording and its truth <output>.json; see docs/synth.md\n";
      return 0;
    }
    fileName.clear();
    for (int i = 1; i < argc; ++i) fileName += (i > 1 ? " " : "") + std::string(argv[i]);
  }
  try {
    SynthConfig config = readSynthConfig(fileName);
    std::string problem = checkSynthConfig(config);
    if (!problem.empty()) throw std::runtime_error(fileName + ": " + problem);
    std::vector<velkor::TableRecord> table;
    if (!config.stations.empty()) table = velkor::readTableRecords(config.table, std::cerr);
    Scenario scenario = buildScenario(config, table);
    RecordingResult result = writeRecording(scenario);
    std::string truthName = config.output + ".json";
    std::ofstream truth(truthName, std::ios::binary | std::ios::trunc);
    truth << truthJson(scenario, result);
    truth.close();
    if (!truth) throw std::runtime_error(truthName + ": cannot be written");
    std::cout << printableLines(truthText(scenario, result) + "truth        " + truthName + "\n");
    return 0;
  } catch (const velkor::FatalError& e) {
    std::cerr << "velkor-synth: " << velkor::printable(e.what()) << "\n";
  } catch (const std::exception& e) {
    std::cerr << "velkor-synth: " << velkor::printable(e.what()) << "\n";
  }
  return 1;
}
