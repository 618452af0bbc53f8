#include "top/commandline.h"

#include "top/startup.h"

namespace velkor {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1 && arguments[0] == "--help") return {CommandLineAction::Help, ""};
  if (arguments.size() == 1 && arguments[0] == "--version") return {CommandLineAction::Version, ""};
  if (arguments.size() == 1 && arguments[0] == "--check") return {CommandLineAction::Check, configurationFileName({})};
  if (arguments.size() == 2 && arguments[0] == "--check") return {CommandLineAction::Check, arguments[1]};
  return {CommandLineAction::Run, configurationFileName(arguments)};
}

} // namespace velkor
