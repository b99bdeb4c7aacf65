// The headless run: the main window without a window, one wait at a time, and the exit status.
#include "frontend/headless/headless_run.h"

#include <memory>

#include "app/main_window.h"
#include "frontend/headless/options.h"
#include "settings/key_catalogue.h"
#include "ui/window_manager.h"

namespace headless {

namespace {

// Prints each line at once (journald and terminals see it live) and keeps how the run ended.
class PrintedReport : public app::RunReport {
 public:
  PrintedReport(std::ostream& out, app::RunReport* also) : out_(out), also_(also) {}
  void Line(std::string_view text) override {
    out_ << text << std::endl;
    if (also_) also_->Line(text);
  }
  void Finished(const app::RunEnd& end) override {
    end_ = end;
    if (also_) also_->Finished(end);
  }
  const std::optional<app::RunEnd>& end() const { return end_; }

 private:
  std::ostream& out_;
  app::RunReport* also_;
  std::optional<app::RunEnd> end_;
};

}  // namespace

std::optional<std::string> WhyNoRunCanBegin(const settings::Section& section) {
  // As the main window loads them: the wallet wins when both are ticked.
  if (settings::LoadTick(section, "AUTORUN_QT_TICKBOX") == 1) {
    if (settings::LoadText(section, "QT_FULL_RUN_CMD_TEXTBOX").find_first_not_of(" \t") == std::string::npos)
      return "AUTORUN QT is ticked, but the QT command line (QT_FULL_RUN_CMD_TEXTBOX) is empty";
    return std::nullopt;
  }
  if (settings::LoadTick(section, "AUTORUN_DAEMON_TICKBOX") == 1) {
    if (settings::LoadText(section, "DAEMOND_FULL_RUN_CMD_TEXTBOX").find_first_not_of(" \t") == std::string::npos)
      return "AUTORUN DAEMON is ticked, but the DAEMON command line (DAEMOND_FULL_RUN_CMD_TEXTBOX) is empty";
    return std::nullopt;
  }
  return "neither AUTORUN QT nor AUTORUN DAEMON is ticked: the run would start no node";
}

int ExitStatus(const app::RunEnd& end, bool settings_written) {
  if (!settings_written) return kCouldNotBegin;
  // A run stopped by a signal or --max-run never has Auto Close run out: the close or STOP comes first.
  if (!end.auto_close_ran_out) return kStopped;
  return end.missed_launches.empty() ? kSucceeded : kSucceededWithMissedLaunches;
}

int RunHeadless(HeadlessPorts& ports, Waiter& waiter, const RunOptions& options) {
  PrintedReport report(ports.out, ports.also);
  settings::Section section(ports.store, ports.exe_name);
  if (auto why = WhyNoRunCanBegin(section)) {
    ports.err << "TARNWICK: no run can begin from the settings of " << ports.exe_name << ": " << *why << std::endl;
    report.Line("exit status " + std::to_string(kCouldNotBegin));
    return kCouldNotBegin;
  }

  ui::NoWindowManager window_manager;  // nothing is on screen, so nothing is kept on top
  app::Platform platform{ports.processes, ports.store, window_manager, ports.exe_name, &report, true};
  NoWindows host;
  ui::Desktop desktop;
  desktop.set_host(&host);

  const ui::Millis start = waiter.Now();
  const std::optional<ui::Millis> deadline =
      options.max_run ? std::optional<ui::Millis>(start + *options.max_run) : std::nullopt;
  auto owned = std::make_unique<TARNWICK_MAIN>(desktop, platform);
  TARNWICK_MAIN* main = owned.get();
  ui::Desktop::Settled settled = desktop.Deliver(start, [&] { desktop.Open(std::move(owned), nullptr); });

  waiter.close_now = [&] { settled = desktop.CloseAll(waiter.Now()); };
  while (settled.windows_left) {
    std::optional<ui::Millis> due = settled.next_due;
    if (deadline && (!due || *deadline < *due)) due = deadline;
    const bool end_asked = waiter.Wait(due);
    const ui::Millis now = waiter.Now();
    if (end_asked) {
      // As the graphical program closes on a signal: everything stored, the programs left running.
      settled = desktop.CloseAll(now);
    } else if (deadline && now >= *deadline) {
      ports.err << "TARNWICK: the run of " << ports.exe_name << " took longer than --max-run allows; stopping it"
                << std::endl;
      desktop.Deliver(now, [&] {
        if (main->AUTOSTART_START_BUTTON.caption() != "START") desktop.UserClick(main->AUTOSTART_START_BUTTON);
      });
      settled = desktop.CloseAll(now);
    } else {
      settled = desktop.TimerPass(now);
    }
  }
  waiter.close_now = nullptr;
  desktop.CollectClosed();

  const bool written = !options.settings_written || options.settings_written();
  if (!written) ports.err << "TARNWICK: the settings of " << ports.exe_name << " could not be written" << std::endl;
  const app::RunEnd end = report.end().value_or(app::RunEnd{});
  const int status = ExitStatus(end, written);
  if (status == kSucceededWithMissedLaunches) {
    std::string steps;
    for (const std::string& s : end.missed_launches) steps += (steps.empty() ? "" : ", ") + s;
    ports.err << "TARNWICK: the run succeeded, but these launches started nothing: " << steps << std::endl;
  }
  report.Line("exit status " + std::to_string(status));
  return status;
}

}  // namespace headless
