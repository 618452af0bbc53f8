// Plain POSIX file access: whole-file and positioned reads and writes with the
// system's error codes kept for reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkor {

class File {
public:
  enum class Mode {
    Read,           // existing file, read only
    CreateTruncate, // create, or empty an existing file, write only
    ReadWrite,      // read and write without truncation; created when missing
  };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool open(const std::string& path, Mode mode);
  bool isOpen() const { return fd_ >= 0; }
  int64_t size();                                  // [bytes], -1 on failure
  int64_t read(void* buffer, std::size_t count);   // bytes read (short only at the end), -1 on failure
  bool readAll(std::string& text);                 // the rest of the file appended
  bool skip(int64_t count);                        // move the read position forward
  bool write(const void* data, std::size_t count); // at the current position
  bool writeAt(int64_t offset, const void* data, std::size_t count);
  int64_t readAt(int64_t offset, void* buffer, std::size_t count); // bytes read (short only at the end), -1 on failure
  bool truncate(int64_t size);                                     // cut the file to `size` bytes
  bool close();                                                    // false when the close itself failed
  int error() const { return error_; }                             // errno of the last failure
  int64_t position() const { return position_; }                   // [bytes] read and skipped since the open

private:
  template <typename Step>
  int64_t readFully(void* buffer, std::size_t count, Step step);
  int fd_ = -1;
  int error_ = 0;
  int64_t position_ = 0; // [bytes] read and skipped since the open
};

// Whether `path` names an existing file or folder (access F_OK).
bool fileExists(const std::string& path);
// Deletes `path` (unlink); false when it stays, errno telling why.
bool removeFile(const std::string& path);
// Whether the two paths name one file: the same device and inode when both
// exist, otherwise the same absolute path once ".", ".." and the symbolic
// links of its existing folders are resolved (a file still to come). Reads
// only the file system's directory entries; used to keep outputs off inputs.
bool sameFile(const std::string& first, const std::string& second);
// Whether `path` could be opened for writing: 0 or the errno of the failure.
// An existing file is opened without truncation and closed unwritten; a
// missing one is created and deleted again, so nothing is left changed.
int writeProbe(const std::string& path);
// "file not found" for a missing file, the system's text otherwise.
std::string fileErrorText(int error);

} // namespace velkor
