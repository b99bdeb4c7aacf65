// The settings store's Linux backend: one "key=value" file a section under $XDG_CONFIG_HOME/TARNWICK,
// trusted only when it is the user's own regular file in the user's own folders.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/conf_format.h"
#include "settings/one_copy.h"
#include "settings/store.h"

namespace settings {

// Files live at <config root>/<application>/<section>.conf (the line format is in conf_format.h).
// What the store creates it creates private, whatever the umask: folders 0700, files 0600; an
// application folder found readable by group or others is closed to them when a section is held or saved.
//
// Trust, as OpenSSH's StrictModes: the config root, the application folder and the file must each
// be owned by the user (or root) and not writable by group or others. A link on the way to any of
// them (the root itself, a folder above it, the application folder, the file, or a link a link leads
// to) is followed one link at a time, and the folder holding each link must pass the same rule, as
// must the folder that holds a linked file's target: otherwise another user could choose which of
// the user's files a save rewrites. Only a regular
// file is opened (without blocking, so a FIFO cannot hang the program) and only one of at most
// kMaxFileBytes is read. Anything else refuses the store: its settings read as their defaults,
// nothing is written into it or has its mode changed, and one line on standard error says which
// path, why, and how to fix it. A refused store is looked at again at every read and save.
//
// One copy a section (Hold, the SectionGuard port): "<section>.lock" in the application folder,
// created 0600 and never through a link, held with flock for the store's life, so the kernel lets
// it go however the program ends. It is made only in a folder that passed the trust rule and that
// the store has closed to everyone else (0700): nothing another user can open is ever locked. The
// lock is what keeps two copies of a section from saving at once; nothing else is locked.
//
// Every SaveSetting is written through at once: the file is read again, the change merged (a hand
// edit made meanwhile is kept), and the whole file written to a temporary file in the target's own
// folder and renamed over it. A link to the
// file thus stays a link, and the old file stays whole when the write fails (disk full, a file-size
// limit: the program is expected to ignore SIGXFSZ so that such a write fails with EFBIG).
//
// A line that cannot be read is skipped and reported with its number; the other settings are used.
// Before the first save over a file with skipped lines, its bytes are copied to "<file>.bad" in the
// application folder (0600), replacing an older copy of the same store.
//
// Nothing is thrown and nothing aborts. Problems are reported on standard error, one line each,
// starting "TARNWICK: "; the same problem with the same file is said once.
// - a save that fails (folder read-only, unreadable file, disk full) is reported with its key. The
//   store keeps the value for the rest of the run: reads return it and every later save and read
//   tries again to write it.
// - keys must be printable ASCII without '=', '/' or '\', not begin with '#' or ';' and have no
//   blank at either end; section and application names must be usable as one file name. Anything
//   else is reported and not saved, and reads as the default.
//
// Values are bytes: text that is not UTF-8 is stored and read back as it is.
// No toolkit is used (the library keeps its Qt name for the build). One store serves one thread.
class FileStore : public SettingsStore, public SectionGuard {
 public:
  static constexpr off_t kMaxFileBytes = 16 * 1024 * 1024;

  // The config root from the environment (see ConfigRootFromEnvironment).
  FileStore();
  explicit FileStore(std::filesystem::path config_root);
  ~FileStore() override;
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;

  // $XDG_CONFIG_HOME when it is an absolute path, otherwise $HOME/.config (the home from the user
  // database when HOME is not absolute either); empty when no home can be found.
  static std::filesystem::path ConfigRootFromEnvironment();

  const std::filesystem::path& config_root() const { return root_; }
  std::filesystem::path SectionFile(std::string_view application, std::string_view section) const;

  std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view value) override;
  SectionHold Hold(std::string_view application, std::string_view section) override;

  // Whether the section's store can be used now: false when it is refused or cannot be read (that
  // is reported as a read would report it). A missing file can be used.
  bool Usable(std::string_view application, std::string_view section);
  // Whether every value saved so far is on disk: false while a failed save is still pending.
  bool AllWritten() const;

 private:
  struct OpenSection;
  struct Look;
  OpenSection* Open(std::string_view application, std::string_view section, std::string_view doing);
  // QUIET says nothing and leaves what was said as it was.
  Look LookAt(OpenSection& open, bool quiet = false);
  // Writes the section's pending values; KEY names the save in a report, empty for a quiet retry.
  void Flush(OpenSection& open, std::string_view key);
  void Say(OpenSection& open, const std::string& text);

  std::filesystem::path root_;
  bool root_reported_ = false;
  std::map<std::filesystem::path, std::unique_ptr<OpenSection>> open_;
  std::vector<int> held_;  // the section locks, released when the store goes
};

}  // namespace settings
