// The first half of a run: PELLUM-ON, the node (QT or DAEMON) and CORVANT, whose end means the
// node has caught up. Every step is carried by a timer; no handler calls another's click handler.
#include "app/main_window.h"

using process::Probe;
namespace colours = ui::colours;

void TARNWICK_MAIN::PellumOnRunClick() {
  Run(PELLUM_ON_FULL_LOCATION_TEXTBOX);
  PellumOnWatcherTick();  // the same probe and paint as the watcher's, straight after the launch
  PELLUM_ON_WATCHER_TIMER.Arm();
}

void TARNWICK_MAIN::PellumOnWatcherTick() {
  Probe found = ProbeImage(PELLUM_ON_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  bool running = found == Probe::Running;
  PELLUM_ON_RUN_BUTTON.set_enabled(!running);
  PELLUM_ON_LIGHT.set_back_colour(running ? colours::kCyan : colours::kRed);
}

void TARNWICK_MAIN::NodeRunClick(ui::TextBox& command_line, ui::Timer& watcher) {
  Run(command_line);
  watcher.Arm();
}

void TARNWICK_MAIN::NodeWatcherTick(ui::TextBox& image_name, ui::Label& light) {
  Probe found = ProbeImage(image_name);
  if (found == Probe::Unknown) return;
  bool running = found == Probe::Running;
  // While the watched node runs, neither node can be started by hand.
  QT_RUN_BUTTON.set_enabled(!running);
  DAEMON_RUN_BUTTON.set_enabled(!running);
  light.set_back_colour(running ? colours::kCyan : colours::kRed);
  if (running) CORVANT_LOADER_TIMER.Arm();  // armed again every second; arming an armed timer is a no-op
}

void TARNWICK_MAIN::CorvantLoaderTick() {
  // The launch below is followed by the probe; a scan that cannot be made must not start anything
  // either, so while CORVANT is still to be started the loader makes sure scans work first.
  if (CORVANT_LIGHT.back_colour() == colours::kWhite && ProbeImage(CV_FILENAME_TEXTBOX) == Probe::Unknown) return;
  if (CORVANT_LIGHT.back_colour() == colours::kWhite) {
    CORVANT_RUN_BUTTON.set_enabled(false);
    // Once a run, CORVANT is started while its light is white. A copy this loader started that
    // still runs is not started again, even if its image name never matches: the loader keeps
    // retrying once a second only for a CORVANT that failed to start or ended at once.
    const bool just_started = corvant_just_started_;
    corvant_just_started_ = false;
    if (!corvant_handle_ || !corvant_handle_->IsRunning()) {
      if (just_started && corvant_handle_ && corvant_handle_->EndedWithSuccess()) {
        // The copy finished its work before any probe could see it: the node had caught up
        // already. It counts as found, and the complete timer sees it gone at its first tick.
        MarkCorvantFound();
        return;
      }
      corvant_handle_ = Run(CORVANT_FULL_LOCATION_TEXTBOX);
      // A copy just started is judged at the next tick: a probe made now finds even a copy that
      // is about to crash, and its end a second later would read as the node having caught up.
      corvant_just_started_ = corvant_handle_ != nullptr;
      if (corvant_just_started_) return;
    }
  }
  Probe found = ProbeImage(CV_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  if (found == Probe::Running) MarkCorvantFound();
  if (CORVANT_LIGHT.back_colour() == colours::kGreen) {
    CORVANT_LOADER_TIMER.Disarm();
    CORVANT_COMPLETE_TIMER.Disarm();
  }
}

void TARNWICK_MAIN::MarkCorvantFound() {
  CORVANT_LIGHT.set_back_colour(colours::kCyan);
  DropCorvantHandle();
  CORVANT_RUN_BUTTON.set_enabled(false);
  CORVANT_COMPLETE_TIMER.Arm();
  CORVANT_LOADER_TIMER.Disarm();
}

void TARNWICK_MAIN::CorvantCompleteTick() {
  Probe found = ProbeImage(CV_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  DropCorvantHandle();
  if (found == Probe::Running) {
    CORVANT_RUN_BUTTON.set_enabled(false);
    CORVANT_LIGHT.set_back_colour(colours::kCyan);
    return;
  }
  // CORVANT's process has gone: the node has caught up, and the stop sequence begins.
  CORVANT_RUN_BUTTON.set_enabled(true);
  CORVANT_LIGHT.set_back_colour(colours::kGreen);
  CLI_WATCHER_TIMER.Arm();
  CORVANT_COMPLETE_TIMER.Disarm();
}

void TARNWICK_MAIN::CorvantRunClick() {
  Run(CORVANT_FULL_LOCATION_TEXTBOX);
  CORVANT_WATCHER_TIMER.Arm();
}
