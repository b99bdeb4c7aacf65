// The /proc probe: the matching rules on a hand-made process tree where every case can be set up
// exactly, then on a real stand-in followed from its start through an upgrade to its end.
#include <cctype>
#include <map>

#include "test_support.h"

namespace process_test {
namespace {

using namespace std::string_literals;
using process::Probe;

TEST(SameImageName, FoldsAsciiAndTwoByteUtf8LettersOnly) {
  const std::tuple<const char*, const char*, bool> cases[] = {// bytes that are no letters, or no UTF-8, as they are
                                                              {"MF-Corvant", "mf-cORVANT", true},
                                                              {"Ärger-Ωmega-Жук-Ÿ", "äRGER-ωMEGA-жУК-ÿ", true},
                                                              {"node", "node2", false},
                                                              {"node-1", "node_1", false},
                                                              {"Ä", "A", false},
                                                              {"\xff\xfe", "\xff\xfe", true},
                                                              {"\xff", "\xfe", false}};
  for (const auto& [a, b, same] : cases) EXPECT_EQ(process::SameImageName(a, b), same) << a << " / " << b;
}

class FakeProcTree : public ProcessTest {
 protected:
  // A folder as /proc has one a pid. exe: a link to the path given; none for nullptr (kernel
  // threads, zombies); for "" a plain file, which reads as unreadable as other users' links do.
  void Add(const std::string& pid, const char* exe, const std::string& cmdline, const std::string& stat) {
    const fs::path folder = temp() / "proc" / pid;
    fs::create_directories(folder);
    if (exe != nullptr && *exe != '\0') fs::create_symlink(exe, folder / "exe");
    if (exe != nullptr && *exe == '\0') WriteFile(folder / "exe", "");
    WriteFile(folder / "cmdline", cmdline);
    WriteFile(folder / "stat", stat);
  }
  Probe Ask(std::string_view name) {
    return process::LinuxProcessControl((temp() / "proc").string()).IsProcessRunning(name);
  }
};

TEST_F(FakeProcTree, MatchesTheFileNameOfTheExecutableOrFirstArgumentOfLiveProcessesOnly) {
  const fs::path gamma = temp() / "Gamma (deleted)";  // a file really named so
  WriteFile(gamma, "");
  Add("100", "/nowhere/dir/Alpha", "/nowhere/dir/Alpha\0--x\0"s, "100 (Alpha) S 1");
  Add("101", "/usr/bin/python3", "/opt/tools/Script-Name\0a\0"s, "101 (python3) S 1");
  Add("102", "/x/we ird'*?name", "/x/we ird'*?name\0"s, "102 (we ird'*?name) S 1");
  Add("103", "/nowhere/old/Beta (deleted)", "beta-argv0\0"s, "103 (Beta) S 1");
  Add("104", gamma.c_str(), "other\0"s, "104 (Gamma) S 1");
  Add("2", nullptr, "", "2 (kthreadd) S 0");
  // The state follows the last ')', as a command name may hold ") S (".
  Add("105", "", "/usr/bin/Delta\0"s, "105 (De) S (x) Z 1");
  Add("106", "", "/usr/bin/Epsilon\0"s, "106 (Ep) Z (y) S 1");
  Add("107", "/x/tarnwick-node-long-name", "/x/tarnwick-node-long-name\0"s, "107 (tarnwick-node-l) S 1");
  Add("108", "", "/x/" + std::string(5000, 'a') + "/Zeta\0arg\0"s, "108 (Zeta) S 1");  // over one read
  fs::create_directories(temp() / "proc" / "109");                                     // gone while listed
  Add("self", "/x/Eta", "/x/Eta\0"s, "1 (Eta) S 1");
  for (const char* name : {"Alpha", "aLPHA", "script-name", "PYTHON3", "WE IRD'*?NAME", "beta", "gamma (deleted)",
                           "Epsilon", "tarnwick-node-long-name", "zeta"})
    EXPECT_EQ(Ask(name), Probe::Running) << name;
  for (const char* name : {"Alph", "--x", "dir", "", "dir/Alpha", "dir\\Alpha", "/nowhere/dir/Alpha", "we*", "*",
                           "Beta (deleted)", "Gamma", "kthreadd", "Delta", "tarnwick-node-l", "arg", "Eta"})
    EXPECT_EQ(Ask(name), Probe::NotRunning) << name;
}

// Pid reuse, other users' unreadable links and zombie leaders, played exactly: a pass of a control
// that lived through the change agrees with a fresh scan and with what the tree holds.
TEST_F(FakeProcTree, APassAgreesWithAFreshScanThroughPidReuseUnreadableLinksAndZombieLeaders) {
  const auto task = [&](const std::string& pid, const std::string& tid, const char* exe, const std::string& cmdline,
                        const std::string& stat) {
    const fs::path folder = temp() / "proc" / pid / "task" / tid;
    fs::create_directories(folder);
    if (exe != nullptr) fs::create_symlink(exe, folder / "exe");
    WriteFile(folder / "cmdline", cmdline);
    WriteFile(folder / "stat", stat);
  };
  Add("200", "/a/tnwOld", "tnwOld\0"s, "200 (tnwOld) S 1");
  Add("201", "", "/b/tnwOther\0"s, "201 (tnwOther) S 1");  // another user's: only argv[0] to go by
  Add("202", nullptr, "", "202 (tnwThreads) Z 1");         // its main thread has ended ...
  task("202", "202", nullptr, "", "202 (tnwThreads) Z 1");
  task("202", "203", "/c/tnwThreads", "/c/tnwThreads-arg\0"s, "203 (tnwThreads) S 1");  // ... one works on
  Add("204", nullptr, "", "204 (tnwGone) Z 1");  // a zombie whose threads have all ended
  task("204", "204", nullptr, "", "204 (tnwGone) Z 1");
  process::LinuxProcessControl lived((temp() / "proc").string());
  const auto check = [&](const std::map<std::string, Probe>& expected) {
    const process::TimerPass pass(lived);
    for (int round = 0; round < 2; ++round) {
      for (const auto& [name, answer] : expected) {
        EXPECT_EQ(Ask(name), answer) << name << " (fresh scan)";
        EXPECT_EQ(lived.IsProcessRunning(name), answer) << name << " (in a pass, round " << round << ")";
      }
    }
  };
  const Probe yes = Probe::Running, no = Probe::NotRunning;
  check({{"tnwOld", yes},
         {"tnwOther", yes},
         {"tnwThreads", yes},
         {"tnwThreads-arg", yes},
         {"tnwGone", no},
         {"tnwNew", no}});

  fs::remove_all(temp() / "proc" / "200");  // pid 200 reused by another user's program
  Add("200", "", "tnwNew\0"s, "200 (tnwNew) S 1");
  WriteFile(temp() / "proc" / "201" / "stat", "201 (tnwOther) Z 1");
  fs::remove_all(temp() / "proc" / "202" / "task" / "203");  // the last thread has ended too
  check(
      {{"tnwOld", no}, {"tnwOther", no}, {"tnwThreads", no}, {"tnwThreads-arg", no}, {"tnwGone", no}, {"tnwNew", yes}});
}

TEST_F(FakeProcTree, AnswersUnknownOnlyWhenTheProcessListCannotBeRead) {
  WriteFile(temp() / "a-file", "");
  for (const char* root : {"missing", "a-file"}) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(process::LinuxProcessControl((temp() / root).string()).IsProcessRunning("sh"), Probe::Unknown);
    EXPECT_TRUE(::testing::internal::GetCapturedStderr().starts_with("TARNWICK: cannot read the process list"));
  }
  fs::create_directories(temp() / "proc");
  EXPECT_EQ(Ask("sh"), Probe::NotRunning);  // readable but empty is a real answer
}

TEST_F(ProcessTest, LiveProbeFollowsAProgramThroughAnUpgradeToItsEnd) {
  const std::string name = UniqueName("TnwLongNodeName");  // longer than the kernel's 15-byte name
  const std::string argv0 = UniqueName("tnw-argv0");
  const fs::path program = CopyNode(name);
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning);
  const pid_t pid = started_.emplace_back(SpawnDirect(program, {"/some/where/" + argv0, "--state", state().string()}));
  // posix_spawn returns a moment before the kernel has set up the new command line.
  ASSERT_TRUE(WaitFor([&] { return !ReadFile(ProcPath(pid) / "cmdline").empty(); }));
  ASSERT_EQ(ReadFile(ProcPath(pid) / "comm"), name.substr(0, 15) + "\n");
  std::string other_case = name;
  for (char& c : other_case) c = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
  for (const auto& [asked, answer] : {std::pair{name, Probe::Running},
                                      {other_case, Probe::Running},
                                      {argv0, Probe::Running},
                                      {name.substr(0, 15), Probe::NotRunning},
                                      {program.string(), Probe::NotRunning}}) {
    EXPECT_EQ(control_.IsProcessRunning(asked), answer) << asked;
  }

  fs::rename(CopyExecutable(TARNWICK_NODE_STANDIN, temp(), "fresh"), program);  // an in-place upgrade
  ASSERT_EQ(fs::read_symlink(ProcPath(pid) / "exe"), program.string() + " (deleted)");
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  fs::remove(program);
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);

  RequestStop();
  ASSERT_TRUE(WaitFor([&] { return StatField(pid, 0) == "Z"; }));
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning) << "an unreaped zombie still counted";
  EXPECT_EQ(control_.IsProcessRunning(argv0), Probe::NotRunning);
  started_.clear();
  EXPECT_EQ(WaitForExit(pid), 0);
}

}  // namespace
}  // namespace process_test
