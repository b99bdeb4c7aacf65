// The parts of program resolution both platforms' rules share: trying runs of leading words, and
// the folder a run must not stop short of.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "process/command_line.h"

namespace process::rules {

inline constexpr std::size_t kNone = std::string_view::npos;

// Calls `try_candidate(candidate, rest)` for the whole text, then for each leading run of words
// from the longest down, stopping at the first that it accepts. `rest` starts at the separator.
// Runs longer than `longest` bytes name no file the system would open, so they are never tried:
// the work stays linear in the text however long it is and however many words it has.
template <typename Try>
bool ForEachLeadingRun(std::string_view text, std::size_t longest, Try&& try_candidate) {
  if (text.size() <= longest && try_candidate(text, std::string_view{})) return true;
  for (std::size_t end = text.rfind(' ', longest); end != kNone && end > 0; end = text.rfind(' ', end - 1)) {
    if (try_candidate(text.substr(0, end), text.substr(end))) return true;
  }
  return false;
}

// The length of the longest leading part of `text` that ends just before a separator, lies beyond
// the first space and is an existing folder; 0 when there is none. A leading run of words shorter
// than that is a prefix of a folder's name the text clearly goes through ("/x/a" of "/x/a b/run"),
// so taking it would start some other program than the one named. Parts longer than `longest`
// bytes are no folder the system would open; each shorter part is the one buffer cut shorter.
inline std::size_t FolderBarrier(std::string_view text, std::string_view separators, std::size_t longest,
                                 const FileCheck& is_folder) {
  const std::size_t first_space = text.find(' ');
  if (first_space == kNone) return 0;
  std::string part;
  for (std::size_t at = text.find_last_of(separators, longest); at != kNone && at > first_space;
       at = text.find_last_of(separators, at - 1)) {
    if (part.empty()) {
      part.assign(text.substr(0, at));
    } else {
      part.resize(at);
    }
    if (is_folder(part)) return at;
  }
  return 0;
}

}  // namespace process::rules
