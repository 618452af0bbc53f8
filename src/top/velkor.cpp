#include "top/velkor.h"

#include "display/display.h"
#include "ground/errors.h"
#include "ground/printable.h"
#include "top/check.h"
#include "top/commandline.h"
#include "top/cycle.h"
#include "top/input.h"
#include "top/record.h"
#include "top/startup.h"

#include <memory>
#include <new>
#include <ostream>

namespace velkor {

namespace {

int receive(const std::string& configurationFile, Platform& platform) {
  printBanner(platform.console);
  // The record is large and lives for the whole run: keep it off the stack.
  auto record = std::make_unique<Record>();
  try {
    const BlockReader reader = blockReader(*record, platform);
    Outcome outcome = startUp(*record, platform, configurationFile, reader);
    if (outcome == Outcome::ready) outcome = runMainCycle(*record, platform, reader);
    return shutDown(*record, platform, outcome);
  } catch (const FatalError& error) {
    // The message names files and settings as the user wrote them.
    platform.errors << "velkor: " << printable(error.what()) << std::endl;
    return 1;
  } catch (const std::bad_alloc&) {
    platform.errors << "velkor: out of memory: the configuration asks for more than this machine has" << std::endl;
    return 1;
  }
}

} // namespace

int runVelkor(const std::vector<std::string>& arguments, Platform& platform) {
  const CommandLine commandLine = parseCommandLine(arguments);
  switch (commandLine.action) {
  case CommandLineAction::Help:
    printUsage(platform.console);
    return 0;
  case CommandLineAction::Version:
    printVersion(platform.console);
    return 0;
  case CommandLineAction::Check:
    return checkConfiguration(commandLine.configuration, platform);
  case CommandLineAction::Run:
    break;
  }
  return receive(commandLine.configuration, platform);
}

} // namespace velkor
