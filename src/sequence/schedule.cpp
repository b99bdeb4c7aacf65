// The schedule: the Auto Start and Auto Close countdowns, START/STOP of a whole run and the
// outcome of the last run. Each START/STOP button reads its own caption to know what a press does.
#include <string>
#include <utility>

#include "app/main_window.h"
#include "settings/key_catalogue.h"

namespace colours = ui::colours;

namespace {

constexpr std::chrono::seconds kCountdownStart{11};

// Lowers the countdown by a second, shows its seconds field and reads the display back: "00" means
// the countdown has run out. It never goes below zero: the tick that brings it to zero ends it. Auto
// Start then disarms itself and leaves STOP on its button, and only STOP, which sets the countdown
// back to eleven seconds, offers START again; Auto Close closes the window.
bool CountdownStep(std::chrono::seconds& countdown, ui::TextBox& display) {
  countdown -= std::chrono::seconds(1);
  const int seconds = static_cast<int>(countdown.count() % 60);
  display.set_text({static_cast<char>('0' + seconds / 10), static_cast<char>('0' + seconds % 10)});
  return display.text() == "00";
}

}  // namespace

void TARNWICK_MAIN::AutoStartTick() {
  AUTOPILOT_STARTED_LIGHT.set_back_colour(colours::kCyan);
  if (!CountdownStep(AutoStartCountdown, AUTOSTART_TIME_TEXTBOX)) return;
  AUTOSTART_TIME_TEXTBOX.set_text("-- --");
  AUTOSTART_TIMER.Disarm();
  SETTINGS_BUTTON.set_enabled(false);
  AUTOPILOT_STARTED_LIGHT.set_back_colour(colours::kGreen);
  missed_launches_.clear();
  std::string steps;
  for (auto [box, name] : {std::pair<ui::TickBox*, const char*>{&PELLUM_ON_TICKBOX, "PELLUM-ON"},
                           {&AUTORUN_QT_TICKBOX, "QT"},
                           {&AUTORUN_DAEMON_TICKBOX, "DAEMON"},
                           {&PELLUM_OFF_TICKBOX, "PELLUM-OFF"}})
    if (box->ticked()) steps += std::string(steps.empty() ? "" : ", ") + name;
  Tell("run begins, ticked: " + (steps.empty() ? std::string("none") : steps));
  // Which programs the run will start, as their command lines name them now: files only, since
  // arguments may hold secrets.
  if (platform_.report) {
    struct Program {
      bool starts;
      const ui::TextBox* command_line;
      const char* name;
    };
    std::string programs;
    for (Program p :
         {Program{PELLUM_ON_TICKBOX.ticked(), &PELLUM_ON_FULL_LOCATION_TEXTBOX, "PELLUM-ON"},
          Program{AUTORUN_QT_TICKBOX.ticked(), &QT_FULL_RUN_CMD_TEXTBOX, "QT"},
          Program{AUTORUN_DAEMON_TICKBOX.ticked(), &DAEMOND_FULL_RUN_CMD_TEXTBOX, "DAEMON"},
          Program{true, &CORVANT_FULL_LOCATION_TEXTBOX, "CORVANT"}, Program{true, &CLI_FULL_RUN_CMD_TEXTBOX, "CLI"},
          Program{PELLUM_OFF_TICKBOX.ticked(), &PELLUM_OFF_FULL_LOCATION_TEXTBOX, "PELLUM-OFF"}}) {
      if (!p.starts) continue;
      const std::string file = platform_.processes.ProgramOf(p.command_line->text());
      programs += std::string(programs.empty() ? "" : ", ") + p.name + " " + (file.empty() ? "(none found)" : file);
    }
    Tell("its programs: " + programs);
  }
  // A run begun by the countdown armed at load has no outcome yet, but the one stored from an
  // earlier run must not stand for it: were the program to end before Auto Close (a signal, the
  // display gone, a power cut), yesterday's "!!! SUCCESS !!!" would be read as tonight's. A run
  // begun by START has its "!!! MANUAL START !!!" already.
  if (!started_by_hand_) {
    LAST_RUN_TEXTBOX.set_fore_colour(colours::kBlack);
    LAST_RUN_TEXTBOX.set_back_colour(colours::kRed);
    RecordOutcome(std::string(settings::FindKey("LAST_RUN_TEXTBOX")->default_text));
  }
  if (PELLUM_ON_TICKBOX.ticked()) {
    Run(PELLUM_ON_FULL_LOCATION_TEXTBOX);
    PELLUM_ON_WATCHER_TIMER.Arm();
  } else {
    PELLUM_ON_LIGHT.set_back_colour(colours::kBlack);
  }
  if (AUTORUN_QT_TICKBOX.ticked()) {
    Run(QT_FULL_RUN_CMD_TEXTBOX);
    QT_START_LIGHT.set_back_colour(colours::kCyan);
    QT_WATCHER_TIMER.Arm();
  }
  if (AUTORUN_DAEMON_TICKBOX.ticked()) {
    Run(DAEMOND_FULL_RUN_CMD_TEXTBOX);
    DAEMON_START_LIGHT.set_back_colour(colours::kCyan);
    DAEMON_WATCHER_TIMER.Arm();
  }
}

void TARNWICK_MAIN::AutoCloseTick() {
  if (!AUTOCLOSE_TIME_TICKBOX.ticked()) return;
  AUTOCLOSE_START_BUTTON.set_caption("STOP");
  if (!CountdownStep(AutoCloseCountdown, AUTOCLOSE_TIME_TEXTBOX)) {
    AUTOPILOT_COMPLETED_LIGHT.set_back_colour(colours::kGreen);
    return;
  }
  AUTOCLOSE_TIME_TEXTBOX.set_text("-- --");
  AUTOPILOT_COMPLETED_LIGHT.set_back_colour(colours::kGreen);
  auto_close_ran_out_ = true;
  RecordOutcome("!!! SUCCESS !!!");
  DisarmSequenceTimers();
  CloseWindow();  // closes any open settings window first, then unloads, which stores the outcome
}

void TARNWICK_MAIN::AutoStartButtonClick() {
  if (AUTOSTART_START_BUTTON.caption() == "START") {
    PaintSequenceLights(colours::kWhite);
    DropCorvantHandle();
    corvant_failure_told_ = false;
    AUTOSTART_START_BUTTON.set_caption("STOP");
    LAST_RUN_TEXTBOX.set_fore_colour(colours::kBlack);
    LAST_RUN_TEXTBOX.set_back_colour(colours::kGreen);
    RecordOutcome("!!! MANUAL START !!!");
    started_by_hand_ = true;
    SETTINGS_BUTTON.set_enabled(false);
    AUTOSTART_TIMER.Arm();
    Tell("START: the run begins when the countdown runs out");
    return;
  }
  // STOP halts the run where it is; the programs already started keep running.
  Tell("STOP: the run is halted; the programs it started keep running");
  AUTOSTART_START_BUTTON.set_caption("START");
  SETTINGS_BUTTON.set_enabled(true);
  AUTOSTART_TIMER.Disarm();
  DisarmSequenceTimers();
  PaintSequenceLights(colours::kLightRed);
  DropCorvantHandle();
  RecordOutcome("!!! MANUAL STOP !!!");
  LAST_RUN_TEXTBOX.set_fore_colour(colours::kBlack);
  LAST_RUN_TEXTBOX.set_back_colour(colours::kRed);
  AutoStartCountdown = kCountdownStart;
}

void TARNWICK_MAIN::AutoCloseButtonClick() {
  if (AUTOCLOSE_START_BUTTON.caption() == "START") {
    AUTOCLOSE_START_BUTTON.set_caption("STOP");
    AUTOCLOSE_TIMER.Arm();
    AUTOPILOT_COMPLETED_LIGHT.set_back_colour(colours::kWhite);
    return;
  }
  AUTOCLOSE_START_BUTTON.set_caption("START");
  AUTOPILOT_COMPLETED_LIGHT.set_back_colour(colours::kRed);
  AUTOCLOSE_TIMER.Disarm();
  AutoCloseCountdown = kCountdownStart;
}

void TARNWICK_MAIN::AutoStartTickBoxClick() {
  if (!AUTOSTART_TIME_TICKBOX.ticked()) AUTOSTART_TIMER.Disarm();
  StoreTickAtOnce(AUTOSTART_TIME_TICKBOX);
}

void TARNWICK_MAIN::AutoCloseTickBoxClick() {
  if (AUTOCLOSE_TIME_TICKBOX.ticked()) {
    AUTOCLOSE_START_BUTTON.set_enabled(true);
  } else {
    AUTOCLOSE_TIMER.Disarm();
    AUTOCLOSE_START_BUTTON.set_enabled(false);
  }
  StoreTickAtOnce(AUTOCLOSE_TIME_TICKBOX);
}

void TARNWICK_MAIN::RecordOutcome(const std::string& text) {
  LAST_RUN_TEXTBOX.set_text(text);
  // Stored at once, not only at unload, which a program killed or cut off from its display never reaches.
  store_.SaveText("LAST_RUN_TEXTBOX", text);
}

void TARNWICK_MAIN::DisarmSequenceTimers() {
  for (ui::Timer* t : {&PELLUM_ON_WATCHER_TIMER, &QT_WATCHER_TIMER, &DAEMON_WATCHER_TIMER, &CORVANT_LOADER_TIMER,
                       &CORVANT_WATCHER_TIMER, &CORVANT_COMPLETE_TIMER, &CLI_WATCHER_TIMER, &CLI_PAUSE_TIMER,
                       &PELLUM_OFF_WATCHER_TIMER, &AUTOCLOSE_TIMER})
    t->Disarm();
}

void TARNWICK_MAIN::PaintSequenceLights(ui::Colour colour) {
  for (ui::Label* light : {&AUTOPILOT_STARTED_LIGHT, &PELLUM_ON_LIGHT, &CORVANT_LIGHT, &CLI_STOP_LIGHT,
                           &PAUSE_FOR_STOP_LIGHT, &PELLUM_OFF_LIGHT, &AUTOPILOT_COMPLETED_LIGHT})
    light->set_back_colour(colour);
}
