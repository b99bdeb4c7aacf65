// Program resolution with the file checks injected: the Linux rule (whole text or leading run as a
// location first, shell splitting and PATH otherwise) and the Windows rule.
#include "process/command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <string>
#include <vector>

namespace process {
namespace {

using Words = std::vector<std::string>;

// The named files exist; "*" stands for every file.
FileCheck FilesAre(std::set<std::string> files) {
  return [files = std::move(files)](const std::string& path) { return files.count("*") + files.count(path) > 0; };
}

#ifndef _WIN32

TEST(LinuxResolution, FindsTheProgramAndSplitsItsArguments) {
  const std::tuple<std::string, std::set<std::string>, std::string, std::string, Words> cases[] = {
      // text, files, PATH, program, argv
      {"/home/ann/My Tools/run", {"/home/ann/My Tools/run"}, "/usr/bin", "/home/ann/My Tools/run",
       {"/home/ann/My Tools/run"}},
      // The longest leading run that is a program wins, even with a quote in it; the rest is split.
      {"/opt/My Tools/run --state '/x y' \"a b\" c\\ d", {"/opt/My Tools/run", "/opt/My"}, "/usr/bin",
       "/opt/My Tools/run", {"/opt/My Tools/run", "--state", "/x y", "a b", "c d"}},
      {"/opt/My Tools/run", {"/opt/My"}, "/usr/bin", "/opt/My", {"/opt/My", "Tools/run"}},
      {"/opt/o'brien/My Tools/tool -v", {"/opt/o'brien/My Tools/tool"}, "", "/opt/o'brien/My Tools/tool",
       {"/opt/o'brien/My Tools/tool", "-v"}},
      // Otherwise split like a shell without expansion, and a bare first word is looked up on PATH.
      {"prog \"a b\" 'c d' e\\ f $HOME * ~  'g h'\"i\"\\ j  ", {"/usr/bin/prog", "/bin/prog"},
       "/usr/local/bin:/usr/bin:/bin", "/usr/bin/prog", {"prog", "a b", "c d", "e f", "$HOME", "*", "~", "g hi j"}},
      {"prog", {"./prog"}, "/nowhere::/bin", "./prog", {"prog"}},  // an empty PATH entry is "."
      {"\"/opt/x y/prog\" arg", {"/opt/x y/prog"}, "/usr/bin", "/opt/x y/prog", {"/opt/x y/prog", "arg"}},
  };
  for (const auto& [text, files, path_variable, program, argv] : cases) {
    const LinuxCommand result = ResolveLinuxCommandLine(text, FilesAre(files), path_variable);
    EXPECT_TRUE(result.ok) << text << ": " << result.error;
    EXPECT_EQ(result.program, program) << text;
    EXPECT_EQ(result.argv, argv) << text;
  }
}

TEST(LinuxResolution, RefusesLinesThatNameNoStartableProgram) {
  const std::tuple<std::string, std::set<std::string>, std::string> cases[] = {  // text, files, reason
      {"", {"*"}, "empty"}, {"   ", {"*"}, "empty"}, {"prog 'unbalanced", {"*"}, "split"}, {"prog \"unbalanced", {"*"}, "split"},
      {"/opt/p 'x", {"/opt/p"}, "split"},  // the program exists, its arguments cannot be split
      {"missing", {}, "cannot find the program \"missing\""},
      {"/opt/missing --x", {}, "cannot find"},
      {"prog arg", {"prog"}, "cannot find the program \"prog\""},  // never from the current folder
  };
  for (const auto& [text, files, reason] : cases) {
    const LinuxCommand result = ResolveLinuxCommandLine(text, FilesAre(files), "/usr/bin:/bin");
    EXPECT_FALSE(result.ok) << text;
    EXPECT_NE(result.error.find(reason), std::string::npos) << text << ": " << result.error;
    EXPECT_TRUE(result.argv.empty()) << text;
  }
}

#endif  // !_WIN32

TEST(WindowsResolution, QuotesTheLongestRunThatIsAFileAndKeepsTheRestAsTyped) {
  const std::tuple<std::string, std::set<std::string>, std::string, std::string> cases[] = {
      // text, files, application name, command line
      {"\"C:\\Program Files\\x.exe\" a", {"*"}, "", "\"C:\\Program Files\\x.exe\" a"},
      {"C:\\My Tools\\MF-PELLUM-ON", {"C:\\My Tools\\MF-PELLUM-ON.exe"}, "C:\\My Tools\\MF-PELLUM-ON.exe",
       "\"C:\\My Tools\\MF-PELLUM-ON.exe\""},
      {"C:\\My Tools\\node.exe -datadir=D:\\x y  \"z\"", {"C:\\My Tools\\node.exe", "C:\\My.exe"},
       "C:\\My Tools\\node.exe", "\"C:\\My Tools\\node.exe\" -datadir=D:\\x y  \"z\""},
      {"C:\\tools\\run.bat arg", {"C:\\tools\\run.bat"}, "C:\\tools\\run.bat", "\"C:\\tools\\run.bat\" arg"},
      {"C:\\v1.2\\tool", {"C:\\v1.2\\tool.exe"}, "C:\\v1.2\\tool.exe", "\"C:\\v1.2\\tool.exe\""},
      {"C:\\My Tools\\gone -x", {}, "", "C:\\My Tools\\gone -x"},
      {"", {"*"}, "", ""},
  };
  for (const auto& [text, files, application_name, command_line] : cases) {
    const WindowsCommand result = ResolveWindowsCommandLine(text, FilesAre(files));
    EXPECT_EQ(result.application_name, application_name) << text;
    EXPECT_EQ(result.command_line, command_line) << text;
  }
}

}  // namespace
}  // namespace process
