// The headless front end on the real core: a whole run told line by line, each exit status, and
// the options, with a virtual clock that is also the fake machine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "frontend/headless/headless_run.h"
#include "frontend/headless/options.h"
#include "run_world.h"

namespace {

using namespace fakes;

// The native wait of a fake machine: time jumps to the next due timer, the outside programs act on
// the way (the helper tools and the CLI end a second after their launch, CORVANT after
// `corvant_seconds`, the node two seconds after the stop command), and an end request may come.
struct World : headless::Waiter {
  // Ten virtual minutes: a whole run here takes well under one, and a run that never ends is
  // ended soon enough to cost seconds, not minutes, when every second launches a program again.
  static constexpr ui::Millis kLongestRun = 10 * 60'000;
  bool settings_written = true;  // what the store says of its final write
  World() {
    for (const auto& [key, value] : RunSettings()) store.Seed(kSection, key, value);
    // The stored ticks say "by hand"; the headless run neither uses nor changes them.
    store.Seed(kSection, "AUTOSTART_TIME_TICKBOX", "0");
    store.Seed(kSection, "AUTOCLOSE_TIME_TICKBOX", "0");
    for (const RunWorld::Program& p : RunWorld::Programs()) processes.Define(p.cmd, {p.image});
  }
  ui::Millis Now() override { return now; }
  bool Wait(std::optional<ui::Millis> due) override {
    // A run that never ends (CORVANT started for ever, say) is ended as a signal would end it, so a
    // test sees its status instead of hanging.
    if (now >= kLongestRun) return true;
    // Never woken and never due: the run would hang, which a test must see rather than wait for.
    const ui::Millis target = due ? std::max(now, *due) : now + 24 * 3600'000;
    const bool end = end_at && *end_at <= target;
    for (; now < (end ? *end_at : target); now += 100) Act();
    if (end) end_at.reset();
    ++waits;
    return end;
  }
  void Act() {
    const auto programs = RunWorld::Programs();
    for (const RunWorld::Program& p : programs) {
      const int launches = processes.LaunchCount(p.cmd);
      if (launches > seen[p.cmd]) started[p.cmd] = now, seen[p.cmd] = launches;
    }
    const auto after = [&](const std::string& cmd, ui::Millis ms) {
      return started.count(cmd) && now - started[cmd] == ms;
    };
    for (const RunWorld::Program& p : programs) {
      const ui::Millis lasts = p.cmd == kCorvantCmd ? corvant_seconds * 1000 : 1000;
      if (p.cmd != kQtCmd && p.cmd != kDaemonCmd && lasts >= 0 && after(p.cmd, lasts)) processes.End(p.image);
    }
    if (after(kCliCmd, 2000)) processes.End(kQtImage);
  }
  std::string Stored(const std::string& key) const { return store.Value(kSection, key).value_or("<absent>"); }

  int Run(std::optional<ui::Millis> max_run = std::nullopt) {
    headless::HeadlessPorts ports{processes, store, kSection, out, err};
    headless::RunOptions options;
    options.max_run = max_run;
    options.settings_written = [this] { return settings_written; };
    return headless::RunHeadless(ports, *this, options);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static constexpr const char* kSection = "TARNWICK-NIGHT";
  FakeProcesses processes;
  settings::MemoryStore store;
  std::ostringstream out, err;
  ui::Millis now = 0;
  std::optional<ui::Millis> end_at;
  int corvant_seconds = 3;
  int waits = 0;
  std::map<std::string, ui::Millis> started;
  std::map<std::string, int> seen;
};

TEST(Headless, AWholeRunIsToldInTheOrderItTookAndEndsWithStatusZero) {
  World world;
  EXPECT_EQ(world.Run(), headless::kSucceeded);
  const std::vector<std::string> expected = {
      "AUTOPILOT STARTED light turns cyan: Auto Start counting down",
      "run begins, ticked: PELLUM-ON, QT, PELLUM-OFF",
      "its programs: PELLUM-ON " + RunWorld::Programs()[0].image + ", QT " + kQtImage + ", CORVANT " + kCorvantImage +
          ", CLI " + kCliImage + ", PELLUM-OFF " + RunWorld::Programs()[1].image,
      "PELLUM-ON started: " + RunWorld::Programs()[0].image + " (pid 1001)",
      "QT started: " + kQtImage + " (pid 1002)",
      "AUTOPILOT STARTED light turns green: run begun",
      "QT light turns cyan: node found",
      "PELLUM-ON light turns cyan: PELLUM-ON running",
      "CORVANT started: " + kCorvantImage + " (pid 1003)",
      "PELLUM-ON light turns red: PELLUM-ON not running",
      "CORVANT light turns cyan: CORVANT running",
      "CORVANT light turns green: CORVANT ended: the node has caught up",
      "CLI started: " + kCliImage + " (pid 1004)",
      "CLI \"STOP\" light turns green: stop command sent",
      "\"STOP\" PAUSE light turns cyan: waiting for the node to stop",
      "QT light turns green: node gone",
      "\"STOP\" PAUSE light turns green: node gone",
      "PELLUM-OFF started: " + RunWorld::Programs()[1].image + " (pid 1005)",
      "PELLUM-ON light turns green: PELLUM-ON done",
      "PELLUM-OFF light turns green: PELLUM-OFF done",
      "AUTOPILOT FINISHED light turns green: Auto Close counting down",
      "outcome: !!! SUCCESS !!!",
      "exit status 0",
  };
  EXPECT_EQ(world.Lines(), expected);
  EXPECT_EQ(world.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
  EXPECT_EQ(world.Stored("AUTOSTART_TIME_TICKBOX"), "0");
  EXPECT_EQ(world.Stored("AUTOCLOSE_TIME_TICKBOX"), "0");
  EXPECT_EQ(world.err.str(), "");
}

// Each way a headless run can end short of a clean success, by its exit status and what it left.
TEST(Headless, EachEndHasItsStatus) {
  struct Case {
    const char* name;
    void (*setup)(World&);
    std::optional<ui::Millis> max_run;
    int status;
    std::string stored_outcome;
    bool node_left_running;
    int node_launches;
  };
  const Case cases[] = {
      {"no node ticked",
       [](World& w) { w.store.Seed(World::kSection, "AUTORUN_QT_TICKBOX", "0"); },
       {},
       headless::kCouldNotBegin,
       "!!! LAST RUN !!!",
       false,
       0},
      {"the ticked node's command line empty",
       [](World& w) { w.store.Seed(World::kSection, "QT_FULL_RUN_CMD_TEXTBOX", " "); },
       {},
       headless::kCouldNotBegin,
       "!!! LAST RUN !!!",
       false,
       0},
      {"a store with nothing in it",
       [](World& w) { w.store = settings::MemoryStore(); },
       {},
       headless::kCouldNotBegin,
       "<absent>",
       false,
       0},
      {"PELLUM-OFF cannot start",
       [](World& w) {
         w.processes = FakeProcesses();
         for (const RunWorld::Program& p : RunWorld::Programs())
           if (p.cmd != kPellumOffCmd) w.processes.Define(p.cmd, {p.image});
       },
       {},
       headless::kSucceededWithMissedLaunches,
       "!!! SUCCESS !!!",
       false,
       1},
      {"CORVANT never ends, --max-run", [](World& w) { w.corvant_seconds = -1; }, 120'000, headless::kStopped,
       "!!! MANUAL STOP !!!", true, 1},
      {"the final write of the settings fails",
       [](World& w) { w.settings_written = false; },
       {},
       headless::kCouldNotBegin,
       "!!! SUCCESS !!!",
       false,
       1},
      {"an end signal mid-run, after last night's success",
       [](World& w) {
         w.end_at = 15'000;
         w.store.Seed(World::kSection, "LAST_RUN_TEXTBOX", "!!! SUCCESS !!!");
       },
       {},
       headless::kStopped,
       "!!! LAST RUN !!!",
       true,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World world;
    c.setup(world);
    EXPECT_EQ(world.Run(c.max_run), c.status);
    EXPECT_EQ(world.Stored("LAST_RUN_TEXTBOX"), c.stored_outcome);
    EXPECT_EQ(world.processes.Running(kQtImage), c.node_left_running);
    EXPECT_EQ(world.processes.LaunchCount(kQtCmd), c.node_launches);
    EXPECT_LT(world.waits, 1000) << "the run never ended";
  }
}

// The lines a run tells, kept in memory.
struct Lines : app::RunReport {
  void Line(std::string_view text) override { lines.emplace_back(text); }
  void Finished(const app::RunEnd&) override {}
  std::vector<std::string> lines;
};

TEST(Journal, OneRunTellsTheSameLinesWithAWindowAndWithout) {
  World headless_world;
  Lines headless_lines;
  headless::HeadlessPorts ports{headless_world.processes, headless_world.store, World::kSection,
                                headless_world.out,       headless_world.err,   &headless_lines};
  ASSERT_EQ(headless::RunHeadless(ports, headless_world, {}), headless::kSucceeded);

  // The same machine under the window's core, with Auto Start and Auto Close ticked by the user.
  World world;
  Lines lines;
  Harness h(world.processes, World::kSection);
  for (const auto& [key, value] : RunSettings()) h.Seed(key, value);
  h.platform.report = &lines;
  h.Open();
  while (h.main_open() && h.now < 600'000) {
    h.Advance(100);
    world.now = h.now;
    world.Act();
  }
  headless_lines.lines.pop_back();  // the exit status, which only a headless run has
  EXPECT_EQ(lines.lines, headless_lines.lines);
  EXPECT_EQ(lines.lines.back(), "outcome: !!! SUCCESS !!!");
}

TEST(Headless, Options) {
  using headless::ParseOptions;
  using V = std::vector<std::string>;
  EXPECT_EQ(headless::ParseDuration("90m"), 5'400'000);
  EXPECT_EQ(headless::ParseDuration("2h"), 7'200'000);
  EXPECT_EQ(headless::ParseDuration("45s"), 45'000);
  for (const char* bad : {"", "m", "0m", "-5m", "5", "5d", "1.5h", "5 m", "99999999999999h"})
    EXPECT_EQ(headless::ParseDuration(bad), std::nullopt) << bad;

  const headless::Options run = ParseOptions(V{"--headless", "--max-run", "90m"});
  EXPECT_TRUE(run.headless);
  EXPECT_EQ(run.max_run, 5'400'000);
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(ParseOptions(V{"--max-run=2h", "--headless"}).max_run, 7'200'000);
  // Anything else is an error without a window; with one, the toolkit's own options pass.
  for (const V& bad : {V{"--headless", "-platform", "xcb"}, V{"--headless", "--max-run"}, V{"--max-run", "5m"},
                       V{"--headless", "--max-run", "soon"}})
    EXPECT_NE(ParseOptions(bad).error, "") << ::testing::PrintToString(bad);
  EXPECT_EQ(ParseOptions(V{"-platform", "offscreen"}).error, "");
  EXPECT_TRUE(ParseOptions(V{"--help"}).help);
  EXPECT_TRUE(ParseOptions(V{"--version"}).version);
}

}  // namespace
