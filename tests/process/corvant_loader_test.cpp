// The main window's CORVANT loader on real processes, with the clock stepped by the test: a
// single-instance CORVANT already running, launches that end at once with status 0, and our own
// copy killed or failing after it was found, judged by the real probe and launcher.
#include <signal.h>

#include <functional>

#include "app/main_window.h"
#include "harness.h"
#include "test_support.h"

namespace {

using namespace process_test;
using namespace ui::colours;

class CorvantLoader : public ProcessTest {
 protected:
  // The real core on the real process port; the node watcher's part (re-arming the loader every
  // second) is played by Second().
  struct Core : fakes::Harness {
    explicit Core(process::ProcessControl& port) : Harness(port, "TARNWICK") {}
    TARNWICK_MAIN& Open(const std::string& command_line, const std::string& image_name) {
      Seed("CORVANT_FULL_LOCATION_TEXTBOX", command_line);
      Seed("CV_FILENAME_TEXTBOX", image_name);
      return Harness::Open();
    }
    void Second() {
      desktop.Deliver(now, [&] { main->CORVANT_LOADER_TIMER.Arm(); });
      Stall(1000);
    }
  };

  void SetUp() override {
    ProcessTest::SetUp();
    fs::create_directories(events());
  }
  fs::path events() const { return temp() / "events"; }
  // The ids of the copies that left this event, oldest first by id.
  std::vector<pid_t> Events(const std::string& event) const {
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator(events())) {
      const std::string name = entry.path().filename();
      if (name.rfind(event + "-", 0) == 0) pids.push_back(std::stoi(name.substr(event.size() + 1)));
    }
    return pids;
  }
  // Waits until `count` copies left the event and have all exited (gone, or a zombie not yet reaped).
  bool EndedAfter(const std::string& event, std::size_t count) const {
    return WaitFor([&] {
      const std::vector<pid_t> pids = Events(event);
      if (pids.size() < count) return false;
      for (pid_t pid : pids)
        if (const std::string state = StatField(pid, 0); !state.empty() && state != "Z") return false;
      return true;
    });
  }
  fs::path SoloTool(const std::string& name) { return CopyExecutable(TARNWICK_SOLO_TOOL, temp() / "bin", name); }
  fs::path Wrapper(const std::string& name) { return CopyExecutable(TARNWICK_WRAPPER, temp() / "bin", name); }
  std::string SoloArguments() const { return " --lock " + (temp() / "lock").string() + " --dir " + events().string(); }
  void StopSoloTools(const std::string& status = "") const { WriteFile(events() / "stop", status); }
};

TEST_F(CorvantLoader, ACorvantAlreadyRunningThatRefusesASecondCopyIsFoundAndNeverStartedAgain) {
  const std::string name = Named("corvant");
  const fs::path tool = SoloTool(name);
  const pid_t by_hand =
      SpawnDirect(tool, {tool.string(), "--lock", (temp() / "lock").string(), "--dir", events().string()});
  ASSERT_GT(by_hand, 0);
  started_.push_back(by_hand);
  ASSERT_TRUE(WaitFor([&] { return Events("running").size() == 1; }));

  Core core(control_);
  TARNWICK_MAIN& m = core.Open(tool.string() + SoloArguments(), name);
  core.Second();  // the loader runs CORVANT's command line although one runs: that copy refuses
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  ASSERT_TRUE(EndedAfter("refused", 1));
  core.Second();
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan) << "found at the tick after the launch";
  for (int i = 0; i < 3; ++i) core.Second();
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(Events("refused").size(), 1u) << "started once";

  StopSoloTools();  // the copy started by hand ends: the node has caught up
  EXPECT_EQ(WaitForExit(by_hand), 0);
  started_.clear();
  core.Second();
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
  EXPECT_TRUE(m.CLI_WATCHER_TIMER.armed());
  for (int i = 0; i < 3; ++i) core.Second();
  EXPECT_EQ(Events("refused").size(), 1u);
  EXPECT_EQ(Events("running").size(), 1u) << "no new CORVANT run after it has completed";
}

// A launch that ends with status 0 before its judgement counts as CORVANT done only when the
// program the launcher started bears CORVANT's image name; a wrapper's tool is found by the probe.
TEST_F(CorvantLoader, ALaunchEndingWithStatusZeroIsJudgedByTheNameItRanUnder) {
  struct Case {
    const char* name;
    // The command line and CORVANT's image name, given the copies' file names.
    std::function<std::pair<std::string, std::string>()> setup;
    const char* event;  // what the launched program leaves once it has exited
    ui::Colour judged;
  };
  const Case cases[] = {
      {"CORVANT with nothing left to do",
       [this] {
         const std::string name = Named("corvant");
         return std::pair{SoloTool(name).string() + SoloArguments() + " --done", name};
       },
       "done", kCyan},
      {"another program that returns 0 at once",
       [this] {
         return std::pair{Wrapper(Named("launcher")).string() + " " + events().string(), Named("corvant")};
       },
       "wrapped", kWhite},
      {"CORVANT's image name left empty",
       [this] {
         return std::pair{SoloTool(Named("corvant")).string() + SoloArguments() + " --done", std::string()};
       },
       "done", kWhite},
      {"a wrapper whose tool runs under CORVANT's image name",
       [this] {
         const std::string name = Named("corvant");
         const std::string tool = SoloTool(name).string();
         return std::pair{Wrapper(Named("launcher")).string() + " " + events().string() + " " + tool + SoloArguments(),
                          name};
       },
       "wrapped", kCyan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(events());
    fs::create_directories(events());
    const auto [command_line, image_name] = c.setup();
    Core core(control_);
    TARNWICK_MAIN& m = core.Open(command_line, image_name);
    core.Second();
    ASSERT_TRUE(EndedAfter(c.event, 1));
    if (c.judged == kCyan && std::string(c.event) == "wrapped") {
      ASSERT_TRUE(WaitFor([&] { return Events("running").size() == 1; }));
    }
    core.Second();
    EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), c.judged);
    if (c.judged == kWhite) {
      ASSERT_TRUE(EndedAfter(c.event, 2)) << "started again at the judging tick";
      EXPECT_FALSE(m.CORVANT_COMPLETE_TIMER.armed());
    } else {
      StopSoloTools();
      ASSERT_TRUE(WaitFor([&] { return control_.IsProcessRunning(image_name) == process::Probe::NotRunning; }));
      core.Second();
      EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
      EXPECT_EQ(Events(c.event).size(), 1u);
    }
  }
}

// Our own copy found and then killed by a signal, or failing: the node has not caught up, so no
// stop follows and the loader starts CORVANT again; the copy it starts then ends well.
TEST_F(CorvantLoader, OurCopyKilledOrFailingAfterItWasFoundIsStartedAgain) {
  for (const bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed by SIGKILL" : "exit status 1");
    fs::remove_all(events());
    fs::create_directories(events());
    const std::string name = Named("corvant");
    Core core(control_);
    TARNWICK_MAIN& m = core.Open(SoloTool(name).string() + SoloArguments(), name);
    core.Second();
    ASSERT_TRUE(WaitFor([&] { return Events("running").size() == 1; }));
    core.Second();
    ASSERT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
    const pid_t first = Events("running").front();
    killed ? (void)::kill(first, SIGKILL) : StopSoloTools("1");
    ASSERT_TRUE(WaitFor([&] { return control_.IsProcessRunning(name) == process::Probe::NotRunning; }));
    fs::remove(events() / "stop");
    core.Second();  // judged: started again, in this pass or the next
    core.Second();
    ASSERT_TRUE(WaitFor([&] { return Events("running").size() == 2; }));
    EXPECT_FALSE(m.CLI_WATCHER_TIMER.armed());
    core.Second();
    EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
    StopSoloTools();
    ASSERT_TRUE(WaitFor([&] { return control_.IsProcessRunning(name) == process::Probe::NotRunning; }));
    core.Second();
    EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
    EXPECT_TRUE(m.CLI_WATCHER_TIMER.armed());
  }
}

}  // namespace
