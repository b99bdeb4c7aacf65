// Program resolution with the file checks injected: the Linux rule (a run of words as a location
// only for text that begins with "/", shell splitting and PATH otherwise) and the Windows rule.
#include "process/command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace process {
namespace {

using Words = std::vector<std::string>;
using Paths = std::set<std::string>;

// The named files exist ("*" stands for every file), with the folders they lie in and `folders`.
PathChecks Machine(const Paths& files, Paths folders = {}) {
  for (const std::string& file : files) {
    for (std::size_t at = file.find_last_of("/\\"); at != std::string::npos && at > 0;
         at = file.find_last_of("/\\", at - 1))
      folders.insert(file.substr(0, at));
  }
  return {[files](const std::string& path) { return files.count("*") + files.count(path) > 0; },
          [folders](const std::string& path) { return folders.count(path) > 0; }};
}

#ifndef _WIN32

constexpr const char* kPath = "/usr/bin:/bin";
constexpr const char* kHome = "/home/ann";

TEST(LinuxResolution, FindsTheProgramAndSplitsItsArguments) {
  const std::tuple<std::string, Paths, std::string, std::string, Words> cases[] = {
      // text, files, PATH, program, argv
      {"/home/ann/My Tools/run",
       {"/home/ann/My Tools/run"},
       kPath,
       "/home/ann/My Tools/run",
       {"/home/ann/My Tools/run"}},
      // The longest leading run that is a program wins, even with a quote in it; the rest is split.
      {"/opt/My Tools/run --state '/x y' \"a b\" c\\ d",
       {"/opt/My Tools/run", "/opt/My"},
       kPath,
       "/opt/My Tools/run",
       {"/opt/My Tools/run", "--state", "/x y", "a b", "c d"}},
      {"/opt/My Tools/run", {"/opt/My"}, kPath, "/opt/My", {"/opt/My", "Tools/run"}},  // no folder "My Tools"
      {"/opt/o'brien/My Tools/tool -v",
       {"/opt/o'brien/My Tools/tool"},
       "",
       "/opt/o'brien/My Tools/tool",
       {"/opt/o'brien/My Tools/tool", "-v"}},
      {"  /opt/x y/run -v", {"/opt/x y/run"}, kPath, "/opt/x y/run", {"/opt/x y/run", "-v"}},  // blanks first
      {"/opt/My\\ Tools/run -x", {"/opt/My Tools/run"}, kPath, "/opt/My Tools/run", {"/opt/My Tools/run", "-x"}},
      // "~/" is the home folder, expanded first; a home with a space is then read as a location.
      {"~/bin/node -x", {"/home/ann/bin/node"}, kPath, "/home/ann/bin/node", {"/home/ann/bin/node", "-x"}},
      {"~/My Tools/node -x",
       {"/home/ann/My Tools/node"},
       kPath,
       "/home/ann/My Tools/node",
       {"/home/ann/My Tools/node", "-x"}},
      // Otherwise split like a shell without expansion, and a bare first word is looked up on PATH.
      {"prog \"a b\" 'c d' e\\ f $HOME * ~  'g h'\"i\"\\ j  ",
       {"/usr/bin/prog", "/bin/prog"},
       "/usr/local/bin:/usr/bin:/bin",
       "/usr/bin/prog",
       {"prog", "a b", "c d", "e f", "$HOME", "*", "~", "g hi j"}},
      {"prog", {"bin/prog", "/usr/bin/prog"}, "bin::/usr/bin", "/usr/bin/prog", {"prog"}},  // past relative entries
      {"\"/opt/x y/prog\" arg", {"/opt/x y/prog"}, kPath, "/opt/x y/prog", {"/opt/x y/prog", "arg"}},
      // A first word with a "/" elsewhere is a path from the working folder, as in a shell.
      {"bin/node -x", {"bin/node"}, kPath, "bin/node", {"bin/node", "-x"}},
      {"./run a b", {"./run", "./run a"}, kPath, "./run", {"./run", "a", "b"}},
  };
  for (const auto& [text, files, path_variable, program, argv] : cases) {
    const LinuxCommand result = ResolveLinuxCommandLine(text, Machine(files), path_variable, kHome);
    EXPECT_TRUE(result.ok) << text << ": " << result.error;
    EXPECT_EQ(result.program, program) << text;
    EXPECT_EQ(result.argv, argv) << text;
  }
}

TEST(LinuxResolution, RefusesLinesThatNameNoStartableProgram) {
  const std::tuple<std::string, Paths, Paths, std::string, std::string> cases[] = {
      // text, files, folders besides the files', home, reason
      {"", {"*"}, {}, kHome, "empty"},
      {"   ", {"*"}, {}, kHome, "empty"},
      {"prog 'unbalanced", {"*"}, {}, kHome, "split"},
      {"prog \"unbalanced", {"*"}, {}, kHome, "split"},
      {"/opt/p 'x", {"/opt/p"}, {}, kHome, "split"},  // the program exists, its arguments cannot be split
      {"missing", {}, {}, kHome, "cannot find the program \"missing\""},
      {std::string("/opt/p\0/x", 9), {"/opt/p"}, {}, kHome, "NUL"},  // what the NUL cuts off would be lost
      {"/opt/missing --x", {}, {}, kHome, "cannot find"},
      // Never from the working folder: not a bare word, nor a run of words that does not begin with "/".
      {"prog arg", {"prog", "./prog"}, {}, kHome, "cannot find the program \"prog\""},
      {"node-cli -datadir=/home/ann/.node stop",
       {"node-cli -datadir=/home/ann/.node"},
       {},
       kHome,
       "cannot find the program \"node-cli\""},
      {"\"/opt/My Tools/node\" -x", {"\"/opt/My Tools/node\"", "\"/opt/My"}, {}, kHome, "\"/opt/My Tools/node\""},
      {"~/bin/node", {"~/bin/node"}, {}, kHome, "cannot find the program \"/home/ann/bin/node\""},
      {"~/bin/node", {"*"}, {}, "", "home folder"},
      {"~/bin/node", {"*"}, {}, "home/ann", "home folder"},
      {"bin/node a b", {"bin/node a"}, {}, kHome, "cannot find the program \"bin/node\""},
      // A missing program never becomes a shorter one when the text goes through a folder beyond it.
      {"/x/a b/run --x 1", {"/x/a"}, {"/x/a b"}, kHome, "the folder \"/x/a b\""},
      {"/x/a b/nosuch/run --x 1", {"/x/a"}, {"/x/a b"}, kHome, "the folder \"/x/a b\""},
      {"/x/a b/c d/run", {"/x/a", "/x/a b/c"}, {"/x/a b/c d"}, kHome, "the folder \"/x/a b/c d\""},
      {"/x/a 'b/run'", {"/x/a"}, {"/x/a 'b"}, kHome, "the folder"},  // nor as a split first word
      {"/x/'a' b/run", {"/x/a"}, {"/x/'a' b"}, kHome, "the folder"},
  };
  for (const auto& [text, files, folders, home, reason] : cases) {
    const LinuxCommand result = ResolveLinuxCommandLine(text, Machine(files, folders), kPath, home);
    EXPECT_FALSE(result.ok) << text << " ran " << result.program;
    EXPECT_NE(result.error.find(reason), std::string::npos) << text << ": " << result.error;
    EXPECT_TRUE(result.argv.empty()) << text;
  }
}

#endif  // !_WIN32

TEST(WindowsResolution, QuotesTheLongestRunThatIsAFileAndKeepsTheRestAsTyped) {
  const std::tuple<std::string, Paths, std::string, std::string> cases[] = {
      // text, files, application name, command line
      {"\"C:\\Program Files\\x.exe\" a", {"*"}, "", "\"C:\\Program Files\\x.exe\" a"},
      {"C:\\My Tools\\MF-PELLUM-ON",
       {"C:\\My Tools\\MF-PELLUM-ON.exe"},
       "C:\\My Tools\\MF-PELLUM-ON.exe",
       "\"C:\\My Tools\\MF-PELLUM-ON.exe\""},
      {"C:\\My Tools\\node.exe -datadir=D:\\x y  \"z\"",
       {"C:\\My Tools\\node.exe", "C:\\My.exe"},
       "C:\\My Tools\\node.exe",
       "\"C:\\My Tools\\node.exe\" -datadir=D:\\x y  \"z\""},
      {"C:\\tools\\run.bat arg", {"C:\\tools\\run.bat"}, "C:\\tools\\run.bat", "\"C:\\tools\\run.bat\" arg"},
      {"C:\\v1.2\\tool", {"C:\\v1.2\\tool.exe"}, "C:\\v1.2\\tool.exe", "\"C:\\v1.2\\tool.exe\""},
      {"d:/My Tools/x -a", {"d:/My Tools/x.exe"}, "d:/My Tools/x.exe", "\"d:/My Tools/x.exe\" -a"},
      {"\\\\srv\\share\\My Tools\\x a",
       {"\\\\srv\\share\\My Tools\\x.exe"},
       "\\\\srv\\share\\My Tools\\x.exe",
       "\"\\\\srv\\share\\My Tools\\x.exe\" a"},
      {"  C:\\My Tools\\x.exe a", {"C:\\My Tools\\x.exe"}, "C:\\My Tools\\x.exe", "\"C:\\My Tools\\x.exe\" a"},
      {"C:\\My Tools\\x.exe a", {"C:\\My.exe"}, "C:\\My.exe", "\"C:\\My.exe\" Tools\\x.exe a"},  // no folder
      // Anything that does not begin with an absolute path is CreateProcess's to search, as typed.
      {"tools\\x y.exe -a", {"tools\\x y.exe"}, "", "tools\\x y.exe -a"},
      {"node.exe -x", {"*"}, "", "node.exe -x"},
      {"", {"*"}, "", ""},
  };
  for (const auto& [text, files, application_name, command_line] : cases) {
    const WindowsCommand result = ResolveWindowsCommandLine(text, Machine(files));
    EXPECT_TRUE(result.ok) << text << ": " << result.error;
    EXPECT_EQ(result.application_name, application_name) << text;
    EXPECT_EQ(result.command_line, command_line) << text;
  }
}

// A location that resolves to nothing is not started at all: CreateProcess's own search of it
// would try "C:\Program.exe" first.
TEST(WindowsResolution, AMissingProgramNeverBecomesAShorterOne) {
  const std::tuple<std::string, Paths, Paths> cases[] = {
      // text, files, folders besides the files'
      {"C:\\Program Files\\tw\\NODE.exe --x 1", {"C:\\Program.exe"}, {"C:\\Program Files\\tw"}},
      {"C:\\Program Files\\nosuch\\NODE.exe --x 1", {"C:\\Program.exe"}, {"C:\\Program Files"}},
      {"\\\\srv\\share\\a b\\run", {"\\\\srv\\share\\a.exe"}, {"\\\\srv\\share\\a b"}},
      {"C:\\My Tools\\gone -x", {}, {}},
      {"C:\\Tools\\my  x", {"C:\\Tools\\my .exe"}, {}},  // a run ending in a space names no file
  };
  for (const auto& [text, files, folders] : cases) {
    const WindowsCommand result = ResolveWindowsCommandLine(text, Machine(files, folders));
    EXPECT_FALSE(result.ok) << text << " would start " << result.application_name;
    EXPECT_FALSE(result.error.empty()) << text;
  }
}

}  // namespace
}  // namespace process
