// The file-system checks and writes under the Linux store (POSIX): kept apart from the store's own
// logic so each stays short enough to read whole.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// One line on standard error, "TARNWICK: " first, line breaks in `text` made spaces.
void Report(const std::string& text);
std::string ErrnoText(int error);
// "a folder", "a FIFO", … for what a mode says a file is.
std::string KindOf(mode_t mode);
// A path as a report names it: a link also names what it leads to, as that is what was checked.
std::string Shown(const std::filesystem::path& path);

// What keeps the store from being used, and what would fix it.
struct Refusal {
  std::string what;
  std::string fix;
};

// As OpenSSH's StrictModes: owned by the user or root, and writable by nobody else.
std::optional<Refusal> CheckOwnerAndMode(const std::filesystem::path& path, const struct stat& info);

// Where a path leads, its links followed one at a time (at most kMaxLinks in all). Every folder that
// holds a link on the way must pass CheckOwnerAndMode: whoever can change that folder chooses where
// the link leads. `missing` when a part does not exist (yet): `resolved` then ends in the parts not
// walked, as written. A path that is not absolute is taken from the working folder.
struct Walk {
  std::filesystem::path resolved;
  bool missing = false;
  std::optional<Refusal> refusal;
  std::string error;  // a part could not be looked at
};
inline constexpr int kMaxLinks = 40;
Walk WalkLinks(const std::filesystem::path& path);

// One folder on the way to the file, walked as above. Missing is no problem: a save makes it.
struct FolderLook {
  bool present = false;
  std::optional<Refusal> refusal;
  std::string error;  // it could not be looked at
};

FolderLook LookAtFolder(const std::filesystem::path& folder);
// mkdir -p, each folder it makes 0700 whatever the umask (as the XDG rules ask).
std::string MakeFolders(const std::filesystem::path& folder);
// The application folder is the program's own: one of the user's found open to others is closed to
// them (the owner's bits are kept). Why it could not be, or empty.
std::string MakePrivate(const std::filesystem::path& folder);
bool WriteAll(int fd, std::string_view bytes, int& error);
// Puts BYTES at TARGET whole or not at all: a temporary file in the target's own folder, synced and
// renamed over it. Why it failed, or empty.
std::string ReplaceFile(const std::filesystem::path& target, std::string_view bytes, mode_t mode);
std::string HomeFromUserDatabase();
// Why a name cannot be one file or folder name, or a key one key, or empty when it can.
std::string UnusableName(std::string_view name);
std::string UnusableKey(std::string_view key);

// One version of a file: a rewrite changes at least one of these.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};
  bool operator==(const Identity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

Identity IdentityOf(const struct stat& info);

}  // namespace settings
