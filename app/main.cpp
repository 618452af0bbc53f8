#include "top/velkor.h"
#include "platform/posixplatform.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  velkor::StreamConsole console(std::cout, isatty(STDOUT_FILENO) == 1);
  velkor::StdinKeyboard keyboard;
  velkor::SystemClock clock;
  velkor::ShellRunner commands;
  velkor::FixedSeedRandom random;
  velkor::Platform platform{console, keyboard, clock, commands, random, std::cerr};
  return velkor::runVelkor(arguments, platform);
}
