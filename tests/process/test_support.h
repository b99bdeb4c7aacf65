// Helpers for the process tests: a fixture with a temporary folder and a state folder for the
// stand-ins, reading /proc independently of the code under test, and starting programs directly.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process/linux/linux_process.h"
#include "test_helpers.h"

extern char** environ;

namespace process_test {

namespace fs = std::filesystem;

using test_support::ReadFile;
using test_support::WaitFor;
using test_support::WriteFile;

inline fs::path CopyExecutable(const fs::path& from, const fs::path& folder, const std::string& name) {
  fs::create_directories(folder);
  fs::copy_file(from, folder / name, fs::copy_options::overwrite_existing);
  return folder / name;
}

// A name no other test, nor another run of this one, uses at the same time.
inline std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

inline fs::path ProcPath(pid_t pid) { return "/proc/" + std::to_string(pid); }

// Field n after the command name in /proc/PID/stat (0 state, 1 parent, 3 session); "" once gone.
inline std::string StatField(pid_t pid, int n) {
  const std::string text = ReadFile(ProcPath(pid) / "stat");
  std::istringstream rest(text.empty() ? "" : text.substr(text.rfind(')') + 1));
  std::string field;
  for (int i = 0; i <= n; ++i) field = rest >> field ? field : "";
  return field;
}

inline std::vector<pid_t> PidsWhere(const std::function<bool(pid_t)>& keep) {
  std::vector<pid_t> pids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") == std::string::npos && keep(std::stoi(name)))
      pids.push_back(std::stoi(name));
  }
  return pids;
}

// Pids whose executable file has exactly this name.
inline std::vector<pid_t> PidsRunning(const std::string& file_name) {
  std::error_code error;
  return PidsWhere([&](pid_t pid) { return fs::read_symlink(ProcPath(pid) / "exe", error).filename() == file_name; });
}

inline std::vector<pid_t> ChildrenOfThisProcess() {
  return PidsWhere([](pid_t pid) { return StatField(pid, 1) == std::to_string(::getpid()); });
}

// Starts a program directly, with a chosen argv[0] and everything of this process inherited.
inline pid_t SpawnDirect(const fs::path& program, std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (std::string& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawn(&pid, program.c_str(), nullptr, nullptr, pointers.data(), environ) == 0 ? pid : -1;
}

inline int WaitForExit(pid_t pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A temporary folder with a state folder for the stand-ins. Whatever a test started is ended by
// its own id afterwards: directly started programs, and launched ones registered with Named.
class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(state()); }
  void TearDown() override {
    for (const pid_t pid : started_) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    for (const std::string& name : names_) {
      for (const pid_t pid : PidsRunning(name)) {
        ::kill(pid, SIGKILL);
        WaitFor([&] {
          control_.IsProcessRunning("tnw-no-such-program");  // reaps the launcher's children
          return StatField(pid, 0).empty();
        });
      }
    }
  }

  const fs::path& temp() const { return temp_.path(); }
  fs::path state() const { return temp() / "state"; }
  std::string StateArgument() const { return " --state " + state().string(); }
  std::string Named(const std::string& stem) { return names_.emplace_back(UniqueName(stem)); }
  fs::path CopyNode(const std::string& name) { return CopyExecutable(TARNWICK_NODE_STANDIN, temp() / "bin", name); }
  void RequestStop() const { WriteFile(state() / "stop-request", "stop\n"); }
  std::string Log() const { return ReadFile(state() / "log.txt"); }
  bool LogHas(const std::string& line_end) const { return Log().find(line_end + "\n") != std::string::npos; }

  process::LinuxProcessControl control_;
  std::vector<pid_t> started_;  // started directly, ended and reaped by TearDown

 private:
  test_support::TempFolder temp_{"tarnwick-proc"};
  std::vector<std::string> names_;
};

}  // namespace process_test
