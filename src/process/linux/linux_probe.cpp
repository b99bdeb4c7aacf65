// /proc reading for the probe. A process matches by its executable's file name or its argv[0];
// each fact is read only when a match needs it, relative to one descriptor of the /proc root.
#include "process/linux/linux_probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "process/linux/report.h"

namespace process {

namespace {

unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Lower-cases the two-byte code points whose lower case is also two bytes long, so folding never
// changes a name's length in bytes and a length mismatch rules a match out at once.
char32_t FoldTwoByte(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;
  if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) {
    return (cp % 2 == 0) ? cp + 1 : cp;
  }
  if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) { return (cp % 2 == 1) ? cp + 1 : cp; }
  if (cp == 0x178) return 0xFF;
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 0x20;
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
  if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;
  return cp;
}

bool IsTwoByteSequence(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  return lead >= 0xC2 && lead <= 0xDF && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80;
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

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

bool IsPidName(const char* name) { return AllDigits(name) && std::strlen(name) <= 20; }

}  // namespace

// Command-line files of the processes on the list, kept open from one scan to the next: reading an
// open one again costs a fraction of opening it. No content is kept, only the descriptor, and a
// read through it gives exactly what a fresh open would read now: procfs ties the open file to the
// process it was opened for, so once that process has been reaped the read fails (ESRCH) and the
// pid, possibly reused by another process, is opened afresh. Only on a real procfs, and never more
// than half of the descriptors the program may open.
class HeldCommandLines {
 public:
  explicit HeldCommandLines(const std::string& proc_root) {
    struct statfs info {};
    constexpr long kProcSuperMagic = 0x9fa0;
    if (::statfs(proc_root.c_str(), &info) != 0 || static_cast<long>(info.f_type) != kProcSuperMagic) return;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
    budget_ = static_cast<std::size_t>(limit.rlim_cur / 2);
  }
  ~HeldCommandLines() {
    for (const auto& [pid, held] : held_) ::close(held.fd);
  }
  HeldCommandLines(const HeldCommandLines&) = delete;
  HeldCommandLines& operator=(const HeldCommandLines&) = delete;

  bool enabled() const { return budget_ > 0; }
  // A new listing begins; pids it does not show are closed by Sweep once it has shown them all.
  void BeginListing() { ++listing_; }
  void Seen(const std::string& pid) {
    if (const auto it = held_.find(pid); it != held_.end()) it->second.listing = listing_;
  }
  void Sweep() {
    std::erase_if(held_, [this](const auto& entry) {
      if (entry.second.listing == listing_) return false;
      ::close(entry.second.fd);
      return true;
    });
  }
  int Find(const std::string& pid) const {
    const auto it = held_.find(pid);
    return it == held_.end() ? -1 : it->second.fd;
  }
  void Forget(const std::string& pid) {
    if (const auto it = held_.find(pid); it != held_.end()) {
      ::close(it->second.fd);
      held_.erase(it);
    }
  }
  // Takes the descriptor when there is room; false leaves it to the caller to close.
  bool Keep(const std::string& pid, int fd) {
    if (held_.size() >= budget_) return false;
    held_[pid] = Held{fd, listing_};
    return true;
  }

 private:
  struct Held {
    int fd;
    std::uint64_t listing;
  };
  std::size_t budget_ = 0;
  std::uint64_t listing_ = 0;
  std::unordered_map<std::string, Held> held_;
};

namespace {

// What one /proc folder (a process, or one thread of it) tells about its image. Each fact is read
// at most once and only when asked for, so a fact kept for a pass is one the pass had to read.
class Facts {
 public:
  enum class Link : unsigned char { Unread, Read, NoImage, Unreadable };

  // `held` (for the processes of a listing, not for threads) keeps the command line open.
  explicit Facts(std::string folder, HeldCommandLines* held = nullptr) : folder_(std::move(folder)), held_(held) {}

  const std::string& folder() const { return folder_; }

  Link ReadLink(int proc_fd) {
    if (link_ != Link::Unread) return link_;
    char target[4096];
    const ssize_t n = ::readlinkat(proc_fd, Path("exe").c_str(), target, sizeof target);
    if (n >= 0) {
      target_.assign(target, static_cast<std::size_t>(n));
      link_ = Link::Read;
    } else {
      // No link at all: no memory of its own (a kernel thread, a zombie, one gone meanwhile).
      // Other users' links are unreadable (EACCES); their command line is still there to judge by.
      link_ = errno == ENOENT ? Link::NoImage : Link::Unreadable;
    }
    return link_;
  }
  const std::string& target() const { return target_; }

  // The first argument, or nullptr when the command line is empty (kernel threads, zombies).
  const std::string* FirstArgument(int proc_fd) {
    if (argument_state_ == kUnread) argument_state_ = ReadFirstArgument(proc_fd) ? kPresent : kAbsent;
    return argument_state_ == kPresent ? &argument_ : nullptr;
  }

  // Zombies keep their command line only while exiting; state Z or X means this task has ended.
  bool Ended(int proc_fd) {
    if (ended_ == kUnread) ended_ = ReadEnded(proc_fd) ? kPresent : kAbsent;
    return ended_ == kPresent;
  }

  // Tasks in the process, from the link count of its task folder (two plus one per task); -1 where
  // the folder's file system does not count its subfolders, 0 when it cannot be read.
  int TaskCount(int proc_fd) {
    if (tasks_ == kUnreadCount) {
      struct stat info {};
      if (::fstatat(proc_fd, Path("task").c_str(), &info, 0) != 0) {
        tasks_ = 0;
      } else {
        tasks_ = info.st_nlink >= 3 ? static_cast<int>(info.st_nlink - 2) : -1;
      }
    }
    return tasks_;
  }

 private:
  static constexpr signed char kUnread = -1, kAbsent = 0, kPresent = 1;
  static constexpr int kUnreadCount = -2;

  std::string Path(const char* leaf) const { return folder_ + "/" + leaf; }

  bool ReadFirstArgument(int proc_fd) {
    char buffer[4096];
    int fd = held_ != nullptr ? held_->Find(folder_) : -1;
    bool kept = fd >= 0;
    ssize_t n = kept ? ReadAt(fd, buffer, sizeof buffer, 0) : -1;
    if (kept && n < 0) {
      held_->Forget(folder_);  // its process was reaped: the pid is opened afresh
      kept = false;
    }
    if (!kept) {
      fd = ::openat(proc_fd, Path("cmdline").c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return false;
      n = ReadAt(fd, buffer, sizeof buffer, 0);
      kept = held_ != nullptr && held_->enabled() && n >= 0 && held_->Keep(folder_, fd);
    }
    bool present = n > 0;
    if (present) {
      const std::string_view chunk(buffer, static_cast<std::size_t>(n));
      const std::size_t end = chunk.find('\0');
      argument_.assign(chunk.substr(0, end));
      // A first argument longer than the buffer: rare enough to read on in pieces.
      for (off_t at = n; end == std::string_view::npos && static_cast<std::size_t>(n) == sizeof buffer; at += n) {
        n = ReadAt(fd, buffer, sizeof buffer, at);
        if (n <= 0) break;
        const std::string_view next(buffer, static_cast<std::size_t>(n));
        const std::size_t nul = next.find('\0');
        argument_.append(next.substr(0, nul));
        if (nul != std::string_view::npos) break;
      }
    }
    if (!kept) ::close(fd);
    return present;
  }

  static ssize_t ReadAt(int fd, char* buffer, std::size_t size, off_t at) {
    ssize_t n;
    do { n = ::pread(fd, buffer, size, at); } while (n < 0 && errno == EINTR);
    return n;
  }

  bool ReadEnded(int proc_fd) const {
    const int fd = ::openat(proc_fd, Path("stat").c_str(), O_RDONLY | O_CLOEXEC);
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

  std::string folder_;
  HeldCommandLines* held_;
  Link link_ = Link::Unread;
  std::string target_;
  signed char argument_state_ = kUnread;
  std::string argument_;
  signed char ended_ = kUnread;
  int tasks_ = kUnreadCount;
};

enum class Verdict { Match, NoMatch, NoImage };

// One folder's verdict. NoImage: it has no image to judge by (no memory, an empty command line, or
// a matching argv[0] on a task that has ended).
Verdict JudgeFolder(Facts& facts, int proc_fd, std::string_view name) {
  const Facts::Link link = facts.ReadLink(proc_fd);
  // A readable link means the task has its memory: it has not ended.
  if (link == Facts::Link::Read && ExecutableLinkMatches(facts.target(), name)) return Verdict::Match;
  if (link == Facts::Link::NoImage) return Verdict::NoImage;
  const std::string* first = facts.FirstArgument(proc_fd);
  if (first == nullptr) return link == Facts::Link::Read ? Verdict::NoMatch : Verdict::NoImage;
  if (!SameImageName(FileNameOf(*first), name)) return Verdict::NoMatch;
  return facts.Ended(proc_fd) ? Verdict::NoImage : Verdict::Match;
}

// A process whose main thread has ended shows a zombie leader while its other threads work on;
// it runs as long as any of them does, and they share one image, so the first live one decides.
bool AnyOtherTaskMatches(int proc_fd, const std::string& folder, std::string_view name) {
  const int task_fd = ::openat(proc_fd, (folder + "/task").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (task_fd < 0) return false;
  DIR* tasks = ::fdopendir(task_fd);
  if (tasks == nullptr) {
    ::close(task_fd);
    return false;
  }
  bool matches = false;
  while (const dirent* entry = ::readdir(tasks)) {
    if (!IsPidName(entry->d_name) || folder == entry->d_name) continue;
    Facts task(folder + "/task/" + entry->d_name);
    const Verdict verdict = JudgeFolder(task, proc_fd, name);
    if (verdict != Verdict::NoImage) {
      matches = verdict == Verdict::Match;
      break;
    }
  }
  ::closedir(tasks);
  return matches;
}

bool ProcessMatches(Facts& facts, int proc_fd, std::string_view name) {
  const Verdict verdict = JudgeFolder(facts, proc_fd, name);
  if (verdict != Verdict::NoImage) return verdict == Verdict::Match;
  // Kernel threads, zombies and processes gone meanwhile have one task or none.
  const int tasks = facts.TaskCount(proc_fd);
  if (tasks == 0 || tasks == 1) return false;
  return AnyOtherTaskMatches(proc_fd, facts.folder(), name);
}

bool OwnChildMatches(int proc_fd, const std::vector<pid_t>& children, std::string_view name) {
  for (const pid_t pid : children) {
    Facts facts(std::to_string(pid));
    if (ProcessMatches(facts, proc_fd, name)) return true;
  }
  return false;
}

class ProcList {
 public:
  explicit ProcList(const std::string& root) : root_(root) {
    fd_ = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) Report("cannot read the process list at " + root + ": " + std::strerror(errno));
  }
  ~ProcList() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProcList(const ProcList&) = delete;
  ProcList& operator=(const ProcList&) = delete;
  int fd() const { return fd_; }

  // Calls `visit` with each pid's name until it returns true. False when the list cannot be read.
  template <class Visit>
  bool ForEach(Visit&& visit) const {
    const int list_fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = list_fd < 0 ? nullptr : ::fdopendir(list_fd);
    if (dir == nullptr) {
      Report("cannot read the process list at " + root_ + ": " + std::strerror(errno));
      if (list_fd >= 0) ::close(list_fd);
      return false;
    }
    bool read_any = false;
    bool ok = true;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (entry == nullptr) {
        if (errno != 0 && !read_any) {
          Report("cannot read the process list at " + root_ + ": " + std::strerror(errno));
          ok = false;
        }
        break;
      }
      read_any = true;
      if (IsPidName(entry->d_name) && visit(entry->d_name)) break;
    }
    ::closedir(dir);
    return ok;
  }

 private:
  std::string root_;
  int fd_ = -1;
};

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

// The list of one timer pass, with whatever its probes have read so far. Nothing of it outlives
// the pass, so no fact is ever carried from one pass into the next.
struct ProcProbe::Pass {
  std::unique_ptr<ProcList> list;
  bool listed = false;
  bool unreadable = false;
  std::uint64_t launches = 0;
  std::vector<Facts> processes;
};

ProcProbe::ProcProbe(std::string proc_root)
    : proc_root_(std::move(proc_root)), held_(std::make_unique<HeldCommandLines>(proc_root_)) {}
ProcProbe::~ProcProbe() = default;

void ProcProbe::BeginPass() { pass_ = std::make_unique<Pass>(); }
void ProcProbe::EndPass() { pass_.reset(); }

Probe ProcProbe::IsRunning(std::string_view image_name, const std::vector<pid_t>& own_children,
                           std::uint64_t launches) {
  if (image_name.empty() || image_name.find_first_of("/\\") != std::string_view::npos) { return Probe::NotRunning; }
  if (!pass_) {
    const ProcList list(proc_root_);
    if (list.fd() < 0) return Probe::Unknown;
    if (OwnChildMatches(list.fd(), own_children, image_name)) return Probe::Running;
    bool found = false;
    held_->BeginListing();
    const bool readable = list.ForEach([&](const char* pid) {
      Facts facts(pid, held_.get());
      held_->Seen(facts.folder());
      found = ProcessMatches(facts, list.fd(), image_name);
      return found;
    });
    if (found) return Probe::Running;
    if (readable) held_->Sweep();  // the whole list was read: what it lacks has gone
    return readable ? Probe::NotRunning : Probe::Unknown;
  }

  Pass& pass = *pass_;
  if (!pass.list || pass.list->fd() < 0) pass.list = std::make_unique<ProcList>(proc_root_);
  const int proc_fd = pass.list->fd();
  if (proc_fd < 0) return Probe::Unknown;
  if (OwnChildMatches(proc_fd, own_children, image_name)) return Probe::Running;
  // A program started during the pass may not be on the list yet: the pass lists afresh.
  if (!pass.listed || pass.launches != launches) {
    pass.processes.clear();
    held_->BeginListing();
    pass.unreadable = !pass.list->ForEach([&](const char* pid) {
      held_->Seen(pass.processes.emplace_back(pid, held_.get()).folder());
      return false;
    });
    if (!pass.unreadable) held_->Sweep();
    pass.listed = true;
    pass.launches = launches;
  }
  if (pass.unreadable) return Probe::Unknown;
  for (Facts& facts : pass.processes) {
    if (ProcessMatches(facts, proc_fd, image_name)) return Probe::Running;
  }
  return Probe::NotRunning;
}

}  // namespace process
