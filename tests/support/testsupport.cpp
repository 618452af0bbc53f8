#include "support/testplatform.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velkor::test {

int ScriptedKeyboard::readKey() {
  if (keys.empty()) return -1;
  int key = keys.front();
  keys.pop_front();
  return key;
}

void ScriptedKeyboard::waitForKey(double seconds) {
  ++waits;
  waited += seconds;
  if (onWait) onWait();
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  auto base = std::filesystem::temp_directory_path();
  path_ = base / ("velkor-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out << content;
}

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void inDirectory(const std::filesystem::path& dir, const std::function<void()>& f) {
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  try {
    f();
  } catch (...) {
    std::filesystem::current_path(previous);
    throw;
  }
  std::filesystem::current_path(previous);
}

std::filesystem::path sharedDataDir() {
  auto dir = std::filesystem::path(VELKOR_SOURCE_DIR) / ".." / "shared" / "data";
  return std::filesystem::exists(dir) ? dir : std::filesystem::path();
}

namespace {
std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

int startProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                 const ProcessStreams& streams) {
  // Everything the child needs is prepared before the fork: after it, the
  // child makes only async-signal-safe calls.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string directory = dir.string();
  const pid_t child = fork();
  if (child != 0) return child;
  if (streams.fileSizeLimit >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(streams.fileSizeLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  const int null = ::open("/dev/null", O_RDWR);
  const int ends[] = {streams.in, streams.out, streams.err};
  for (int fd = 0; fd < 3; ++fd)
    if (::dup2(ends[fd] >= 0 ? ends[fd] : null, fd) < 0) _exit(127);
  if (::chdir(directory.c_str()) != 0) _exit(127);
  ::execvp(args[0], args.data());
  _exit(127);
}

int waitForProcess(int pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                         const std::string& input) {
  auto outFile = dir / ".stdout";
  auto errFile = dir / ".stderr";
  auto inFile = dir / ".stdin";
  { std::ofstream(inFile, std::ios::binary) << input; }
  ProcessStreams streams;
  streams.in = input.empty() ? -1 : ::open(inFile.c_str(), O_RDONLY | O_CLOEXEC);
  streams.out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  streams.err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ProcessResult result;
  result.status = waitForProcess(startProcess(argv, dir, streams));
  for (int fd : {streams.in, streams.out, streams.err})
    if (fd >= 0) ::close(fd);
  result.out = slurp(outFile);
  result.err = slurp(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  std::filesystem::remove(inFile);
  return result;
}

} // namespace velkor::test
