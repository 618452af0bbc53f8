// How the receiver fails: a fatal error is thrown as FatalError and reported by
// the top as "velkor: <what>: <reason>" on stderr with exit status 1. An
// orderly end (key q, end of input) is no error: it is returned as an Outcome
// (ground/outcome.h).
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

} // namespace velkor
