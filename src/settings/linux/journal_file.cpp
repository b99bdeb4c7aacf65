// The Linux journal file: trust checks as the store's, append with O_NOFOLLOW, rotation at 1 MiB.
#include "settings/linux/journal_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "settings/linux/file_checks.h"
#include "settings/store.h"

namespace settings {

namespace fs = std::filesystem;

JournalFile::JournalFile(fs::path state_root, std::string section, std::function<std::string()> now_text)
    : root_(std::move(state_root)), now_text_(std::move(now_text)) {
  if (!root_.empty() && root_.is_absolute()) {
    folder_ = root_ / "TARNWICK";
    path_ = folder_ / (section + ".log");
    old_path_ = folder_ / (section + ".log.1");
  }
}

fs::path JournalFile::StateRootFromEnvironment() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg);
  const char* home = std::getenv("HOME");
  const std::string home_path = home != nullptr && home[0] == '/' ? std::string(home) : HomeFromUserDatabase();
  if (home_path.empty()) return {};
  return fs::path(home_path) / ".local" / "state";
}

std::string JournalFile::LocalTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char date[32], offset[8];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  std::strftime(offset, sizeof offset, "%z", &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03ld %s", date, now.tv_nsec / 1'000'000, offset);
  return text;
}

void JournalFile::Say(const std::string& problem) {
  if (problem == last_said_) return;
  last_said_ = problem;
  Report(problem);
}

void JournalFile::Line(std::string_view text) {
  if (path_.empty()) return Say("no journal is kept: neither XDG_STATE_HOME nor HOME names a folder");
  const std::string line = OneLine(now_text_() + " " + std::string(text)) + '\n';
  const std::string problem = Append(line);
  if (problem.empty()) {
    last_said_.clear();
    return;
  }
  Say("the journal " + path_.native() + " is not written: " + problem);
}

std::string JournalFile::Append(const std::string& line) {
  for (const fs::path& folder : {root_, folder_}) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && folder == folder_)
      return folder.native() + " is a link; the journal's folder must be a folder of its own";
    const FolderLook seen = LookAtFolder(folder);
    if (seen.refusal) return seen.refusal->what + " (to fix: " + seen.refusal->fix + ")";
    if (!seen.error.empty()) return seen.error;
  }
  if (const std::string made = MakeFolders(folder_); !made.empty()) return made;

  // Never through a link, never blocking on a FIFO; a file made now is private whatever the umask.
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  int fd = ::open(path_.c_str(), flags, 0600);
  if (fd < 0) return errno == ELOOP ? "it is a link" : ErrnoText(errno);
  struct stat info {};
  const auto refuse = [&](std::string why) {
    ::close(fd);
    return why;
  };
  if (::fstat(fd, &info) != 0) return refuse(ErrnoText(errno));
  if (!S_ISREG(info.st_mode)) return refuse("it is " + KindOf(info.st_mode) + ", not a regular file");
  if (info.st_uid != ::geteuid()) return refuse("it belongs to another user");
  if ((info.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0) return refuse("it cannot be made private");
  if (info.st_size >= kRotateBytes) {
    // One old journal is kept; the line goes to a new one.
    ::close(fd);
    if (::rename(path_.c_str(), old_path_.c_str()) != 0) return "it cannot be moved aside (" + ErrnoText(errno) + ")";
    fd = ::open(path_.c_str(), flags | O_EXCL, 0600);
    if (fd < 0) return ErrnoText(errno);
    if (::fchmod(fd, 0600) != 0) return refuse("it cannot be made private");
  }
  int error = 0;
  const bool written = WriteAll(fd, line, error);
  ::close(fd);
  return written ? std::string() : ErrnoText(error);
}

}  // namespace settings
