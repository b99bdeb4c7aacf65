// The journal of every run on Windows: one line per event in %LOCALAPPDATA%\TARNWICK\<name>.log,
// never through a link, moved aside at 1 MiB, and never in the run's way.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "app/run_report.h"

namespace settings {

// Each line begins with the local date and time to the millisecond and the UTC offset. A journal
// (or its TARNWICK folder) that is a link or junction, or that is not a regular file, is not
// written, and one line on standard error says so. A failing write is reported once and tried
// again at the next event; nothing waits.
class JournalFile : public app::RunReport {
 public:
  static constexpr LONGLONG kRotateBytes = 1024 * 1024;

  // `folder` is where the TARNWICK folder lies (%LOCALAPPDATA% by default).
  JournalFile(std::wstring folder, std::string section, std::function<std::string()> now_text = LocalTimeNow);
  static std::wstring LocalAppData();
  static std::string LocalTimeNow();

  const std::wstring& path() const { return path_; }
  void Line(std::string_view text) override;
  void Finished(const app::RunEnd&) override {}

 private:
  std::string Append(const std::string& line);

  std::wstring folder_, path_, old_path_;
  std::function<std::string()> now_text_;
  std::string last_said_;
};

}  // namespace settings
