// Whole runs in virtual time: the real main window, a scripted process table, an in-memory store.
// What a user would see (lights, captions) and what the machine would see (launches, the store).
#include <gtest/gtest.h>

#include "run_world.h"

namespace {

using namespace ui::colours;
using fakes::Harness;
using fakes::RunWorld;
using fakes::Snapshot;

const std::vector<std::string> kFullRun = {"/tools/MF-PELLUM-ON", "/node/qt -server", "/tools/corvant",
                                           "/node/cli stop", "/tools/MF-PELLUM-OFF"};

class ScheduledRun : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { h.desktop.timers().set_reverse_ties(GetParam()); }
  Harness h;
};

TEST_P(ScheduledRun, SecondBySecondFromLoadToTheWindowClosing) {
  RunWorld::SeedRun(h);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "00");
  for (int s = 1; s <= 10; ++s) {
    w.Second();
    char expected[3] = {static_cast<char>('0' + (11 - s) / 10), static_cast<char>('0' + (11 - s) % 10), 0};
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), expected) << "second " << s;
    EXPECT_EQ(m.AUTOPILOT_STARTED_LIGHT.back_colour(), kCyan);
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled()) << "a countdown begun at load leaves Settings enabled";
    EXPECT_TRUE(h.processes.launches().empty());
  }
  w.Second();  // the eleventh tick begins the run
  EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "-- --");
  EXPECT_FALSE(m.SETTINGS_BUTTON.enabled());
  EXPECT_EQ(m.AUTOPILOT_STARTED_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(h.processes.launches(), (std::vector<std::string>{"/tools/MF-PELLUM-ON", "/node/qt -server"}));
  EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! LAST RUN !!!") << "a run begun at load leaves the outcome alone";

  w.Second();  // 12: the node watcher finds the node and arms the loader
  EXPECT_FALSE(m.QT_RUN_BUTTON.enabled());
  EXPECT_FALSE(m.DAEMON_RUN_BUTTON.enabled());
  w.Second();  // 13: the loader starts CORVANT; the copy is judged at the next tick
  EXPECT_EQ(w.first_launch["/tools/corvant"], 13);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  w.Second();  // 14: still running, so found
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);

  ASSERT_TRUE(w.RunUntilClosed());
  EXPECT_EQ(h.processes.launches(), kFullRun) << "each program is started once, in order";
  EXPECT_EQ(w.first_launch["/node/cli stop"], 20) << "the first CLI watcher tick after CORVANT's end (19)";
  EXPECT_GE(w.first_launch["/tools/MF-PELLUM-OFF"], 24);
  EXPECT_LE(w.first_launch["/tools/MF-PELLUM-OFF"], 25);
  EXPECT_EQ(w.second, w.first_launch["/tools/MF-PELLUM-OFF"] + 11) << "Auto Close counts eleven seconds";
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
  EXPECT_EQ(h.Stored("AUTOSTART_TIME_TICKBOX"), "1");
  EXPECT_EQ(h.Stored("AUTOCLOSE_TIME_TICKBOX"), "1");
  EXPECT_EQ(h.Stored("MAIN-Left"), "1000");
  EXPECT_FALSE(h.processes.Running("qt")) << "the node was stopped by its stop command";
}

TEST_P(ScheduledRun, AfterTheStopSequenceOnlyAutoCloseIsArmed) {
  RunWorld::SeedRun(h, true, false);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.RunFor(40);
  EXPECT_EQ(h.processes.launches(), kFullRun);
  for (ui::Label* l : {&m.PELLUM_ON_LIGHT, &m.QT_START_LIGHT, &m.CORVANT_LIGHT, &m.CLI_STOP_LIGHT,
                       &m.PAUSE_FOR_STOP_LIGHT, &m.PELLUM_OFF_LIGHT})
    EXPECT_EQ(l->back_colour(), kGreen) << l->name();
  for (ui::Timer* t : {&m.PELLUM_ON_WATCHER_TIMER, &m.QT_WATCHER_TIMER, &m.DAEMON_WATCHER_TIMER,
                       &m.CORVANT_LOADER_TIMER, &m.CORVANT_COMPLETE_TIMER, &m.CLI_WATCHER_TIMER, &m.CLI_PAUSE_TIMER,
                       &m.PELLUM_OFF_WATCHER_TIMER, &m.AUTOSTART_TIMER})
    EXPECT_FALSE(t->armed()) << t->name();
  EXPECT_TRUE(m.AUTOCLOSE_TIMER.armed()) << "waiting, with Auto Close clear";
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kWhite);
  EXPECT_TRUE(h.main_open());
  // Ticking Auto Close now starts its countdown at the next tick.
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);
  w.Second();
  EXPECT_EQ(m.AUTOCLOSE_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "10");
  EXPECT_TRUE(w.RunUntilClosed(12));
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST_P(ScheduledRun, TheDaemonRunsWhenItIsTheChoice) {
  RunWorld::SeedRun(h);
  h.Seed("AUTORUN_QT_TICKBOX", "0");
  h.Seed("AUTORUN_DAEMON_TICKBOX", "1");
  h.Open();
  RunWorld w(h);
  ASSERT_TRUE(w.RunUntilClosed());
  EXPECT_EQ(h.processes.launches(), (std::vector<std::string>{"/tools/MF-PELLUM-ON", "/node/daemond",
                                                              "/tools/corvant", "/node/cli stop",
                                                              "/tools/MF-PELLUM-OFF"}));
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

INSTANTIATE_TEST_SUITE_P(BothTickOrders, ScheduledRun, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Reversed" : "CreationOrder"; });

TEST(RunFaults, ANodeThatNeverShowsHoldsTheRunBeforeCorvant) {
  Harness h;
  RunWorld::SeedRun(h);
  h.Seed("QT_FILENAME_TEXTBOX", "qt-misspelt");
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.RunFor(60);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kRed);
  EXPECT_TRUE(m.QT_RUN_BUTTON.enabled());
  EXPECT_TRUE(m.DAEMON_RUN_BUTTON.enabled());
  EXPECT_FALSE(m.CORVANT_LOADER_TIMER.armed());
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 0);
}

TEST(RunFaults, ACorvantNeverFoundIsNotStartedAgainWhileItsCopyRuns) {
  Harness h;
  RunWorld::SeedRun(h);
  h.Seed("CV_FILENAME_TEXTBOX", "corvant-misspelt");
  RunWorld w(h);
  w.corvant_seconds = -1;  // the copy that was started keeps running
  TARNWICK_MAIN& m = h.Open();
  w.RunFor(60);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 1) << "no pile of copies";
  EXPECT_EQ(h.processes.Count("corvant"), 1);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  EXPECT_TRUE(m.CORVANT_LOADER_TIMER.armed());
  // Once that copy ends, the loader starts one more, and again never piles them up.
  h.processes.End("corvant");
  w.RunFor(10);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 2);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
}

TEST(RunFaults, ACorvantThatFailsToStartIsRetriedEverySecond) {
  Harness h;
  RunWorld::SeedRun(h);
  h.processes.Define("/tools/corvant", "corvant", fakes::FakeProcesses::Ending::CrashesAtOnce);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.RunFor(20);  // CORVANT first runs at 13
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 8);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  EXPECT_FALSE(m.CORVANT_RUN_BUTTON.enabled());
}

// A CORVANT that crashes straight after it starts is still there for a probe made at once; its
// end a second later must not read as the node having caught up.
TEST(RunFaults, ACorvantThatCrashesAtOnceIsNeverTakenForCaughtUp) {
  Harness h;
  RunWorld::SeedRun(h);
  h.processes.Define("/tools/corvant", "corvant", fakes::FakeProcesses::Ending::CrashesAtOnce);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.RunFor(60);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 0);
  EXPECT_TRUE(h.processes.Running("qt"));
  EXPECT_GE(h.processes.LaunchCount("/tools/corvant"), 45) << "retried about once a second";
}

// A node that has caught up already lets CORVANT finish its work before any probe sees it.
TEST(RunFaults, ACorvantThatFinishesAtOnceMeansTheNodeHasCaughtUp) {
  Harness h;
  RunWorld::SeedRun(h);
  h.processes.Define("/tools/corvant", "corvant", fakes::FakeProcesses::Ending::FinishesAtOnce);
  h.Open();
  RunWorld w(h);
  ASSERT_TRUE(w.RunUntilClosed());
  EXPECT_EQ(h.processes.launches(), kFullRun);
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST(RunFaults, ACorvantThatNeverEndsKeepsTheRunWaitingInCyan) {
  Harness h;
  RunWorld::SeedRun(h);
  RunWorld w(h);
  w.corvant_seconds = -1;
  TARNWICK_MAIN& m = h.Open();
  w.RunFor(90);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 1);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 0);
  EXPECT_TRUE(m.CORVANT_COMPLETE_TIMER.armed());
}

TEST(RunFaults, ACliProcessThatNeverGoesHoldsBackTheStopCommand) {
  Harness h;
  RunWorld::SeedRun(h);
  h.processes.Start("cli");
  RunWorld w(h);
  w.cli_seconds = -1;
  TARNWICK_MAIN& m = h.Open();
  w.RunFor(60);
  EXPECT_EQ(m.CLI_STOP_LIGHT.back_colour(), kCyan);
  EXPECT_FALSE(m.CLI_STOP_RUN_BUTTON.enabled());
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 0);
  EXPECT_TRUE(h.processes.Running("qt"));
}

TEST(RunFaults, ANodeGoneBeforeCorvantEndsNeverGetsTheStopCommand) {
  Harness h;
  RunWorld::SeedRun(h);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.RunFor(15);
  h.processes.End("qt");
  w.RunFor(45);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kRed);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 0);
  EXPECT_TRUE(m.CLI_WATCHER_TIMER.armed());
  EXPECT_FALSE(m.CLI_PAUSE_TIMER.armed());
  EXPECT_EQ(m.PAUSE_FOR_STOP_LIGHT.back_colour(), kWhite);
}

TEST(RunFaults, AStopCommandThatFailsLeavesThePauseWaiting) {
  Harness h;
  RunWorld::SeedRun(h);
  RunWorld w(h);
  w.node_obeys_stop = false;
  TARNWICK_MAIN& m = h.Open();
  w.RunFor(60);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 1);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(m.PAUSE_FOR_STOP_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-OFF"), 0);
  EXPECT_TRUE(h.main_open());
}

TEST(RunFaults, ClickingTheNodeLightDuringThePauseKeepsThePauseForever) {
  Harness h;
  RunWorld::SeedRun(h);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.node_shutdown_seconds = 5;
  while (h.processes.LaunchCount("/node/cli stop") == 0) w.Second();
  h.Click(m.QT_START_LIGHT);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan) << "a light click changes no colour";
  w.RunFor(30);
  EXPECT_FALSE(h.processes.Running("qt"));
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(m.PAUSE_FOR_STOP_LIGHT.back_colour(), kCyan);
  EXPECT_TRUE(m.CLI_PAUSE_TIMER.armed());
  EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-OFF"), 0);
}

// A scan that could not be made changes nothing in its tick, whatever step the run is at; once
// scans work again the run goes on to its end.
TEST(RunFaults, AnUnknownProbeChangesNothingAtAnyStep) {
  for (int fail_at : {12, 13, 16, 19, 20, 22, 23, 24}) {
    SCOPED_TRACE("scans fail from second " + std::to_string(fail_at));
    Harness h;
    RunWorld::SeedRun(h);
    TARNWICK_MAIN& m = h.Open();
    RunWorld w(h);
    w.RunFor(fail_at - 1);
    h.processes.set_scan_fails(true);
    std::string before = Snapshot(m);
    auto launches = h.processes.launches();
    // The node ends while nothing can be seen: that must not read as "the node has gone".
    h.processes.End("qt");
    h.processes.End("corvant");
    w.RunFor(5);
    EXPECT_EQ(Snapshot(m), before);
    EXPECT_EQ(h.processes.launches(), launches);
    h.processes.set_scan_fails(false);
    w.RunFor(5);
    EXPECT_NE(Snapshot(m), before);
  }
}

TEST(RunFaults, TheProbeIsNeverReadAsGoneWhileUnknownSoNoFalseSuccess) {
  Harness h;
  RunWorld::SeedRun(h);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.node_obeys_stop = false;
  while (h.processes.LaunchCount("/node/cli stop") == 0) w.Second();
  h.processes.set_scan_fails(true);
  w.RunFor(60);
  EXPECT_TRUE(h.main_open());
  EXPECT_NE(m.LAST_RUN_TEXTBOX.text(), "!!! SUCCESS !!!");
  EXPECT_EQ(m.PAUSE_FOR_STOP_LIGHT.back_colour(), kCyan);
}

TEST(HelperTools, EveryCombinationOfThePellumTickBoxes) {
  struct Case {
    bool on, off;
    ui::Colour on_light, off_light;
  };
  for (Case c : {Case{true, true, kGreen, kGreen}, Case{false, true, kGreen, kGreen},
                 Case{true, false, kRed, kRed}, Case{false, false, kBlack, kRed}}) {
    SCOPED_TRACE(std::string("on ") + (c.on ? "1" : "0") + " off " + (c.off ? "1" : "0"));
    Harness h;
    RunWorld::SeedRun(h, true, false);
    h.Seed("PELLUM_ON_TICKBOX", c.on ? "1" : "0");
    h.Seed("PELLUM_OFF_TICKBOX", c.off ? "1" : "0");
    TARNWICK_MAIN& m = h.Open();
    RunWorld w(h);
    w.RunFor(12);
    if (!c.on) {
      EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kBlack);
    }
    w.RunFor(30);
    EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-ON"), c.on ? 1 : 0);
    EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-OFF"), c.off ? 1 : 0);
    EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), c.on_light);
    EXPECT_EQ(m.PELLUM_OFF_LIGHT.back_colour(), c.off_light);
    EXPECT_EQ(m.PAUSE_FOR_STOP_LIGHT.back_colour(), kGreen);
    EXPECT_TRUE(m.AUTOCLOSE_TIMER.armed());
    // With PELLUM-OFF left out, PELLUM-ON's watcher goes on following its process.
    EXPECT_EQ(m.PELLUM_ON_WATCHER_TIMER.armed(), c.on && !c.off);
  }
}

TEST(HelperTools, ThePellumOffWatcherActsOnceEvenWhenPellumOffIsAlreadyRunning) {
  Harness h;
  RunWorld::SeedRun(h, true, false);
  h.processes.Start(std::string(process::kPellumOffFileName));
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.helper_seconds = -1;
  w.RunFor(40);
  EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-OFF"), 0);
  EXPECT_EQ(m.PELLUM_OFF_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kGreen);
  EXPECT_FALSE(m.PELLUM_OFF_RUN_BUTTON.enabled());
  EXPECT_FALSE(m.PELLUM_ON_WATCHER_TIMER.armed());
  EXPECT_TRUE(m.AUTOCLOSE_TIMER.armed());
}

TEST(ByHand, RunButtonsAndLights) {
  Harness h;
  RunWorld::SeedRun(h, false, false);
  h.Seed("PELLUM_ON_TICKBOX", "0");
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  h.Click(m.PELLUM_ON_RUN_BUTTON);  // runs whatever the tick box says, and paints at once
  EXPECT_EQ(h.processes.LaunchCount("/tools/MF-PELLUM-ON"), 1);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kCyan);
  EXPECT_FALSE(m.PELLUM_ON_RUN_BUTTON.enabled());
  h.Click(m.QT_RUN_BUTTON);
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kWhite) << "the light changes at the watcher's first tick";
  w.Second();
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kCyan);
  w.RunFor(9);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kRed) << "the helper tool has done its work";
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 1);
  // The CLI's RUN button sends the stop now, and the watcher sends it once more while the node runs.
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 1);
  // A node started by hand after a completed run does not start CORVANT again.
  w.RunFor(10);
  h.Click(m.QT_RUN_BUTTON);
  w.RunFor(5);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 1);
  // CORVANT by hand: no light changes, nothing follows.
  h.Click(m.CORVANT_RUN_BUTTON);
  EXPECT_TRUE(m.CORVANT_WATCHER_TIMER.armed());
  h.Click(m.CORVANT_LIGHT);
  EXPECT_FALSE(m.CORVANT_WATCHER_TIMER.armed());
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kGreen);
}

TEST(ByHand, PressingTheCliRunButtonSendsTheStopTwice) {
  Harness h;
  RunWorld::SeedRun(h, false, false);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.node_obeys_stop = false;
  h.Click(m.QT_RUN_BUTTON);
  w.RunFor(2);
  h.Click(m.CLI_STOP_RUN_BUTTON);
  w.RunFor(3);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 2);
  EXPECT_EQ(m.CLI_STOP_LIGHT.back_colour(), kGreen);
  EXPECT_TRUE(m.CLI_PAUSE_TIMER.armed());
}

}  // namespace
