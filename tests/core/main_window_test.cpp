// The main window's load and unload against the in-memory store.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "harness.h"

namespace {

using namespace ui::colours;

// What no other test sees of the starting window: the looks of lights still unused, the watchers'
// intervals, where the focus starts, and that loading writes nothing.
TEST(MainWindowLoad, AnEmptyStoreGivesTheDesignedStartingWindow) {
  fakes::Harness h;
  TARNWICK_MAIN& m = h.Open();
  EXPECT_FALSE(m.AUTOCLOSE_START_BUTTON.enabled());
  using Look = std::tuple<const ui::Control*, ui::Colour, ui::Colour>;
  for (auto [c, back, fore] : {Look{&m.PELLUM_ON_LIGHT, kRed, kBlack}, Look{&m.PELLUM_OFF_LIGHT, kRed, kBlack},
                               Look{&m.DAEMON_START_LIGHT, kBlack, kRed}, Look{&m.LAST_RUN_TEXTBOX, kRed, kBlack}}) {
    EXPECT_EQ(c->back_colour(), back) << c->name();
    EXPECT_EQ(c->fore_colour(), fore) << c->name();
  }
  // The intervals restate the constructor, but no scenario notices a watcher or countdown ticking at
  // 900 ms or CORVANT's watcher at 2 s instead of 2.16 s.
  for (ui::Timer* t : {&m.AUTOSTART_TIMER, &m.CORVANT_LOADER_TIMER, &m.CLI_PAUSE_TIMER}) EXPECT_EQ(t->interval(), 1000);
  EXPECT_EQ(m.CORVANT_WATCHER_TIMER.interval(), 2160);
  EXPECT_EQ(m.FirstFocus(), &m.AUTOSTART_START_BUTTON);
  EXPECT_TRUE(h.store.writes().empty()) << "load writes nothing";
}

TEST(MainWindowLoad, ASeededStoreOpensAsStored) {
  fakes::Harness h;
  h.Seed("AUTOSTART_TIME_TICKBOX", "1");
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  h.Seed("AlwaysOnTopTimer_TICKBOX", "0");
  h.Seed("AUTORUN_QT_TICKBOX", "1");
  h.Seed("AUTORUN_DAEMON_TICKBOX", "1");
  h.Seed("LAST_RUN_TEXTBOX", "!!! SUCCESS !!!");
  h.Seed("MAIN-Left", "2400");
  h.Seed("QT_FULL_RUN_CMD_TEXTBOX", "  C:\\node\\qt.exe -datadir=\"D:\\a b\", x ");
  TARNWICK_MAIN& m = h.Open();
  EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "STOP") << "Auto Start ticked starts the countdown without a click";
  EXPECT_TRUE(m.AUTOSTART_TIMER.armed());
  EXPECT_TRUE(m.SETTINGS_BUTTON.enabled());
  EXPECT_TRUE(m.AUTOCLOSE_START_BUTTON.enabled());
  EXPECT_FALSE(m.AUTOCLOSE_TIMER.armed());
  EXPECT_FALSE(m.AlwaysOnTopTimer_TICKBOX.ticked());
  EXPECT_FALSE(m.AlwaysOnTopTimer.armed());
  EXPECT_EQ(h.Stored("AUTORUN_DAEMON_TICKBOX"), "1") << "both chosen load as the wallet but the store keeps them";
  EXPECT_EQ(m.LAST_RUN_TEXTBOX.back_colour(), kGreen);
  EXPECT_EQ(m.left(), 2400);
  EXPECT_EQ(m.QT_FULL_RUN_CMD_TEXTBOX.text(), "  C:\\node\\qt.exe -datadir=\"D:\\a b\", x ");
  EXPECT_TRUE(h.store.writes().empty()) << "the tick boxes load runs handlers for write nothing";
}

TEST(MainWindowLoad, NodeChoiceAndOutcomeLooks) {
  struct Case {
    const char* daemon;
    ui::Colour qt_back, daemon_back;
  };
  for (Case c : {Case{"0", kWhite, kWhite}, Case{"1", kBlack, kWhite}}) {
    fakes::Harness h;
    h.Seed("AUTORUN_QT_TICKBOX", "0");
    h.Seed("AUTORUN_DAEMON_TICKBOX", c.daemon);
    TARNWICK_MAIN& m = h.Open();
    EXPECT_EQ(m.QT_START_LIGHT.back_colour(), c.qt_back) << c.daemon;
    if (c.qt_back == kBlack) {
      EXPECT_EQ(m.QT_START_LIGHT.fore_colour(), kRed);  // a left-out light
    }
    EXPECT_EQ(m.DAEMON_START_LIGHT.back_colour(), c.daemon_back) << c.daemon;
    EXPECT_FALSE(m.AUTORUN_QT_TICKBOX.ticked());
    EXPECT_EQ(m.AUTORUN_DAEMON_TICKBOX.ticked(), c.daemon[0] == '1');
  }
  for (const char* outcome : {"!!! MANUAL START !!!", "!!! MANUAL STOP !!!", "!!! success !!!", "!!! SUCCESS !!! "}) {
    fakes::Harness h;
    h.Seed("LAST_RUN_TEXTBOX", outcome);
    EXPECT_EQ(h.Open().LAST_RUN_TEXTBOX.back_colour(), kRed) << outcome;
  }
}

// The three tick boxes it stores are also stored the moment the user changes one, and the outcome
// whenever it is written, so nothing a user would miss waits for an unload that may never come.
TEST(MainWindowUnload, WritesPositionThreeTickBoxesAndOutcomeAndNothingElse) {
  fakes::Harness h;
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.desktop.UserMoved(m, 2000, 3015);
  for (ui::TickBox* box : {&m.AUTOSTART_TIME_TICKBOX, &m.AUTOCLOSE_TIME_TICKBOX, &m.AlwaysOnTopTimer_TICKBOX})
    h.desktop.UserClick(*box);
  EXPECT_EQ(h.store.writes(), (std::vector<std::string>{"AUTOSTART_TIME_TICKBOX=1", "AUTOCLOSE_TIME_TICKBOX=0",
                                                        "AlwaysOnTopTimer_TICKBOX=0"}));
  h.store.ClearWrites();
  h.desktop.UserClose(m);
  EXPECT_EQ(h.store.writes(), (std::vector<std::string>{"MAIN-Left=2000", "MAIN-Top=3015", "AlwaysOnTopTimer_TICKBOX=0",
                                                        "AUTOSTART_TIME_TICKBOX=1", "AUTOCLOSE_TIME_TICKBOX=0",
                                                        "LAST_RUN_TEXTBOX=!!! LAST RUN !!!"}));
  EXPECT_EQ(h.host.events, (std::vector<std::string>{"open TARNWICK_MAIN", "destroy TARNWICK_MAIN"}));
}

TEST(MainWindowUnload, ReopeningRestoresThePositionAndAnotherNameKeepsItsOwnSection) {
  fakes::Harness first;
  TARNWICK_MAIN& m = first.Open();
  first.desktop.UserMoved(m, 3000, 4000);
  first.desktop.Close(m);
  fakes::Harness demo("TARNWICK-DEMO");
  demo.store = first.store;
  TARNWICK_MAIN& d = demo.Open();
  EXPECT_EQ(d.title(), "TARNWICK - TARNWICK-DEMO");
  EXPECT_EQ(d.left(), 1000) << "another name reads its own section";
  demo.desktop.Close(d);
  EXPECT_EQ(demo.store.Value("TARNWICK", "MAIN-Left"), "3000");
  EXPECT_EQ(demo.store.Value("TARNWICK-DEMO", "MAIN-Left"), "1000");
  fakes::Harness again;
  again.store = first.store;
  TARNWICK_MAIN& a = again.Open();
  EXPECT_EQ(a.left(), 3000);
  EXPECT_EQ(a.top(), 4000);
}

}  // namespace
