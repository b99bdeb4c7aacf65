// Whole runs in virtual time against a scripted world: the schedule second by second, the outside
// world failing at each step, STOP and START, Auto Close, late timers, helper tools and always on top.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "process/platform_names.h"
#include "run_world.h"

namespace {

using namespace ui::colours;
using fakes::Harness;
using fakes::kCliCmd, fakes::kCliImage, fakes::kCorvantCmd, fakes::kCorvantImage, fakes::kDaemonCmd;
using fakes::kPellumOffCmd, fakes::kPellumOnCmd, fakes::kQtCmd, fakes::kQtImage;
using fakes::Progress;
using fakes::SeededRun;
using Launches = std::vector<std::string>;

const Launches kFullRun = {kPellumOnCmd, kQtCmd, kCorvantCmd, kCliCmd, kPellumOffCmd};
const Progress kStopSequenceDone{.lights = {"green", "green", "green", "green", "green", "green"},
                                 .launches = {1, 1, 1, 1, 1},
                                 .armed = {"AUTOCLOSE_TIMER"}};

std::vector<const ui::Label*> SequenceLights(const TARNWICK_MAIN& m) {
  return {&m.AUTOPILOT_STARTED_LIGHT,  &m.PELLUM_ON_LIGHT,      &m.CORVANT_LIGHT,
          &m.CLI_STOP_LIGHT,           &m.PAUSE_FOR_STOP_LIGHT, &m.PELLUM_OFF_LIGHT,
          &m.AUTOPILOT_COMPLETED_LIGHT};
}

// Every scheduled run is played with timers due together ticking in creation order, and reversed.
class ScheduledRun : public ::testing::TestWithParam<bool> {
 protected:
  SeededRun& Run(bool auto_start = true, bool auto_close = true) {
    runs_.push_back(std::make_unique<SeededRun>(auto_start, auto_close));
    runs_.back()->h.desktop.timers().set_reverse_ties(GetParam());
    return *runs_.back();
  }
  std::vector<std::unique_ptr<SeededRun>> runs_;
};

TEST_P(ScheduledRun, SecondBySecondFromLoadToTheWindowClosing) {
  auto& [h, w] = Run();
  TARNWICK_MAIN& m = h.Open();
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "00");
  for (int s = 1; s <= 10; ++s) {
    w.Second();
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), (s == 1 ? "10" : "0" + std::to_string(11 - s))) << "second " << s;
    EXPECT_EQ(m.AUTOPILOT_STARTED_LIGHT.back_colour(), kCyan);
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled()) << "a countdown begun at load leaves Settings enabled";
    EXPECT_TRUE(h.processes.launches().empty());
  }
  w.Second();  // the eleventh tick begins the run
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "-- --");
  EXPECT_FALSE(m.SETTINGS_BUTTON.enabled());
  EXPECT_EQ(m.AUTOPILOT_STARTED_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(h.processes.launches(), (Launches{kPellumOnCmd, kQtCmd}));
  EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! LAST RUN !!!") << "a run begun at load has no outcome yet";
  w.Second();  // 12: the node watcher finds the node and arms the loader
  EXPECT_FALSE(m.QT_RUN_BUTTON.enabled());
  EXPECT_FALSE(m.DAEMON_RUN_BUTTON.enabled());
  w.Second();  // 13: the loader starts CORVANT; the copy is judged at the next tick
  EXPECT_EQ(w.first_launch[kCorvantCmd], 13);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  w.Second();  // 14: still running, so found
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  ASSERT_TRUE(w.RunUntilClosed());
  EXPECT_EQ(h.processes.launches(), kFullRun) << "each program is started once, in order";
  EXPECT_EQ(w.first_launch[kCliCmd], 20) << "the first CLI watcher tick after CORVANT's end (19)";
  EXPECT_GE(w.first_launch[kPellumOffCmd], 24);
  EXPECT_LE(w.first_launch[kPellumOffCmd], 25);
  EXPECT_EQ(w.second, w.first_launch[kPellumOffCmd] + 11) << "Auto Close counts eleven seconds";
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
  EXPECT_EQ(h.processes.probes_outside_pass(), 0) << "every watcher probes inside its timer pass";
}

TEST_P(ScheduledRun, AfterTheStopSequenceOnlyAutoCloseIsArmedUntilAutoCloseIsTicked) {
  auto& [h, w] = Run(true, false);
  TARNWICK_MAIN& m = h.Open();
  ASSERT_FALSE(w.RunFor(40));
  EXPECT_EQ(ProgressOf(h), kStopSequenceDone);
  EXPECT_FALSE(m.DAEMON_WATCHER_TIMER.armed());
  EXPECT_FALSE(m.AUTOSTART_TIMER.armed());
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kWhite);
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);  // its countdown starts at the next tick
  w.Second();
  EXPECT_EQ(m.AUTOCLOSE_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "10");
  EXPECT_TRUE(w.RunUntilClosed(12));
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

// The wallet and the daemon reach "!!! SUCCESS !!!" on a machine that sleeps ten minutes every
// seventh second.
TEST_P(ScheduledRun, ThroughSleepsOfTheMachineWithTheWalletOrTheDaemon) {
  for (bool daemon : {false, true}) {
    SCOPED_TRACE(daemon ? "daemon" : "wallet");
    auto& [h, w] = Run();
    h.Seed("AUTORUN_QT_TICKBOX", daemon ? "0" : "1");
    h.Seed("AUTORUN_DAEMON_TICKBOX", daemon ? "1" : "0");
    h.Open();
    for (int i = 0; i < 120 && h.main_open(); ++i) {
      w.Second();
      if (i % 7 == 3) h.Advance(600'000, 600'000);
    }
    EXPECT_FALSE(h.main_open());
    EXPECT_EQ(h.processes.launches(),
              (Launches{kPellumOnCmd, daemon ? kDaemonCmd : kQtCmd, kCorvantCmd, kCliCmd, kPellumOffCmd}));
    EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
  }
}

INSTANTIATE_TEST_SUITE_P(BothTickOrders, ScheduledRun, ::testing::Bool(),
                         [](const auto& param_info) { return param_info.param ? "Reversed" : "CreationOrder"; });

// Where a run stands after the outside world misbehaves. Each case sets the world up (opening the
// main window and acting itself when it must act mid-run), then runs on for a minute and a half.
TEST(RunFaults, EachFailureHoldsTheRunWhereItShould) {
  using Ending = fakes::FakeProcesses::Ending;
  struct Case {
    const char* name;
    std::function<void(SeededRun&)> setup;
    Progress progress;
  };
  const Case cases[] = {
      {"a node that never shows holds the run before CORVANT",
       [](SeededRun& s) { s.h.Seed("QT_FILENAME_TEXTBOX", "qt-misspelt"); },
       {.lights = {"red", "red", "white", "white", "white", "system"},
        .launches = {1, 1, 0, 0, 0},
        .node_runs = true,
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER"}}},
      {"a CORVANT crashing at once is retried every second, never taken for caught up",
       [](SeededRun& s) {
         s.h.processes.Define(kCorvantCmd, {kCorvantImage, Ending::CrashesAtOnce});
       },
       {.lights = {"red", "cyan", "white", "white", "white", "system"},
        .launches = {1, 1, 78, 0, 0},
        .node_runs = true,
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER", "CORVANT_LOADER_TIMER"},
        .disabled = {"QT_RUN_BUTTON", "DAEMON_RUN_BUTTON", "CORVANT_RUN_BUTTON"},
        .reports = 1}},  // once, not at every launch
      {"a CORVANT that never ends keeps the run waiting in cyan",
       [](SeededRun& s) { s.w.corvant_seconds = -1; },
       {.lights = {"red", "cyan", "cyan", "white", "white", "system"},
        .launches = {1, 1, 1, 0, 0},
        .node_runs = true,
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER", "CORVANT_COMPLETE_TIMER"},
        .disabled = {"QT_RUN_BUTTON", "DAEMON_RUN_BUTTON", "CORVANT_RUN_BUTTON"}}},
      {"a CLI process that never goes holds back the stop command",
       [](SeededRun& s) {
         s.h.processes.Start(kCliImage);
         s.w.cli_seconds = -1;
       },
       {.lights = {"red", "cyan", "green", "cyan", "white", "system"},
        .launches = {1, 1, 1, 0, 0},
        .node_runs = true,
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER", "CLI_WATCHER_TIMER"},
        .disabled = {"QT_RUN_BUTTON", "DAEMON_RUN_BUTTON", "CLI_STOP_RUN_BUTTON"}}},
      {"a node gone before CORVANT ends never gets the stop command",
       [](SeededRun& s) {
         s.h.Open();
         s.w.RunFor(15);
         s.h.processes.End(kQtImage);
       },
       {.lights = {"red", "red", "green", "white", "white", "system"},
        .launches = {1, 1, 1, 0, 0},
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER", "CLI_WATCHER_TIMER"}}},
      {"a stop command that fails leaves the pause waiting",
       [](SeededRun& s) { s.w.node_obeys_stop = false; },
       {.lights = {"red", "cyan", "green", "green", "cyan", "system"},
        .launches = {1, 1, 1, 1, 0},
        .node_runs = true,
        .armed = {"PELLUM_ON_WATCHER_TIMER", "QT_WATCHER_TIMER", "CLI_PAUSE_TIMER"},
        .disabled = {"QT_RUN_BUTTON", "DAEMON_RUN_BUTTON"}}},
      {"clicking the node light during the pause keeps the pause forever",
       [](SeededRun& s) {
         s.w.node_shutdown_seconds = 5;
         s.h.Open();
         s.w.RunUntilStopSent();
         s.h.Click(s.h.main->QT_START_LIGHT);
         EXPECT_EQ(s.h.main->QT_START_LIGHT.back_colour(), kCyan) << "a light click changes no colour";
       },
       {.lights = {"red", "cyan", "green", "green", "cyan", "system"},
        .launches = {1, 1, 1, 1, 0},
        .armed = {"PELLUM_ON_WATCHER_TIMER", "CLI_PAUSE_TIMER"},
        .disabled = {"QT_RUN_BUTTON", "DAEMON_RUN_BUTTON"}}},
      {"the PELLUM-OFF watcher acts once when PELLUM-OFF already runs",
       [](SeededRun& s) {
         s.h.Seed("AUTOCLOSE_TIME_TICKBOX", "0");
         s.h.processes.Start(std::string(process::kPellumOffFileName));
         s.w.helper_seconds = -1;
       },
       {.lights = {"green", "green", "green", "green", "green", "green"},
        .launches = {1, 1, 1, 1, 0},
        .armed = {"AUTOCLOSE_TIMER"},
        .disabled = {"PELLUM_ON_RUN_BUTTON", "PELLUM_OFF_RUN_BUTTON"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeededRun s;
    c.setup(s);
    if (!s.h.main) s.h.Open();
    ASSERT_FALSE(s.w.RunFor(90)) << "the window closed";
    EXPECT_EQ(ProgressOf(s.h), c.progress);
  }
}

TEST(RunFaults, ACorvantNeverFoundIsNotStartedAgainWhileItsCopyRuns) {
  SeededRun s;
  s.h.Seed("CV_FILENAME_TEXTBOX", "corvant-misspelt");
  s.w.corvant_seconds = -1;  // the copy that was started keeps running
  TARNWICK_MAIN& m = s.h.Open();
  s.w.RunFor(60);
  EXPECT_EQ(s.h.processes.LaunchCount(kCorvantCmd), 1) << "no pile of copies";
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  s.h.processes.End(kCorvantImage);  // once that copy ends, the loader starts one more, and no pile again
  s.w.RunFor(10);
  EXPECT_EQ(s.h.processes.LaunchCount(kCorvantCmd), 2);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
}

// CORVANT is judged at the loader tick after its launch by its image name first, whoever started
// it: a single-instance CORVANT already running refuses the copy the loader starts.
TEST_P(ScheduledRun, ACorvantAlreadyRunningIsFoundAndNeverStartedTwice) {
  auto& [h, w] = Run();
  h.processes.Define(kCorvantCmd, {kCorvantImage, fakes::FakeProcesses::Ending::SingleInstance});
  h.processes.Start(kCorvantImage);  // started by hand, or left from an earlier run
  w.corvant_seconds = -1;            // it works on until ended below
  TARNWICK_MAIN& m = h.Open();
  w.RunFor(13);  // the loader's first tick runs CORVANT's command line; that copy fails at once
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  w.Second();
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan) << "found at the tick after the launch";
  w.RunFor(30);
  EXPECT_EQ(h.processes.LaunchCount(kCorvantCmd), 1);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  h.processes.End(kCorvantImage);  // the running copy ends: the node has caught up
  EXPECT_TRUE(w.RunUntilClosed(40));
  EXPECT_EQ(h.processes.launches(), kFullRun) << "one launch of CORVANT, then the stop sequence";
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

// A copy that ends with status 0 before it is judged counts as a node already caught up only when
// the program it started bears CORVANT's image name; otherwise the loader stays armed and retries.
TEST(CorvantJudgement, ACopyEndingWithStatusZeroCountsOnlyUnderCorvantsImageName) {
  constexpr auto kDone = fakes::FakeProcesses::Ending::FinishesAtOnce;
  const std::string& cv = kCorvantImage;
  const struct {
    const char* name;
    std::string image_name;  // CV_FILENAME_TEXTBOX
    fakes::FakeProcesses::Program program;
    bool found;
    int launches = 0;  // when not found: 62, started again at every tick
  } cases[] = {
      {"CORVANT itself, done at once", cv, {cv, kDone, "/bin/" + cv}, true},
      {"letter case as the probe ignores it", "mf-Corvant-STANDIN", {cv, kDone, "/bin/MF-CORVANT-standin"}, true},
      {"empty image name", "", {cv, kDone, "/bin/" + cv}, false},
      {"misspelt image name", "MF-CORVNAT-STANDIN", {cv, kDone, "/bin/" + cv}, false},
      {"a program of another name returning 0", cv, {"true", kDone, "/bin/true"}, false},
      {"a folder named like CORVANT", cv, {"true", kDone, "/" + cv + "/true"}, false},
      {"a wrapper whose tool runs under the image name", cv, {"sh", kDone, "/bin/sh", cv}, true},
      // Ended by the test after its first judgement; the copy started then runs on unseen.
      {"CORVANT's file running unseen a while, then returning 0", cv, {"unseen", {}, "/bin/" + cv}, false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SeededRun s;
    s.h.Seed("CV_FILENAME_TEXTBOX", c.image_name);
    s.h.processes.Define(kCorvantCmd, c.program);
    TARNWICK_MAIN& m = s.h.Open();
    s.w.RunFor(14);  // the launch at 13, its judgement at 14
    EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), c.found ? kCyan : kWhite);
    s.h.processes.End(c.program.image);
    EXPECT_EQ(s.w.RunUntilClosed(60), c.found);
    // Not found, it is started again while no copy of it runs, and the run never goes on to the stop.
    EXPECT_EQ(s.h.processes.LaunchCount(kCorvantCmd), c.found ? 1 : c.launches ? c.launches : 62);
    EXPECT_EQ(s.h.processes.LaunchCount(kCliCmd), c.found ? 1 : 0);
    if (c.found) { EXPECT_EQ(s.h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!"); }
  }
}

// CORVANT found and then gone: when it was our own copy, its end says whether the node has caught
// up. A crash or a failure is not "caught up": the light turns white again, no stop is sent and the
// loader starts CORVANT again; a failure is told once, however many follow in a row. Each case's
// ends come one after another, a few seconds apart, each followed by where the run stands.
TEST(CorvantJudgement, OurOwnCorvantEndingBadlyIsStartedAgainAndNeverTakenForCaughtUp) {
  using process::Exit;
  using Ending = fakes::FakeProcesses::Ending;
  const std::optional<Exit> done = Exit{}, failed = Exit{Exit::Kind::Status, 1}, killed = Exit{Exit::Kind::Signal, 9},
                            lost = std::nullopt;
  const struct {
    const char* name;
    std::vector<std::optional<Exit>> ends;  // of the program started, and of every CORVANT
    std::vector<std::string> after_each;    // CORVANT's light, its launches, the stops sent, the reports
    fakes::FakeProcesses::Program program = {kCorvantImage};
    bool started_by_hand = false;  // a CORVANT runs before the run begins
  } cases[] = {
      {"killed by a signal, then done", {killed, done}, {"cyan 2 0 1", "green 2 1 1"}},
      {"failing twice in a row, then done", {failed, failed, done}, {"cyan 2 0 1", "cyan 3 0 1", "green 3 1 1"}},
      {"done", {done}, {"green 1 1 0"}},
      {"its status lost", {lost}, {"green 1 1 0"}},
      {"not ours: a single-instance CORVANT refused our copy",
       {killed},
       {"green 1 1 0"},
       {kCorvantImage, Ending::SingleInstance},
       true},
      {"not ours: started by a launcher still running",
       {killed},
       {"green 1 1 0"},
       {"launcher", Ending::Runs, "/bin/launcher", kCorvantImage}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SeededRun s;
    s.w.corvant_seconds = -1;  // every CORVANT works until the case ends it
    s.h.processes.Define(kCorvantCmd, c.program);
    if (c.started_by_hand) s.h.processes.Start(kCorvantImage);
    TARNWICK_MAIN& m = s.h.Open();
    s.w.RunFor(15);
    ASSERT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
    std::vector<std::string> seen;
    for (const std::optional<Exit>& how : c.ends) {
      s.h.processes.End(c.program.image, how);
      s.h.processes.End(kCorvantImage, how);
      s.w.RunFor(3);
      seen.push_back(fakes::ColourName(m.CORVANT_LIGHT.back_colour()) + " " +
                     std::to_string(s.h.processes.LaunchCount(kCorvantCmd)) + " " +
                     std::to_string(s.h.processes.LaunchCount(kCliCmd)) + " " +
                     std::to_string(s.h.processes.reports().size()));
    }
    EXPECT_EQ(seen, c.after_each);
  }
}

// A failure is told once a run: a CORVANT failing at every launch of the next run is told of again.
TEST(CorvantJudgement, EachRunTellsOfItsFailingCorvantOnce) {
  SeededRun s(false, false);
  s.h.processes.Define(kCorvantCmd, {kCorvantImage, fakes::FakeProcesses::Ending::CrashesAtOnce});
  TARNWICK_MAIN& m = s.h.Open();
  for (std::size_t run = 1; run <= 2; ++run) {
    if (run == 2) s.h.Click(m.AUTOSTART_START_BUTTON);  // STOP
    s.h.Click(m.AUTOSTART_START_BUTTON);                // START
    s.w.RunFor(30);
    EXPECT_EQ(s.h.processes.reports().size(), run);
  }
  EXPECT_GT(s.h.processes.LaunchCount(kCorvantCmd), 30);
}

// The outcome is stored the moment it is written, so a program that ends mid-run (a signal, the
// display gone, a power cut) never leaves an earlier run's outcome standing for this one. Each case
// begins with yesterday's success stored.
TEST(Outcome, EachOutcomeIsShownAndStoredTheMomentItIsWritten) {
  const struct {
    const char* name;
    bool auto_start;
    std::function<void(SeededRun&)> act;
    std::string outcome;
    ui::Colour back;
  } cases[] = {
      {"a run begun by the countdown armed at load", true, [](SeededRun& s) { s.w.RunFor(11); }, "!!! LAST RUN !!!",
       kRed},
      {"START, and the run its countdown begins", false,
       [](SeededRun& s) {
         s.h.Click(s.h.main->AUTOSTART_START_BUTTON);
         s.w.RunFor(11);
       },
       "!!! MANUAL START !!!", kGreen},
      {"STOP of a run begun at load", true,
       [](SeededRun& s) {
         s.w.RunFor(11);
         s.h.Click(s.h.main->AUTOSTART_START_BUTTON);
       },
       "!!! MANUAL STOP !!!", kRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SeededRun s(c.auto_start, false);
    s.h.Seed("LAST_RUN_TEXTBOX", "!!! SUCCESS !!!");
    TARNWICK_MAIN& m = s.h.Open();
    c.act(s);
    ASSERT_EQ(s.h.processes.LaunchCount(kQtCmd), 1) << "the run has begun";
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), c.outcome);
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.fore_colour(), kBlack);
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), c.back);
    EXPECT_TRUE(s.h.main_open());
    EXPECT_EQ(s.h.Stored("LAST_RUN_TEXTBOX"), c.outcome) << "stored while the window is open";
  }
}

// Ticks that come late (a stalled event loop, a machine resumed from sleep) never run for a window
// that has closed, even when one pass holds both the tick that closes it and a later one of its own.
TEST(LateTimers, NoTickOfAClosedMainWindowRuns) {
  // Auto Close's last tick and the Auto Start countdown's come in one late pass.
  SeededRun s(false, true);
  s.h.desktop.timers().set_reverse_ties(true);  // an always-on-top tick due with Auto Close's runs after it
  s.h.wm.foreground = 7;                        // another window in front: every always-on-top tick moves windows
  TARNWICK_MAIN& m = s.h.Open();
  s.h.Click(m.AUTOCLOSE_START_BUTTON);
  s.h.Advance(500);
  s.h.Click(m.AUTOSTART_START_BUTTON);
  s.h.Advance(10'000);  // ten ticks of each countdown, at 1 s, 1.5 s, 2 s, ... 10.5 s
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text() + m.AUTOSTART_TIME_TEXTBOX.text(), "0101");
  s.h.wm.calls.clear();
  s.h.Stall(2'000);  // then one pass at 12.5 s: Auto Close's end, due first, closes the window
  EXPECT_FALSE(s.h.main_open());
  EXPECT_TRUE(s.h.wm.calls.empty()) << "no topmost move after the close";
  EXPECT_EQ(s.h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
  EXPECT_TRUE(s.h.processes.launches().empty()) << "no run begins after the program has ended";
  s.h.Stall(3'600'000);
  EXPECT_FALSE(s.h.desktop.timers().NextDue().has_value());
}

// A scan that could not be made changes nothing in its tick, whatever step the run is at (the node
// and CORVANT end unseen, so neither is "gone"); once scans work again the run goes on.
TEST(RunFaults, AnUnknownProbeChangesNothingAtAnyStep) {
  for (int fail_at : {12, 13, 16, 19, 20, 22, 23, 24}) {
    SCOPED_TRACE("scans fail from second " + std::to_string(fail_at));
    SeededRun s;
    TARNWICK_MAIN& m = s.h.Open();
    s.w.RunFor(fail_at - 1);
    s.h.processes.set_scan_fails(true);
    s.h.processes.End(kQtImage);
    s.h.processes.End(kCorvantImage);
    const Progress before = ProgressOf(s.h);
    const std::string countdowns = m.AUTOSTART_TIME_TEXTBOX.text() + m.AUTOCLOSE_TIME_TEXTBOX.text();
    s.w.RunFor(5);
    EXPECT_EQ(ProgressOf(s.h), before);
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text() + m.AUTOCLOSE_TIME_TEXTBOX.text(), countdowns);
    s.h.processes.set_scan_fails(false);
    s.w.RunFor(5);
    EXPECT_NE(ProgressOf(s.h), before);
  }
}

// Both ticked is the run of AfterTheStopSequence...; an unticked helper tool is never started.
TEST(HelperTools, EveryCombinationOfThePellumTickBoxes) {
  const std::pair<std::vector<std::string>, Progress> cases[] = {
      {{"PELLUM_ON_TICKBOX"},
       {.lights = {"green", "green", "green", "green", "green", "green"},
        .launches = {0, 1, 1, 1, 1},
        .armed = {"AUTOCLOSE_TIMER"}}},
      {{"PELLUM_OFF_TICKBOX"},
       {.lights = {"red", "green", "green", "green", "green", "red"},
        .launches = {1, 1, 1, 1, 0},
        .armed = {"PELLUM_ON_WATCHER_TIMER", "AUTOCLOSE_TIMER"}}},
      {{"PELLUM_ON_TICKBOX", "PELLUM_OFF_TICKBOX"},
       {.lights = {"black", "green", "green", "green", "green", "red"},
        .launches = {0, 1, 1, 1, 0},
        .armed = {"AUTOCLOSE_TIMER"}}},
  };
  for (const auto& [unticked, progress] : cases) {
    SeededRun s(true, false);
    for (const std::string& key : unticked) s.h.Seed(key, "0");
    s.h.Open();
    ASSERT_FALSE(s.w.RunFor(42)) << "the window closed";
    EXPECT_EQ(ProgressOf(s.h), progress) << "unticked: " << ::testing::PrintToString(unticked);
  }
}

TEST(StartStop, StopAtEveryStageHaltsTheRunAndStartsOrStopsNoProgram) {
  for (int stop_at : {5, 11, 12, 15, 20, 23}) {
    SCOPED_TRACE("STOP at second " + std::to_string(stop_at));
    SeededRun s;
    TARNWICK_MAIN& m = s.h.Open();
    s.w.node_shutdown_seconds = 4;
    s.w.corvant_seconds = 6;
    s.w.RunFor(stop_at);
    ui::Colour qt_before = m.QT_START_LIGHT.back_colour();
    auto launches = s.h.processes.launches();
    s.h.Click(m.AUTOSTART_START_BUTTON);
    EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "START");
    EXPECT_EQ(fakes::ProgressOf(s.h).armed, std::vector<std::string>{}) << "the pause included";
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled());
    for (const ui::Label* l : SequenceLights(m)) EXPECT_EQ(l->back_colour(), kLightRed) << l->name();
    EXPECT_EQ(m.QT_START_LIGHT.back_colour(), qt_before) << "node lights keep their colours";
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! MANUAL STOP !!!");
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), kRed);
    s.w.RunFor(40);
    EXPECT_EQ(s.h.processes.launches(), launches);
    EXPECT_TRUE(s.h.main_open());
    EXPECT_TRUE(m.AlwaysOnTopTimer.armed()) << "the schedule never touches always on top";
    s.h.Click(m.AUTOSTART_START_BUTTON);  // START counts from "10" again, from white lights
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! MANUAL START !!!");
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), kGreen);
    EXPECT_FALSE(m.SETTINGS_BUTTON.enabled());
    for (const ui::Label* l : SequenceLights(m)) EXPECT_EQ(l->back_colour(), kWhite) << l->name();
    std::string display = m.AUTOSTART_TIME_TEXTBOX.text();
    s.h.Advance(999);
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), display) << "the display keeps its text until the first tick";
    s.h.Advance(1);
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "10");
  }
}

TEST(StartStop, ARunRestartedAfterACompletedOneStartsCorvantAgain) {
  SeededRun s(false, false);
  TARNWICK_MAIN& m = s.h.Open();
  for (int run = 1; run <= 2; ++run) {
    if (run == 2) s.h.Click(m.AUTOSTART_START_BUTTON);  // STOP
    s.h.Click(m.AUTOSTART_START_BUTTON);                // START
    s.w.RunFor(40);
    EXPECT_EQ(s.h.processes.LaunchCount(kCorvantCmd), run);
    EXPECT_EQ(s.h.processes.LaunchCount(kCliCmd), run);
  }
}

TEST(ByHand, RunButtonsAndLights) {
  SeededRun s(false, false);
  Harness& h = s.h;
  h.Seed("PELLUM_ON_TICKBOX", "0");
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.PELLUM_ON_RUN_BUTTON);  // runs whatever the tick box says, and paints at once
  EXPECT_EQ(h.processes.LaunchCount(kPellumOnCmd), 1);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kCyan);
  EXPECT_FALSE(m.PELLUM_ON_RUN_BUTTON.enabled());
  h.Click(m.QT_RUN_BUTTON);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kWhite) << "the light changes at the watcher's first tick";
  s.w.Second();
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  s.w.RunFor(9);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kRed) << "the helper tool has done its work";
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(h.processes.LaunchCount(kCorvantCmd), 1);
  EXPECT_EQ(h.processes.LaunchCount(kCliCmd), 1);
  s.w.RunFor(10);
  h.Click(m.QT_RUN_BUTTON);  // a node started by hand after a completed run does not start CORVANT again
  s.w.RunFor(5);
  EXPECT_EQ(h.processes.LaunchCount(kCorvantCmd), 1);
  h.Click(m.CORVANT_RUN_BUTTON);  // CORVANT by hand: no light changes, nothing follows
  EXPECT_TRUE(m.CORVANT_WATCHER_TIMER.armed());
  h.Click(m.CORVANT_LIGHT);
  EXPECT_FALSE(m.CORVANT_WATCHER_TIMER.armed());
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
}

TEST(ByHand, PressingTheCliRunButtonSendsTheStopTwice) {
  SeededRun s(false, false);
  TARNWICK_MAIN& m = s.h.Open();
  s.w.node_obeys_stop = false;
  s.h.Click(m.QT_RUN_BUTTON);
  s.w.RunFor(2);
  s.h.Click(m.CLI_STOP_RUN_BUTTON);  // the RUN button sends it now, and the watcher once more
  s.w.RunFor(3);
  EXPECT_EQ(s.h.processes.LaunchCount(kCliCmd), 2);
  EXPECT_EQ(m.CLI_STOP_LIGHT.back_colour(), kGreen);
  EXPECT_TRUE(m.CLI_PAUSE_TIMER.armed());
}

TEST(AutoStart, UntickedMidCountdownHaltsWhereItStands) {
  SeededRun s;
  TARNWICK_MAIN& m = s.h.Open();
  s.w.RunFor(3);
  s.h.Click(m.AUTOSTART_TIME_TICKBOX);
  s.w.RunFor(30);
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "08");
  EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_TRUE(s.h.processes.launches().empty()) << "no run begins";
}

TEST(AutoClose, UntickedHaltedRetickedAndResumed) {
  Harness h;
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.AUTOCLOSE_START_BUTTON);
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kWhite);
  h.Seconds(2);
  m.AUTOCLOSE_TIME_TEXTBOX.set_text("00");  // typed into the display: overwritten before it is read back
  h.Seconds(2);
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "07");
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kGreen);
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);  // untick: halted where it stood
  EXPECT_FALSE(m.AUTOCLOSE_TIMER.armed());
  EXPECT_FALSE(m.AUTOCLOSE_START_BUTTON.enabled());
  EXPECT_EQ(m.AUTOCLOSE_START_BUTTON.caption(), "STOP");
  h.Seconds(30);
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "07");
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);  // ticked again: the button is back, the timer is not
  EXPECT_TRUE(m.AUTOCLOSE_START_BUTTON.enabled());
  EXPECT_FALSE(m.AUTOCLOSE_TIMER.armed());
  h.Click(m.AUTOCLOSE_START_BUTTON);  // STOP: cancelled and reset
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kRed);
  EXPECT_EQ(m.AutoCloseCountdown, std::chrono::seconds(11));
  h.Click(m.AUTOCLOSE_START_BUTTON);  // START again: eleven seconds to close
  h.Seconds(10);
  EXPECT_TRUE(h.main_open());
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "01");
  h.Seconds(1);
  EXPECT_FALSE(h.main_open());
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST(AutoClose, AHaltedCountdownReArmedByTheEndOfARunGoesOnFromWhereItStopped) {
  SeededRun s(false, true);
  TARNWICK_MAIN& m = s.h.Open();
  s.h.Click(m.AUTOCLOSE_START_BUTTON);
  s.w.RunFor(3);
  s.h.Click(m.AUTOCLOSE_TIME_TICKBOX);
  EXPECT_EQ(m.AutoCloseCountdown, std::chrono::seconds(8));
  s.h.Click(m.AUTOCLOSE_TIME_TICKBOX);
  s.h.Click(m.AUTOSTART_START_BUTTON);
  while (!m.AUTOCLOSE_TIMER.armed() && s.w.second < 60) s.w.Second();
  s.w.Second();
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "07");
  EXPECT_TRUE(s.w.RunUntilClosed(8));
  EXPECT_EQ(s.h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST(LateTimers, AnHourOfSleepAdvancesACountdownByOneTick) {
  Harness h;
  h.Seed("AUTOSTART_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.Seconds(3);
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "08");
  h.Advance(3'600'000, 3'600'000);  // the machine slept for an hour
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "07");
  EXPECT_TRUE(h.processes.launches().empty());
  h.Seconds(1);
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "06");
}

TEST(LateTimers, FortyEightHoursOfWaitingGrowNothing) {
  SeededRun s;
  TARNWICK_MAIN& m = s.h.Open();
  s.w.corvant_seconds = -1;  // waiting on a node that never catches up, every watcher armed
  s.w.RunFor(30);
  std::size_t timers = s.h.desktop.timers().timer_count(), launches = s.h.processes.launches().size();
  for (int hour = 0; hour < 48; ++hour) s.h.Advance(3'600'000, 1000);
  EXPECT_EQ(s.h.desktop.timers().timer_count(), timers);
  EXPECT_EQ(s.h.processes.launches().size(), launches);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(s.h.desktop.open_forms().size(), 1u);
}

using Calls = std::vector<std::pair<ui::NativeWindow, bool>>;
constexpr ui::NativeWindow kMain = fakes::FakeWindowManager::kMain;

TEST(AlwaysOnTop, TheForegroundWindowLeavesTheTopmostBandAndTheMainWindowEntersIt) {
  Harness h;
  TARNWICK_MAIN& m = h.Open();
  h.wm.foreground = kMain;
  h.Seconds(3);
  EXPECT_TRUE(h.wm.calls.empty()) << "in front already: nothing to do";
  h.wm.foreground = 7;
  h.wm.top[7] = true;
  h.Seconds(1);
  EXPECT_EQ(h.wm.calls, (Calls{{7, false}, {kMain, true}}));
  EXPECT_EQ(h.wm.top, (std::map<ui::NativeWindow, bool>{{kMain, true}}));
  h.wm.calls.clear();
  h.wm.foreground = ui::kNoWindow;  // no foreground window: the first call names none
  h.Seconds(1);
  EXPECT_EQ(h.wm.calls, (Calls{{ui::kNoWindow, false}, {kMain, true}}));
  h.Click(m.AlwaysOnTopTimer_TICKBOX);
  h.wm.calls.clear();
  h.wm.foreground = 7;
  h.Seconds(5);
  EXPECT_TRUE(h.wm.calls.empty()) << "cleared: no ticks";
  EXPECT_TRUE(h.wm.top.count(kMain)) << "and the window stays where it was put";
  h.Click(m.AlwaysOnTopTimer_TICKBOX);
  h.Seconds(1);
  EXPECT_FALSE(h.wm.calls.empty());
}

TEST(AlwaysOnTop, ASettingsWindowOfTheProgramInFrontCountsAsTheMainWindowInFront) {
  Harness h;
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.SETTINGS_BUTTON);
  h.Click(*h.desktop.open_forms().back()->Find("QT_DAEMON_CLI_BUTTON"));
  ASSERT_EQ(h.desktop.open_forms().size(), 3u);
  for (ui::Form* settings : {h.desktop.open_forms()[1], h.desktop.open_forms()[2]}) {
    h.wm.foreground = h.wm.WindowOf(*settings);
    ASSERT_NE(h.wm.foreground, kMain);
    h.Seconds(10);
    EXPECT_TRUE(h.wm.calls.empty()) << settings->name() << " keeps the keyboard";
  }
  h.wm.foreground = 7;  // another program's window in front again: the tick does its work
  h.Seconds(1);
  EXPECT_EQ(h.wm.calls, (Calls{{7, false}, {kMain, true}}));
}

}  // namespace
