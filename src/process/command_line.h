// Turning a composed command line into a program and its arguments, by the Linux and the Windows
// rules. Pure functions: every file-system question goes through injected predicates.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace process {

// Answers a question about one path: whether it names a startable file, or an existing folder.
using FileCheck = std::function<bool(const std::string& path)>;

struct PathChecks {
  FileCheck is_program;  // an existing file of the kind the rule needs (never a folder)
  FileCheck is_folder;   // an existing folder (a link to one counts)
};

#ifndef _WIN32
struct LinuxCommand {
  bool ok = false;
  std::string program;            // the file to execute
  std::vector<std::string> argv;  // argv[0] first
  std::string error;              // why nothing can be started, when !ok
};

// Read as a shell would, with one addition for locations composed unquoted:
// - a leading "~/" is the home folder (`home`, which must be absolute);
// - text that then begins with "/" may name its program by a leading run of words with spaces in
//   it ("/home/ann/My Tools/run --x"), the longest run that is a program winning; a run is never
//   taken when a longer run passes through an existing folder beyond its end ("/x/a b/run" with a
//   folder "/x/a b" never runs "/x/a"), so a missing program never becomes a shorter one;
// - otherwise the text is split into words like a shell (without any expansion) and the first word
//   is the program: a path when it holds a "/" (relative ones from the working folder, as in a
//   shell), else looked up on `path_variable` (a PATH value), whose empty and relative entries
//   are skipped, so nothing is ever found in the working folder by accident.
LinuxCommand ResolveLinuxCommandLine(std::string_view text, const PathChecks& checks, std::string_view path_variable,
                                     std::string_view home);

// Shell-like word splitting without expansion. False (and `error` set) on unbalanced quotes.
bool SplitShellWords(std::string_view text, std::vector<std::string>& words, std::string& error);
#endif

struct WindowsCommand {
  bool ok = true;                // false: nothing may be started (`error` says why)
  std::string application_name;  // empty: let CreateProcess find the program in the command line
  std::string command_line;
  std::string error;
};

// The same reading of unquoted locations for CreateProcess, for text that begins with an absolute
// path ("C:\..." or "\\server\..."): the longest leading run of words that names an existing file
// (".exe" added to a name without a dot) becomes the application name and appears quoted in the
// command line, never a run beyond whose end a longer run passes through an existing folder. When
// no run may be taken, the command line names nothing and must not be started at all, since
// CreateProcess's own search would try "C:\Program.exe" for "C:\Program Files\...". Any other text
// goes to CreateProcess's own search, as Windows programs expect.
WindowsCommand ResolveWindowsCommandLine(std::string_view text, const PathChecks& checks);

}  // namespace process
