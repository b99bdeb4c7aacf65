// The Linux settings store: the trust checks on the way to the file, a non-blocking read of a
// regular file only, saves that merge and replace the file whole, and the section's life-long lock.
#include "settings/linux/file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "settings/linux/file_checks.h"

namespace settings {

namespace fs = std::filesystem;

struct FileStore::OpenSection {
  fs::path folder, path, backup;
  std::map<std::string, std::string> pending;  // saved values not yet on disk
  std::string last_said;                       // a problem with this store is said once
  std::optional<Identity> skipped_said;        // the file version whose skipped lines were said
  bool privacy_said = false;
};

// What is at the store path right now.
struct FileStore::Look {
  enum class Kind { kNoFile, kRead, kRefused, kFailed } kind = Kind::kNoFile;
  conf::Parsed parsed;
  std::string bytes;  // as read, for the copy kept before saving over skipped lines
  fs::path target;    // the regular file a save replaces: the path itself or its link's target
  mode_t mode = 0600;
  std::string problem;  // kFailed: why the file could not be read
};

FileStore::FileStore() : FileStore(ConfigRootFromEnvironment()) {}

FileStore::FileStore(std::filesystem::path config_root) : root_(std::move(config_root)) {
  if (!root_.empty() && root_.is_relative()) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(root_, ec);
    root_ = ec ? std::filesystem::path() : absolute;
  }
}

FileStore::~FileStore() {
  for (const int fd : held_) ::close(fd);
}

std::filesystem::path FileStore::ConfigRootFromEnvironment() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg);
  const char* home = std::getenv("HOME");
  const std::string home_path = home != nullptr && home[0] == '/' ? std::string(home) : HomeFromUserDatabase();
  if (home_path.empty()) return {};
  return std::filesystem::path(home_path) / ".config";
}

std::filesystem::path FileStore::SectionFile(std::string_view application, std::string_view section) const {
  return root_ / std::string(application) / (std::string(section) + ".conf");
}

void FileStore::Say(OpenSection& open, const std::string& text) {
  if (text == open.last_said) return;
  open.last_said = text;
  Report(text);
}

FileStore::OpenSection* FileStore::Open(std::string_view application, std::string_view section,
                                        std::string_view doing) {
  if (root_.empty()) {
    if (!root_reported_) Report("settings are not kept: neither XDG_CONFIG_HOME nor HOME names a folder");
    root_reported_ = true;
    return nullptr;
  }
  std::string why = UnusableName(application);
  if (!why.empty()) {
    Report("cannot " + std::string(doing) + ": the application name \"" + std::string(application) + "\" " + why);
    return nullptr;
  }
  why = UnusableName(section);
  if (!why.empty()) {
    Report("cannot " + std::string(doing) + ": the section name \"" + std::string(section) + "\" " + why);
    return nullptr;
  }
  const fs::path path = SectionFile(application, section);
  auto& slot = open_[path];
  if (!slot) {
    slot = std::make_unique<OpenSection>();
    slot->folder = path.parent_path();
    slot->path = path;
    slot->backup = path.native() + ".bad";
  }
  return slot.get();
}

FileStore::Look FileStore::LookAt(OpenSection& open, bool quiet) {
  Look look;
  look.target = open.path;
  const auto refuse = [&](const Refusal& refusal) {
    if (quiet) {
      look.kind = Look::Kind::kRefused;
      return look;
    }
    Say(open, "not using the settings in " + open.path.native() + ": " + refusal.what +
                  "; they read as their defaults and nothing is written there (to fix: " + refusal.fix + ")");
    look.kind = Look::Kind::kRefused;
    return look;
  };
  const auto fail = [&](std::string why) {
    look.problem = std::move(why);
    if (!quiet)
      Say(open, open.path.native() + " cannot be used (" + look.problem + "); its settings read as their defaults");
    look.kind = Look::Kind::kFailed;
    return look;
  };
  for (const fs::path& folder : {root_, open.folder}) {
    const FolderLook seen = LookAtFolder(folder);
    if (seen.refusal) return refuse(*seen.refusal);
    if (!seen.error.empty()) return fail(seen.error);
    if (!seen.present) {
      if (!quiet) open.last_said.clear();
      return look;
    }
  }

  struct stat info {};
  if (::lstat(open.path.c_str(), &info) != 0) {
    if (errno != ENOENT) return fail("the file cannot be reached (" + ErrnoText(errno) + ")");
    if (!quiet) open.last_said.clear();
    return look;
  }
  if (S_ISLNK(info.st_mode)) {
    // A dotfile manager's link is followed, but only to a regular file in a folder as safe as ours
    // (that folder is where the save puts its temporary file), and only through folders as safe.
    const Walk walk = WalkLinks(open.path);
    if (walk.refusal) return refuse(*walk.refusal);
    if (!walk.error.empty()) return fail(walk.error);
    const fs::path& target = walk.resolved;
    if (walk.missing || ::stat(target.c_str(), &info) != 0) {
      return refuse(
          {Shown(open.path) + " is a link that leads nowhere (" + ErrnoText(walk.missing ? ENOENT : errno) + ")",
           "remove the link or create what it points to"});
    }
    std::error_code ec;
    if (target.parent_path() != fs::canonical(open.folder, ec)) {
      const FolderLook seen = LookAtFolder(target.parent_path());
      if (seen.refusal) return refuse(*seen.refusal);
      if (!seen.error.empty()) return fail(seen.error);
    }
    look.target = target;
  }
  if (!S_ISREG(info.st_mode)) {
    return refuse({Shown(open.path) + " is " + KindOf(info.st_mode) + ", not a regular file",
                   "move it aside; a new file is made at the next save"});
  }
  if (const std::optional<Refusal> refusal = CheckOwnerAndMode(open.path, info)) return refuse(*refusal);
  const auto too_large = [&] {
    return Refusal{Shown(open.path) + " is larger than a settings file can be (" +
                       std::to_string(kMaxFileBytes / (1024 * 1024)) + " MiB)",
                   "move it aside; a new file is made at the next save"};
  };
  if (info.st_size > kMaxFileBytes) return refuse(too_large());

  // Not blocking: if a FIFO took the file's place since the look above, the open still returns.
  const int fd = ::open(look.target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fail("the file cannot be read (" + ErrnoText(errno) + ")");
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != info.st_dev ||
      opened.st_ino != info.st_ino) {
    ::close(fd);
    return fail("the file changed while it was opened");
  }
  look.mode = opened.st_mode & 07777;
  char buffer[65536];
  int error = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    look.bytes.append(buffer, static_cast<std::size_t>(got));
    if (std::ssize(look.bytes) > kMaxFileBytes) break;
  }
  ::close(fd);
  if (error != 0) return fail("the file cannot be read (" + ErrnoText(error) + ")");
  if (std::ssize(look.bytes) > kMaxFileBytes) return refuse(too_large());

  if (!quiet) open.last_said.clear();
  look.kind = Look::Kind::kRead;
  look.parsed = conf::Parse(look.bytes);
  const Identity identity = IdentityOf(opened);
  if (!quiet && !look.parsed.ok() && open.skipped_said != identity) {
    open.skipped_said = identity;
    constexpr std::size_t kNamed = 5;
    std::string lines;
    const std::vector<conf::SkippedLine>& skipped = look.parsed.skipped;
    for (std::size_t i = 0; i < skipped.size() && i < kNamed; ++i) {
      lines += (i ? ", " : "") + std::to_string(skipped[i].line) + " (" + skipped[i].why + ")";
    }
    if (skipped.size() > kNamed) lines += " and " + std::to_string(skipped.size() - kNamed) + " more";
    Report(Shown(open.path) + ": skipped line" + (look.parsed.skipped.size() > 1 ? "s " : " ") + lines +
           "; the other settings are used, and the file is copied to " + open.backup.native() +
           " before it is next saved");
  }
  return look;
}

void FileStore::Flush(OpenSection& open, std::string_view key) {
  const auto failed = [&](const std::string& why) {
    if (!key.empty()) {
      Report("could not save " + std::string(key) + " to " + open.path.native() + " (" + why +
             "); the value is kept for this run and saved with the next change that can be");
    }
  };
  // The folders are looked at before any is made, so nothing is made inside a folder not trusted.
  for (const fs::path& folder : {root_, open.folder}) {
    const FolderLook seen = LookAtFolder(folder);
    if (seen.refusal) {
      (void)LookAt(open);  // says why, once
      return;
    }
    if (!seen.error.empty()) return failed(seen.error);
    if (seen.present) continue;
    if (const std::string made = MakeFolders(folder); !made.empty()) return failed(made);
  }
  // No lock is taken here: the section's own lock (Hold) keeps a second copy from saving at all,
  // and a lock on anything another user can open would let them stop every save.
  Look look = LookAt(open);  // what a hand edit changed meanwhile is merged, not lost
  std::string why;
  if (look.kind == Look::Kind::kRefused) return;
  if (look.kind == Look::Kind::kFailed) why = look.problem;
  if (why.empty() && look.kind == Look::Kind::kRead && (look.mode & S_IWUSR) == 0) {
    why = "the file is read-only; chmod u+w " + look.target.native() + " to let it be saved";
  }
  std::map<std::string, std::string> values = std::move(look.parsed.values);
  for (const auto& [k, v] : open.pending) values[k] = v;
  const std::optional<std::string> text = why.empty() ? conf::Write(values) : std::nullopt;
  if (why.empty() && !text) why = "a key in the file cannot be written back";
  if (why.empty() && !look.parsed.ok()) {
    const std::string copied = ReplaceFile(open.backup, look.bytes, 0600);
    if (!copied.empty()) why = "no copy of the file with skipped lines could be kept: " + copied;
  }
  if (why.empty()) {
    if (const std::string closed = MakePrivate(open.folder); !closed.empty() && !open.privacy_said) {
      open.privacy_said = true;
      Report(closed);
    }
  }
  const mode_t mode = look.kind == Look::Kind::kRead ? (look.mode & 0700) | 0600 : 0600;
  if (why.empty()) why = ReplaceFile(look.target, *text, mode);
  if (!why.empty()) return failed(why);
  open.pending.clear();
}

SectionHold FileStore::Hold(std::string_view application, std::string_view section) {
  using Kind = SectionHold::Kind;
  OpenSection* open = Open(application, section, "keep a second copy out");
  if (open == nullptr) return {Kind::kUnguarded, "its settings cannot be kept"};
  // Nothing is made or locked in a folder the store would refuse; it says why, once.
  for (const fs::path& folder : {root_, open->folder}) {
    const FolderLook seen = LookAtFolder(folder);
    if (seen.refusal) {
      (void)LookAt(*open);
      return {Kind::kUnguarded, "its settings are refused"};
    }
    if (!seen.error.empty()) return {Kind::kUnguarded, seen.error};
    if (seen.present) continue;
    if (const std::string made = MakeFolders(folder); !made.empty()) return {Kind::kUnguarded, made};
  }
  // Quiet: a second copy says one line only. The first says what it finds when it reads.
  if (LookAt(*open, true).kind == Look::Kind::kRefused) {
    (void)LookAt(*open);
    return {Kind::kUnguarded, "its settings are refused"};
  }
  // Anyone who could open the lock file could hold it and keep every copy from starting.
  if (const std::string closed = MakePrivate(open->folder); !closed.empty()) return {Kind::kUnguarded, closed};
  const fs::path path = open->folder / (std::string(section) + ".lock");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    return {Kind::kUnguarded, errno == ELOOP
                                  ? Shown(path) + " is a link"
                                  : "the lock file " + path.native() + " cannot be made (" + ErrnoText(errno) + ")"};
  }
  const auto unguarded = [fd](std::string why) {
    ::close(fd);
    return SectionHold{Kind::kUnguarded, std::move(why)};
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) return unguarded("the lock file cannot be looked at (" + ErrnoText(errno) + ")");
  if (!S_ISREG(info.st_mode)) return unguarded(path.native() + " is " + KindOf(info.st_mode) + ", not a regular file");
  if (info.st_uid != ::geteuid()) return unguarded(path.native() + " belongs to another user");
  if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
    return unguarded("the lock file cannot be made private (" + ErrnoText(errno) + ")");
  }
  int locked = 0;
  while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) continue;
  if (locked != 0) {
    if (errno == EWOULDBLOCK) {
      ::close(fd);
      return {Kind::kHeldByOther, {}};
    }
    return unguarded("the lock file cannot be locked (" + ErrnoText(errno) + ")");
  }
  held_.push_back(fd);
  return {Kind::kHeld, {}};
}

std::string FileStore::GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                  std::string_view default_value) {
  const std::string bad_key = UnusableKey(key);
  if (!bad_key.empty()) {
    Report("cannot read the key \"" + std::string(key) + "\" in " + std::string(section) + ": " + bad_key);
    return std::string(default_value);
  }
  OpenSection* open = Open(application, section, "read " + std::string(key));
  if (open == nullptr) return std::string(default_value);
  if (!open->pending.empty()) Flush(*open, {});
  if (const auto it = open->pending.find(std::string(key)); it != open->pending.end()) return it->second;
  const Look look = LookAt(*open);
  if (look.kind != Look::Kind::kRead) return std::string(default_value);
  const auto it = look.parsed.values.find(std::string(key));
  return it != look.parsed.values.end() ? it->second : std::string(default_value);
}

void FileStore::SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::string bad_key = UnusableKey(key);
  if (!bad_key.empty()) {
    Report("not saving the key \"" + std::string(key) + "\" in " + std::string(section) + ": " + bad_key);
    return;
  }
  OpenSection* open = Open(application, section, "save " + std::string(key));
  if (open == nullptr) return;
  open->pending[std::string(key)] = std::string(value);
  Flush(*open, key);
}

bool FileStore::Usable(std::string_view application, std::string_view section) {
  OpenSection* open = Open(application, section, "read the settings");
  if (open == nullptr) return false;
  const Look look = LookAt(*open);
  return look.kind == Look::Kind::kNoFile || look.kind == Look::Kind::kRead;
}

bool FileStore::AllWritten() const {
  for (const auto& [path, open] : open_)
    if (!open->pending.empty()) return false;
  return true;
}

}  // namespace settings
