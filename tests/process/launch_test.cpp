// The detached launcher on real programs (what they inherit, outliving the starter, handles, reaping,
// which command lines start what), with the node's stand-ins playing a run's chain on the way.
#include <fcntl.h>
#include <signal.h>

#include <optional>
#include <utility>

#include "test_support.h"

namespace process_test {
namespace {

using namespace std::string_literals;
using process::Probe;

TEST_F(ProcessTest, LaunchedProgramIsDetachedAndOutlivesTheProcessThatStartedIt) {
  // The starter inherits a blocked and an ignored signal and open descriptors; none may reach the program.
  sigset_t block, previous_mask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &previous_mask), 0);
  const auto previous_pipe = ::signal(SIGPIPE, SIG_IGN);
  const int inheritable = ::open("/dev/zero", O_RDONLY);  // without O_CLOEXEC
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const std::string name = Named("tnw-detached");
  const fs::path listing = temp() / "fds.txt";
  const std::string line = CopyNode(name).string() + StateArgument() + " --dump-fds " + listing.string();
  const int saved_stdin = ::dup(STDIN_FILENO);  // the starter reads from the pipe, not /dev/null
  ::dup2(pipe_ends[0], STDIN_FILENO);
  const pid_t starter = SpawnDirect(TARNWICK_LAUNCH_AND_EXIT, {"launch_and_exit", line});
  ::dup2(saved_stdin, STDIN_FILENO);
  ::pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  ::signal(SIGPIPE, previous_pipe);
  for (const int fd : {inheritable, pipe_ends[0], pipe_ends[1], saved_stdin}) ::close(fd);
  ASSERT_EQ(WaitForExit(starter), 0);

  const std::vector<pid_t> pids = PidsRunning(name);
  ASSERT_EQ(pids.size(), 1u);
  const pid_t pid = pids[0];
  EXPECT_EQ(control_.IsProcessRunning(name), Probe::Running);
  EXPECT_EQ(StatField(pid, 3), std::to_string(pid)) << "not in a session of its own";
  const std::string status = ReadFile(ProcPath(pid) / "status");
  // Every signal at its default and unblocked: not the starter's blocked SIGUSR1 nor its ignored
  // SIGPIPE, nor the C library's own real-time signals 32 and 33, which its spawn hands down ignored.
  for (const char* field : {"SigBlk", "SigIgn"})
    EXPECT_NE(status.find(field + ":\t0000000000000000\n"s), std::string::npos) << field << " has bits set:\n"
                                                                                << status;
  ASSERT_TRUE(WaitFor([&] { return fs::exists(listing); }));
  std::istringstream lines(ReadFile(listing));
  int standard = 0, others = 0;  // besides the streams, only the listing's own handle on its fd folder
  for (std::string fd; std::getline(lines, fd);) {
    const bool is_standard = fd.starts_with("0 ") || fd.starts_with("1 ") || fd.starts_with("2 ");
    (is_standard ? standard : others) += 1;
    EXPECT_TRUE(is_standard ? fd.ends_with(" -> /dev/null") : fd.find("/fd") != std::string::npos) << fd;
  }
  EXPECT_EQ(standard, 3);
  EXPECT_LE(others, 1);
  RequestStop();
  EXPECT_TRUE(WaitFor([&] { return StatField(pid, 0).empty(); })) << "left in state " << StatField(pid, 0);
  EXPECT_TRUE(LogHas(name + " stopped by stop command"));
}

TEST_F(ProcessTest, CommandLinesAsTypedPlayARunsChainAndHandlesFollowEachProgram) {
  const fs::path folder = temp() / "My Tools" / "o'brien";  // unquoted in the command line
  const std::string name = Named("tnw-spaced");
  CopyExecutable(TARNWICK_NODE_STANDIN, folder, name);
  auto node = control_.RunCommandLine(folder.string() + "/" + name + StateArgument());
  ASSERT_NE(node, nullptr);
  const std::vector<pid_t> pids = PidsRunning(name);
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_TRUE(node->IsRunning());
  EXPECT_TRUE(node->IsRunning());
  const auto run_to_end = [&](const std::string& line) {
    auto handle = control_.RunCommandLine(line);
    ASSERT_NE(handle, nullptr) << line;
    EXPECT_TRUE(WaitFor([&] { return !handle->IsRunning(); })) << line;
    EXPECT_TRUE(handle->EndedWithSuccess()) << line;
  };
  run_to_end(std::string(TARNWICK_CORVANT_STANDIN) + StateArgument() + " --catch-up-ms 200");
  EXPECT_TRUE(fs::exists(state() / "node.started"));
  EXPECT_TRUE(node->IsRunning()) << "the node must still run after catching up";
  EXPECT_FALSE(node->EndedWithSuccess());
  // Quoted as for a shell: the client's stop command ends the node.
  const fs::path cli = CopyExecutable(TARNWICK_CLI_STANDIN, temp() / "a b", "cli");
  run_to_end("'" + cli.string() + "' --state \"" + state().string() + "\" stop");
  ASSERT_TRUE(WaitFor([&] { return !node->IsRunning(); }));
  EXPECT_FALSE(node->IsRunning());
  EXPECT_EQ(StatField(pids[0], 0), "") << "the ended node was left unreaped";
  EXPECT_FALSE(fs::exists(state() / "node.started"));
  EXPECT_FALSE(fs::exists(state() / "stop-request"));
  // A helper run by its bare location finds its state folder beside itself; a bare name is on PATH.
  CopyExecutable(TARNWICK_PELLUM_ON, folder, "MF-PELLUM-ON");
  WriteFile(folder / "standin-state.txt", state().string() + "\n");
  run_to_end((folder / "MF-PELLUM-ON").string());
  run_to_end("true");
  using Exit = process::Exit;
  const std::string killed = Named("tnw-killed");  // a node ended by SIGTERM, found by its own name
  const std::string node_copy = CopyExecutable(TARNWICK_NODE_STANDIN, temp(), killed).string() + StateArgument();
  for (const auto& [failing, how] :
       {std::pair{std::string("false"), Exit{Exit::Kind::Status, 1}},
        {std::string(TARNWICK_CORVANT_STANDIN) + StateArgument() + " --crash", Exit{Exit::Kind::Status, 3}},
        {node_copy, Exit{Exit::Kind::Signal, SIGTERM}}}) {
    auto handle = control_.RunCommandLine(failing);
    ASSERT_NE(handle, nullptr);
    if (how.kind == Exit::Kind::Signal) {
      ASSERT_TRUE(WaitFor([&] { return PidsRunning(killed).size() == 1; }));
      ::kill(PidsRunning(killed).front(), how.value);
    }
    EXPECT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    EXPECT_FALSE(handle->EndedWithSuccess()) << failing;
    EXPECT_EQ(handle->HowItEnded(), how) << failing;
  }

  // The events came in the run's order.
  const std::string log = Log();
  std::size_t last = 0;
  for (const std::string& event : {name + " started", "MF-CORVANT-STANDIN caught up"s, "cli stop command sent"s,
                                   name + " stopped by stop command", "MF-PELLUM-ON done"s}) {
    const std::size_t at = log.find("Z " + event + "\n", last);
    EXPECT_NE(at, std::string::npos) << event << " missing or out of order in\n" << log;
    last = at;
  }
}

TEST_F(ProcessTest, AThousandShortProgramsLeaveNoZombieAndNoDescriptor) {
  // The probe keeps the command lines of the listed processes open on purpose (one per process,
  // closed as they go); every other descriptor counts.
  const auto descriptors = [] {
    std::error_code error;
    return std::count_if(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator(), [&](const auto& fd) {
      const std::string target = fs::read_symlink(fd.path(), error).string();
      return !(target.starts_with("/proc/") && target.ends_with("/cmdline"));
    });
  };
  const auto before = descriptors();
  std::unique_ptr<process::ProcessHandle> kept;
  for (int i = 0; i < 1000; ++i) {
    auto handle = control_.RunCommandLine("/bin/true");
    ASSERT_NE(handle, nullptr) << "launch " << i;
    if (i == 500) kept = std::move(handle);  // the others are dropped at once
  }
  // Either operation reaps what has ended; probe until the last ones have.
  EXPECT_TRUE(WaitFor([&] {
    control_.IsProcessRunning("tnw-no-such-program");
    return ChildrenOfThisProcess().empty();
  })) << ChildrenOfThisProcess().size()
      << " children left";
  EXPECT_FALSE(kept->IsRunning());
  EXPECT_TRUE(kept->EndedWithSuccess()) << "its exit status outlives the probes that reaped it";
  kept.reset();
  EXPECT_EQ(descriptors(), before);
}

// Sets an environment variable and the working folder for one test, and puts both back after.
class Surroundings {
 public:
  explicit Surroundings(const fs::path& working_folder) : previous_folder_(fs::current_path()) {
    fs::current_path(working_folder);
  }
  ~Surroundings() {
    fs::current_path(previous_folder_);
    for (const auto& [name, value] : previous_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  Surroundings(const Surroundings&) = delete;
  Surroundings& operator=(const Surroundings&) = delete;
  void Set(const std::string& name, const std::string& value) {
    const char* before = std::getenv(name.c_str());
    previous_.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  fs::path previous_folder_;
  std::vector<std::pair<std::string, std::optional<std::string>>> previous_;
};

// Another user who can write to the working folder (or to a folder beside the program) plants files
// named after pieces of a command line. The launcher starts the configured program or nothing.
TEST_F(ProcessTest, PlantedFilesInTheWorkingFolderOrBesideAMissingProgramNeverRun) {
  const fs::path work = temp() / "shared";  // the working folder, writable by the other user
  const fs::path ran = temp() / "ran.txt";
  // A program that writes its label and its arguments to ran.txt.
  const auto plant = [&](const fs::path& file, const std::string& label) {
    fs::create_directories(file.parent_path());
    WriteFile(file, "#!/bin/sh\nprintf '%s\\n' \"" + label + " $*\" >> '" + ran.string() + "'\n");
    fs::permissions(file, fs::perms::owner_all);
  };
  const std::string top = temp().string();
  fs::create_directories(work);
  plant(work / "tnw-cli -datadir=/srv/x/.node", "planted");               // a relative run of words
  plant(work / "\"" / top.substr(1) / "real dir" / "prog\"", "planted");  // a run that begins with a quote
  plant(temp() / "real dir" / "prog", "real");
  plant(work / "~" / "bin" / "tool", "planted");  // "~" taken as a folder name
  plant(temp() / "home" / "bin" / "tool", "home");
  plant(work / "bin" / "tool a", "planted");  // a relative first word's run
  plant(work / "bin" / "tool", "relative");
  plant(work / "tnw-on-path", "planted");           // an empty PATH entry
  plant(work / "rel" / "tnw-rel-path", "planted");  // a relative PATH entry
  plant(temp() / "x" / "a", "shorter");             // beside a missing program
  fs::create_directories(temp() / "x" / "a b" / "tw");
  Surroundings surroundings(work);
  surroundings.Set("HOME", (temp() / "home").string());
  surroundings.Set("PATH", "/usr/bin:/bin::rel");

  const struct {
    std::string line, ran;
  } cases[] = {
      // command line, what it must run ("" nothing)
      {"tnw-cli -datadir=/srv/x/.node stop", ""},
      {"\"" + top + "/real dir/prog\" -x", "real -x"},
      {"~/bin/tool -y", "home -y"},
      {"  ~/bin/tool", "home "},
      {"bin/tool a b", "relative a b"},
      {"tnw-on-path", ""},
      {"tnw-rel-path", ""},
      {top + "/x/a b/run --x 1", ""},          // "a b" exists: never "a" with "b/run --x 1"
      {top + "/x/a b/tw/NODE --x 1", ""},      // likewise one folder deeper
      {top + "/x/a b/nosuch/NODE --x 1", ""},  // and when the typo is in a folder beyond it
      {top + "/x/a c/run", "shorter c/run"},   // no folder "a c": "a" with its argument, as typed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::error_code ignored;
    fs::remove(ran, ignored);
    ::testing::internal::CaptureStderr();
    auto handle = control_.RunCommandLine(c.line);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(handle == nullptr, c.ran.empty()) << said;
    if (c.ran.empty()) { EXPECT_TRUE(said.starts_with("TARNWICK: ")) << said; }
    if (handle) {
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    }
    EXPECT_EQ(ReadFile(ran), c.ran.empty() ? "" : c.ran + "\n");
  }
}

TEST_F(ProcessTest, BadCommandLinesStartNothingAndSayWhyInOneLine) {
  WriteFile(temp() / "plain-file", "");
  for (const std::string& line : {""s, "   "s, "/bin/echo 'unbalanced"s, "tnw-no-such-program --flag"s,
                                  "/no/such/folder/program"s, temp().string(), (temp() / "plain-file").string()}) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(control_.RunCommandLine(line), nullptr) << line;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(said.starts_with("TARNWICK: ") && said.find('\n') == said.size() - 1) << said;
  }
  EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

}  // namespace
}  // namespace process_test
