// What the fuzzers share: the fuzz input as a file the receiver's readers can
// open by name, without touching the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkor::fuzz {

// A file in memory (memfd) that readers open as "/proc/self/fd/<n>"; every
// open of that name reads the content last written.
class MemoryFile {
public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the content with `size` bytes from `data`; aborts when the
  // system refuses, since the fuzzer could not test anything then.
  void replace(const uint8_t* data, std::size_t size);
  // The name under which the content can be opened.
  const std::string& path() const { return path_; }

private:
  int fd_ = -1;
  std::string path_;
};

} // namespace velkor::fuzz
