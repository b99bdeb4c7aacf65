// The first half of a run: PELLUM-ON, the node (QT or DAEMON) and CORVANT, whose end means the
// node has caught up. Every step is carried by a timer; no handler calls another's click handler.
#include "app/main_window.h"
#include "process/platform_names.h"

#include <cstdio>
#include <optional>
#include <string>

using process::Probe;
namespace colours = ui::colours;

namespace {

// An exit status as its platform writes it: Windows' crash codes (0xC0000005) read best in hex.
std::string ExitCodeText(int code) {
  if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

void TARNWICK_MAIN::PellumOnRunClick() {
  Run(PELLUM_ON_FULL_LOCATION_TEXTBOX);
  PellumOnWatcherTick();  // the same probe and paint as the watcher's, straight after the launch
  PELLUM_ON_WATCHER_TIMER.Arm();
}

void TARNWICK_MAIN::PellumOnLightClick() { PELLUM_ON_WATCHER_TIMER.Disarm(); }

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
  if (CORVANT_LIGHT.back_colour() == colours::kWhite) {
    CorvantLoaderTickWhileWhite();
    return;
  }
  Probe found = ProbeImage(CV_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  if (found == Probe::Running) MarkCorvantFound();
  if (CORVANT_LIGHT.back_colour() == colours::kGreen) {
    CORVANT_LOADER_TIMER.Disarm();
    CORVANT_COMPLETE_TIMER.Disarm();
  }
}

void TARNWICK_MAIN::CorvantLoaderTickWhileWhite() {
  // The probe comes first: a scan that cannot be made must not start anything either.
  const Probe found = ProbeImage(CV_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  CORVANT_RUN_BUTTON.set_enabled(false);
  const bool first_judgement = corvant_just_started_;
  corvant_just_started_ = false;
  if (corvant_launched_) {
    // The launch of an earlier tick is judged now. CORVANT is found by its image name, whoever
    // started it: a single-instance CORVANT refuses our copy while the one already running works.
    if (found == Probe::Running) {
      // Our copy, still running under CORVANT's name, is the one found: its handle is kept so its
      // end can be told from a crash. A copy already gone was refused or handed its work on.
      const bool ours_found = corvant_handle_ && corvant_handle_->IsRunning() &&
                              RunsUnderImageName(corvant_handle_->Program(), CV_FILENAME_TEXTBOX.text());
      if (!ours_found) corvant_handle_.reset();
      MarkCorvantFound();
      return;
    }
    // Our copy still runs, under some other name: it is not started again, so copies never pile up.
    if (corvant_handle_ && corvant_handle_->IsRunning()) return;
    // A copy gone with status 0 before any probe could see it had nothing left to do: the node had
    // caught up already. Only CORVANT itself says so, though: a launcher script or a wrong program
    // that returns 0 at once proves nothing, so the program file must bear CORVANT's image name.
    // A copy that ran unseen for a while and then returned 0 proves nothing either.
    if (first_judgement && corvant_handle_ && corvant_handle_->EndedWithSuccess() &&
        RunsUnderImageName(corvant_handle_->Program(), CV_FILENAME_TEXTBOX.text())) {
      corvant_handle_.reset();
      MarkCorvantFound();
      return;
    }
    if (corvant_handle_) TellOfCorvantFailure(*corvant_handle_);
  }
  // Once a run CORVANT's command line is run, even when a CORVANT runs already, and again whenever
  // no copy of ours is left and CORVANT is not found. A copy just started is judged at the next
  // tick: a probe made now finds even a copy that is about to crash.
  corvant_handle_ = Run(CORVANT_FULL_LOCATION_TEXTBOX);
  corvant_launched_ = true;
  corvant_just_started_ = corvant_handle_ != nullptr;
}

bool TARNWICK_MAIN::RunsUnderImageName(std::string_view program, std::string_view image_name) const {
  if (image_name.empty()) return false;
  const std::size_t cut = program.find_last_of(process::kFolderSeparator == '\\' ? "\\/" : "/");
  const std::string_view file_name = cut == std::string_view::npos ? program : program.substr(cut + 1);
  return !file_name.empty() && platform_.processes.SameImageName(file_name, image_name);
}

void TARNWICK_MAIN::MarkCorvantFound() {
  CORVANT_LIGHT.set_back_colour(colours::kCyan);
  corvant_launched_ = false;
  corvant_just_started_ = false;
  CORVANT_RUN_BUTTON.set_enabled(false);
  CORVANT_COMPLETE_TIMER.Arm();
  CORVANT_LOADER_TIMER.Disarm();
}

bool TARNWICK_MAIN::TellOfCorvantFailure(process::ProcessHandle& copy) {
  const std::optional<process::Exit> how = copy.HowItEnded();
  if (!how || how->success()) return false;
  // A CORVANT failing at every launch would say so every second: once in a row is enough.
  if (!corvant_failure_told_) {
    std::string text = how->kind == process::Exit::Kind::Signal ? "was ended by signal " + std::to_string(how->value)
                                                                : "ended with exit status " + ExitCodeText(how->value);
    platform_.processes.Report("CORVANT (" + copy.Program() + ") " + text +
                               ": the node is not taken as caught up and CORVANT is started again" +
                               " (failures in a row are told once)");
    corvant_failure_told_ = true;
  }
  return true;
}

void TARNWICK_MAIN::CorvantCompleteTick() {
  Probe found = ProbeImage(CV_FILENAME_TEXTBOX);
  if (found == Probe::Unknown) return;
  if (found == Probe::Running) {
    CORVANT_RUN_BUTTON.set_enabled(false);
    CORVANT_LIGHT.set_back_colour(colours::kCyan);
    return;
  }
  // CORVANT's process has gone. When it was our own copy, its end says whether it did its work: one
  // that crashed or failed has not seen the node catch up, and the loader starts it again.
  const std::unique_ptr<process::ProcessHandle> ours = std::move(corvant_handle_);
  if (ours && TellOfCorvantFailure(*ours)) {
    DropCorvantHandle();
    CORVANT_LIGHT.set_back_colour(colours::kWhite);
    CORVANT_COMPLETE_TIMER.Disarm();
    CORVANT_LOADER_TIMER.Arm();
    return;
  }
  // The node has caught up, and the stop sequence begins.
  CORVANT_RUN_BUTTON.set_enabled(true);
  CORVANT_LIGHT.set_back_colour(colours::kGreen);
  CLI_WATCHER_TIMER.Arm();
  CORVANT_COMPLETE_TIMER.Disarm();
}

void TARNWICK_MAIN::CorvantRunClick() {
  Run(CORVANT_FULL_LOCATION_TEXTBOX);
  CORVANT_WATCHER_TIMER.Arm();
}

void TARNWICK_MAIN::NodeLightClick(ui::Timer& watcher) { watcher.Disarm(); }

void TARNWICK_MAIN::CorvantLightClick() { CORVANT_WATCHER_TIMER.Disarm(); }
