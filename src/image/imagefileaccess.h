// How a row update reaches the image file. The receiver uses the file system
// directly (PosixImageFile); tests put a file in between that fails on cue, so
// that the retry of a failed write can be exercised without a broken disk.
#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkor {

class ImageFileAccess {
public:
  virtual ~ImageFileAccess() = default;
  virtual bool open(const std::string& path) = 0; // read and write, created when missing
  virtual int64_t size() = 0;                     // [bytes], -1 on failure
  virtual bool writeAt(int64_t offset, const void* data, std::size_t count) = 0;
  virtual bool truncate(int64_t size) = 0; // cut the file to `size` [bytes]
  virtual bool close() = 0;                // true when nothing is open
  virtual int error() const = 0;           // errno of the last failure
};

class PosixImageFile final : public ImageFileAccess {
public:
  bool open(const std::string& path) override { return file_.open(path, File::Mode::ReadWrite); }
  int64_t size() override { return file_.size(); }
  bool writeAt(int64_t offset, const void* data, std::size_t count) override {
    return file_.writeAt(offset, data, count);
  }
  bool truncate(int64_t size) override { return file_.truncate(size); }
  bool close() override { return file_.close(); }
  int error() const override { return file_.error(); }

private:
  File file_;
};

} // namespace velkor
