// Fuzzes program resolution and word splitting of command lines by the Linux and the Windows rule.
// The first four bytes choose which candidate paths "exist"; the rest is the command line as typed.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "process/command_line.h"

namespace {

constexpr std::string_view kHome = "/home/fuzz user";  // a space in it makes "~/" read as a location

// A path is a file when the bit its length picks in the fuzz-chosen mask is set, and otherwise a
// folder when another bit is, so the fuzzer steers which leading runs of words name files and which
// prefixes are folders, and every answer is the same each time it is asked.
struct FakeFiles {
  std::uint32_t mask = 0;
  std::set<std::string> said_yes;
  bool IsFile(const std::string& path) const { return !path.empty() && ((mask >> (path.size() % 32)) & 1u) != 0; }
  bool IsFolder(const std::string& path) const {
    return !path.empty() && !IsFile(path) && ((mask >> ((path.size() + 16) % 32)) & 1u) != 0;
  }
  process::PathChecks Checks() {
    return {[this](const std::string& p) {
              if (IsFile(p)) said_yes.insert(p);
              return IsFile(p);
            },
            [this](const std::string& p) { return IsFolder(p); }};
  }
  // True when a prefix of `text` longer than `length` and ending just before a separator is a
  // folder: then a run of that length must never be taken.
  bool FolderBeyond(std::string_view text, std::size_t length, std::string_view separators) const {
    for (std::size_t at = length + 1; at < text.size(); ++at) {
      if (separators.find(text[at]) != std::string_view::npos && IsFolder(std::string(text.substr(0, at)))) return true;
    }
    return false;
  }
};

void CheckSplitting(std::string_view text) {
  std::vector<std::string> words;
  std::string error;
  if (!process::SplitShellWords(text, words, error)) {
    if (error.empty()) std::abort();
    return;
  }
  // Quoting every word and splitting again gives the same words back.
  std::string joined;
  for (const std::string& word : words) {
    if (word.find('\0') != std::string::npos) std::abort();
    gchar* quoted = g_shell_quote(word.c_str());
    joined.append(quoted).append(" ");
    g_free(quoted);
  }
  std::vector<std::string> again;
  if (!process::SplitShellWords(joined, again, error) || again != words) std::abort();
}

void CheckLinux(std::string_view text, std::uint32_t mask) {
  FakeFiles files{mask, {}};
  const std::string path_variable = "/usr/bin::/opt/node bin:rel";
  const process::LinuxCommand cmd = process::ResolveLinuxCommandLine(text, files.Checks(), path_variable, kHome);
  if (!cmd.ok) {
    if (cmd.error.empty()) std::abort();
    return;
  }
  if (!cmd.error.empty() || cmd.argv.empty()) std::abort();
  if (files.said_yes.count(cmd.program) == 0) std::abort();  // only a file that was found
  // The line as read: leading blanks dropped, "~/" expanded.
  std::string line(text.substr(text.find_first_not_of(" \t\n")));
  if (line.starts_with("~/")) line = std::string(kHome) + line.substr(1);
  std::string error;
  // Either the line split like a shell, its first word a path as it is or found on an absolute
  // PATH entry ...
  std::vector<std::string> words;
  if (process::SplitShellWords(line, words, error) && words == cmd.argv) {
    if (words[0].find('/') != std::string::npos) {
      if (cmd.program != words[0]) std::abort();
      if (line.starts_with('/') && !cmd.program.starts_with('/')) std::abort();
      // Written unquoted after "/", the word is a run of the line and must reach past any folder in it.
      const bool unquoted_run = line.starts_with('/') && line.starts_with(cmd.program) &&
                                (line.size() == cmd.program.size() || line[cmd.program.size()] == ' ');
      if (unquoted_run && files.FolderBeyond(line, cmd.program.size(), "/")) std::abort();
    } else if (!cmd.program.ends_with("/" + words[0]) ||
               !(cmd.program.starts_with("/usr/bin/") || cmd.program.starts_with("/opt/node bin/"))) {
      std::abort();  // never from an empty or relative PATH entry
    }
    return;
  }
  // ... or a leading run of a line that begins with "/" taken whole as the program, the rest split
  // into arguments, with no folder of the line beyond the run's end.
  if (!line.starts_with('/') || !line.starts_with(cmd.program) || cmd.argv[0] != cmd.program) std::abort();
  if (files.FolderBeyond(line, cmd.program.size(), "/")) std::abort();
  const std::string_view rest = std::string_view(line).substr(cmd.program.size());
  if (!rest.empty() && rest.front() != ' ') std::abort();
  std::vector<std::string> arguments;
  if (!process::SplitShellWords(rest, arguments, error)) std::abort();
  if (std::vector<std::string>(cmd.argv.begin() + 1, cmd.argv.end()) != arguments) std::abort();
}

// The file a leading run names on Windows: ".exe" added to a name without a dot; "" for no name.
std::string WindowsFileOf(std::string_view run) {
  if (run.empty() || run.back() == ' ') return {};
  std::string path(run);
  const std::size_t slash = path.find_last_of("\\/");
  if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) path += ".exe";
  return path;
}

void CheckWindows(std::string_view text, std::uint32_t mask) {
  FakeFiles files{mask, {}};
  const process::WindowsCommand cmd = process::ResolveWindowsCommandLine(text, files.Checks());
  const std::size_t start = text.find_first_not_of(" \t");
  const std::string_view line = start == std::string_view::npos ? std::string_view{} : text.substr(start);
  const bool absolute =
      (line.size() >= 3 && g_ascii_isalpha(line[0]) && line[1] == ':' && (line[2] == '\\' || line[2] == '/')) ||
      line.starts_with("\\\\");
  if (!absolute) {  // CreateProcess's own search, on the text as typed
    if (!cmd.ok || !cmd.application_name.empty() || cmd.command_line != text) std::abort();
    return;
  }
  // Runs of words are tried longest first, skipping those a folder of the line goes beyond: the
  // first that names a file is the program, and with none nothing may start.
  std::string expected;
  std::size_t expected_length = 0;
  for (std::size_t end = line.size(); end > 0 && expected.empty(); --end) {
    if (end != line.size() && line[end] != ' ') continue;
    const std::string file = WindowsFileOf(line.substr(0, end));
    if (file.empty() || files.FolderBeyond(line, end, "\\/")) continue;
    if (files.IsFile(file)) expected = file, expected_length = end;
  }
  if (expected.empty()) {
    if (cmd.ok || cmd.error.empty() || !cmd.application_name.empty()) std::abort();
    return;
  }
  if (!cmd.ok || cmd.application_name != expected) std::abort();
  if (files.said_yes.count(cmd.application_name) == 0) std::abort();
  // "<quoted path><the rest as typed>".
  if (cmd.command_line != "\"" + expected + "\"" + std::string(line.substr(expected_length))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t mask = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                             static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  const std::string_view text(reinterpret_cast<const char*>(data) + 4, size - 4);
  CheckSplitting(text);
  CheckLinux(text, mask);
  CheckWindows(text, mask);
  return 0;
}
