// Tests of the /proc probe: the matching rules on a hand-made process tree where every case can
// be set up exactly, and then on real running stand-ins.
#include <gtest/gtest.h>

#include <string>

#include "process/linux_process.h"
#include "test_support.h"

namespace process {
namespace {

using process_test::fs::path;
using process_test::TempDir;

TEST(SameImageName, FoldsAsciiAndCommonUtf8LettersOnly) {
  EXPECT_TRUE(SameImageName("MF-Corvant", "mf-cORVANT"));
  EXPECT_TRUE(SameImageName("Ärger-Ωmega-Жук-Ÿ", "äRGER-ωMEGA-жУК-ÿ"));
  EXPECT_FALSE(SameImageName("node", "node2"));
  EXPECT_FALSE(SameImageName("node-1", "node_1"));
  EXPECT_FALSE(SameImageName("Ä", "A"));
  // Bytes that are not letters, or not valid UTF-8, must be equal as they are.
  EXPECT_TRUE(SameImageName("\xff\xfe", "\xff\xfe"));
  EXPECT_FALSE(SameImageName("\xff", "\xfe"));
}

// A process tree shaped like /proc, one folder per pid with exe, cmdline and stat.
class FakeProcTree : public ::testing::Test {
 protected:
  void AddProcess(const std::string& pid, const std::string* exe_link, const std::string& cmdline,
                  const std::string& stat) {
    const path folder = root() / pid;
    process_test::fs::create_directories(folder);
    if (exe_link != nullptr) process_test::fs::create_symlink(*exe_link, folder / "exe");
    process_test::WriteText(folder / "cmdline", cmdline);
    process_test::WriteText(folder / "stat", stat);
  }
  // An exe entry that is no link reads as an error other than "missing", as for other users.
  void AddProcessWithUnreadableExe(const std::string& pid, const std::string& cmdline,
                                   const std::string& stat) {
    AddProcess(pid, nullptr, cmdline, stat);
    process_test::WriteText(root() / pid / "exe", "");
  }
  path root() const { return temp_.path() / "proc"; }
  Probe Ask(std::string_view name) { return LinuxProcessControl(root().string()).IsProcessRunning(name); }

  TempDir temp_;
};

TEST_F(FakeProcTree, MatchesTheExecutableOrFirstArgumentFileNameInAnyCase) {
  const std::string alpha = "/nowhere/dir/Alpha";
  AddProcess("100", &alpha, std::string("/nowhere/dir/Alpha\0--x\0", 23), "100 (Alpha) S 1");
  const std::string python = "/usr/bin/python3";
  AddProcess("101", &python, std::string("/opt/tools/Script-Name\0a\0", 25), "101 (python3) S 1");
  EXPECT_EQ(Ask("Alpha"), Probe::Running);
  EXPECT_EQ(Ask("aLPHA"), Probe::Running);
  EXPECT_EQ(Ask("script-name"), Probe::Running);
  EXPECT_EQ(Ask("PYTHON3"), Probe::Running);
  EXPECT_EQ(Ask("Alph"), Probe::NotRunning);
  EXPECT_EQ(Ask("--x"), Probe::NotRunning);
  EXPECT_EQ(Ask("dir"), Probe::NotRunning);
}

TEST_F(FakeProcTree, RefusesEmptyNamesAndNamesWithAFolderPart) {
  const std::string alpha = "/nowhere/dir/Alpha";
  AddProcess("100", &alpha, std::string("/nowhere/dir/Alpha\0", 19), "100 (Alpha) S 1");
  EXPECT_EQ(Ask("Alpha"), Probe::Running);
  EXPECT_EQ(Ask(""), Probe::NotRunning);
  EXPECT_EQ(Ask("dir/Alpha"), Probe::NotRunning);
  EXPECT_EQ(Ask("/nowhere/dir/Alpha"), Probe::NotRunning);
  EXPECT_EQ(Ask("dir\\Alpha"), Probe::NotRunning);
}

TEST_F(FakeProcTree, MatchesQuotesWildcardsAndSpacesLiterally) {
  const std::string odd = "/x/we ird'*?name";
  AddProcess("100", &odd, std::string("/x/we ird'*?name\0", 17), "100 (we ird'*?name) S 1");
  EXPECT_EQ(Ask("WE IRD'*?NAME"), Probe::Running);
  EXPECT_EQ(Ask("we*"), Probe::NotRunning);
  EXPECT_EQ(Ask("we ird'?"), Probe::NotRunning);
  EXPECT_EQ(Ask("*"), Probe::NotRunning);
}

TEST_F(FakeProcTree, StripsTheDeletedMarkerOnlyWhenNoFileHasThatName) {
  const std::string replaced = "/nowhere/old/Beta (deleted)";
  AddProcess("101", &replaced, std::string("beta-argv0\0", 11), "101 (Beta) S 1");
  EXPECT_EQ(Ask("beta"), Probe::Running);
  EXPECT_EQ(Ask("Beta (deleted)"), Probe::NotRunning);

  const path real_file = temp_.path() / "Gamma (deleted)";
  process_test::WriteText(real_file, "");
  const std::string really_named = real_file.string();
  AddProcess("102", &really_named, std::string("other\0", 6), "102 (Gamma) S 1");
  EXPECT_EQ(Ask("gamma (deleted)"), Probe::Running);
  EXPECT_EQ(Ask("Gamma"), Probe::NotRunning);
}

TEST_F(FakeProcTree, NeverMatchesKernelThreadsZombiesOrTheCommandNameAlone) {
  // A kernel thread: no executable, empty command line, only a command name.
  AddProcess("2", nullptr, "", "2 (kthreadd) S 0");
  // A zombie whose command name holds ") S (" to fool a parser stopping at the first ')'.
  AddProcessWithUnreadableExe("104", std::string("/usr/bin/Delta\0", 15), "104 (De) S (x) Z 1");
  // A live one whose command name holds ") Z (": the state is the one after the last ')'.
  AddProcessWithUnreadableExe("105", std::string("/usr/bin/Epsilon\0", 17), "105 (Ep) Z (y) S 1");
  // The 15-character command name of a longer program name.
  const std::string long_name = "/x/tarnwick-node-long-name";
  AddProcess("106", &long_name, std::string("/x/tarnwick-node-long-name\0", 27),
             "106 (tarnwick-node-l) S 1");
  EXPECT_EQ(Ask("kthreadd"), Probe::NotRunning);
  EXPECT_EQ(Ask("Delta"), Probe::NotRunning);
  EXPECT_EQ(Ask("Epsilon"), Probe::Running);
  EXPECT_EQ(Ask("tarnwick-node-l"), Probe::NotRunning);
  EXPECT_EQ(Ask("tarnwick-node-long-name"), Probe::Running);
}

TEST_F(FakeProcTree, ReadsAFirstArgumentLongerThanOneBuffer) {
  const std::string first = "/x/" + std::string(5000, 'a') + "/Zeta";
  AddProcessWithUnreadableExe("107", first + std::string("\0arg\0", 5), "107 (Zeta) S 1");
  EXPECT_EQ(Ask("zeta"), Probe::Running);
  EXPECT_EQ(Ask("arg"), Probe::NotRunning);
}

TEST_F(FakeProcTree, SkipsVanishedAndNonProcessEntries) {
  process_test::fs::create_directories(root() / "108");  // a pid gone while listed
  const std::string eta = "/x/Eta";
  AddProcess("self", &eta, std::string("/x/Eta\0", 7), "1 (Eta) S 1");
  const std::string theta = "/x/Theta";
  AddProcess("109", &theta, std::string("/x/Theta\0", 9), "109 (Theta) S 1");
  EXPECT_EQ(Ask("Eta"), Probe::NotRunning);
  EXPECT_EQ(Ask("Theta"), Probe::Running);
}

TEST_F(FakeProcTree, AnswersUnknownWhenTheProcessListCannotBeOpened) {
  EXPECT_EQ(LinuxProcessControl((temp_.path() / "missing").string()).IsProcessRunning("sh"),
            Probe::Unknown);
  process_test::WriteText(temp_.path() / "a-file", "");
  EXPECT_EQ(LinuxProcessControl((temp_.path() / "a-file").string()).IsProcessRunning("sh"),
            Probe::Unknown);
  process_test::fs::create_directories(root());
  EXPECT_EQ(Ask("sh"), Probe::NotRunning);  // readable but empty is a real answer
}

// On the live process list, with copies of the node stand-in under names no one else uses.
class LiveProbe : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const pid_t pid : started_) process_test::KillAndReap(pid);
  }
  pid_t Start(const path& program, const std::string& argv0) {
    const pid_t pid = process_test::SpawnDirect(
        program, {argv0, "--state", (temp_.path() / "state").string()});
    EXPECT_GT(pid, 0);
    started_.push_back(pid);
    // posix_spawn returns once the new image replaced the old, a moment before the kernel has
    // set up the new argument area; until then the command line reads empty.
    EXPECT_TRUE(process_test::WaitUntil([&] {
      return !process_test::ReadText("/proc/" + std::to_string(pid) + "/cmdline").empty();
    }));
    return pid;
  }
  path CopyNode(const std::string& name) {
    process_test::fs::create_directories(temp_.path() / "state");
    return process_test::CopyExecutable(TARNWICK_NODE_STANDIN, temp_.path() / "bin", name);
  }

  TempDir temp_;
  LinuxProcessControl control_;
  std::vector<pid_t> started_;
};

TEST_F(LiveProbe, FindsARunningProgramInAnyCaseButNotByFullPath) {
  const std::string name = process_test::UniqueName("TnwCaseNode");
  const path program = CopyNode(name);
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning);
  Start(program, program.string());
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  std::string other_case = name;
  for (char& c : other_case) c = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
  EXPECT_EQ(control_.IsProcessRunning(other_case), Probe::Running);
  EXPECT_EQ(control_.IsProcessRunning(program.string()), Probe::NotRunning);
}

TEST_F(LiveProbe, FindsANameLongerThanTheKernelCommandName) {
  const std::string name = process_test::UniqueName("tarnwick-node-with-a-long-name");
  const path program = CopyNode(name);
  const pid_t pid = Start(program, program.string());
  const std::string comm = process_test::ReadText("/proc/" + std::to_string(pid) + "/comm");
  ASSERT_EQ(comm, name.substr(0, 15) + "\n");  // the kernel's truncated name
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  EXPECT_EQ(control_.IsProcessRunning(name.substr(0, 15)), Probe::NotRunning);
}

TEST_F(LiveProbe, FindsAProgramByTheFileNameOfItsFirstArgument) {
  const path program = CopyNode(process_test::UniqueName("tnw-exe"));
  const std::string argv0 = process_test::UniqueName("tnw-argv0");
  Start(program, "/some/where/" + argv0);
  EXPECT_EQ(control_.IsProcessRunning(argv0), Probe::Running);
}

TEST_F(LiveProbe, NoLongerFindsAProgramThatEndedEvenWhileItIsAnUnreapedZombie) {
  const std::string name = process_test::UniqueName("tnw-zombie");
  const path program = CopyNode(name);
  const pid_t pid = Start(program, program.string());
  ASSERT_EQ(control_.IsProcessRunning(name), Probe::Running);
  process_test::WriteText(temp_.path() / "state" / "stop-request", "stop\n");
  ASSERT_TRUE(process_test::WaitUntil([&] { return process_test::StateOf(pid) == 'Z'; }));
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning);
  EXPECT_EQ(process_test::WaitForExit(pid), 0);
  started_.clear();
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning);
}

TEST_F(LiveProbe, StillFindsAProgramWhoseFileWasReplacedWhileRunning) {
  const std::string name = process_test::UniqueName("tnw-upgraded");
  const path program = CopyNode(name);
  // An argv[0] of another name, so only the executable link can give the match.
  const pid_t pid = Start(program, "unrelated-argv0");
  ASSERT_EQ(control_.IsProcessRunning(name), Probe::Running);

  const path fresh = process_test::CopyExecutable(TARNWICK_NODE_STANDIN, temp_.path(), "fresh");
  process_test::fs::rename(fresh, program);  // an in-place upgrade
  const auto link = process_test::fs::read_symlink("/proc/" + std::to_string(pid) + "/exe");
  ASSERT_EQ(link.string(), program.string() + " (deleted)");
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);

  process_test::fs::remove(program);  // removed outright
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
}

}  // namespace
}  // namespace process
