#include "fuzzinput.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace velkor::fuzz {

namespace {

[[noreturn]] void giveUp(const char* what) {
  std::perror(what);
  std::abort();
}

} // namespace

MemoryFile::MemoryFile() : fd_(memfd_create("velkor-fuzz", 0)) {
  if (fd_ < 0) giveUp("memfd_create");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { close(fd_); }

void MemoryFile::replace(const uint8_t* data, std::size_t size) {
  if (ftruncate(fd_, 0) != 0) giveUp("ftruncate");
  std::size_t written = 0; // [bytes]
  while (written < size) {
    const ssize_t n = pwrite(fd_, data + written, size - written, static_cast<off_t>(written));
    if (n <= 0) giveUp("pwrite");
    written += static_cast<std::size_t>(n);
  }
}

} // namespace velkor::fuzz
