// TARNWICK_MAIN: the program's one main window. It owns the step lights, RUN buttons, the schedule
// row, the hidden holders of a run's data and the twelve timers; its handlers live in sequence/.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "settings/store.h"
#include "ui/desktop.h"
#include "ui/form.h"

class TARNWICK_MAIN : public ui::Form {
 public:
  TARNWICK_MAIN(ui::Desktop& desktop, app::Platform& platform);
  ~TARNWICK_MAIN() override;

  void Load() override;
  void Unload() override;

  app::Platform& platform() const { return platform_; }
  const settings::Section& store() const { return store_; }

  // Title band.
  ui::Label MF_SE_UI_TITLE;
  ui::Label APP_EXE_NAME_LABEL;
  ui::TextBox LAST_RUN_TEXTBOX;
  // Step lights.
  ui::Label AUTOPILOT_STARTED_LIGHT;
  ui::Label PELLUM_ON_LIGHT;
  ui::Label DAEMON_START_LIGHT;
  ui::Label QT_START_LIGHT;
  ui::Label CORVANT_LIGHT;
  ui::Label CLI_STOP_LIGHT;
  ui::Label PAUSE_FOR_STOP_LIGHT;
  ui::Label PELLUM_OFF_LIGHT;
  ui::Label AUTOPILOT_COMPLETED_LIGHT;
  // RUN buttons.
  ui::Button PELLUM_ON_RUN_BUTTON;
  ui::Button DAEMON_RUN_BUTTON;
  ui::Button QT_RUN_BUTTON;
  ui::Button CORVANT_RUN_BUTTON;
  ui::Button CLI_STOP_RUN_BUTTON;
  ui::Button PELLUM_OFF_RUN_BUTTON;
  ui::Line Line5;
  // Schedule band.
  ui::Button AUTOSTART_START_BUTTON;
  ui::TextBox AUTOSTART_TIME_TEXTBOX;
  ui::TickBox AUTOSTART_TIME_TICKBOX;
  ui::Button SETTINGS_BUTTON;
  ui::TickBox AlwaysOnTopTimer_TICKBOX;
  ui::TickBox AUTOCLOSE_TIME_TICKBOX;
  ui::TextBox AUTOCLOSE_TIME_TEXTBOX;
  ui::Button AUTOCLOSE_START_BUTTON;
  ui::Line Line1;
  // Hidden holders: the data of a run, each named after its store key.
  ui::TickBox AUTORUN_QT_TICKBOX;
  ui::TickBox AUTORUN_DAEMON_TICKBOX;
  ui::TickBox PELLUM_ON_TICKBOX;
  ui::TickBox PELLUM_OFF_TICKBOX;
  ui::TextBox PELLUM_ON_FULL_LOCATION_TEXTBOX;
  ui::TextBox PELLUM_OFF_FULL_LOCATION_TEXTBOX;
  ui::TextBox CORVANT_FULL_LOCATION_TEXTBOX;
  ui::TextBox CV_FILENAME_TEXTBOX;
  ui::TextBox QT_FULL_RUN_CMD_TEXTBOX;
  ui::TextBox QT_FILENAME_TEXTBOX;
  ui::TextBox DAEMOND_FULL_RUN_CMD_TEXTBOX;
  ui::TextBox DAEMOND_FILENAME_TEXTBOX;
  ui::TextBox CLI_FULL_RUN_CMD_TEXTBOX;
  ui::TextBox CLI_FILENAME_TEXTBOX;
  ui::TextBox PELLUM_ON_FILENAME_TEXTBOX;
  ui::TextBox PELLUM_OFF_FILENAME_TEXTBOX;
  // Timers.
  ui::Timer AlwaysOnTopTimer;
  ui::Timer AUTOSTART_TIMER;
  ui::Timer AUTOCLOSE_TIMER;
  ui::Timer PELLUM_ON_WATCHER_TIMER;
  ui::Timer QT_WATCHER_TIMER;
  ui::Timer DAEMON_WATCHER_TIMER;
  ui::Timer CORVANT_LOADER_TIMER;
  ui::Timer CORVANT_WATCHER_TIMER;
  ui::Timer CORVANT_COMPLETE_TIMER;
  ui::Timer CLI_WATCHER_TIMER;
  ui::Timer CLI_PAUSE_TIMER;
  ui::Timer PELLUM_OFF_WATCHER_TIMER;
  // The two countdowns of the schedule, in whole seconds.
  std::chrono::seconds AutoStartCountdown{11};
  std::chrono::seconds AutoCloseCountdown{11};

  // Step-light looks shared with the settings windows.
  static void PaintReady(ui::Label& light);
  static void PaintSwitchedOff(ui::Label& light);
  static void PaintNotSelected(ui::Label& light);

 private:
  void WireHandlers();

  // Start sequence.
  void PellumOnRunClick();
  void PellumOnWatcherTick();
  // A click on a step light disarms that step's watcher and does nothing else.
  void PellumOnLightClick();
  void NodeLightClick(ui::Timer& watcher);
  void CorvantLightClick();
  void NodeRunClick(ui::TextBox& command_line, ui::Timer& watcher);
  void NodeWatcherTick(ui::TextBox& image_name, ui::Label& light);
  void CorvantLoaderTick();
  void CorvantLoaderTickWhileWhite();
  void MarkCorvantFound();
  // True when the copy ended by a signal or with a non-zero status, which is then told on standard
  // error unless the failure before it was too; false while it runs, after status 0, or unknown.
  bool TellOfCorvantFailure(process::ProcessHandle& copy);
  // Whether a program file, by the file name part of its path, is the image `image_name` names,
  // compared as the probe compares names.
  bool RunsUnderImageName(std::string_view program, std::string_view image_name) const;
  void CorvantCompleteTick();
  void CorvantRunClick();
  // Stop sequence.
  void CliWatcherTick();
  void CliStopRunClick();
  void CliLightClick();
  void PellumOffLightClick();
  void CliPauseTick();
  void PellumOffWatcherTick();
  void PellumOffRunClick();
  // Schedule.
  void AutoStartTick();
  void AutoCloseTick();
  void AutoStartButtonClick();
  void AutoCloseButtonClick();
  void AutoStartTickBoxClick();
  void AutoCloseTickBoxClick();
  // Writes the outcome of the last run and stores it at once.
  void RecordOutcome(const std::string& text);
  // Stores a tick box of the three that unload stores, once load is over: a tick the user changes is
  // kept even when the program never unloads (killed, or cut off from its display).
  void StoreTickAtOnce(const ui::TickBox& box);
  void DisarmSequenceTimers();
  void PaintSequenceLights(ui::Colour colour);
  // Always on top.
  void AlwaysOnTopTick();
  void AlwaysOnTopTickBoxClick();
  // Settings.
  void SettingsButtonClick();
  // Accessible descriptions of the step lights: their step and what their colour means now.
  void ConfigureStepLightDescriptions();

  // The process port, by the text of a holder. Every launch is told to the run's report.
  process::Probe ProbeImage(const ui::TextBox& image_name);
  std::unique_ptr<process::ProcessHandle> Run(const ui::TextBox& command_line);
  // The run's report: one line, and the step lights whose colours changed since they were last told.
  void Tell(const std::string& line);
  void TellLightChanges();
  std::vector<ui::Label*> StepLights();
  void DropCorvantHandle() {
    corvant_handle_.reset();
    corvant_launched_ = false;
    corvant_just_started_ = false;
  }

  app::Platform& platform_;
  settings::Section store_;
  // The CORVANT copy the loader started, so it never starts another while that one still runs; kept
  // after CORVANT is found when it is that copy, until its end has been judged.
  std::unique_ptr<process::ProcessHandle> corvant_handle_;
  // Whether the loader has run CORVANT's command line since CORVANT_LIGHT last turned white.
  bool corvant_launched_ = false;
  // Set from the loader's launch to its next tick, which judges that copy.
  bool corvant_just_started_ = false;
  // What the run's report has been told, for the report alone: the step lights' last told looks,
  // the launches of this run that started nothing, and whether Auto Close's countdown ran out.
  std::vector<std::pair<ui::Colour, ui::Colour>> told_looks_;
  std::vector<std::string> missed_launches_;
  bool auto_close_ran_out_ = false;
  // Whether a failed CORVANT has been told of since CORVANT last did its work or START was pressed.
  bool corvant_failure_told_ = false;
  // While Load runs: the tick boxes it sets hold what the store holds already.
  bool loading_ = false;
  // Whether START has been pressed: the Auto Start countdown then ends in a run that has its outcome.
  bool started_by_hand_ = false;
};
