// Helpers for the process tests: temporary folders, copies of the stand-ins under chosen names,
// waiting for a condition with a generous deadline, and reading what /proc says about a pid.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace process_test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tarnwick-proc-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Polls until the condition holds; the deadline only bounds a failing test, it is no timing.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  const auto give_up = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

inline fs::path CopyExecutable(const fs::path& from, const fs::path& folder,
                               const std::string& name) {
  fs::create_directories(folder);
  const fs::path to = folder / name;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
  return to;
}

// A name no other test, nor another run of this one, uses at the same time.
inline std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The fields of /proc/PID/stat after the command name; empty when the pid is gone.
inline std::vector<std::string> StatFields(pid_t pid) {
  const std::string text = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream rest(text.substr(close + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

// '\0' when the pid no longer exists at all.
inline char StateOf(pid_t pid) {
  const auto fields = StatFields(pid);
  return fields.empty() ? '\0' : fields[0][0];
}

inline pid_t ParentOf(pid_t pid) {
  const auto fields = StatFields(pid);
  return fields.size() > 1 ? static_cast<pid_t>(std::stol(fields[1])) : 0;
}

inline pid_t SessionOf(pid_t pid) {
  const auto fields = StatFields(pid);
  return fields.size() > 3 ? static_cast<pid_t>(std::stol(fields[3])) : 0;
}

// Pids whose executable file has exactly this name (independent of the code under test).
inline std::vector<pid_t> PidsRunning(const std::string& file_name) {
  std::vector<pid_t> pids;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code link_error;
    const fs::path exe = fs::read_symlink(entry.path() / "exe", link_error);
    if (!link_error && exe.filename() == file_name) pids.push_back(std::stoi(pid));
  }
  return pids;
}

struct Child {
  pid_t pid;
  char state;
};

inline std::vector<Child> ChildrenOf(pid_t parent) {
  std::vector<Child> children;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (ParentOf(pid) == parent) children.push_back({pid, StateOf(pid)});
  }
  return children;
}

inline int CountOpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Starts a program directly, with a chosen argv[0], outside the code under test.
inline pid_t SpawnDirect(const fs::path& program, const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  std::vector<std::string> copy = argv;
  for (std::string& word : copy) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

inline int WaitForExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Ends a program a test started directly, by its own id, if it is still there.
inline void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace process_test
