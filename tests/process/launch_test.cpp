// Tests of the detached launcher on real programs: what the started program inherits, that it
// outlives its starter, that every child gets reaped, and which command lines start nothing.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "process/linux_process.h"
#include "test_support.h"

namespace process {
namespace {

using process_test::fs::path;
using process_test::TempDir;

class Launch : public ::testing::Test {
 protected:
  void SetUp() override { process_test::fs::create_directories(state()); }
  // A failing test must not leave its programs running: end them by id, and let the launcher
  // reap those that are its children.
  void TearDown() override {
    for (const std::string& name : names_) {
      for (const pid_t pid : process_test::PidsRunning(name)) {
        ::kill(pid, SIGKILL);
        process_test::WaitUntil([&] {
          control_.IsProcessRunning("tnw-no-such-program");
          return process_test::StateOf(pid) == '\0';
        });
      }
    }
  }
  std::string Named(const std::string& stem) {
    names_.push_back(process_test::UniqueName(stem));
    return names_.back();
  }
  path state() const { return temp_.path() / "state"; }
  std::string StateArgument() const { return " --state " + state().string(); }
  void RequestStop() { process_test::WriteText(state() / "stop-request", "stop\n"); }
  bool LogHas(const std::string& line_end) const {
    return process_test::ReadText(state() / "log.txt").find(line_end + "\n") != std::string::npos;
  }
  // Children of this test process that have ended but were not reaped.
  static int ZombieChildren() {
    int zombies = 0;
    for (const auto& child : process_test::ChildrenOf(::getpid())) zombies += child.state == 'Z';
    return zombies;
  }

  TempDir temp_;
  LinuxProcessControl control_;
  std::vector<std::string> names_;
};

bool HasSignal(const std::string& status, const std::string& field, int signal) {
  const std::size_t at = status.find(field + ":\t");
  if (at == std::string::npos) return true;  // unreadable: count it as a failure
  const unsigned long long mask = std::stoull(status.substr(at + field.size() + 2, 16), nullptr, 16);
  return (mask >> (signal - 1)) & 1u;
}

TEST_F(Launch, HandleTellsARunningProgramFromOneThatEndedAndReapsIt) {
  const std::string name = Named("tnw-handle");
  const path node = process_test::CopyExecutable(TARNWICK_NODE_STANDIN, temp_.path(), name);
  auto handle = control_.RunCommandLine(node.string() + StateArgument());
  ASSERT_NE(handle, nullptr);
  const auto pids = process_test::PidsRunning(name);
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_TRUE(handle->IsRunning());
  EXPECT_TRUE(handle->IsRunning());
  RequestStop();
  ASSERT_TRUE(process_test::WaitUntil([&] { return !handle->IsRunning(); }));
  EXPECT_FALSE(handle->IsRunning());
  EXPECT_TRUE(LogHas(name + " stopped by stop command"));
  EXPECT_EQ(process_test::StateOf(pids[0]), '\0') << "the ended child was left unreaped";
}

TEST_F(Launch, StartsInItsOwnSessionWithDefaultSignalsAndNullStreams) {
  // What this process blocks or ignores must not reach the started program.
  sigset_t block;
  sigset_t previous_mask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &previous_mask), 0);
  struct sigaction ignore {};
  struct sigaction previous_pipe {};
  struct sigaction previous_int {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous_pipe);
  ::sigaction(SIGINT, &ignore, &previous_int);
  const std::string name = Named("tnw-session");
  const path node = process_test::CopyExecutable(TARNWICK_NODE_STANDIN, temp_.path(), name);
  auto handle = control_.RunCommandLine(node.string() + StateArgument());
  ::pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  ::sigaction(SIGPIPE, &previous_pipe, nullptr);
  ::sigaction(SIGINT, &previous_int, nullptr);
  ASSERT_NE(handle, nullptr);

  const auto pids = process_test::PidsRunning(name);
  ASSERT_EQ(pids.size(), 1u);
  const pid_t pid = pids[0];
  EXPECT_EQ(process_test::SessionOf(pid), pid);
  const std::string status = process_test::ReadText("/proc/" + std::to_string(pid) + "/status");
  EXPECT_FALSE(HasSignal(status, "SigBlk", SIGUSR1)) << status;
  EXPECT_FALSE(HasSignal(status, "SigIgn", SIGPIPE)) << status;
  EXPECT_FALSE(HasSignal(status, "SigIgn", SIGINT)) << status;
  for (int fd = 0; fd <= 2; ++fd) {
    const auto target = process_test::fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" +
                                                       std::to_string(fd));
    EXPECT_EQ(target, "/dev/null") << "descriptor " << fd;
  }
  RequestStop();
  EXPECT_TRUE(process_test::WaitUntil([&] { return !handle->IsRunning(); }));
}

TEST_F(Launch, HandsDownNoDescriptorOfTheLauncher) {
  const int inheritable = ::open("/dev/zero", O_RDONLY);  // deliberately without O_CLOEXEC
  int pipe_ends[2];
  ASSERT_GE(inheritable, 0);
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const path listing = temp_.path() / "fds.txt";
  auto handle = control_.RunCommandLine(std::string(TARNWICK_CLI_STANDIN) + " --dump-fds " +
                                        listing.string());
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(process_test::WaitUntil([&] { return !handle->IsRunning(); }));
  ::close(inheritable);
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);

  std::map<int, std::string> open_fds;
  std::istringstream lines(process_test::ReadText(listing));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t arrow = line.find(" -> ");
    ASSERT_NE(arrow, std::string::npos) << line;
    open_fds[std::stoi(line.substr(0, arrow))] = line.substr(arrow + 4);
  }
  ASSERT_GE(open_fds.size(), 3u);
  for (const auto& [fd, target] : open_fds) {
    if (fd <= 2) {
      EXPECT_EQ(target, "/dev/null") << "descriptor " << fd;
    } else {
      // Only the listing's own handle on its fd folder may be open.
      EXPECT_NE(target.find("/fd"), std::string::npos) << "descriptor " << fd << " -> " << target;
    }
  }
  EXPECT_LE(open_fds.size(), 4u);
}

TEST_F(Launch, StartedProgramOutlivesTheProcessThatStartedItAndIsReapedThen) {
  const std::string name = Named("tnw-orphan");
  const path node = process_test::CopyExecutable(TARNWICK_NODE_STANDIN, temp_.path(), name);
  const pid_t starter = process_test::SpawnDirect(
      TARNWICK_LAUNCH_AND_EXIT, {"launch_and_exit", node.string() + StateArgument()});
  ASSERT_GT(starter, 0);
  ASSERT_EQ(process_test::WaitForExit(starter), 0);

  const auto pids = process_test::PidsRunning(name);
  ASSERT_EQ(pids.size(), 1u);
  const pid_t pid = pids[0];
  EXPECT_NE(process_test::ParentOf(pid), starter);
  EXPECT_NE(process_test::StateOf(pid), 'Z');
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  RequestStop();
  EXPECT_TRUE(process_test::WaitUntil([&] { return process_test::StateOf(pid) == '\0'; }))
      << "the orphaned program stayed behind in state " << process_test::StateOf(pid);
  EXPECT_TRUE(LogHas(name + " stopped by stop command"));
}

TEST_F(Launch, AThousandShortProgramsLeaveNoZombieAndNoDescriptor) {
  const int descriptors_before = process_test::CountOpenDescriptors();
  std::unique_ptr<ProcessHandle> kept;
  for (int i = 0; i < 1000; ++i) {
    auto handle = control_.RunCommandLine("/bin/true");
    ASSERT_NE(handle, nullptr) << "launch " << i;
    if (i == 500) kept = std::move(handle);  // the others are dropped at once
  }
  // Each call of either operation reaps what ended; probe until the last ones have ended.
  EXPECT_TRUE(process_test::WaitUntil([&] {
    control_.IsProcessRunning("tnw-no-such-program");
    return process_test::ChildrenOf(::getpid()).empty();
  })) << ZombieChildren() << " zombie children left";
  EXPECT_FALSE(kept->IsRunning());
  kept.reset();
  EXPECT_EQ(process_test::CountOpenDescriptors(), descriptors_before);
}

TEST_F(Launch, BadCommandLinesStartNothingAndSayWhyOnStandardError) {
  const path not_executable = temp_.path() / "plain-file";
  process_test::WriteText(not_executable, "");
  const std::string lines[] = {
      "", "   ", "/bin/echo 'unbalanced", "tnw-no-such-program --flag",
      "/no/such/folder/program", temp_.path().string(), not_executable.string()};
  for (const std::string& line : lines) {
    ::testing::internal::CaptureStderr();
    auto handle = control_.RunCommandLine(line);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(handle, nullptr) << line;
    EXPECT_EQ(said.rfind("TARNWICK: ", 0), 0u) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "not one line: " << said;
  }
  EXPECT_TRUE(process_test::ChildrenOf(::getpid()).empty());
}

TEST_F(Launch, StartsAProgramFromAnUnquotedFolderWithSpacesAndAQuote) {
  const path folder = temp_.path() / "My Tools" / "o'brien";
  const std::string name = Named("tnw-spaced");
  process_test::CopyExecutable(TARNWICK_NODE_STANDIN, folder, name);
  auto node = control_.RunCommandLine(folder.string() + "/" + name + StateArgument());
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(node->IsRunning());
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);

  // The helpers are run by their bare location, finding their state folder beside themselves.
  process_test::CopyExecutable(TARNWICK_PELLUM_ON, folder, "MF-PELLUM-ON");
  process_test::WriteText(folder / "standin-state.txt", state().string() + "\n");
  auto helper = control_.RunCommandLine(folder.string() + "/MF-PELLUM-ON");
  ASSERT_NE(helper, nullptr);
  EXPECT_TRUE(process_test::WaitUntil([&] { return !helper->IsRunning(); }));
  EXPECT_TRUE(LogHas("MF-PELLUM-ON done"));

  RequestStop();
  EXPECT_TRUE(process_test::WaitUntil([&] { return !node->IsRunning(); }));
  EXPECT_TRUE(LogHas(name + " stopped by stop command"));
}

TEST_F(Launch, SplitsLikeAShellWhenNoLeadingRunIsAProgram) {
  // The quoted program location and quoted argument only make sense once split.
  const path folder = temp_.path() / "a b";
  const path cli = process_test::CopyExecutable(TARNWICK_CLI_STANDIN, folder, "cli");
  auto handle = control_.RunCommandLine("'" + cli.string() + "' --state \"" + state().string() +
                                        "\" stop");
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(process_test::WaitUntil([&] { return !handle->IsRunning(); }));
  EXPECT_TRUE(process_test::fs::exists(state() / "stop-request"));
  EXPECT_TRUE(LogHas("cli stop command sent"));
  // A bare name is looked up on PATH.
  auto from_path = control_.RunCommandLine("true");
  ASSERT_NE(from_path, nullptr);
  EXPECT_TRUE(process_test::WaitUntil([&] { return !from_path->IsRunning(); }));
}

}  // namespace
}  // namespace process
