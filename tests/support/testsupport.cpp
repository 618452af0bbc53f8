#include "support/testplatform.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

ProcessResult runProcess(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                         const std::string& input) {
  auto outFile = dir / ".stdout";
  auto errFile = dir / ".stderr";
  auto inFile = dir / ".stdin";
  { std::ofstream(inFile, std::ios::binary) << input; }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : inFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProcessResult result;
  pid_t child = 0;
  if (posix_spawn(&child, argv[0].c_str(), &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = slurp(outFile);
  result.err = slurp(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  std::filesystem::remove(inFile);
  return result;
}

} // namespace velkor::test
