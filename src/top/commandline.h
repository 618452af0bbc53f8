// The command line: a sole --help or --version, or --check optionally
// followed by one configuration file name, is an option; every other command
// line names the configuration file, its arguments joined by single blanks.
#pragma once

#include <string>
#include <vector>

namespace velkor {

enum class CommandLineAction { Run, Help, Version, Check };

struct CommandLine {
  CommandLineAction action = CommandLineAction::Run;
  std::string configuration; // file name for Run and Check
};

// What the arguments after the program name ask for.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

} // namespace velkor
