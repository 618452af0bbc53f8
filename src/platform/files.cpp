#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velkor {

File::~File() { close(); }

// Repeats `step` (read at most n bytes to out, `done` already read) until
// `count` bytes have come or the file ends; -1 with the error kept on failure.
template <typename Step>
int64_t File::readFully(void* buffer, std::size_t count, Step step) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    ssize_t got = step(out + done, count - done, done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_ = errno;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<int64_t>(done);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), position_(other.position_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    position_ = other.position_;
  }
  return *this;
}

bool File::open(const std::string& path, Mode mode) {
  close();
  int flags = O_RDONLY;
  if (mode == Mode::CreateTruncate) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == Mode::ReadWrite) flags = O_RDWR | O_CREAT;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd_ < 0) error_ = errno;
  position_ = 0;
  return fd_ >= 0;
}

int64_t File::size() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    error_ = errno;
    return -1;
  }
  return info.st_size;
}

int64_t File::read(void* buffer, std::size_t count) {
  const int64_t got =
      readFully(buffer, count, [this](char* out, std::size_t n, std::size_t) { return ::read(fd_, out, n); });
  if (got > 0) position_ += got;
  return got;
}

bool File::readAll(std::string& text) {
  char chunk[65536];
  for (;;) {
    int64_t got = read(chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) return true;
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

bool File::skip(int64_t count) {
  if (lseek(fd_, count, SEEK_CUR) < 0) {
    error_ = errno;
    return false;
  }
  position_ += count;
  return true;
}

bool File::write(const void* data, std::size_t count) {
  const auto* in = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t put = ::write(fd_, in, count);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      error_ = errno;
      return false;
    }
    in += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

bool File::writeAt(int64_t offset, const void* data, std::size_t count) {
  const auto* in = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t put = ::pwrite(fd_, in, count, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      error_ = errno;
      return false;
    }
    in += put;
    offset += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

int64_t File::readAt(int64_t offset, void* buffer, std::size_t count) {
  return readFully(buffer, count, [this, offset](char* out, std::size_t n, std::size_t done) {
    return ::pread(fd_, out, n, offset + static_cast<int64_t>(done));
  });
}

bool File::truncate(int64_t size) {
  if (::ftruncate(fd_, size) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool File::close() {
  if (fd_ < 0) return true;
  int result = ::close(std::exchange(fd_, -1));
  if (result != 0 && errno != EINTR) {
    error_ = errno;
    return false;
  }
  return true;
}

bool fileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool sameFile(const std::string& first, const std::string& second) {
  struct stat a {
  }, b{};
  const bool firstExists = ::stat(first.c_str(), &a) == 0;
  const bool secondExists = ::stat(second.c_str(), &b) == 0;
  if (firstExists && secondExists) return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  if (firstExists != secondExists) return false;
  std::error_code failed;
  const auto firstPath = std::filesystem::weakly_canonical(first, failed);
  if (failed) return false;
  const auto secondPath = std::filesystem::weakly_canonical(second, failed);
  return !failed && firstPath == secondPath;
}

int writeProbe(const std::string& path) {
  struct stat info {};
  const bool existed = ::lstat(path.c_str(), &info) == 0;
  // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ::close(fd);
  if (!existed) ::unlink(path.c_str());
  return 0;
}

std::string fileErrorText(int error) {
  if (error == ENOENT) return "file not found";
  return std::strerror(error);
}

} // namespace velkor
