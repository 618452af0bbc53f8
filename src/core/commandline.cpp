#include "core/commandline.h"

#include "core/startup.h"

namespace velkor {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1 && arguments[0] == "--help") return {CommandLineAction::Help, ""};
  if (arguments.size() == 1 && arguments[0] == "--version") return {CommandLineAction::Version, ""};
  if (arguments.size() == 1 && arguments[0] == "--check") return {CommandLineAction::Check, "velkor.ini"};
  if (arguments.size() == 2 && arguments[0] == "--check") return {CommandLineAction::Check, arguments[1]};
  return {CommandLineAction::Run, configurationFileName(arguments)};
}

std::string usageText() {
  return "usage: velkor [CONFIG]          receive with the configuration CONFIG (default velkor.ini)\n"
         "       velkor --check [CONFIG]  list the mistakes in CONFIG and what it names, exit 1 if the\n"
         "                                run would be useless\n"
         "       velkor --help            show this text\n"
         "       velkor --version         show the version\n"
         "Keys while running: q ends velkor. A configuration file name with blanks may be given\n"
         "unquoted: the arguments are joined by single blanks. See man velkor.\n";
}

} // namespace velkor
