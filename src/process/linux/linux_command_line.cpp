// Program resolution for composed command lines by the Linux rule, with GLib's shell-like word
// splitting; pure functions of the text and the injected file checks.
#include <glib.h>
#include <limits.h>

#include <algorithm>

#include "process/command_line.h"
#include "process/command_line_rules.h"

namespace process {
namespace {

using rules::FolderBarrier;
using rules::ForEachLeadingRun;
using rules::kNone;

// What a shell skips before the first word.
constexpr std::string_view kBlanks = " \t\n";

// The kernel takes no path of PATH_MAX bytes or more (ENAMETOOLONG), so no longer run of words can
// name the program, and none is tried: a command line of megabytes resolves in linear time.
constexpr std::size_t kLongestPath = PATH_MAX - 1;

// Where the first word ends in the raw text, by the splitter's quoting rules, so it can be measured
// against a folder the raw text goes through.
std::size_t FirstWordEnd(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && kBlanks.find(text[i]) == kNone) {
    if (text[i] == '\\') {
      i += 2;
    } else if (text[i] == '\'') {
      const std::size_t close = text.find('\'', i + 1);
      i = close == kNone ? text.size() : close + 1;
    } else if (text[i] == '"') {
      for (++i; i < text.size() && text[i] != '"'; i += text[i] == '\\' ? 2 : 1) {}
      ++i;
    } else {
      ++i;
    }
  }
  return std::min(i, text.size());
}

// The first file named `name` in an absolute folder of the PATH value; "" when there is none. An
// empty or relative entry would mean the working folder, which another user may be able to write.
std::string FindOnPath(const std::string& name, std::string_view path_variable, const FileCheck& is_program) {
  for (std::size_t start = 0; start <= path_variable.size();) {
    std::size_t end = path_variable.find(':', start);
    if (end == kNone) end = path_variable.size();
    const std::string_view folder = path_variable.substr(start, end - start);
    if (folder.starts_with('/')) {
      std::string candidate = std::string(folder) + "/" + name;
      if (is_program(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}
}  // namespace

bool SplitShellWords(std::string_view text, std::vector<std::string>& words, std::string& error) {
  words.clear();
  if (text.find('\0') != kNone) {
    error = "the command line contains a NUL character";
    return false;
  }
  if (text.find_first_not_of(" \t\n\r\v\f") == kNone) return true;
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

LinuxCommand ResolveLinuxCommandLine(std::string_view text, const PathChecks& checks, std::string_view path_variable,
                                     std::string_view home) {
  LinuxCommand result;
  if (text.find_first_not_of(" \t\n\r\v\f") == kNone) {
    result.error = "the command line is empty";
    return result;
  }
  // As in a shell, blanks before the first word are not part of it.
  std::string line(text.substr(text.find_first_not_of(kBlanks)));
  if (line.starts_with("~/")) {
    if (!home.starts_with('/')) {
      result.error = "cannot tell where \"~/\" is: the home folder (HOME) is not set to an absolute path";
      return result;
    }
    line = std::string(home) + line.substr(1);
  }

  // Only text that begins with "/" may name its program by a run of several words.
  std::size_t barrier = 0;
  if (line.front() == '/') {
    barrier = FolderBarrier(line, "/", kLongestPath, checks.is_folder);
    bool blocked = false;
    std::string path;  // each run is the one before cut shorter: copied once, never again
    const bool taken_whole =
        ForEachLeadingRun(line, kLongestPath, [&](std::string_view candidate, std::string_view rest) {
          if (candidate.size() < barrier) {
            blocked = true;  // and so is every shorter run
            return true;
          }
          if (path.empty()) {
            path.assign(candidate);
          } else {
            path.resize(candidate.size());
          }
          if (!checks.is_program(path)) return false;
          std::vector<std::string> arguments;
          if (!SplitShellWords(rest, arguments, result.error)) return true;  // found, but unusable
          result.ok = true;
          result.argv.push_back(path);
          result.argv.insert(result.argv.end(), arguments.begin(), arguments.end());
          result.program = std::move(path);
          return true;
        });
    if (taken_whole && !blocked) return result;
  }

  std::vector<std::string> words;
  if (!SplitShellWords(line, words, result.error)) return result;
  if (words.empty()) {
    result.error = "the command line names no program";
    return result;
  }
  const std::string& first = words.front();
  if (first.find('/') != std::string::npos) {
    // A quoted or escaped location; it too must reach past any folder the text goes through.
    if (FirstWordEnd(line) >= barrier && checks.is_program(first)) result.program = first;
  } else if (!first.empty()) {
    result.program = FindOnPath(first, path_variable, checks.is_program);
  }
  if (result.program.empty()) {
    result.error = barrier > 0 ? "cannot find the program: the folder \"" + line.substr(0, barrier) +
                                     "\" holds nothing the command line names"
                               : "cannot find the program \"" + first + "\"";
    return result;
  }
  result.ok = true;
  result.argv = std::move(words);
  return result;
}

}  // namespace process
