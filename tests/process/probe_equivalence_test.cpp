// Every probe answers what a fresh scan of the whole list answers at that moment, however it was
// answered (a child of ours read alone, a list shared by a timer pass, or a scan of its own), while
// real processes start, end, change their image or argv[0], and leave zombie leaders behind.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <deque>
#include <map>

#include "test_support.h"

namespace process_test {
namespace {

using process::Probe;

// A shapeshifter's command FIFO, held open for writing (so it never sees an end) until the test ends.
struct Fifo {
  fs::path path;
  int fd = -1;
  void Tell(const std::string& command) const {
    const std::string line = command + "\n";
    ASSERT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
};

std::string FirstArgumentOf(pid_t pid) {
  // A zombie leader has no command line of its own; its live threads still show the process's.
  std::error_code error;
  for (fs::directory_iterator it(ProcPath(pid) / "task", error), end; !error && it != end; it.increment(error)) {
    const std::string text = ReadFile(it->path() / "cmdline");
    if (!text.empty()) return text.substr(0, text.find('\0'));
  }
  return "";
}

std::string ExeNameOf(pid_t pid) {
  std::error_code error;
  return fs::read_symlink(ProcPath(pid) / "exe", error).filename().string();
}

int TaskCount(pid_t pid) {
  std::error_code error;
  int count = 0;
  for (fs::directory_iterator it(ProcPath(pid) / "task", error), end; !error && it != end; it.increment(error)) ++count;
  return count;
}

class ProbeEquivalence : public ProcessTest {
 protected:
  void SetUp() override {
    ProcessTest::SetUp();
    // Another user must reach the programs and FIFOs: a folder anyone may enter and read.
    fs::permissions(temp(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(temp() / "pub");
    fs::permissions(temp() / "pub", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override {
    for (const Fifo& fifo : fifos_) ::close(fifo.fd);
    for (const pid_t pid : launched_) ::kill(pid, SIGKILL);
    ProcessTest::TearDown();
    WaitFor([&] {
      control_.IsProcessRunning("tnw-no-such-program");  // reaps what the control launched
      return std::all_of(launched_.begin(), launched_.end(), [](pid_t pid) { return StatField(pid, 0).empty(); });
    });
  }

  // A copy of the shapeshifter under a name of its own; every such name is asked at every check.
  fs::path Program(const std::string& stem) {
    const std::string name = Name(stem);
    const fs::path path = CopyExecutable(TARNWICK_SHAPESHIFTER, temp() / "pub", name);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    return path;
  }
  std::string Name(const std::string& stem) { return names_.emplace_back(UniqueName(stem)); }
  Fifo& NewFifo() {
    Fifo& fifo = fifos_.emplace_back();
    fifo.path = temp() / "pub" / ("fifo-" + std::to_string(fifos_.size()));
    EXPECT_EQ(::mkfifo(fifo.path.c_str(), 0666), 0);
    ::chmod(fifo.path.c_str(), 0666);
    fifo.fd = ::open(fifo.path.c_str(), O_RDWR | O_CLOEXEC);
    return fifo;
  }

  // The answers of the control under test, inside one timer pass (every name twice, the second
  // round backwards) and outside any pass, against a fresh control's own scans and what the
  // test knows runs now.
  void Check(const std::string& step, const std::vector<std::string>& running) {
    SCOPED_TRACE(step);
    std::map<std::string, Probe> in_pass, again, alone, fresh;
    {
      const process::TimerPass pass(control_);
      for (const std::string& name : names_) in_pass[name] = control_.IsProcessRunning(name);
      for (auto it = names_.rbegin(); it != names_.rend(); ++it) again[*it] = control_.IsProcessRunning(*it);
    }
    for (const std::string& name : names_) alone[name] = control_.IsProcessRunning(name);
    process::LinuxProcessControl fresh_control;
    for (const std::string& name : names_) fresh[name] = fresh_control.IsProcessRunning(name);
    for (const std::string& name : names_) {
      const Probe expected =
          std::find(running.begin(), running.end(), name) != running.end() ? Probe::Running : Probe::NotRunning;
      EXPECT_EQ(fresh[name], expected) << name << ": the fresh scan";
      EXPECT_EQ(in_pass[name], fresh[name]) << name << ": first probe of a pass";
      EXPECT_EQ(again[name], fresh[name]) << name << ": later probe of the same pass";
      EXPECT_EQ(alone[name], fresh[name]) << name << ": probe outside a pass";
    }
  }

  std::vector<pid_t> launched_;

 private:
  std::vector<std::string> names_;
  std::deque<Fifo> fifos_;  // stable references
};

TEST_F(ProbeEquivalence, EveryWayOfAnsweringAgreesWithAFreshScanWhileProcessesChange) {
  const fs::path a_program = Program("tnwA"), b_program = Program("tnwB"), d_program = Program("tnwD");
  const std::string a = a_program.filename(), b = b_program.filename(), d = d_program.filename();
  const std::string a_arg = Name("tnwA-arg"), a_arg2 = Name("tnwA-arg2"), d_arg = Name("tnwD-arg");
  const std::string d_arg2 = Name("tnwD-arg2"), b_arg = Name("tnwB-arg"), b_arg2 = Name("tnwB-arg2");
  const std::string b_arg3 = Name("tnwB-arg3");
  Name("tnwNever");
  Check("nothing started", {});

  // A: launched by the control itself (a child it may judge alone). B: started by the test.
  const Fifo& a_fifo = NewFifo();
  ASSERT_NE(control_.RunCommandLine(a_program.string() + " " + a_fifo.path.string()), nullptr);
  ASSERT_TRUE(WaitFor([&] { return PidsRunning(a).size() == 1 && !FirstArgumentOf(PidsRunning(a)[0]).empty(); }));
  const pid_t a_pid = launched_.emplace_back(PidsRunning(a)[0]);
  const Fifo& b_fifo = NewFifo();
  const pid_t b_pid = started_.emplace_back(SpawnDirect(b_program, {"/x/" + b_arg, b_fifo.path.string()}));
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(b_pid) == "/x/" + b_arg; }));
  Check("started", {a, b, b_arg});

  a_fifo.Tell("argv0 /y/" + a_arg);  // rewritten in place, same image
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(a_pid) == "/y/" + a_arg; }));
  Check("argv rewritten in place", {a, a_arg, b, b_arg});

  a_fifo.Tell("exec " + d_program.string() + " " + d_arg);  // same pid, another program
  ASSERT_TRUE(WaitFor([&] { return ExeNameOf(a_pid) == d && FirstArgumentOf(a_pid) == d_arg; }));
  Check("exec of another program", {d, d_arg, b, b_arg});

  a_fifo.Tell("exec " + d_program.string() + " " + d_arg2);  // same pid, same program, new argv[0]
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(a_pid) == d_arg2; }));
  Check("exec of the same program", {d, d_arg2, b, b_arg});

  b_fifo.Tell("argv0 " + b_arg2);
  b_fifo.Tell("leader-exit");  // a zombie leader whose second thread works on
  ASSERT_TRUE(WaitFor([&] { return StatField(b_pid, 0) == "Z" && TaskCount(b_pid) == 2; }));
  Check("zombie leader with a live thread (not our child)", {d, d_arg2, b, b_arg2});
  b_fifo.Tell("argv0 " + b_arg3);
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(b_pid) == b_arg3; }));
  Check("its thread rewrites argv", {d, d_arg2, b, b_arg3});

  a_fifo.Tell("leader-exit");
  ASSERT_TRUE(WaitFor([&] { return StatField(a_pid, 0) == "Z" && TaskCount(a_pid) == 2; }));
  Check("zombie leader with a live thread (our child)", {d, d_arg2, b, b_arg3});

  b_fifo.Tell("exit");  // unreaped: a zombie whose threads have all ended
  ASSERT_TRUE(WaitFor([&] { return StatField(b_pid, 0) == "Z" && TaskCount(b_pid) == 1; }));
  a_fifo.Tell("exit");  // its leader is a zombie already: wait for the last thread (or the reaping)
  ASSERT_TRUE(WaitFor([&] { return StatField(a_pid, 0).empty() || TaskCount(a_pid) == 1; }));
  Check("both ended", {});
}

TEST_F(ProbeEquivalence, ALaunchDuringAPassMakesItReadTheListAfresh) {
  // The launcher starts a helper that starts the program and exits: the program is no child of
  // the control, so only a new reading of the list can find it.
  const fs::path program = Program("tnwGrandchild");
  const std::string name = program.filename();
  const Fifo& fifo = NewFifo();
  const process::TimerPass pass(control_);
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::NotRunning);
  ASSERT_NE(control_.RunCommandLine(std::string(TARNWICK_LAUNCH_AND_EXIT) + " '" + program.string() + " " +
                                    fifo.path.string() + "'"),
            nullptr);
  ASSERT_TRUE(WaitFor([&] { return PidsRunning(name).size() == 1; }));
  launched_.push_back(PidsRunning(name)[0]);
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  fifo.Tell("exit");
}

TEST_F(ProbeEquivalence, AnotherUsersProcessesAndAProbeMadeAsAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to play a second user";
  const fs::path program = Program("tnwOther");
  const std::string name = program.filename(), argv0 = Name("tnwOther-arg"), exe_only = Name("tnwOther-exe");
  const Fifo& fifo = NewFifo();
  const pid_t pid =
      started_.emplace_back(SpawnDirect("/usr/bin/setpriv", {"setpriv", "--reuid=65534", "--regid=65534",
                                                             "--clear-groups", program.string(), fifo.path.string()}));
  ASSERT_TRUE(WaitFor([&] { return ExeNameOf(pid) == name && StatField(pid, 0) != ""; }));
  fifo.Tell("argv0 " + argv0);
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(pid) == argv0; }));
  Check("a process of another user", {name, argv0});

  // As that other user, this test's own processes are the other user's: their links are unreadable,
  // so only argv[0] can find them, and a pass must still agree with a fresh scan.
  const fs::path mine = Program("tnwMine");
  const Fifo& my_fifo = NewFifo();
  const pid_t my_pid = started_.emplace_back(SpawnDirect(mine, {"/z/" + exe_only, my_fifo.path.string()}));
  ASSERT_TRUE(WaitFor([&] { return FirstArgumentOf(my_pid) == "/z/" + exe_only; }));
  const std::vector<std::string> asked = {name, argv0, mine.filename(), exe_only, Name("tnwAbsent")};
  const pid_t prober = ::fork();
  if (prober == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
      _exit(90);
    process::LinuxProcessControl control;
    int wrong = 0;
    for (const std::string& n : asked) {
      const Probe fresh = process::LinuxProcessControl().IsProcessRunning(n);
      const process::TimerPass pass(control);
      wrong += control.IsProcessRunning(n) != fresh;
      // What the other user can see: its own process by either name, ours by argv[0] alone.
      const bool seen = n == name || n == argv0 || n == exe_only;
      wrong += fresh != (seen ? Probe::Running : Probe::NotRunning);
    }
    _exit(wrong);
  }
  EXPECT_EQ(WaitForExit(prober), 0) << "probes made as another user disagreed";
  fifo.Tell("exit");
  my_fifo.Tell("exit");
}

// Pid reuse for real: in a pid namespace of its own the test sets the last pid, so the next
// program gets the pid of one that has just been reaped, while the control still holds what it
// opened for the first. Each program matches by argv[0] alone, so its command line decides.
int ReusePidInOwnNamespace(const fs::path& proc, const fs::path& program) {
  if (::mount("proc", proc.c_str(), "proc", 0, nullptr) != 0) return 78;
  process::LinuxProcessControl control(proc.string());
  const auto ask = [&](const std::string& name) {
    const process::TimerPass pass(control);
    return control.IsProcessRunning(name);
  };
  const auto started = [&](pid_t pid, const std::string& argv0) {
    return WaitFor([&] { return ReadFile(proc / std::to_string(pid) / "cmdline").starts_with(argv0 + '\0'); });
  };
  const pid_t first = SpawnDirect(program, {"tnw-reused-first", "60"});
  if (first <= 0 || !started(first, "tnw-reused-first")) return 79;
  if (ask("tnw-reused-absent") != Probe::NotRunning || ask("tnw-reused-first") != Probe::Running) return 10;
  ::kill(first, SIGKILL);
  WaitForExit(first);
  WriteFile(proc / "sys/kernel/ns_last_pid", std::to_string(first - 1));
  const pid_t second = SpawnDirect(program, {"tnw-reused-second", "60"});
  if (second != first) return 79;  // the pid could not be played back
  if (!started(second, "tnw-reused-second")) return 79;
  int wrong = 0;
  for (const auto& [name, answer] :
       {std::pair{"tnw-reused-first", Probe::NotRunning}, {"tnw-reused-second", Probe::Running}}) {
    wrong += ask(name) != answer;
    wrong += process::LinuxProcessControl(proc.string()).IsProcessRunning(name) != answer;
  }
  ::kill(second, SIGKILL);
  WaitForExit(second);
  return wrong;
}

TEST_F(ProbeEquivalence, AReusedPidIsJudgedByTheProcessThatHasItNow) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for a pid namespace";
  const fs::path program = CopyExecutable("/bin/sleep", temp() / "pub", "tnw-reused-exe");
  fs::create_directories(temp() / "proc");
  const pid_t outer = ::fork();
  if (outer == 0) {
    if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      _exit(77);
    }
    const pid_t init = ::fork();  // the first process of the new namespace
    if (init == 0) _exit(ReusePidInOwnNamespace(temp() / "proc", program));
    _exit(WaitForExit(init));
  }
  const int status = WaitForExit(outer);
  if (status == 77 || status == 78) GTEST_SKIP() << "pid namespaces or a proc mount are not allowed here";
  if (status == 79) GTEST_SKIP() << "the namespace's last pid could not be set";
  EXPECT_EQ(status, 0) << "answers about a reused pid were wrong";
}

}  // namespace
}  // namespace process_test
