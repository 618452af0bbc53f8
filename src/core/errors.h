// How the receiver stops: a fatal error is reported as "velkor: <what>: <reason>"
// on stderr with exit status 1; an orderly end (key q, end of input) unwinds
// with its exit status so that the terminal and open files are restored.
#pragma once

#include <stdexcept>
#include <string>

namespace velkor {

class FatalError : public std::runtime_error {
public:
  FatalError(const std::string& subject, const std::string& reason)
      : std::runtime_error(subject + ": " + reason), subject_(subject), reason_(reason) {}
  const std::string& subject() const { return subject_; }
  const std::string& reason() const { return reason_; }

private:
  std::string subject_;
  std::string reason_;
};

struct ProgramEnd {
  int status = 0;
};

} // namespace velkor
