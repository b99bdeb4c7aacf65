// The three settings windows against the real main window: loads, Save, Cancel, Close, the hub's
// choice of node program, and what reaches the open main window and when.
#include <gtest/gtest.h>

#include "process/platform_names.h"
#include "run_world.h"
#include "settings/pellum_corvant_settings.h"
#include "settings/qt_daemon_cli_settings.h"
#include "settings/settings_hub.h"

namespace {

using namespace ui::colours;
using fakes::Harness;
using fakes::RunWorld;
using Writes = std::vector<std::string>;

// Clicks `button` (Settings on the main window when none) and returns the window it opened.
template <class W>
W& OpenBy(Harness& h, ui::Control* button = nullptr) {
  h.Click(button ? *button : h.main->SETTINGS_BUTTON);
  return dynamic_cast<W&>(*h.desktop.open_forms().back());
}
TARNWICK_SETTINGS& OpenHub(Harness& h) { return OpenBy<TARNWICK_SETTINGS>(h); }

// With two main windows alive (two harnesses in one test), a settings window serves the one that
// opened it, never the newest.
TEST(SettingsHub, ServesTheMainWindowThatOpenedIt) {
  Harness first("FIRST"), second("SECOND");
  TARNWICK_MAIN& opener = first.Open();
  TARNWICK_MAIN& other = second.Open();
  TARNWICK_SETTINGS& hub = OpenHub(first);
  first.Click(hub.AUTORUN_QT_TICKBOX);  // cleared: the daemon becomes the choice
  EXPECT_TRUE(opener.AUTORUN_DAEMON_TICKBOX.ticked());
  EXPECT_FALSE(other.AUTORUN_DAEMON_TICKBOX.ticked());
  first.Click(hub.AUTORUN_DAEMON_TICKBOX);
  first.Click(hub.CLOSE_BUTTON);
  EXPECT_EQ(first.Stored("AUTORUN_DAEMON_TICKBOX"), "1");
  EXPECT_EQ(second.Stored("AUTORUN_DAEMON_TICKBOX"), "<absent>");
}

TEST(SettingsHub, OpensOverTheMainWindowAndLoadsEveryStoredPair) {
  struct Case {
    const char *qt, *daemon;
    bool hub_qt, hub_daemon, qt_enabled, daemon_enabled, close_enabled, main_qt, main_daemon;
    ui::Colour qt_light, daemon_light;
  };
  const Case cases[] = {
      {nullptr, nullptr, true, false, true, false, true, true, false, kWhite, kBlack},  // an empty store
      {"1", "0", true, false, true, false, true, true, false, kWhite, kBlack},
      {"0", "1", false, true, false, true, true, false, true, kBlack, kSystemWindow},
      {"0", "0", false, false, true, true, false, false, true, kWhite, kSystemWindow},
      // Never written by the program: the wallet wins, as in the main window, and nothing flips.
      {"1", "1", true, false, true, false, true, true, false, kWhite, kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("stored ") + (c.qt ? c.qt : "-") + "," + (c.daemon ? c.daemon : "-"));
    Harness h;
    if (c.qt) h.Seed("AUTORUN_QT_TICKBOX", c.qt), h.Seed("AUTORUN_DAEMON_TICKBOX", c.daemon);
    TARNWICK_MAIN& m = h.Open();
    TARNWICK_SETTINGS& hub = OpenHub(h);
    if (!c.qt) { EXPECT_EQ(hub.FirstFocus(), &hub.CLOSE_BUTTON); }
    EXPECT_EQ(hub.AUTORUN_QT_TICKBOX.ticked(), c.hub_qt);
    EXPECT_EQ(hub.AUTORUN_DAEMON_TICKBOX.ticked(), c.hub_daemon);
    EXPECT_EQ(hub.AUTORUN_QT_TICKBOX.enabled(), c.qt_enabled);
    EXPECT_EQ(hub.AUTORUN_DAEMON_TICKBOX.enabled(), c.daemon_enabled);
    EXPECT_EQ(hub.CLOSE_BUTTON.enabled(), c.close_enabled);
    EXPECT_EQ(m.AUTORUN_QT_TICKBOX.ticked(), c.main_qt);
    EXPECT_EQ(m.AUTORUN_DAEMON_TICKBOX.ticked(), c.main_daemon);
    EXPECT_EQ(m.QT_START_LIGHT.back_colour(), c.qt_light);
    EXPECT_EQ(m.DAEMON_START_LIGHT.back_colour(), c.daemon_light);
    h.Click(hub.TARNWICK_CREATOR);
    h.Click(hub.TARNWICK_CREATOR);
    EXPECT_EQ(hub.TARNWICK_CREATOR.caption(), TARNWICK_SETTINGS::kContact);
  }
}

TEST(SettingsHub, SwitchingToTheDaemonAndClosing) {
  Harness h;
  TARNWICK_MAIN& m = h.Open();
  TARNWICK_SETTINGS& hub = OpenHub(h);
  h.Click(hub.AUTORUN_QT_TICKBOX);  // no choice
  EXPECT_FALSE(hub.CLOSE_BUTTON.enabled());
  EXPECT_TRUE(hub.AUTORUN_DAEMON_TICKBOX.enabled());
  EXPECT_TRUE(m.AUTORUN_DAEMON_TICKBOX.ticked());
  EXPECT_TRUE(m.AUTORUN_QT_TICKBOX.ticked()) << "the main window's own kind is left until Close";
  EXPECT_EQ(m.DAEMON_START_LIGHT.back_colour(), kSystemWindow);
  EXPECT_EQ(m.DAEMON_START_LIGHT.fore_colour(), kBlack);
  h.Click(hub.CLOSE_BUTTON);
  EXPECT_TRUE(h.desktop.IsOpen(hub)) << "Close cannot be pressed without a choice";
  h.Click(hub.AUTORUN_DAEMON_TICKBOX);
  EXPECT_FALSE(hub.AUTORUN_QT_TICKBOX.enabled());
  EXPECT_TRUE(hub.CLOSE_BUTTON.enabled());
  EXPECT_FALSE(m.AUTORUN_QT_TICKBOX.ticked());
  EXPECT_EQ(m.QT_START_LIGHT.back_colour(), kBlack);
  EXPECT_EQ(m.QT_START_LIGHT.fore_colour(), kRed);
  h.desktop.UserMoved(hub, 1500, 2500);
  h.store.ClearWrites();
  h.Click(hub.CLOSE_BUTTON);
  EXPECT_EQ(h.store.writes(), (Writes{"SETTINGS-Left=1500", "SETTINGS-Top=2500", "AUTORUN_QT_TICKBOX=0",
                                      "AUTORUN_DAEMON_TICKBOX=1", "SETTINGS-Left=1500", "SETTINGS-Top=2500"}));
  EXPECT_EQ(h.desktop.open_forms().size(), 1u);
  EXPECT_TRUE(m.AUTORUN_DAEMON_TICKBOX.ticked());
}

TEST(SettingsHub, ClosingByTheFrameInTheNoChoiceStateStoresOnlyThePositionAndBothNodesRun) {
  Harness h;
  RunWorld::SeedRun(h, false, false);
  TARNWICK_MAIN& m = h.Open();
  h.Click(OpenHub(h).AUTORUN_QT_TICKBOX);
  h.store.ClearWrites();
  h.desktop.UserClose(*h.desktop.open_forms().back());
  EXPECT_EQ(h.store.writes(), (Writes{"SETTINGS-Left=1000", "SETTINGS-Top=1000"}));
  EXPECT_TRUE(m.AUTORUN_QT_TICKBOX.ticked());
  EXPECT_TRUE(m.AUTORUN_DAEMON_TICKBOX.ticked());
  h.Click(m.AUTOSTART_START_BUTTON);
  RunWorld(h).RunFor(11);
  EXPECT_EQ(h.processes.LaunchCount(fakes::kQtCmd), 1);
  EXPECT_EQ(h.processes.LaunchCount(fakes::kDaemonCmd), 1);
}

TEST(HelperToolsWindow, EmptyStoreLoadAndTheTickBoxesRepaintTheMainWindowAtOnce) {
  Harness h;
  TARNWICK_MAIN& m = h.Open();
  TARNWICK_SETTINGS& hub = OpenHub(h);
  auto& w = OpenBy<TARNWICK_PELLUM_CORVANT_SETTINGS>(h, &hub.PELLUM_PELLUM_CORVANT_BUTTON);
  EXPECT_EQ(w.owner(), &hub);
  EXPECT_EQ(w.title(), "TARNWICK - PELLUM & CORVANT - SETTINGS");
  EXPECT_FALSE(w.PELLUM_ON_LOCATION_TEXTBOX.enabled());
  EXPECT_TRUE(w.PELLUM_ON_LOCATION_TEXTBOX.read_only());
  EXPECT_EQ(w.FirstFocus(), &w.CANCEL_BUTTON);
  h.Click(hub.QT_DAEMON_CLI_BUTTON);
  EXPECT_EQ(h.desktop.open_forms().size(), 3u) << "the hub takes no input while its child is open";
  for (ui::Colour expected : {kSystemWindow, kRed, kSystemWindow}) {
    h.Click(w.PELLUM_OFF_TICKBOX);
    EXPECT_EQ(m.PELLUM_OFF_LIGHT.back_colour(), expected);
    EXPECT_EQ(w.PELLUM_OFF_LOCATION_TEXTBOX.enabled(), expected == kSystemWindow);
  }
  h.store.ClearWrites();
  h.Click(w.CANCEL_BUTTON);
  EXPECT_EQ(h.store.writes(), (Writes{"PELLUM-CV-SETTINGS-Left=1000", "PELLUM-CV-SETTINGS-Top=1000",
                                      "PELLUM-CV-SETTINGS-Left=1000", "PELLUM-CV-SETTINGS-Top=1000"}));
  EXPECT_EQ(m.PELLUM_OFF_LIGHT.back_colour(), kSystemWindow) << "the repaint survives Cancel";
  EXPECT_FALSE(m.PELLUM_OFF_TICKBOX.ticked());
}

TEST(HelperToolsWindow, SaveComposesFullLocationsAndWritesInOrderTwice) {
  Harness h;
  h.Seed("PELLUM_ON_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  m.PELLUM_ON_LIGHT.set_back_colour(kCyan);  // as a run might have left it
  auto& w = OpenBy<TARNWICK_PELLUM_CORVANT_SETTINGS>(h, &OpenHub(h).PELLUM_PELLUM_CORVANT_BUTTON);
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kSystemWindow) << "a stored tick repaints at load";
  EXPECT_TRUE(w.PELLUM_ON_LOCATION_TEXTBOX.enabled());
  const std::string odd = "/home/ann/My Tools/o'brien \"x\", y\\z Zürich/";
  h.desktop.UserEdit(w.PELLUM_ON_LOCATION_TEXTBOX, odd);
  h.desktop.UserEdit(w.PELLUM_OFF_LOCATION_TEXTBOX, "refused: the box is disabled");
  h.desktop.UserEdit(w.CORVANT_LOCATION_TEXTBOX, "");
  h.desktop.UserEdit(w.CV_FILENAME_TEXTBOX, "");
  const std::string sep(1, process::kFolderSeparator);
  const std::string on(process::kPellumOnFileName), off(process::kPellumOffFileName);
  for (int round = 0; round < 2; ++round) {
    h.store.ClearWrites();
    h.Click(w.SAVE_BUTTON);
    EXPECT_EQ(h.store.writes(),
              (Writes{"PELLUM_ON_TICKBOX=1", "PELLUM_OFF_TICKBOX=0", "PELLUM_ON_LOCATION_TEXTBOX=" + odd,
                      "PELLUM_OFF_LOCATION_TEXTBOX=", "CORVANT_LOCATION_TEXTBOX=", "CV_FILENAME_TEXTBOX=",
                      "PELLUM_ON_FULL_LOCATION_TEXTBOX=" + odd + sep + on,
                      "PELLUM_OFF_FULL_LOCATION_TEXTBOX=" + sep + off, "CORVANT_FULL_LOCATION_TEXTBOX=" + sep}));
    EXPECT_EQ(w.CANCEL_BUTTON.caption(), "Close");
  }
  EXPECT_EQ(m.PELLUM_ON_FULL_LOCATION_TEXTBOX.text(), odd + sep + on);
  EXPECT_EQ(m.CV_FILENAME_TEXTBOX.text(), "");
  EXPECT_EQ(m.PELLUM_ON_LIGHT.back_colour(), kSystemWindow) << "Save touches no light";
}

TEST(NodeProgramsWindow, SaveWritesBothKeysAndTheMainWindowAndLongTextSurvives) {
  Harness h;
  h.Seed("QT_RUN_CMD_TEXTBOX", "shown here");
  h.Seed("QT_FULL_RUN_CMD_TEXTBOX", "run by the main window");
  TARNWICK_MAIN& m = h.Open();
  TARNWICK_SETTINGS& hub = OpenHub(h);
  auto& w = OpenBy<TARNWICK_QT_DAEMON_CLI_SETTINGS>(h, &hub.QT_DAEMON_CLI_BUTTON);
  EXPECT_EQ(w.QT_RUN_CMD_TEXTBOX.text(), "shown here");
  EXPECT_EQ(m.QT_FULL_RUN_CMD_TEXTBOX.text(), "run by the main window");
  const std::string long_text =
      "  \"C:\\Program Files\\node.exe\" -rpcpassword=a;b,c " + std::string(10'000, 'x') + " ";
  h.desktop.UserEdit(w.QT_RUN_CMD_TEXTBOX, long_text);
  h.desktop.UserEdit(w.CLI_FILENAME_TEXTBOX, "Cli.exe");
  h.store.ClearWrites();
  h.Click(w.SAVE_BUTTON);
  ASSERT_EQ(h.store.writes().size(), 9u);
  EXPECT_EQ(h.store.writes()[0], "QT_RUN_CMD_TEXTBOX=" + long_text);
  EXPECT_EQ(h.store.writes()[6], "QT_FULL_RUN_CMD_TEXTBOX=" + long_text);
  EXPECT_EQ(m.QT_FULL_RUN_CMD_TEXTBOX.text(), long_text);
  EXPECT_EQ(m.CLI_FILENAME_TEXTBOX.text(), "Cli.exe");
  EXPECT_EQ(m.DAEMOND_FULL_RUN_CMD_TEXTBOX.text(), "");
  EXPECT_EQ(w.CANCEL_BUTTON.caption(), "Close");
  h.desktop.UserMoved(w, 2000, 2000);
  h.Click(w.CANCEL_BUTTON);
  auto& again = OpenBy<TARNWICK_QT_DAEMON_CLI_SETTINGS>(h, &hub.QT_DAEMON_CLI_BUTTON);
  EXPECT_EQ(again.left(), 2000);
  EXPECT_EQ(again.CANCEL_BUTTON.caption(), "Cancel");
  EXPECT_EQ(again.QT_RUN_CMD_TEXTBOX.text(), long_text);
}

TEST(SettingsDuringARun, ASaveTakesEffectAtTheNextProbe) {
  fakes::SeededRun s;
  s.h.Seed("CV_FILENAME_TEXTBOX", "corvant-misspelt");
  TARNWICK_MAIN& m = s.h.Open();
  s.w.corvant_seconds = 30;
  // Opened during the countdown, before Settings is disabled.
  auto& tools = OpenBy<TARNWICK_PELLUM_CORVANT_SETTINGS>(s.h, &OpenHub(s.h).PELLUM_PELLUM_CORVANT_BUTTON);
  s.w.RunFor(11);
  EXPECT_FALSE(m.SETTINGS_BUTTON.enabled()) << "the countdown ends under the open settings windows";
  s.w.RunFor(3);
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kWhite);
  s.h.processes.Define("/tools/" + fakes::kCorvantImage, {fakes::kCorvantImage});
  s.h.desktop.UserEdit(tools.CV_FILENAME_TEXTBOX, fakes::kCorvantImage);
  s.h.desktop.UserEdit(tools.CORVANT_LOCATION_TEXTBOX, "/tools");
  s.h.Click(tools.SAVE_BUTTON);
  EXPECT_EQ(m.CV_FILENAME_TEXTBOX.text(), fakes::kCorvantImage);
  s.w.Second();
  EXPECT_EQ(m.CORVANT_LIGHT.back_colour(), kCyan);
}

TEST(SettingsDuringARun, AutoCloseClosesTheOpenSettingsWindowsFirst) {
  Harness h;
  h.Seed("AUTOCLOSE_TIME_TICKBOX", "1");
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.AUTOCLOSE_START_BUTTON);
  h.Click(OpenHub(h).QT_DAEMON_CLI_BUTTON);
  h.Seconds(10);
  EXPECT_EQ(h.desktop.open_forms().size(), 3u);
  h.store.ClearWrites();
  h.Seconds(1);
  EXPECT_TRUE(h.desktop.empty());
  // The outcome is stored first, before anything closes.
  EXPECT_EQ(h.store.writes(),
            (Writes{"LAST_RUN_TEXTBOX=!!! SUCCESS !!!", "QT-D-CLI-SETTINGS-Left=1000", "QT-D-CLI-SETTINGS-Top=1000",
                    "SETTINGS-Left=1000", "SETTINGS-Top=1000", "MAIN-Left=1000", "MAIN-Top=1000",
                    "AlwaysOnTopTimer_TICKBOX=1", "AUTOSTART_TIME_TICKBOX=0", "AUTOCLOSE_TIME_TICKBOX=1",
                    "LAST_RUN_TEXTBOX=!!! SUCCESS !!!"}));
  EXPECT_EQ(h.host.events.back(), "destroy TARNWICK_MAIN");
}

}  // namespace
