// The journal of every run on Linux: one line per event in $XDG_STATE_HOME/TARNWICK/<name>.log,
// private and trusted by the store's rules, moved aside at 1 MiB, and never in the run's way.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "app/run_report.h"

namespace settings {

// Each line begins with the local date and time to the millisecond and the UTC offset. The folder
// is made 0700 and the file 0600 whatever the umask. A journal that is a link, not a regular file,
// not the user's, or in a folder (or under a state root) that another user may write to is not
// written, and one line on standard error says so. A failing write (a full disk, a read-only file
// system, a file-size limit) is reported once, and tried again at the next event; nothing waits.
class JournalFile : public app::RunReport {
 public:
  static constexpr off_t kRotateBytes = 1024 * 1024;

  // `now_text` gives the time a line begins with; the local time by default.
  JournalFile(std::filesystem::path state_root, std::string section,
              std::function<std::string()> now_text = LocalTimeNow);
  // $XDG_STATE_HOME when it is an absolute path, otherwise $HOME/.local/state; empty without a home.
  static std::filesystem::path StateRootFromEnvironment();
  // "2026-12-07 01:40:12.345 +0100"
  static std::string LocalTimeNow();

  const std::filesystem::path& path() const { return path_; }
  void Line(std::string_view text) override;
  void Finished(const app::RunEnd&) override {}

 private:
  // Why the line could not be written, or empty.
  std::string Append(const std::string& line);
  void Say(const std::string& problem);

  std::filesystem::path root_, folder_, path_, old_path_;
  std::function<std::string()> now_text_;
  std::string last_said_;
};

}  // namespace settings
