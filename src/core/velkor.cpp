#include "core/velkor.h"

#include "acquisition/source.h"
#include "core/check.h"
#include "core/commandline.h"
#include "core/cycle.h"
#include "core/errors.h"
#include "core/startup.h"

#include <memory>
#include <new>
#include <ostream>

namespace velkor {

int runVelkor(const std::vector<std::string>& arguments, Platform& platform) {
  const CommandLine commandLine = parseCommandLine(arguments);
  switch (commandLine.action) {
  case CommandLineAction::Help: platform.console.write(usageText()); return 0;
  case CommandLineAction::Version: platform.console.write(std::string(kVersionText) + "\n"); return 0;
  case CommandLineAction::Check: return checkConfiguration(commandLine.configuration, platform);
  case CommandLineAction::Run: break;
  }
  platform.console.write(kBanner);
  platform.console.lineEnd();
  // The record is large and lives for the whole run: keep it off the stack.
  auto state = std::make_unique<State>();
  try {
    BlockReader reader = readBlock;
    startUp(*state, platform, commandLine.configuration, reader);
    runMainCycle(*state, platform, reader);
  } catch (const ProgramEnd& end) {
    return end.status;
  } catch (const FatalError& error) {
    platform.errors << "velkor: " << error.what() << std::endl;
    return 1;
  } catch (const std::bad_alloc&) {
    platform.errors << "velkor: out of memory: the configuration asks for more than this machine has" << std::endl;
    return 1;
  }
}

} // namespace velkor
