// Unit tests of program resolution: the Linux rule (whole or leading-run location first, shell
// splitting and PATH otherwise) and the Windows rule, with the file checks injected.
#include "process/command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace process {
namespace {

FileCheck FilesAre(std::set<std::string> files) {
  return [files = std::move(files)](const std::string& path) { return files.count(path) > 0; };
}

using Words = std::vector<std::string>;

#ifndef _WIN32

TEST(LinuxResolution, TakesTheWholeTextWhenItIsAnExecutableFile) {
  const auto result = ResolveLinuxCommandLine("/home/ann/My Tools/run",
                                              FilesAre({"/home/ann/My Tools/run"}), "/usr/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.program, "/home/ann/My Tools/run");
  EXPECT_EQ(result.argv, Words{"/home/ann/My Tools/run"});
}

TEST(LinuxResolution, PrefersTheLongestLeadingRunAndSplitsTheRest) {
  const auto result = ResolveLinuxCommandLine(
      "/opt/My Tools/run --state '/x y' \"a b\" c\\ d",
      FilesAre({"/opt/My Tools/run", "/opt/My"}), "/usr/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.program, "/opt/My Tools/run");
  EXPECT_EQ(result.argv, (Words{"/opt/My Tools/run", "--state", "/x y", "a b", "c d"}));
}

TEST(LinuxResolution, FallsBackToAShorterRunWhenTheLongerDoesNotExist) {
  const auto result =
      ResolveLinuxCommandLine("/opt/My Tools/run", FilesAre({"/opt/My"}), "/usr/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.argv, (Words{"/opt/My", "Tools/run"}));
}

TEST(LinuxResolution, AcceptsASingleQuoteInTheFolderOfAnExistingProgram) {
  // Shell splitting alone would reject this text for its unbalanced quote.
  const auto result = ResolveLinuxCommandLine("/opt/o'brien/My Tools/tool -v",
                                              FilesAre({"/opt/o'brien/My Tools/tool"}), "");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.argv, (Words{"/opt/o'brien/My Tools/tool", "-v"}));
}

TEST(LinuxResolution, SplitsLikeAShellWithoutExpansionAndSearchesPath) {
  const auto result = ResolveLinuxCommandLine(
      "prog \"a b\" 'c d' e\\ f $HOME * ~", FilesAre({"/usr/bin/prog", "/bin/prog"}),
      "/usr/local/bin:/usr/bin:/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.program, "/usr/bin/prog");
  EXPECT_EQ(result.argv, (Words{"prog", "a b", "c d", "e f", "$HOME", "*", "~"}));
}

TEST(LinuxResolution, TreatsAnEmptyPathEntryAsTheCurrentFolder) {
  const auto result = ResolveLinuxCommandLine("prog", FilesAre({"./prog"}), "/nowhere::/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.program, "./prog");
}

TEST(LinuxResolution, UsesAQuotedFirstWordWithASlashAsAPath) {
  const auto result = ResolveLinuxCommandLine("\"/opt/x y/prog\" arg",
                                              FilesAre({"/opt/x y/prog"}), "/usr/bin");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.program, "/opt/x y/prog");
  EXPECT_EQ(result.argv, (Words{"/opt/x y/prog", "arg"}));
}

TEST(LinuxResolution, NeverTakesABareWordFromTheCurrentFolder) {
  const auto result = ResolveLinuxCommandLine("prog arg", FilesAre({"prog"}), "/usr/bin");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("prog"), std::string::npos);
}

TEST(LinuxResolution, RefusesLinesThatNameNoStartableProgram) {
  const auto all = [](const std::string&) { return true; };
  const auto none = [](const std::string&) { return false; };
  for (const char* text : {"", "   ", "prog 'unbalanced", "prog \"unbalanced"}) {
    const auto result = ResolveLinuxCommandLine(text, all, "/usr/bin");
    EXPECT_FALSE(result.ok) << text;
    EXPECT_FALSE(result.error.empty()) << text;
    EXPECT_TRUE(result.argv.empty()) << text;
  }
  for (const char* text : {"missing", "/opt/missing --x"}) {
    const auto result = ResolveLinuxCommandLine(text, none, "/usr/bin:/bin");
    EXPECT_FALSE(result.ok) << text;
    EXPECT_NE(result.error.find("cannot find"), std::string::npos) << result.error;
  }
}

TEST(LinuxResolution, RefusesAnExistingProgramWhoseArgumentsCannotBeSplit) {
  const auto result = ResolveLinuxCommandLine("/opt/p 'x", FilesAre({"/opt/p"}), "/usr/bin");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("split"), std::string::npos) << result.error;
}

TEST(ShellWords, SplitsQuotesAndBackslashesAndReportsUnbalancedQuotes) {
  Words words;
  std::string error;
  ASSERT_TRUE(SplitShellWords("  a  'b c'\"d\"\\ e  ", words, error)) << error;
  EXPECT_EQ(words, (Words{"a", "b cd e"}));
  ASSERT_TRUE(SplitShellWords("   ", words, error));
  EXPECT_TRUE(words.empty());
  EXPECT_FALSE(SplitShellWords("a 'b", words, error));
  EXPECT_FALSE(error.empty());
}

#endif  // !_WIN32

TEST(WindowsResolution, LeavesATextStartingWithAQuoteAsTyped) {
  const auto all = [](const std::string&) { return true; };
  const auto result = ResolveWindowsCommandLine("\"C:\\Program Files\\x.exe\" a", all);
  EXPECT_EQ(result.application_name, "");
  EXPECT_EQ(result.command_line, "\"C:\\Program Files\\x.exe\" a");
}

TEST(WindowsResolution, AppendsExeToTheWholeTextAndQuotesIt) {
  const auto result = ResolveWindowsCommandLine(
      "C:\\My Tools\\MF-PELLUM-ON", FilesAre({"C:\\My Tools\\MF-PELLUM-ON.exe"}));
  EXPECT_EQ(result.application_name, "C:\\My Tools\\MF-PELLUM-ON.exe");
  EXPECT_EQ(result.command_line, "\"C:\\My Tools\\MF-PELLUM-ON.exe\"");
}

TEST(WindowsResolution, PrefersTheLongestRunAndKeepsTheRestAsTyped) {
  const auto result = ResolveWindowsCommandLine(
      "C:\\My Tools\\node.exe -datadir=D:\\x y  \"z\"",
      FilesAre({"C:\\My Tools\\node.exe", "C:\\My.exe"}));
  EXPECT_EQ(result.application_name, "C:\\My Tools\\node.exe");
  EXPECT_EQ(result.command_line, "\"C:\\My Tools\\node.exe\" -datadir=D:\\x y  \"z\"");
}

TEST(WindowsResolution, AppendsExeOnlyWhenTheFileNameHasNoExtension) {
  const auto kept = ResolveWindowsCommandLine("C:\\tools\\run.bat arg",
                                              FilesAre({"C:\\tools\\run.bat"}));
  EXPECT_EQ(kept.application_name, "C:\\tools\\run.bat");
  EXPECT_EQ(kept.command_line, "\"C:\\tools\\run.bat\" arg");
  // A dot in a folder's name is no extension of the file.
  const auto appended =
      ResolveWindowsCommandLine("C:\\v1.2\\tool", FilesAre({"C:\\v1.2\\tool.exe"}));
  EXPECT_EQ(appended.application_name, "C:\\v1.2\\tool.exe");
}

TEST(WindowsResolution, LeavesTheTextUnchangedWhenNoRunIsAFile) {
  const auto none = [](const std::string&) { return false; };
  const auto result = ResolveWindowsCommandLine("C:\\My Tools\\gone -x", none);
  EXPECT_EQ(result.application_name, "");
  EXPECT_EQ(result.command_line, "C:\\My Tools\\gone -x");
  const auto empty = ResolveWindowsCommandLine("", none);
  EXPECT_EQ(empty.application_name, "");
  EXPECT_EQ(empty.command_line, "");
}

}  // namespace
}  // namespace process
