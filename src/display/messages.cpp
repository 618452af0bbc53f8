// The command line's own output (--help, --version, --check) and the
// warnings about the configuration and the input that every run gives.
#include "display/display.h"
#include "ground/printable.h"

#include <algorithm>
#include <ostream>

namespace velkor {

namespace {

inline constexpr const char* kVersionText = "velkor " VELKOR_VERSION;

std::string locate(const std::string& fileName, int line) {
  return printable(fileName) + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

std::string summary(const std::vector<ConfigurationProblem>& problems) {
  const auto fatal = std::count_if(problems.begin(), problems.end(), [](const auto& p) { return p.fatal; });
  if (problems.empty()) return "no problems found";
  std::string text = std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems");
  if (fatal == 0) return text + "; none keeps the run from working";
  return text + ", " + std::to_string(fatal) + (fatal == 1 ? " makes" : " make") + " the run useless";
}

} // namespace

void printUsage(Console& console) {
  console.write("usage: velkor [CONFIG]          receive with the configuration CONFIG (default velkor.ini)\n"
                "       velkor --check [CONFIG]  list the mistakes in CONFIG and what it names, exit 1 if the\n"
                "                                run would be useless\n"
                "       velkor --help            show this text\n"
                "       velkor --version         show the version\n"
                "Keys while running: q ends velkor. A configuration file name with blanks may be given\n"
                "unquoted: the arguments are joined by single blanks. See man velkor.\n");
}

void printVersion(Console& console) { console.write(std::string(kVersionText) + "\n"); }

void printUnreadableConfiguration(const std::string& fileName, const std::string& reason, Console& console) {
  console.write(locate(fileName, 0) + printable(reason) + "\n");
}

void printCheckReport(const std::string& fileName, const std::vector<ConfigurationProblem>& problems,
                      Console& console) {
  for (const ConfigurationProblem& problem : problems)
    console.write(locate(fileName, problem.line) + problem.text + "\n");
  console.write(locate(fileName, 0) + summary(problems) + "\n");
}

void warnUnknownNames(const std::string& fileName, const std::vector<ConfigurationProblem>& problems,
                      std::ostream& errors) {
  for (const ConfigurationProblem& problem : problems)
    if (problem.unknownName) errors << "velkor: warning: " << locate(fileName, problem.line) << problem.text << "\n";
  errors.flush();
}

void warnNotRiffWave(const Settings& settings, std::ostream& errors) {
  errors << "velkor: warning: " << printable(settings.inputfile)
         << ": not a RIFF/WAVE file; read as a 46-byte header followed by raw samples" << std::endl;
}

} // namespace velkor
