#include "top/velkor.h"
#include "platform/posixplatform.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  velkor::StreamConsole console(std::cout, isatty(STDOUT_FILENO) == 1);
  // Warnings on the console's own terminal start on a row of their own.
  velkor::ConsoleAwareErrors errorBuffer(std::cerr.rdbuf(),
                                         velkor::sameTerminal(STDOUT_FILENO, STDERR_FILENO) ? &console : nullptr);
  std::ostream errors(&errorBuffer);
  errors.tie(&std::cout);
  errors.setf(std::ios::unitbuf);
  velkor::StdinKeyboard keyboard;
  velkor::SystemClock clock;
  velkor::ShellRunner commands;
  velkor::FixedSeedRandom random;
  velkor::Platform platform{console, keyboard, clock, commands, random, errors};
  const int status = velkor::runVelkor(arguments, platform);
  console.leaveRow(); // the last status line stays above the prompt
  return status;
}
