// The settings store's Linux backend: one "key=value" file a section under $XDG_CONFIG_HOME/TARNWICK,
// read and written through QSettings, which brings the cross-process lock and the atomic replace.
#pragma once
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/store.h"

namespace settings {

// The text of one section file, kept apart from QSettings so that it can be checked on its own.
//
// Every line is "key=value"; the value runs from just after the first '=' to the end of the line,
// exactly as typed: spaces, quotes, commas, semicolons, '=' and backslashes all mean themselves, so a
// hand-edited line reads as it was written. The only thing dropped is the '\r' of a CRLF line end.
//
// A value that a line cannot hold (one with a line feed, a carriage return or a NUL) is written on
// a line that starts with a backslash: "\KEY=first\nsecond". On such a line, and only there, \n, \r,
// \0 and \\ stand for line feed, carriage return, NUL and backslash; any other backslash is itself.
// Keeping escapes off ordinary lines is what lets "C:\new\node.exe" be typed as is.
//
// Blank lines and lines whose first non-blank character is '#' or ';' are ignored (keys never begin
// with those), as are spaces and tabs around a key and a UTF-8 byte-order mark at the very start.
// Later lines win over earlier ones with the same key. Comments are not kept when the file is
// rewritten; keys are written sorted.
//
// The whole file is refused if it is not UTF-8, holds a NUL byte, or has a line without '=' or
// without a key; it is never half-read. A last line cut off without its line end is read as it is.
namespace conf {

struct Parsed {
  std::map<std::string, std::string> values;
  std::string error;  // what made the text unreadable; empty when it was read
  bool ok() const { return error.empty(); }
};

Parsed Parse(std::string_view bytes);

// The file's text, or nothing when a key or value cannot be written so that it reads back the same
// (a key that is empty, holds '=' or a line break, begins with '#', ';', '\' or a blank, or ends with
// a blank; text that is not UTF-8).
std::optional<std::string> Write(const std::map<std::string, std::string>& values);

}  // namespace conf

// Files live at <config root>/<application>/<section>.conf, created 0700 (folder) and 0600 (file);
// a folder or file found open to group or others is closed to them on the next save.
//
// Every SaveSetting is written through at once. Two copies of the program saving to one section
// lose nothing: each write re-reads the file under QSettings' lock file and merges before it
// replaces the file atomically. A read picks up changes made by other programs since the last one.
//
// Nothing is thrown and nothing aborts. Problems are reported on standard error, one line each,
// starting "TARNWICK: ":
// - a file that cannot be parsed is copied to "<section>.conf.bad-<UTC time>" (0600; an identical
//   copy is not made twice) and its settings read as their defaults; the next save replaces it;
// - a save that fails (folder read-only, a folder where the file should be, disk full) is reported
//   with its key. Like QSettings, the store keeps the value for the rest of the run: reads return
//   it and every later save (and read) tries again to write it.
// - keys must be printable ASCII without '=', '/' or '\', not begin with '#' or ';' and have no
//   blank at either end; section and application names must be usable as one file name. Anything
//   else is reported and not saved, and reads as the default.
//
// Values are UTF-8; invalid byte sequences become U+FFFD, as Qt converts them.
// No QCoreApplication is needed. One store serves one thread.
class FileStore : public SettingsStore {
 public:
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

 private:
  struct OpenSection;
  OpenSection* Open(std::string_view application, std::string_view section, std::string_view doing);

  std::filesystem::path root_;
  bool root_reported_ = false;
  std::map<std::filesystem::path, std::unique_ptr<OpenSection>> open_;
};

}  // namespace settings
