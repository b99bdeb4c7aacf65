// /proc scanning and detached launching for Linux. The scan reads only what a match needs, in the
// cheapest order, relative to one directory descriptor; launching uses posix_spawn and pidfds.
#include "process/linux_process.h"

#include <dirent.h>
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
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "process/command_line.h"

extern char** environ;

namespace process {

namespace {

void Report(const std::string& message) {
  // One write, so lines from several threads or processes do not interleave.
  const std::string line = "TARNWICK: " + message + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Lower-cases the two-byte code points whose lower case is also two bytes long, so folding never
// changes a name's length in bytes and a length mismatch rules a match out at once.
char32_t FoldTwoByte(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;
  if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) ||
      (cp >= 0x14A && cp <= 0x177)) {
    return (cp % 2 == 0) ? cp + 1 : cp;
  }
  if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) {
    return (cp % 2 == 1) ? cp + 1 : cp;
  }
  if (cp == 0x178) return 0xFF;
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 0x20;
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
  if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;
  return cp;
}

bool IsTwoByteSequence(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  return lead >= 0xC2 && lead <= 0xDF && i + 1 < s.size() &&
         (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80;
}

char32_t DecodeTwoByte(std::string_view s, std::size_t i) {
  return (static_cast<char32_t>(static_cast<unsigned char>(s[i]) & 0x1F) << 6) |
         (static_cast<unsigned char>(s[i + 1]) & 0x3F);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

constexpr std::string_view kDeletedMarker = " (deleted)";

// The kernel appends " (deleted)" to the link of an executable whose file was removed or
// replaced (an in-place upgrade); the program is still the one the user knows by that name.
bool ExecutableLinkMatches(std::string_view target, std::string_view name) {
  const std::string_view file_name = FileNameOf(target);
  if (!EndsWith(file_name, kDeletedMarker)) return SameImageName(file_name, name);
  const std::string_view stripped = file_name.substr(0, file_name.size() - kDeletedMarker.size());
  const bool as_shown = SameImageName(file_name, name);
  const bool as_stripped = SameImageName(stripped, name);
  if (!as_shown && !as_stripped) return false;
  // Only a file really named "... (deleted)" keeps the suffix as part of its name.
  const std::string path(target);
  struct stat info {};
  const bool suffix_is_real = ::stat(path.c_str(), &info) == 0;
  return suffix_is_real ? as_shown : as_stripped;
}

// Writes "<pid>/<leaf>" into `out`, which must hold the pid's digits plus the leaf.
void ComposeEntryPath(const char* pid, std::size_t pid_length, const char* leaf, char* out) {
  std::memcpy(out, pid, pid_length);
  out[pid_length] = '/';
  std::strcpy(out + pid_length + 1, leaf);
}

// Zombies keep their command line only while exiting; state Z or X means the program has ended.
bool IsEnded(int proc_fd, const char* pid, std::size_t pid_length) {
  char path[48];
  ComposeEntryPath(pid, pid_length, "stat", path);
  const int fd = ::openat(proc_fd, path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;  // gone meanwhile
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) return true;
  // The command name in parentheses may itself hold ") ", so the state follows the LAST ')'.
  const std::string_view text(buffer, static_cast<std::size_t>(n));
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos || close + 2 >= text.size()) return true;
  const char state = text[close + 2];
  return state == 'Z' || state == 'X' || state == 'x';
}

bool FirstArgumentMatches(int proc_fd, const char* path, std::string_view name) {
  const int fd = ::openat(proc_fd, path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  do {
    n = ::read(fd, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    ::close(fd);
    return false;  // kernel threads and zombies have an empty command line
  }
  std::string_view first(buffer, static_cast<std::size_t>(n));
  std::string long_first;
  const std::size_t end = first.find('\0');
  if (end != std::string_view::npos) {
    first = first.substr(0, end);
  } else if (static_cast<std::size_t>(n) == sizeof buffer) {
    // A first argument longer than the buffer: rare enough to pay for a heap string.
    long_first.assign(first);
    for (;;) {
      const ssize_t more = ::read(fd, buffer, sizeof buffer);
      if (more < 0 && errno == EINTR) continue;
      if (more <= 0) break;
      const std::string_view chunk(buffer, static_cast<std::size_t>(more));
      const std::size_t nul = chunk.find('\0');
      long_first.append(chunk.substr(0, nul));
      if (nul != std::string_view::npos) break;
    }
    first = long_first;
  }
  ::close(fd);
  return SameImageName(FileNameOf(first), name);
}

bool ProcessMatches(int proc_fd, const char* pid, std::string_view name) {
  const std::size_t pid_length = std::strlen(pid);
  char path[48];
  ComposeEntryPath(pid, pid_length, "exe", path);
  char target[4096];
  const ssize_t n = ::readlinkat(proc_fd, path, target, sizeof target);
  if (n >= 0) {
    if (ExecutableLinkMatches(std::string_view(target, static_cast<std::size_t>(n)), name)) {
      return true;  // a readable link means the process has its memory: not a zombie
    }
  } else if (errno == ENOENT) {
    // No link at all: a kernel thread, a zombie or a process gone meanwhile, none of which
    // may match; their command lines are empty, so reading them would only cost time.
    return false;
  }
  // Other users' links are unreadable (EACCES); their command line is still there to judge by.
  ComposeEntryPath(pid, pid_length, "cmdline", path);
  return FirstArgumentMatches(proc_fd, path, name) && !IsEnded(proc_fd, pid, pid_length);
}

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
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

bool SameImageName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca < 0x80 && cb < 0x80) {
      if (AsciiLower(ca) != AsciiLower(cb)) return false;
      ++i;
    } else if (IsTwoByteSequence(a, i) && IsTwoByteSequence(b, i)) {
      if (FoldTwoByte(DecodeTwoByte(a, i)) != FoldTwoByte(DecodeTwoByte(b, i))) return false;
      i += 2;
    } else {
      if (ca != cb) return false;
      ++i;
    }
  }
  return true;
}

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
    do {
      result = ::waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid && watched_.count(pid) != 0) statuses_[pid] = status;
    return result == 0;
  }

  std::mutex mutex_;
  std::vector<pid_t> pids_;
  std::set<pid_t> watched_;
  std::map<pid_t, int> statuses_;
};

namespace {

bool ExitedWithZero(std::optional<int> status) { return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0; }

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
    do {
      ready = ::poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return true;
    if (ready < 0) return reap_list_->StillRunning(pid_);
    // Readable: the very process the pidfd names has exited, even if its id was reused since.
    reap_list_->Forget(pid_);
    return false;
  }

  bool EndedWithSuccess() override { return !IsRunning() && ExitedWithZero(reap_list_->Status(pid_)); }

 private:
  std::shared_ptr<ReapList> reap_list_;
  pid_t pid_;
  int pidfd_;
};

// Used only where pidfds are missing (kernels before 5.3): safe because the id stays ours until
// reaped, and once reaped it leaves the reap list and is never asked about again.
class PidHandle final : public ProcessHandle {
 public:
  PidHandle(std::shared_ptr<ReapList> reap_list, pid_t pid)
      : reap_list_(std::move(reap_list)), pid_(pid) {}
  ~PidHandle() override { reap_list_->Release(pid_); }
  PidHandle(const PidHandle&) = delete;
  PidHandle& operator=(const PidHandle&) = delete;
  bool EndedWithSuccess() override { return !IsRunning() && ExitedWithZero(reap_list_->Status(pid_)); }

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
    : proc_root_(std::move(proc_root)), reap_list_(std::make_shared<ReapList>()) {}

LinuxProcessControl::~LinuxProcessControl() { reap_list_->ReapEnded(); }

Probe LinuxProcessControl::IsProcessRunning(std::string_view image_name) {
  reap_list_->ReapEnded();
  if (image_name.empty() || image_name.find_first_of("/\\") != std::string_view::npos) {
    return Probe::NotRunning;
  }
  const int proc_fd = ::open(proc_root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc_fd < 0) {
    Report("cannot read the process list at " + proc_root_ + ": " + std::strerror(errno));
    return Probe::Unknown;
  }
  DIR* dir = ::fdopendir(proc_fd);
  if (dir == nullptr) {
    Report("cannot read the process list at " + proc_root_ + ": " + std::strerror(errno));
    ::close(proc_fd);
    return Probe::Unknown;
  }
  Probe answer = Probe::NotRunning;
  bool read_any = false;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0 && !read_any) {
        Report("cannot read the process list at " + proc_root_ + ": " + std::strerror(errno));
        answer = Probe::Unknown;
      }
      break;
    }
    read_any = true;
    if (!AllDigits(entry->d_name) || std::strlen(entry->d_name) > 20) continue;
    if (ProcessMatches(proc_fd, entry->d_name, image_name)) {
      answer = Probe::Running;
      break;
    }
  }
  ::closedir(dir);
  return answer;
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
  ::posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSID |
                                                             POSIX_SPAWN_SETSIGMASK |
                                                             POSIX_SPAWN_SETSIGDEF));

  std::vector<char*> argv;
  argv.reserve(command.argv.size() + 1);
  for (std::string& argument : command.argv) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, command.program.c_str(), &actions, &attributes, argv.data(), environ);
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
  return handle;
}

}  // namespace process
