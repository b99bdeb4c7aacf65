// The file-system checks and writes under the Linux store: trust of owner and mode, folders made
// 0700, files replaced whole, link chains walked one link at a time, and the names a file or key may take.
#include "settings/linux/file_checks.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <system_error>
#include <vector>

#include "settings/conf_format.h"
#include "settings/store.h"

namespace settings {

namespace fs = std::filesystem;

void Report(const std::string& text) { std::cerr << "TARNWICK: " << OneLine(text) << std::endl; }

std::string ErrnoText(int error) { return std::generic_category().message(error); }

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a regular file";
}

// A path as a report names it: a link also names what it leads to, as that is what was checked.
std::string Shown(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path.native();
  std::error_code ec;
  const fs::path target = fs::canonical(path, ec);
  return path.native() + " (a link to " + (ec ? fs::read_symlink(path, ec).native() : target.native()) + ")";
}

// As OpenSSH's StrictModes: owned by the user or root, and writable by nobody else.
std::optional<Refusal> CheckOwnerAndMode(const fs::path& path, const struct stat& info) {
  if (info.st_uid != ::geteuid() && info.st_uid != 0) {
    return Refusal{Shown(path) + " belongs to another user (uid " + std::to_string(info.st_uid) + ")",
                   "move it aside; only what you or root own can hold your settings"};
  }
  const bool group = (info.st_mode & S_IWGRP) != 0, others = (info.st_mode & S_IWOTH) != 0;
  if (group || others) {
    const std::string whom = group && others ? "group and others" : group ? "group" : "others";
    return Refusal{Shown(path) + " is writable by " + whom, "chmod go-w " + path.native()};
  }
  return std::nullopt;
}

Walk WalkLinks(const fs::path& path) {
  Walk walk;
  std::vector<fs::path> todo;  // the parts still to walk, the next one last
  const auto push = [&todo](const fs::path& parts) {
    std::vector<fs::path> in_order;
    for (const fs::path& part : parts.relative_path()) {
      if (!part.empty()) in_order.push_back(part);
    }
    todo.insert(todo.end(), in_order.rbegin(), in_order.rend());
  };
  std::error_code ec;
  push(path.is_absolute() ? path : fs::absolute(path, ec));
  fs::path at = "/";
  int links = 0;
  while (!todo.empty()) {
    const fs::path part = std::move(todo.back());
    todo.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      at = at.parent_path();  // `at` holds no link, so its parent is where ".." leads
      continue;
    }
    const fs::path next = at / part;
    struct stat info {};
    if (::lstat(next.c_str(), &info) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) {
        walk.error = "the path " + next.native() + " cannot be reached (" + ErrnoText(errno) + ")";
        return walk;
      }
      walk.missing = true;
      walk.resolved = next;
      for (auto it = todo.rbegin(); it != todo.rend(); ++it) walk.resolved /= *it;
      return walk;
    }
    if (!S_ISLNK(info.st_mode)) {
      at = next;
      continue;
    }
    if (++links > kMaxLinks) {
      walk.refusal = Refusal{path.native() + " leads through more than " + std::to_string(kMaxLinks) + " links",
                             "point the links at the folder or file they mean"};
      return walk;
    }
    struct stat holder {};
    if (::stat(at.c_str(), &holder) != 0) {
      walk.error = "the folder " + at.native() + " cannot be reached (" + ErrnoText(errno) + ")";
      return walk;
    }
    if (std::optional<Refusal> refusal = CheckOwnerAndMode(at, holder)) {
      walk.refusal = Refusal{"the link " + next.native() + " lies where someone else can change it: " + refusal->what,
                             refusal->fix};
      return walk;
    }
    std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
      // Changed since the lstat above; only a folder we trust can have changed it.
      walk.error = "the link " + next.native() + " cannot be read (" + ErrnoText(length < 0 ? errno : EAGAIN) + ")";
      return walk;
    }
    const fs::path leads_to(std::string(target.data(), static_cast<std::size_t>(length)));
    if (leads_to.is_absolute()) at = "/";
    push(leads_to);
  }
  walk.resolved = at;
  return walk;
}

FolderLook LookAtFolder(const fs::path& folder) {
  const Walk walk = WalkLinks(folder);
  if (walk.refusal) return {true, walk.refusal, {}};
  if (!walk.error.empty()) return {false, std::nullopt, walk.error};
  if (walk.missing) return {};
  struct stat info {};
  if (::stat(walk.resolved.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return {false, std::nullopt, "the folder " + folder.native() + " cannot be reached (" + ErrnoText(errno) + ")"};
  }
  if (!S_ISDIR(info.st_mode)) {
    return {true, Refusal{Shown(folder) + " is " + KindOf(info.st_mode) + ", not a folder", "move it aside"}, {}};
  }
  return {true, CheckOwnerAndMode(folder, info), {}};
}

// mkdir -p, each folder it makes 0700 whatever the umask (as the XDG rules ask).
std::string MakeFolders(const fs::path& folder) {
  std::vector<fs::path> missing;
  for (fs::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    struct stat info {};
    if (::stat(p.c_str(), &info) == 0) break;
    if (errno != ENOENT) return "the folder " + p.native() + " cannot be reached (" + ErrnoText(errno) + ")";
    missing.push_back(p);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;  // another copy of the program made it first
      return "the folder " + it->native() + " cannot be created (" + ErrnoText(errno) + ")";
    }
    if (::chmod(it->c_str(), 0700) != 0) {
      return "the folder " + it->native() + " cannot be made private (" + ErrnoText(errno) + ")";
    }
  }
  return {};
}

std::string MakePrivate(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    return "the folder " + folder.native() + " cannot be reached (" + ErrnoText(errno) + ")";
  }
  // Root's folder is not ours to change, and one we cannot write holds nothing of ours to protect.
  if ((info.st_mode & 077) == 0 || info.st_uid != ::geteuid()) return {};
  if (::chmod(folder.c_str(), info.st_mode & 07700) != 0) {
    return "the folder " + folder.native() + " cannot be made private (" + ErrnoText(errno) + ")";
  }
  return {};
}

bool WriteAll(int fd, std::string_view bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? errno : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Puts BYTES at TARGET whole or not at all: a temporary file in the target's own folder, synced and
// renamed over it. Why it failed, or empty.
std::string ReplaceFile(const fs::path& target, std::string_view bytes, mode_t mode) {
  std::string temporary = (target.parent_path() / ("." + target.filename().native() + ".tmp-XXXXXX")).native();
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return "the folder cannot be written (" + ErrnoText(errno) + ")";
  int error = 0;
  std::string failed;
  if (::fchmod(fd, mode) != 0) {
    failed = "the new file cannot be made private (" + ErrnoText(errno) + ")";
  } else if (!WriteAll(fd, bytes, error) || (::fsync(fd) != 0 && (error = errno) != 0)) {
    failed = "the file cannot be written (" + ErrnoText(error) + ")";
  }
  if (::close(fd) != 0 && failed.empty()) failed = "the file cannot be written (" + ErrnoText(errno) + ")";
  if (failed.empty() && ::rename(temporary.c_str(), target.c_str()) != 0) {
    failed = "the file could not be replaced (" + ErrnoText(errno) + ")";
  }
  if (!failed.empty()) {
    ::unlink(temporary.c_str());
    return failed;
  }
  // The rename is only lasting once the folder is; a failure here loses nothing of the old file.
  const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
  return {};
}

std::string HomeFromUserDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  if (found->pw_dir == nullptr || found->pw_dir[0] != '/') return {};
  return found->pw_dir;
}

// Why a name cannot be one file or folder name, or empty when it can.
std::string UnusableName(std::string_view name) {
  if (name.empty()) return "it is empty";
  if (name == "." || name == "..") return "it names a folder";
  if (!conf::IsUtf8(name)) return "it is not UTF-8 text";
  for (char c : name) {
    if (c == '/') return "it holds a '/'";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "it holds a control character";
  }
  return {};
}

std::string UnusableKey(std::string_view key) {
  if (key.empty()) return "it is empty";
  for (char c : key) {
    if (c < 0x20 || c > 0x7E) return "it holds a character other than printable ASCII";
    if (c == '=' || c == '/' || c == '\\') return std::string("it holds '") + c + "'";
  }
  if (key.front() == '#' || key.front() == ';') return "it begins with a comment sign";
  if (key.front() == ' ' || key.back() == ' ') return "it begins or ends with a space";
  return {};
}

Identity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

}  // namespace settings
