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

// A path exists when the bit its length picks in the fuzz-chosen mask is set, so the fuzzer steers
// which leading runs of words name files, and the answer is the same every time it is asked.
struct FakeFiles {
  std::uint32_t mask = 0;
  std::set<std::string> said_yes;
  bool operator()(const std::string& path) {
    const bool exists = !path.empty() && ((mask >> (path.size() % 32)) & 1u) != 0;
    if (exists) said_yes.insert(path);
    return exists;
  }
  bool Exists(const std::string& path) const { return !path.empty() && ((mask >> (path.size() % 32)) & 1u) != 0; }
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
  const std::string path_variable = "/usr/bin::/opt/node bin";
  const process::LinuxCommand cmd =
      process::ResolveLinuxCommandLine(text, [&](const std::string& p) { return files(p); }, path_variable);
  if (!cmd.ok) {
    if (cmd.error.empty()) std::abort();
    return;
  }
  if (!cmd.error.empty() || cmd.argv.empty()) std::abort();
  if (cmd.program.find('/') == std::string::npos) std::abort();  // never a bare word from the current folder
  if (files.said_yes.count(cmd.program) == 0) std::abort();       // only a file that was found
  std::string error;
  // Either the text split like a shell, its first word found as it is or on the PATH ...
  std::vector<std::string> words;
  if (process::SplitShellWords(text, words, error) && words == cmd.argv &&
      (words[0].find('/') != std::string::npos ? cmd.program == words[0] : cmd.program.ends_with("/" + words[0])))
    return;
  // ... or a leading run of the text taken whole as the program, the rest split into arguments.
  if (!std::string_view(text).starts_with(cmd.program) || cmd.argv[0] != cmd.program) std::abort();
  const std::string_view rest = text.substr(cmd.program.size());
  if (!rest.empty() && rest.front() != ' ') std::abort();
  std::vector<std::string> arguments;
  if (!process::SplitShellWords(rest, arguments, error)) std::abort();
  if (std::vector<std::string>(cmd.argv.begin() + 1, cmd.argv.end()) != arguments) std::abort();
}

void CheckWindows(std::string_view text, std::uint32_t mask) {
  FakeFiles files{mask, {}};
  const process::WindowsCommand cmd =
      process::ResolveWindowsCommandLine(text, [&](const std::string& p) { return files(p); });
  if (cmd.application_name.empty()) {
    if (cmd.command_line != text) std::abort();  // nothing chosen: the text goes as typed
    return;
  }
  if (text.empty() || text.front() == '"') std::abort();
  if (files.said_yes.count(cmd.application_name) == 0) std::abort();
  // "<quoted path><the rest as typed>", where the path is a leading run of the text (".exe" added
  // to a name without a dot) and the rest is empty or starts at a space.
  const std::string quoted = "\"" + cmd.application_name + "\"";
  if (!cmd.command_line.starts_with(quoted)) std::abort();
  const std::string rest = cmd.command_line.substr(quoted.size());
  if (!std::string_view(text).ends_with(rest)) std::abort();
  const std::string run(text.substr(0, text.size() - rest.size()));
  if (!rest.empty() && rest.front() != ' ') std::abort();
  if (run.empty() || run.back() == ' ') std::abort();
  if (cmd.application_name != run && cmd.application_name != run + ".exe") std::abort();
  // The longest run that names a file wins: no longer run may exist.
  for (std::size_t end = text.size(); end > run.size(); --end) {
    if (end != text.size() && text[end] != ' ') continue;
    std::string longer(text.substr(0, end));
    if (longer.empty() || longer.back() == ' ') continue;
    const std::size_t slash = longer.find_last_of("\\/");
    if (longer.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) longer += ".exe";
    if (files.Exists(longer)) std::abort();
  }
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
