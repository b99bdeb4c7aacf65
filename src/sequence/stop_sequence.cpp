// The second half of a run: the CLI's stop command, the pause until the node's process has gone,
// and PELLUM-OFF, which hands the run to Auto Close.
#include "app/main_window.h"

using process::Probe;
namespace colours = ui::colours;

// Both CLI_STOP_LIGHT and PAUSE_FOR_STOP_LIGHT stop the CLI's watcher.
void TARNWICK_MAIN::CliLightClick() { CLI_WATCHER_TIMER.Disarm(); }

void TARNWICK_MAIN::CliWatcherTick() {
  Probe found = ProbeImage(CLI_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  if (found == Probe::Running) {
    CLI_STOP_RUN_BUTTON.set_enabled(false);
    CLI_STOP_LIGHT.set_back_colour(colours::kCyan);
    return;
  }
  // The stop command is sent only while a node light shows the node running.
  if (DAEMON_START_LIGHT.back_colour() != colours::kCyan && QT_START_LIGHT.back_colour() != colours::kCyan) return;
  Run(CLI_FULL_RUN_CMD_TEXTBOX);
  CLI_STOP_RUN_BUTTON.set_enabled(true);
  CLI_STOP_LIGHT.set_back_colour(colours::kGreen);
  PAUSE_FOR_STOP_LIGHT.set_back_colour(colours::kCyan);
  CLI_PAUSE_TIMER.Arm();
  CLI_WATCHER_TIMER.Disarm();
}

void TARNWICK_MAIN::CliStopRunClick() {
  Run(CLI_FULL_RUN_CMD_TEXTBOX);
  CLI_WATCHER_TIMER.Arm();
}

void TARNWICK_MAIN::CliPauseTick() {
  // The pause waits for the node watcher to paint the node's light red (its process gone).
  for (ui::Label* node : {&DAEMON_START_LIGHT, &QT_START_LIGHT}) {
    if (node->back_colour() != colours::kRed) continue;
    DAEMON_WATCHER_TIMER.Disarm();
    QT_WATCHER_TIMER.Disarm();
    node->set_back_colour(colours::kGreen);
    PAUSE_FOR_STOP_LIGHT.set_back_colour(colours::kGreen);
    PELLUM_OFF_WATCHER_TIMER.Arm();
  }
  if (CLI_STOP_LIGHT.back_colour() == colours::kGreen && PAUSE_FOR_STOP_LIGHT.back_colour() == colours::kGreen)
    CLI_PAUSE_TIMER.Disarm();
}

void TARNWICK_MAIN::PellumOffWatcherTick() {
  Probe found = ProbeImage(PELLUM_OFF_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  if (found == Probe::Running) {
    PELLUM_OFF_RUN_BUTTON.set_enabled(false);
    PELLUM_OFF_LIGHT.set_back_colour(colours::kCyan);
    PELLUM_ON_WATCHER_TIMER.Disarm();
    PELLUM_ON_LIGHT.set_back_colour(colours::kGreen);
  } else {
    PELLUM_OFF_RUN_BUTTON.set_enabled(true);
    PELLUM_OFF_LIGHT.set_back_colour(colours::kRed);
    if (PELLUM_OFF_TICKBOX.ticked()) {
      Run(PELLUM_OFF_FULL_LOCATION_TEXTBOX);
      PELLUM_ON_WATCHER_TIMER.Disarm();
      PELLUM_ON_LIGHT.set_back_colour(colours::kGreen);
      PELLUM_ON_RUN_BUTTON.set_enabled(true);
      PAUSE_FOR_STOP_LIGHT.set_back_colour(colours::kGreen);
    } else {
      PAUSE_FOR_STOP_LIGHT.set_back_colour(colours::kGreen);
      AUTOCLOSE_TIMER.Arm();
      PELLUM_OFF_WATCHER_TIMER.Disarm();
    }
  }
  if (PELLUM_ON_LIGHT.back_colour() == colours::kGreen) {
    PELLUM_OFF_LIGHT.set_back_colour(colours::kGreen);
    AUTOCLOSE_TIMER.Arm();
    PELLUM_OFF_WATCHER_TIMER.Disarm();
  }
}

void TARNWICK_MAIN::PellumOffRunClick() {
  Run(PELLUM_OFF_FULL_LOCATION_TEXTBOX);
  Probe found = ProbeImage(PELLUM_OFF_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  bool running = found == Probe::Running;
  PELLUM_OFF_RUN_BUTTON.set_enabled(!running);
  PELLUM_OFF_LIGHT.set_back_colour(running ? colours::kCyan : colours::kRed);
}

void TARNWICK_MAIN::PellumOffLightClick() { PELLUM_OFF_WATCHER_TIMER.Disarm(); }
