// Detached launching for Linux with posix_spawn and pidfds; the probe itself is in linux_probe.cpp
// and is handed the children launched here, which it may judge without a scan.
#include "process/linux/linux_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "process/command_line.h"
#include "process/linux/report.h"

extern char** environ;

namespace process {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where "~/" leads: $HOME as a shell has it, or the account's home folder when that is unset or
// not absolute; "" when neither is known.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return found->pw_dir != nullptr ? found->pw_dir : "";
}

// Every signal, the C library's own included: glibc's sigfillset and sigaddset leave out the
// real-time signals it keeps for itself (32 and 33), and its spawn hands those down ignored unless
// they are in the set of signals to reset. A sigset_t is a plain bit array on Linux.
sigset_t EverySignal() {
  sigset_t all;
  sigfillset(&all);
  unsigned long words[sizeof(sigset_t) / sizeof(unsigned long)];
  std::memcpy(words, &all, sizeof words);
  constexpr std::size_t kBits = 8 * sizeof(unsigned long);
  for (std::size_t signal = 1; signal < _NSIG; ++signal) {
    words[(signal - 1) / kBits] |= 1UL << ((signal - 1) % kBits);
  }
  std::memcpy(&all, words, sizeof words);
  return all;
}

std::string SearchPath() {
  if (const char* path = std::getenv("PATH"); path != nullptr) return path;
  const std::size_t size = ::confstr(_CS_PATH, nullptr, 0);
  std::string fallback(size, '\0');
  if (size > 0) ::confstr(_CS_PATH, fallback.data(), size);
  if (!fallback.empty() && fallback.back() == '\0') fallback.pop_back();
  return fallback.empty() ? "/usr/bin:/bin" : fallback;
}

}  // namespace

// The children this launcher started and has not reaped yet. Each is waited for by its own id
// only, so children that other parts of the program start are never taken from them; an id
// leaves the list the moment it is reaped, so a reused id is never waited for.
class ReapList {
 public:
  // A child whose handle is still held keeps its exit status here once reaped, for the handle.
  void Add(pid_t pid) {
    const std::lock_guard lock(mutex_);
    pids_.push_back(pid);
    watched_.insert(pid);
    ++launches_;
  }

  // Children not reaped yet: running, or ended a moment ago. Their ids name nobody else.
  std::vector<pid_t> Unreaped() {
    const std::lock_guard lock(mutex_);
    return pids_;
  }
  std::uint64_t launches() {
    const std::lock_guard lock(mutex_);
    return launches_;
  }

  void ReapEnded() {
    const std::lock_guard lock(mutex_);
    std::erase_if(pids_, [this](pid_t pid) { return !WaitNoHang(pid); });
  }

  // False once the child has ended (reaping it) or was reaped before.
  bool StillRunning(pid_t pid) {
    const std::lock_guard lock(mutex_);
    const auto it = std::find(pids_.begin(), pids_.end(), pid);
    if (it == pids_.end()) return false;
    if (WaitNoHang(pid)) return true;
    pids_.erase(it);
    return false;
  }

  void Forget(pid_t pid) {
    const std::lock_guard lock(mutex_);
    const auto it = std::find(pids_.begin(), pids_.end(), pid);
    if (it != pids_.end() && !WaitNoHang(pid)) pids_.erase(it);
  }

  // The handle is gone: nobody will ask for this child's status any more.
  void Release(pid_t pid) {
    const std::lock_guard lock(mutex_);
    watched_.erase(pid);
    statuses_.erase(pid);
  }

  std::optional<int> Status(pid_t pid) {
    const std::lock_guard lock(mutex_);
    const auto it = statuses_.find(pid);
    if (it == statuses_.end()) return std::nullopt;
    return it->second;
  }

 private:
  // True while the child runs; false once reaped here or when it is no longer ours to wait for.
  bool WaitNoHang(pid_t pid) {
    pid_t result;
    int status = 0;
    do { result = ::waitpid(pid, &status, WNOHANG); } while (result < 0 && errno == EINTR);
    if (result == pid && watched_.count(pid) != 0) statuses_[pid] = status;
    return result == 0;
  }

  std::mutex mutex_;
  std::vector<pid_t> pids_;
  std::set<pid_t> watched_;
  std::map<pid_t, int> statuses_;
  std::uint64_t launches_ = 0;
};

namespace {

// A wait status as the port tells it; none for one that was never collected here.
std::optional<Exit> ExitOf(std::optional<int> status) {
  if (!status) return std::nullopt;
  if (WIFEXITED(*status)) return Exit{Exit::Kind::Status, WEXITSTATUS(*status)};
  if (WIFSIGNALED(*status)) return Exit{Exit::Kind::Signal, WTERMSIG(*status)};
  return std::nullopt;
}

class PidfdHandle final : public ProcessHandle {
 public:
  PidfdHandle(std::shared_ptr<ReapList> reap_list, pid_t pid, int pidfd)
      : reap_list_(std::move(reap_list)), pid_(pid), pidfd_(pidfd) {}
  ~PidfdHandle() override {
    ::close(pidfd_);
    reap_list_->Release(pid_);
  }
  PidfdHandle(const PidfdHandle&) = delete;
  PidfdHandle& operator=(const PidfdHandle&) = delete;

  bool IsRunning() override {
    reap_list_->ReapEnded();
    pollfd entry{pidfd_, POLLIN, 0};
    int ready;
    do { ready = ::poll(&entry, 1, 0); } while (ready < 0 && errno == EINTR);
    if (ready == 0) return true;
    if (ready < 0) return reap_list_->StillRunning(pid_);
    // Readable: the very process the pidfd names has exited, even if its id was reused since.
    reap_list_->Forget(pid_);
    return false;
  }

  std::optional<Exit> HowItEnded() override {
    if (IsRunning()) return std::nullopt;
    return ExitOf(reap_list_->Status(pid_));
  }

 private:
  std::shared_ptr<ReapList> reap_list_;
  pid_t pid_;
  int pidfd_;
};

// Used only where pidfds are missing (kernels before 5.3): safe because the id stays ours until
// reaped, and once reaped it leaves the reap list and is never asked about again.
class PidHandle final : public ProcessHandle {
 public:
  PidHandle(std::shared_ptr<ReapList> reap_list, pid_t pid) : reap_list_(std::move(reap_list)), pid_(pid) {}
  ~PidHandle() override { reap_list_->Release(pid_); }
  PidHandle(const PidHandle&) = delete;
  PidHandle& operator=(const PidHandle&) = delete;
  std::optional<Exit> HowItEnded() override {
    if (IsRunning()) return std::nullopt;
    return ExitOf(reap_list_->Status(pid_));
  }

  bool IsRunning() override {
    reap_list_->ReapEnded();
    return reap_list_->StillRunning(pid_);
  }

 private:
  std::shared_ptr<ReapList> reap_list_;
  pid_t pid_;
};

}  // namespace

LinuxProcessControl::LinuxProcessControl(std::string proc_root)
    : probe_(std::move(proc_root)), reap_list_(std::make_shared<ReapList>()) {}

LinuxProcessControl::~LinuxProcessControl() { reap_list_->ReapEnded(); }

Probe LinuxProcessControl::IsProcessRunning(std::string_view image_name) {
  reap_list_->ReapEnded();
  return probe_.IsRunning(image_name, reap_list_->Unreaped(), reap_list_->launches());
}

void LinuxProcessControl::Report(std::string_view message) { process::Report(std::string(message)); }

void LinuxProcessControl::BeginPass() { probe_.BeginPass(); }
void LinuxProcessControl::EndPass() { probe_.EndPass(); }

std::string LinuxProcessControl::ProgramOf(std::string_view command_line) {
  const LinuxCommand command =
      ResolveLinuxCommandLine(command_line, PathChecks{IsExecutableFile, IsFolder}, SearchPath(), HomeFolder());
  return command.ok ? command.program : std::string();
}

std::unique_ptr<ProcessHandle> LinuxProcessControl::RunCommandLine(std::string_view command_line) {
  reap_list_->ReapEnded();
  LinuxCommand command =
      ResolveLinuxCommandLine(command_line, PathChecks{IsExecutableFile, IsFolder}, SearchPath(), HomeFolder());
  if (!command.ok) {
    Report(command.error + " (command line: \"" + std::string(command_line) + "\")");
    return nullptr;
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  // Nothing of ours is handed down: the standard streams go to /dev/null, so a closed terminal
  // cannot end the program with SIGPIPE or EIO, and every other descriptor is closed.
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // Its own session keeps it alive when our terminal goes; signals we block or ignore must not
  // carry over into a program that expects the defaults.
  sigset_t empty_mask;
  sigemptyset(&empty_mask);
  const sigset_t all_signals = EverySignal();
  ::posix_spawnattr_setsigmask(&attributes, &empty_mask);
  ::posix_spawnattr_setsigdefault(&attributes, &all_signals);
  ::posix_spawnattr_setflags(&attributes,
                             static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));

  std::vector<char*> argv;
  argv.reserve(command.argv.size() + 1);
  for (std::string& argument : command.argv) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, command.program.c_str(), &actions, &attributes, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    Report("cannot start " + command.program + ": " + std::strerror(error));
    return nullptr;
  }

  // The child is unreaped until we reap it, so its id cannot name anyone else here.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  reap_list_->Add(pid);
  std::unique_ptr<ProcessHandle> handle;
  if (pidfd >= 0) {
    handle = std::make_unique<PidfdHandle>(reap_list_, pid, pidfd);
  } else {
    handle = std::make_unique<PidHandle>(reap_list_, pid);
  }
  handle->SetProgram(command.program);
  handle->SetId(pid);
  return handle;
}

}  // namespace process
