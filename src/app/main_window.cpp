// TARNWICK_MAIN's controls with their fixed positions, sizes and captions, and what happens when it
// loads and when it closes.
#include "app/main_window.h"
#include "settings/key_catalogue.h"

#include <algorithm>
#include <memory>

#include "process/platform_names.h"
#include "settings/settings_hub.h"

namespace {

using ui::Rect;
namespace colours = ui::colours;

const ui::Font kLightFont = ui::fonts::Bold("Arial", 8.25);
const ui::Font kTitleFont = ui::fonts::Bold("Arial", 12);
const ui::Font kCountdownFont = ui::fonts::Bold("MS Sans Serif", 13.5);
constexpr int kLinePixels = 3;

void StyleLight(ui::Label& light) {
  light.set_back_colour(colours::kWhite);
  light.set_font(kLightFont);
  light.set_centred(true);
}

void StyleTitle(ui::Label& label) {
  label.set_back_colour(colours::kBlack);
  label.set_fore_colour(colours::kGreen);
  label.set_font(kTitleFont);
  label.set_centred(true);
}

void StyleCountdown(ui::TextBox& box) {
  box.set_read_only(true);
  box.set_font(kCountdownFont);
  box.set_centred(true);
  box.set_back_colour(colours::kCountdownPink);
}

void Hide(ui::Control& c) { c.set_rendered(false); }

}  // namespace

TARNWICK_MAIN::TARNWICK_MAIN(ui::Desktop& desktop, app::Platform& platform)
    : ui::Form(desktop, "TARNWICK_MAIN"),
      MF_SE_UI_TITLE(*this, "MF_SE_UI_TITLE", "TARNWICK", Rect{120, 0, 2055, 345}),
      APP_EXE_NAME_LABEL(*this, "APP_EXE_NAME_LABEL", "", Rect{2280, 0, 4935, 345}),
      LAST_RUN_TEXTBOX(*this, "LAST_RUN_TEXTBOX", "!!! MANUAL START !!!", Rect{7320, 0, 2055, 330}),
      AUTOPILOT_STARTED_LIGHT(*this, "AUTOPILOT_STARTED_LIGHT", "AUTOPILOT STARTED", Rect{120, 480, 1095, 495}),
      PELLUM_ON_LIGHT(*this, "PELLUM_ON_LIGHT", "PELLUM-ON", Rect{1320, 480, 855, 255}),
      DAEMON_START_LIGHT(*this, "DAEMON_START_LIGHT", "DAEMON", Rect{2280, 480, 855, 255}),
      QT_START_LIGHT(*this, "QT_START_LIGHT", "QT", Rect{3240, 480, 615, 255}),
      CORVANT_LIGHT(*this, "CORVANT_LIGHT", "CORVANT", Rect{3960, 480, 1455, 255}),
      CLI_STOP_LIGHT(*this, "CLI_STOP_LIGHT", "CLI \"STOP\"", Rect{5520, 480, 975, 255}),
      PAUSE_FOR_STOP_LIGHT(*this, "PAUSE_FOR_STOP_LIGHT", "\"STOP\" PAUSE", Rect{6600, 480, 615, 495}),
      PELLUM_OFF_LIGHT(*this, "PELLUM_OFF_LIGHT", "PELLUM-OFF", Rect{7320, 480, 855, 255}),
      AUTOPILOT_COMPLETED_LIGHT(*this, "AUTOPILOT_COMPLETED_LIGHT", "AUTOPILOT FINISHED", Rect{8280, 480, 1095, 495}),
      PELLUM_ON_RUN_BUTTON(*this, "PELLUM_ON_RUN_BUTTON", "RUN", Rect{1320, 720, 855, 255}),
      DAEMON_RUN_BUTTON(*this, "DAEMON_RUN_BUTTON", "RUN", Rect{2280, 720, 855, 255}),
      QT_RUN_BUTTON(*this, "QT_RUN_BUTTON", "RUN", Rect{3240, 720, 615, 255}),
      CORVANT_RUN_BUTTON(*this, "CORVANT_RUN_BUTTON", "RUN", Rect{3960, 720, 1455, 255}),
      CLI_STOP_RUN_BUTTON(*this, "CLI_STOP_RUN_BUTTON", "RUN", Rect{5520, 720, 975, 255}),
      PELLUM_OFF_RUN_BUTTON(*this, "PELLUM_OFF_RUN_BUTTON", "RUN", Rect{7320, 720, 855, 255}),
      Line5(*this, "Line5", 120, 1080, 9360, 1080, colours::kGreen, kLinePixels),
      AUTOSTART_START_BUTTON(*this, "AUTOSTART_START_BUTTON", "START", Rect{240, 1200, 975, 375}),
      AUTOSTART_TIME_TEXTBOX(*this, "AUTOSTART_TIME_TEXTBOX", "00", Rect{1440, 1200, 735, 435}),
      AUTOSTART_TIME_TICKBOX(*this, "AUTOSTART_TIME_TICKBOX", "Auto Start", Rect{2280, 1200, 735, 375}, 0),
      SETTINGS_BUTTON(*this, "SETTINGS_BUTTON", "Settings", Rect{3480, 1200, 1215, 375}),
      AlwaysOnTopTimer_TICKBOX(*this, "AlwaysOnTopTimer_TICKBOX", "Always On Top", Rect{5160, 1200, 855, 375}, 1),
      AUTOCLOSE_TIME_TICKBOX(*this, "AUTOCLOSE_TIME_TICKBOX", "Auto Close", Rect{6480, 1200, 735, 375}, 0),
      AUTOCLOSE_TIME_TEXTBOX(*this, "AUTOCLOSE_TIME_TEXTBOX", "00", Rect{7320, 1200, 735, 435}),
      AUTOCLOSE_START_BUTTON(*this, "AUTOCLOSE_START_BUTTON", "START", Rect{8280, 1200, 975, 375}),
      Line1(*this, "Line1", 120, 1680, 9360, 1680, colours::kGreen, kLinePixels),
      AUTORUN_QT_TICKBOX(*this, "AUTORUN_QT_TICKBOX", "AUTORUN QT", Rect{6000, 2040, 1455, 255}, 1),
      AUTORUN_DAEMON_TICKBOX(*this, "AUTORUN_DAEMON_TICKBOX", "AUTORUN DAEMON", Rect{6000, 2280, 1935, 255}, 0),
      PELLUM_ON_TICKBOX(*this, "PELLUM_ON_TICKBOX", "PELLUM-ON - Location", Rect{6000, 2520, 2175, 255}, 0),
      PELLUM_OFF_TICKBOX(*this, "PELLUM_OFF_TICKBOX", "PELLUM-OFF - Location", Rect{6000, 2760, 2175, 255}, 0),
      PELLUM_ON_FULL_LOCATION_TEXTBOX(*this, "PELLUM_ON_FULL_LOCATION_TEXTBOX", "", Rect{6000, 3000, 3255, 405}),
      PELLUM_OFF_FULL_LOCATION_TEXTBOX(*this, "PELLUM_OFF_FULL_LOCATION_TEXTBOX", "", Rect{6000, 3480, 3255, 405}),
      CORVANT_FULL_LOCATION_TEXTBOX(*this, "CORVANT_FULL_LOCATION_TEXTBOX", "", Rect{6000, 3960, 3255, 405}),
      CV_FILENAME_TEXTBOX(*this, "CV_FILENAME_TEXTBOX", "", Rect{6000, 4320, 3255, 405}),
      QT_FULL_RUN_CMD_TEXTBOX(*this, "QT_FULL_RUN_CMD_TEXTBOX", "", Rect{2160, 2280, 3375, 405}),
      QT_FILENAME_TEXTBOX(*this, "QT_FILENAME_TEXTBOX", "", Rect{2160, 2640, 2655, 405}),
      DAEMOND_FULL_RUN_CMD_TEXTBOX(*this, "DAEMOND_FULL_RUN_CMD_TEXTBOX", "", Rect{2160, 3120, 3375, 405}),
      DAEMOND_FILENAME_TEXTBOX(*this, "DAEMOND_FILENAME_TEXTBOX", "", Rect{2160, 3480, 2655, 405}),
      CLI_FULL_RUN_CMD_TEXTBOX(*this, "CLI_FULL_RUN_CMD_TEXTBOX", "", Rect{2160, 3960, 3375, 405}),
      CLI_FILENAME_TEXTBOX(*this, "CLI_FILENAME_TEXTBOX", "", Rect{2160, 4320, 2655, 405}),
      PELLUM_ON_FILENAME_TEXTBOX(*this, "PELLUM_ON_FILENAME_TEXTBOX", std::string(process::kPellumOnFileName),
                                 Rect{240, 4680, 1695, 285}),
      PELLUM_OFF_FILENAME_TEXTBOX(*this, "PELLUM_OFF_FILENAME_TEXTBOX", std::string(process::kPellumOffFileName),
                                  Rect{240, 4920, 1695, 285}),
      AlwaysOnTopTimer(*this, "AlwaysOnTopTimer", 1000),
      AUTOSTART_TIMER(*this, "AUTOSTART_TIMER", 1000),
      AUTOCLOSE_TIMER(*this, "AUTOCLOSE_TIMER", 1000),
      PELLUM_ON_WATCHER_TIMER(*this, "PELLUM_ON_WATCHER_TIMER", 1000),
      QT_WATCHER_TIMER(*this, "QT_WATCHER_TIMER", 1000),
      DAEMON_WATCHER_TIMER(*this, "DAEMON_WATCHER_TIMER", 1000),
      CORVANT_LOADER_TIMER(*this, "CORVANT_LOADER_TIMER", 1000),
      CORVANT_WATCHER_TIMER(*this, "CORVANT_WATCHER_TIMER", 2160),
      CORVANT_COMPLETE_TIMER(*this, "CORVANT_COMPLETE_TIMER", 1000),
      CLI_WATCHER_TIMER(*this, "CLI_WATCHER_TIMER", 1000),
      CLI_PAUSE_TIMER(*this, "CLI_PAUSE_TIMER", 1000),
      PELLUM_OFF_WATCHER_TIMER(*this, "PELLUM_OFF_WATCHER_TIMER", 1000),
      platform_(platform),
      store_(platform.store, platform.exe_name) {
  set_main_style(true);
  // The watchers that tick together share one reading of the process list.
  process::ProcessControl& processes = platform.processes;
  desktop.set_timer_pass_hooks([&processes] { processes.BeginPass(); }, [&processes] { processes.EndPass(); });
  // The report hears of a light once the event that changed it has ended, in its final colour.
  if (platform.report) desktop.set_after_event([this] { TellLightChanges(); });

  StyleTitle(MF_SE_UI_TITLE);
  StyleTitle(APP_EXE_NAME_LABEL);
  LAST_RUN_TEXTBOX.set_read_only(true);
  LAST_RUN_TEXTBOX.set_font(kLightFont);
  LAST_RUN_TEXTBOX.set_centred(true);
  for (ui::Label* light :
       {&AUTOPILOT_STARTED_LIGHT, &PELLUM_ON_LIGHT, &DAEMON_START_LIGHT, &QT_START_LIGHT, &CORVANT_LIGHT,
        &CLI_STOP_LIGHT, &PAUSE_FOR_STOP_LIGHT, &PELLUM_OFF_LIGHT, &AUTOPILOT_COMPLETED_LIGHT})
    StyleLight(*light);
  StyleCountdown(AUTOSTART_TIME_TEXTBOX);
  StyleCountdown(AUTOCLOSE_TIME_TEXTBOX);
  AUTOCLOSE_START_BUTTON.set_enabled(false);

  for (ui::Control* holder : std::initializer_list<ui::Control*>{
           &AUTORUN_QT_TICKBOX, &AUTORUN_DAEMON_TICKBOX, &PELLUM_ON_TICKBOX, &PELLUM_OFF_TICKBOX,
           &PELLUM_ON_FULL_LOCATION_TEXTBOX, &PELLUM_OFF_FULL_LOCATION_TEXTBOX, &CORVANT_FULL_LOCATION_TEXTBOX,
           &CV_FILENAME_TEXTBOX, &QT_FULL_RUN_CMD_TEXTBOX, &QT_FILENAME_TEXTBOX, &DAEMOND_FULL_RUN_CMD_TEXTBOX,
           &DAEMOND_FILENAME_TEXTBOX, &CLI_FULL_RUN_CMD_TEXTBOX, &CLI_FILENAME_TEXTBOX, &PELLUM_ON_FILENAME_TEXTBOX,
           &PELLUM_OFF_FILENAME_TEXTBOX})
    Hide(*holder);
  for (ui::TextBox* box : {&PELLUM_ON_FULL_LOCATION_TEXTBOX, &PELLUM_OFF_FULL_LOCATION_TEXTBOX}) {
    box->set_enabled(false);
    box->set_read_only(true);
  }

  SetTabOrder({&AUTOSTART_START_BUTTON, &PELLUM_ON_RUN_BUTTON, &DAEMON_RUN_BUTTON, &QT_RUN_BUTTON, &CORVANT_RUN_BUTTON,
               &CLI_STOP_RUN_BUTTON, &PELLUM_OFF_RUN_BUTTON, &AUTOCLOSE_START_BUTTON, &AUTOCLOSE_TIME_TICKBOX,
               &AlwaysOnTopTimer_TICKBOX, &SETTINGS_BUTTON, &AUTOSTART_TIME_TICKBOX});
  // Enter presses START/STOP wherever the focus is, unless another button has it.
  SetDefaultButton(&AUTOSTART_START_BUTTON);
  WireHandlers();
}

TARNWICK_MAIN::~TARNWICK_MAIN() {
  if (platform_.report) desktop().set_after_event(nullptr);
}

void TARNWICK_MAIN::Load() {
  loading_ = true;
  set_geometry(settings::LoadGeometry(store_, settings::kMainWindowKeys));

  // In the order of reading; setting a tick box may run its click handler.
  // Without a window nobody can press START or tick a box: the run begins and ends by itself.
  const bool headless = platform_.headless;
  AUTOSTART_TIME_TICKBOX.SetState(headless ? 1 : settings::LoadTick(store_, "AUTOSTART_TIME_TICKBOX"));
  AUTOCLOSE_TIME_TICKBOX.SetState(headless ? 1 : settings::LoadTick(store_, "AUTOCLOSE_TIME_TICKBOX"));
  AlwaysOnTopTimer_TICKBOX.SetState(settings::LoadTick(store_, "AlwaysOnTopTimer_TICKBOX"));
  PELLUM_ON_TICKBOX.SetState(settings::LoadTick(store_, "PELLUM_ON_TICKBOX"));
  PELLUM_OFF_TICKBOX.SetState(settings::LoadTick(store_, "PELLUM_OFF_TICKBOX"));
  for (ui::TextBox* box :
       {&PELLUM_ON_FULL_LOCATION_TEXTBOX, &PELLUM_OFF_FULL_LOCATION_TEXTBOX, &CORVANT_FULL_LOCATION_TEXTBOX,
        &CV_FILENAME_TEXTBOX, &QT_FULL_RUN_CMD_TEXTBOX, &DAEMOND_FULL_RUN_CMD_TEXTBOX, &CLI_FULL_RUN_CMD_TEXTBOX,
        &QT_FILENAME_TEXTBOX, &DAEMOND_FILENAME_TEXTBOX, &CLI_FILENAME_TEXTBOX})
    box->set_text(settings::LoadText(store_, box->name()));
  LAST_RUN_TEXTBOX.set_text(settings::LoadText(store_, "LAST_RUN_TEXTBOX"));
  AUTORUN_QT_TICKBOX.SetState(settings::LoadTick(store_, "AUTORUN_QT_TICKBOX"));
  AUTORUN_DAEMON_TICKBOX.SetState(settings::LoadTick(store_, "AUTORUN_DAEMON_TICKBOX"));

  APP_EXE_NAME_LABEL.set_caption(platform_.exe_name);
  set_title("TARNWICK - " + APP_EXE_NAME_LABEL.caption());

  AutoStartCountdown = std::chrono::seconds(11);
  AutoCloseCountdown = std::chrono::seconds(11);

  AlwaysOnTopTimer.Set(AlwaysOnTopTimer_TICKBOX.ticked());
  if (AUTOSTART_TIME_TICKBOX.ticked()) {
    AUTOSTART_START_BUTTON.set_caption("STOP");
    AUTOSTART_TIMER.Arm();
  } else {
    AUTOSTART_START_BUTTON.set_caption("START");
    AUTOSTART_TIMER.Disarm();
  }

  PELLUM_ON_TICKBOX.ticked() ? PaintReady(PELLUM_ON_LIGHT) : PaintSwitchedOff(PELLUM_ON_LIGHT);
  PELLUM_OFF_TICKBOX.ticked() ? PaintReady(PELLUM_OFF_LIGHT) : PaintSwitchedOff(PELLUM_OFF_LIGHT);

  LAST_RUN_TEXTBOX.set_fore_colour(ui::colours::kBlack);
  LAST_RUN_TEXTBOX.set_back_colour(LAST_RUN_TEXTBOX.text() == "!!! SUCCESS !!!" ? ui::colours::kGreen
                                                                                : ui::colours::kRed);

  // The two node choices are exclusive, and the wallet wins when both are stored as ticked.
  if (AUTORUN_QT_TICKBOX.ticked()) {
    AUTORUN_DAEMON_TICKBOX.SetState(0);
    PaintNotSelected(DAEMON_START_LIGHT);
  }
  if (AUTORUN_DAEMON_TICKBOX.ticked()) {
    AUTORUN_QT_TICKBOX.SetState(0);
    PaintNotSelected(QT_START_LIGHT);
  }
  // The looks after load are where the report's story starts.
  told_looks_.clear();
  for (ui::Label* light : StepLights()) told_looks_.emplace_back(light->back_colour(), light->fore_colour());
  loading_ = false;
}

void TARNWICK_MAIN::StoreTickAtOnce(const ui::TickBox& box) {
  if (!loading_) store_.SaveTick(box.name(), box.state());
}

void TARNWICK_MAIN::Unload() {
  settings::StorePosition(store_, settings::kMainWindowKeys, *this);
  store_.SaveTick("AlwaysOnTopTimer_TICKBOX", AlwaysOnTopTimer_TICKBOX.state());
  if (!platform_.headless) {
    store_.SaveTick("AUTOSTART_TIME_TICKBOX", AUTOSTART_TIME_TICKBOX.state());
    store_.SaveTick("AUTOCLOSE_TIME_TICKBOX", AUTOCLOSE_TIME_TICKBOX.state());
  }
  store_.SaveText("LAST_RUN_TEXTBOX", LAST_RUN_TEXTBOX.text());
  if (platform_.report) {
    TellLightChanges();
    Tell("outcome: " + LAST_RUN_TEXTBOX.text());
    platform_.report->Finished(app::RunEnd{auto_close_ran_out_, missed_launches_});
  }
}

void TARNWICK_MAIN::WireHandlers() {
  PELLUM_ON_RUN_BUTTON.OnClick([this] { PellumOnRunClick(); });
  QT_RUN_BUTTON.OnClick([this] { NodeRunClick(QT_FULL_RUN_CMD_TEXTBOX, QT_WATCHER_TIMER); });
  DAEMON_RUN_BUTTON.OnClick([this] { NodeRunClick(DAEMOND_FULL_RUN_CMD_TEXTBOX, DAEMON_WATCHER_TIMER); });
  CORVANT_RUN_BUTTON.OnClick([this] { CorvantRunClick(); });
  CLI_STOP_RUN_BUTTON.OnClick([this] { CliStopRunClick(); });
  PELLUM_OFF_RUN_BUTTON.OnClick([this] { PellumOffRunClick(); });
  AUTOSTART_START_BUTTON.OnClick([this] { AutoStartButtonClick(); });
  AUTOCLOSE_START_BUTTON.OnClick([this] { AutoCloseButtonClick(); });
  SETTINGS_BUTTON.OnClick([this] { SettingsButtonClick(); });
  AUTOSTART_TIME_TICKBOX.OnClick([this] { AutoStartTickBoxClick(); });
  AUTOCLOSE_TIME_TICKBOX.OnClick([this] { AutoCloseTickBoxClick(); });
  AlwaysOnTopTimer_TICKBOX.OnClick([this] { AlwaysOnTopTickBoxClick(); });

  PELLUM_ON_LIGHT.OnClick([this] { PellumOnLightClick(); });
  QT_START_LIGHT.OnClick([this] { NodeLightClick(QT_WATCHER_TIMER); });
  DAEMON_START_LIGHT.OnClick([this] { NodeLightClick(DAEMON_WATCHER_TIMER); });
  CORVANT_LIGHT.OnClick([this] { CorvantLightClick(); });
  CLI_STOP_LIGHT.OnClick([this] { CliLightClick(); });
  PAUSE_FOR_STOP_LIGHT.OnClick([this] { CliLightClick(); });
  PELLUM_OFF_LIGHT.OnClick([this] { PellumOffLightClick(); });

  PELLUM_ON_WATCHER_TIMER.OnTick([this] { PellumOnWatcherTick(); });
  QT_WATCHER_TIMER.OnTick([this] { NodeWatcherTick(QT_FILENAME_TEXTBOX, QT_START_LIGHT); });
  DAEMON_WATCHER_TIMER.OnTick([this] { NodeWatcherTick(DAEMOND_FILENAME_TEXTBOX, DAEMON_START_LIGHT); });
  CORVANT_LOADER_TIMER.OnTick([this] { CorvantLoaderTick(); });
  CORVANT_COMPLETE_TIMER.OnTick([this] { CorvantCompleteTick(); });
  CLI_WATCHER_TIMER.OnTick([this] { CliWatcherTick(); });
  CLI_PAUSE_TIMER.OnTick([this] { CliPauseTick(); });
  PELLUM_OFF_WATCHER_TIMER.OnTick([this] { PellumOffWatcherTick(); });
  AUTOSTART_TIMER.OnTick([this] { AutoStartTick(); });
  AUTOCLOSE_TIMER.OnTick([this] { AutoCloseTick(); });
  AlwaysOnTopTimer.OnTick([this] { AlwaysOnTopTick(); });
  // CORVANT_WATCHER_TIMER has no tick action: it only records that CORVANT was started by hand.
  ConfigureStepLightDescriptions();
}

void TARNWICK_MAIN::SettingsButtonClick() {
  desktop().Open(std::make_unique<TARNWICK_SETTINGS>(desktop(), *this), this);
}

process::Probe TARNWICK_MAIN::ProbeImage(const ui::TextBox& image_name) {
  return platform_.processes.IsProcessRunning(image_name.text());
}

std::unique_ptr<process::ProcessHandle> TARNWICK_MAIN::Run(const ui::TextBox& command_line) {
  auto handle = platform_.processes.RunCommandLine(command_line.text());
  if (!platform_.report) return handle;
  struct Step {
    const ui::TextBox* holder;
    const char* name;
    bool waited_for;  // the sequence waits for this program's process to show
  };
  std::string step = command_line.name();
  bool waited_for = true;
  for (Step s :
       {Step{&PELLUM_ON_FULL_LOCATION_TEXTBOX, "PELLUM-ON", false}, Step{&QT_FULL_RUN_CMD_TEXTBOX, "QT", true},
        Step{&DAEMOND_FULL_RUN_CMD_TEXTBOX, "DAEMON", true}, Step{&CORVANT_FULL_LOCATION_TEXTBOX, "CORVANT", true},
        Step{&CLI_FULL_RUN_CMD_TEXTBOX, "CLI", false}, Step{&PELLUM_OFF_FULL_LOCATION_TEXTBOX, "PELLUM-OFF", false}}) {
    if (s.holder != &command_line) continue;
    step = s.name;
    waited_for = s.waited_for;
  }
  // The program file and its id, never the arguments: a command line may hold a password.
  if (handle) {
    std::string line = step + " started: " + handle->Program();
    if (handle->Id() != 0) line += " (pid " + std::to_string(handle->Id()) + ")";
    Tell(line);
  } else {
    Tell(step + " started nothing (the reason is on standard error)");
    if (!waited_for && std::find(missed_launches_.begin(), missed_launches_.end(), step) == missed_launches_.end())
      missed_launches_.push_back(step);
  }
  return handle;
}

void TARNWICK_MAIN::Tell(const std::string& line) {
  if (platform_.report) platform_.report->Line(line);
}

std::vector<ui::Label*> TARNWICK_MAIN::StepLights() {
  return {&AUTOPILOT_STARTED_LIGHT, &PELLUM_ON_LIGHT,  &DAEMON_START_LIGHT,
          &QT_START_LIGHT,          &CORVANT_LIGHT,    &CLI_STOP_LIGHT,
          &PAUSE_FOR_STOP_LIGHT,    &PELLUM_OFF_LIGHT, &AUTOPILOT_COMPLETED_LIGHT};
}
