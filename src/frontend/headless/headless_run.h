// The headless front end: the same main window, loaded without a native window, driven by one wait
// (the next timer, or a request to end), its run told as lines, and an exit status at the end.
// Toolkit-free and the same on every platform; only the wait is native.
#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "app/run_report.h"
#include "process/process.h"
#include "settings/store.h"
#include "ui/desktop.h"

namespace headless {

// The native wait: the platform's clock, and sleeping until a time or until the program is asked
// to end (a signal, the session's end), whichever comes first.
class Waiter {
 public:
  virtual ~Waiter() = default;
  // Monotonic milliseconds.
  virtual ui::Millis Now() = 0;
  // Returns at `due` (never, with none) or earlier when the program is asked to end: true then.
  virtual bool Wait(std::optional<ui::Millis> due) = 0;
  // Set by the run while it waits: closes every window and stores everything at once, for an end
  // that cannot wait until Wait returns (Windows may end the process as soon as its session-end
  // message has been handled).
  std::function<void()> close_now;
};

// A window host that shows nothing.
class NoWindows : public ui::WindowHost {
 public:
  void Open(ui::Form&) override {}
  void Destroy(ui::Form&) override {}
};

// Why no run can begin from these settings (no node ticked, or the ticked node's command line
// empty, as in a missing store); none when one can. Read as the main window reads them.
std::optional<std::string> WhyNoRunCanBegin(const settings::Section& section);

// How the program ended, as its exit status (see options.h).
int ExitStatus(const app::RunEnd& end, bool settings_written);

struct HeadlessPorts {
  process::ProcessControl& processes;
  settings::SettingsStore& store;
  std::string exe_name;
  std::ostream& out;  // the run's lines, flushed one by one
  std::ostream& err;  // problems
  // Extra listener to the run's events, such as a journal; may be null.
  app::RunReport* also = nullptr;
};

struct RunOptions {
  std::optional<ui::Millis> max_run;
  // Whether every setting the run wrote reached the store; asked once the window has closed.
  std::function<bool()> settings_written;
};

// One whole run; returns the exit status.
int RunHeadless(HeadlessPorts& ports, Waiter& waiter, const RunOptions& options);

}  // namespace headless
