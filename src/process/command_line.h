// Turning a composed command line into a program and its arguments, by the Linux and the Windows
// rules. Pure functions: every file-system question goes through an injected predicate.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace process {

// Answers whether a path names an existing file of the kind the rule needs (never a folder).
using FileCheck = std::function<bool(const std::string& path)>;

#ifndef _WIN32
struct LinuxCommand {
  bool ok = false;
  std::string program;            // the file to execute
  std::vector<std::string> argv;  // argv[0] first
  std::string error;              // why nothing can be started, when !ok
};

// Locations are composed unquoted, so "/home/ann/My Tools/run" must be taken whole when such a
// file exists; only otherwise is the text split like a shell would, and the first word found on
// `path_variable` (a PATH value) unless it holds a '/'. A leading run of words is only taken as the
// program when it holds a '/', so a bare word is never taken from the current folder.
LinuxCommand ResolveLinuxCommandLine(std::string_view text, const FileCheck& is_executable_file,
                                     std::string_view path_variable);

// Shell-like word splitting without expansion. False (and `error` set) on unbalanced quotes.
bool SplitShellWords(std::string_view text, std::vector<std::string>& words, std::string& error);
#endif

struct WindowsCommand {
  std::string application_name;  // empty: let the command line name the program
  std::string command_line;
};

// The same reading of unquoted locations for CreateProcess: when a leading run of words names an
// existing file, that file becomes the application name and appears quoted in the command line.
WindowsCommand ResolveWindowsCommandLine(std::string_view text, const FileCheck& exists_file);

}  // namespace process
