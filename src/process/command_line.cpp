// Program resolution for composed command lines by the Windows rule, kept as pure functions so it is
// testable on Linux; the Linux rule, which splits words with GLib, is in process/linux/.
#include "process/command_line.h"

#include <algorithm>

#include "process/command_line_rules.h"

namespace process {
namespace {

using rules::FolderBarrier;
using rules::ForEachLeadingRun;
using rules::kNone;

// The longest path Windows takes (its "\\?\" form); a longer run names no file.
constexpr std::size_t kLongestPath = 32767;

}  // namespace

WindowsCommand ResolveWindowsCommandLine(std::string_view text, const PathChecks& checks) {
  WindowsCommand result{true, std::string{}, std::string(text), std::string{}};
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == kNone) return result;
  const std::string_view line = text.substr(start);
  const bool drive = line.size() >= 3 && ((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z')) &&
                     line[1] == ':' && (line[2] == '\\' || line[2] == '/');
  if (!drive && !line.starts_with("\\\\")) return result;

  const std::size_t barrier = FolderBarrier(line, "\\/", kLongestPath, checks.is_folder);
  bool blocked = false;
  const bool taken = ForEachLeadingRun(line, kLongestPath, [&](std::string_view candidate, std::string_view rest) {
    if (candidate.size() < barrier) {
      blocked = true;  // and so is every shorter run
      return true;
    }
    // Windows file names cannot end with a space, so such a run names nothing.
    if (candidate.empty() || candidate.back() == ' ') return false;
    std::string path(candidate);
    const std::size_t folder_end = path.find_last_of("\\/");
    const std::size_t name_start = folder_end == std::string::npos ? 0 : folder_end + 1;
    if (path.find('.', name_start) == std::string::npos) path += ".exe";
    if (!checks.is_program(path)) return false;
    result.command_line = "\"" + path + "\"" + std::string(rest);
    result.application_name = std::move(path);
    return true;
  });
  if (!taken || blocked) {
    result.ok = false;
    result.error = barrier > 0 ? "cannot find the program: the folder \"" + std::string(line.substr(0, barrier)) +
                                     "\" holds nothing the command line names"
                               : "cannot find the program the command line names";
  }
  return result;
}

}  // namespace process
