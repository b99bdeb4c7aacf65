// The schedule: START and STOP of a run at several points, the Auto Close countdown halted and
// resumed, a late timer, and always on top.
#include <gtest/gtest.h>

#include "run_world.h"

namespace {

using namespace ui::colours;
using fakes::Harness;
using fakes::RunWorld;

const ui::Label* SequenceLights(const TARNWICK_MAIN& m, int i) {
  const ui::Label* lights[] = {&m.AUTOPILOT_STARTED_LIGHT, &m.PELLUM_ON_LIGHT,      &m.CORVANT_LIGHT,
                               &m.CLI_STOP_LIGHT,          &m.PAUSE_FOR_STOP_LIGHT, &m.PELLUM_OFF_LIGHT,
                               &m.AUTOPILOT_COMPLETED_LIGHT};
  return lights[i];
}

TEST(StartStop, StopAtEveryStageHaltsTheRunAndStartsOrStopsNoProgram) {
  for (int stop_at : {5, 11, 12, 15, 20, 23}) {
    SCOPED_TRACE("STOP at second " + std::to_string(stop_at));
    Harness h;
    RunWorld::SeedRun(h);
    TARNWICK_MAIN& m = h.Open();
    RunWorld w(h);
    w.node_shutdown_seconds = 4;
    w.corvant_seconds = 6;
    w.RunFor(stop_at);
    ui::Colour qt_before = m.QT_START_LIGHT.back_colour();
    bool node_running = h.processes.Running("qt");
    auto launches = h.processes.launches();
    h.Click(m.AUTOSTART_START_BUTTON);
    EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "START");
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled());
    for (int i = 0; i < 7; ++i) EXPECT_EQ(SequenceLights(m, i)->back_colour(), kLightRed);
    EXPECT_EQ(m.QT_START_LIGHT.back_colour(), qt_before) << "node lights keep their colours";
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! MANUAL STOP !!!");
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), kRed);
    EXPECT_EQ(h.processes.Running("qt"), node_running) << "STOP stops no process";
    w.RunFor(40);
    EXPECT_EQ(h.processes.launches(), launches);
    EXPECT_TRUE(h.main_open());
    EXPECT_TRUE(m.AlwaysOnTopTimer.armed()) << "the schedule never touches always on top";
    // START counts from "10" again, from white lights.
    h.Click(m.AUTOSTART_START_BUTTON);
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.text(), "!!! MANUAL START !!!");
    EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), kGreen);
    EXPECT_FALSE(m.SETTINGS_BUTTON.enabled());
    for (int i = 0; i < 7; ++i) EXPECT_EQ(SequenceLights(m, i)->back_colour(), kWhite);
    std::string display = m.AUTOSTART_TIME_TEXTBOX.text();
    h.Advance(999);
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), display) << "the display keeps its text until the first tick";
    h.Advance(1);
    EXPECT_EQ(m.AUTOSTART_TIME_TEXTBOX.text(), "10");
  }
}

TEST(StartStop, ARunRestartedAfterACompletedOneStartsCorvantAgain) {
  Harness h;
  RunWorld::SeedRun(h, false, false);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  h.Click(m.AUTOSTART_START_BUTTON);
  w.RunFor(40);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 1);
  h.Click(m.AUTOSTART_START_BUTTON);  // STOP
  h.Click(m.AUTOSTART_START_BUTTON);  // START
  w.RunFor(40);
  EXPECT_EQ(h.processes.LaunchCount("/tools/corvant"), 2);
  EXPECT_EQ(h.processes.LaunchCount("/node/cli stop"), 2);
}

TEST(AutoClose, UntickedHaltedRetickedAndResumed) {
  Harness h;
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.AUTOCLOSE_START_BUTTON);
  EXPECT_EQ(m.AUTOPILOT_COMPLETED_LIGHT.back_colour(), kWhite);
  h.Seconds(4);
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
  Harness h;
  RunWorld::SeedRun(h, false, true);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  h.Click(m.AUTOCLOSE_START_BUTTON);
  w.RunFor(3);
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);
  EXPECT_EQ(m.AutoCloseCountdown, std::chrono::seconds(8));
  h.Click(m.AUTOCLOSE_TIME_TICKBOX);
  h.Click(m.AUTOSTART_START_BUTTON);
  while (!m.AUTOCLOSE_TIMER.armed() && w.second < 60) w.Second();
  w.Second();
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "07");
  EXPECT_TRUE(w.RunUntilClosed(8));
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST(AutoClose, TheOutcomeKeepsItsColoursAndTextTypedIntoTheDisplayChangesNothing) {
  Harness h;
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.AUTOCLOSE_START_BUTTON);
  h.Seconds(2);
  m.AUTOCLOSE_TIME_TEXTBOX.set_text("00");  // even a "00" is overwritten before it is read back
  h.Seconds(1);
  EXPECT_EQ(m.AUTOCLOSE_TIME_TEXTBOX.text(), "08");
  h.Seconds(8);
  EXPECT_FALSE(h.main_open());
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

TEST(LateTimers, ARunSurvivesTheMachineSleepingAtEveryStep) {
  Harness h;
  RunWorld::SeedRun(h);
  h.Open();
  RunWorld w(h);
  for (int i = 0; i < 120 && h.main_open(); ++i) {
    w.Second();
    if (i % 7 == 3) h.Advance(600'000, 600'000);
  }
  EXPECT_FALSE(h.main_open());
  EXPECT_EQ(h.processes.launches(), (std::vector<std::string>{"/tools/MF-PELLUM-ON", "/node/qt -server",
                                                              "/tools/corvant", "/node/cli stop",
                                                              "/tools/MF-PELLUM-OFF"}));
  EXPECT_EQ(h.Stored("LAST_RUN_TEXTBOX"), "!!! SUCCESS !!!");
}

TEST(LateTimers, FortyEightHoursOfWaitingGrowNothing) {
  Harness h;
  RunWorld::SeedRun(h);
  TARNWICK_MAIN& m = h.Open();
  RunWorld w(h);
  w.corvant_seconds = -1;  // waiting on a node that never catches up, every watcher armed
  w.RunFor(30);
  std::size_t timers = h.desktop.timers().timer_count();
  std::size_t launches = h.processes.launches().size();
  for (int hour = 0; hour < 48; ++hour) h.Advance(3'600'000, 1000);
  EXPECT_EQ(h.desktop.timers().timer_count(), timers);
  EXPECT_EQ(h.processes.launches().size(), launches);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
  EXPECT_EQ(h.desktop.open_forms().size(), 1u);
}

TEST(AlwaysOnTop, TheForegroundWindowLeavesTheTopmostBandAndTheMainWindowEntersIt) {
  Harness h;
  TARNWICK_MAIN& m = h.Open();
  h.wm.foreground = fakes::FakeWindowManager::kMain;
  h.Seconds(3);
  EXPECT_TRUE(h.wm.calls.empty()) << "in front already: nothing to do";
  h.wm.foreground = 7;
  h.wm.top[7] = true;
  h.Seconds(1);
  EXPECT_EQ(h.wm.calls, (std::vector<std::pair<ui::NativeWindow, bool>>{{7, false}, {fakes::FakeWindowManager::kMain, true}}));
  EXPECT_FALSE(h.wm.top.count(7));
  EXPECT_TRUE(h.wm.top.count(fakes::FakeWindowManager::kMain));
  h.wm.calls.clear();
  h.wm.foreground = ui::kNoWindow;  // no foreground window: the first call names none
  h.Seconds(1);
  EXPECT_EQ(h.wm.calls.size(), 2u);
  EXPECT_EQ(h.wm.calls[1], (std::pair<ui::NativeWindow, bool>{fakes::FakeWindowManager::kMain, true}));
  h.Click(m.AlwaysOnTopTimer_TICKBOX);
  h.wm.calls.clear();
  h.wm.foreground = 7;
  h.Seconds(5);
  EXPECT_TRUE(h.wm.calls.empty()) << "cleared: no ticks";
  EXPECT_TRUE(h.wm.top.count(fakes::FakeWindowManager::kMain)) << "and the window stays where it was put";
  h.Click(m.AlwaysOnTopTimer_TICKBOX);
  h.Seconds(1);
  EXPECT_FALSE(h.wm.calls.empty());
}

}  // namespace
