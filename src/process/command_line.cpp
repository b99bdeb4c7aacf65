// Program resolution for composed command lines: the Linux rule (with GLib's shell-like word
// splitting) and the Windows rule kept here as pure functions so both are testable on Linux.
#include "process/command_line.h"

#ifndef _WIN32
#include <glib.h>
#endif

namespace process {
namespace {

#ifndef _WIN32
bool AllSpaces(std::string_view text) {
  return text.find_first_not_of(" \t\n\r\v\f") == std::string_view::npos;
}
#endif

// Calls `try_candidate(candidate, rest)` for the whole text, then for each leading run of words
// from the longest down, stopping at the first that it accepts. `rest` starts at the separator.
template <typename Try>
bool ForEachLeadingRun(std::string_view text, Try&& try_candidate) {
  if (try_candidate(text, std::string_view{})) return true;
  for (std::size_t end = text.rfind(' '); end != std::string_view::npos && end > 0;
       end = text.rfind(' ', end - 1)) {
    if (try_candidate(text.substr(0, end), text.substr(end))) return true;
  }
  return false;
}

}  // namespace

#ifndef _WIN32

bool SplitShellWords(std::string_view text, std::vector<std::string>& words, std::string& error) {
  words.clear();
  if (text.find('\0') != std::string_view::npos) {
    error = "the command line contains a NUL character";
    return false;
  }
  if (AllSpaces(text)) return true;
  const std::string copy(text);
  gint argc = 0;
  gchar** argv = nullptr;
  GError* gerror = nullptr;
  if (!g_shell_parse_argv(copy.c_str(), &argc, &argv, &gerror)) {
    // GLib calls a line holding only a comment "empty"; that simply has no words.
    const bool empty = g_error_matches(gerror, G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING);
    if (!empty) error = std::string("cannot split the command line: ") + gerror->message;
    g_error_free(gerror);
    return empty;
  }
  words.reserve(static_cast<std::size_t>(argc));
  for (gint i = 0; i < argc; ++i) words.emplace_back(argv[i]);
  g_strfreev(argv);
  return true;
}

LinuxCommand ResolveLinuxCommandLine(std::string_view text, const FileCheck& is_executable_file,
                                     std::string_view path_variable) {
  LinuxCommand result;
  if (AllSpaces(text)) {
    result.error = "the command line is empty";
    return result;
  }

  const bool taken_whole = ForEachLeadingRun(text, [&](std::string_view candidate,
                                                       std::string_view rest) {
    if (candidate.find('/') == std::string_view::npos) return false;
    std::string path(candidate);
    if (!is_executable_file(path)) return false;
    std::vector<std::string> arguments;
    if (!SplitShellWords(rest, arguments, result.error)) return true;  // found, but unusable
    result.ok = true;
    result.argv.push_back(path);
    result.argv.insert(result.argv.end(), arguments.begin(), arguments.end());
    result.program = std::move(path);
    return true;
  });
  if (taken_whole) return result;

  std::vector<std::string> words;
  if (!SplitShellWords(text, words, result.error)) return result;
  if (words.empty()) {
    result.error = "the command line names no program";
    return result;
  }
  const std::string& first = words.front();
  if (first.find('/') != std::string::npos) {
    if (is_executable_file(first)) result.program = first;
  } else if (!first.empty()) {
    std::size_t start = 0;
    while (start <= path_variable.size()) {
      std::size_t end = path_variable.find(':', start);
      if (end == std::string_view::npos) end = path_variable.size();
      std::string folder(path_variable.substr(start, end - start));
      if (folder.empty()) folder = ".";  // POSIX: an empty PATH entry is the current folder
      std::string candidate = folder + "/" + first;
      if (is_executable_file(candidate)) {
        result.program = std::move(candidate);
        break;
      }
      start = end + 1;
    }
  }
  if (result.program.empty()) {
    result.error = "cannot find the program \"" + first + "\"";
    return result;
  }
  result.ok = true;
  result.argv = std::move(words);
  return result;
}

#endif  // !_WIN32

WindowsCommand ResolveWindowsCommandLine(std::string_view text, const FileCheck& exists_file) {
  WindowsCommand result{std::string{}, std::string(text)};
  if (text.empty() || text.front() == '"') return result;

  ForEachLeadingRun(text, [&](std::string_view candidate, std::string_view rest) {
    // Windows file names cannot end with a space, so such a run names nothing.
    if (candidate.empty() || candidate.back() == ' ') return false;
    std::string path(candidate);
    const std::size_t folder_end = path.find_last_of("\\/");
    const std::size_t name_start = folder_end == std::string::npos ? 0 : folder_end + 1;
    if (path.find('.', name_start) == std::string::npos) path += ".exe";
    if (!exists_file(path)) return false;
    result.command_line = "\"" + path + "\"" + std::string(rest);
    result.application_name = std::move(path);
    return true;
  });
  return result;
}

}  // namespace process
