// A scripted outside world for whole-run scenarios: the node, its CLI, CORVANT and the helper
// tools as entries of the fake process table, ending when real ones would.
#pragma once
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "process/platform_names.h"

namespace fakes {

struct RunWorld {
  // Seeds a store for a run of the wallet with both helper tools.
  static void SeedRun(Harness& h, bool auto_start = true, bool auto_close = true) {
    h.Seed("AUTOSTART_TIME_TICKBOX", auto_start ? "1" : "0");
    h.Seed("AUTOCLOSE_TIME_TICKBOX", auto_close ? "1" : "0");
    h.Seed("PELLUM_ON_TICKBOX", "1");
    h.Seed("PELLUM_OFF_TICKBOX", "1");
    h.Seed("PELLUM_ON_FULL_LOCATION_TEXTBOX", "/tools/MF-PELLUM-ON");
    h.Seed("PELLUM_OFF_FULL_LOCATION_TEXTBOX", "/tools/MF-PELLUM-OFF");
    h.Seed("CORVANT_FULL_LOCATION_TEXTBOX", "/tools/corvant");
    h.Seed("CV_FILENAME_TEXTBOX", "corvant");
    h.Seed("QT_FULL_RUN_CMD_TEXTBOX", "/node/qt -server");
    h.Seed("QT_FILENAME_TEXTBOX", "qt");
    h.Seed("DAEMOND_FULL_RUN_CMD_TEXTBOX", "/node/daemond");
    h.Seed("DAEMOND_FILENAME_TEXTBOX", "daemond");
    h.Seed("CLI_FULL_RUN_CMD_TEXTBOX", "/node/cli stop");
    h.Seed("CLI_FILENAME_TEXTBOX", "cli");
    h.processes.Define("/tools/MF-PELLUM-ON", std::string(process::kPellumOnFileName));
    h.processes.Define("/tools/MF-PELLUM-OFF", std::string(process::kPellumOffFileName));
    h.processes.Define("/tools/corvant", "corvant");
    h.processes.Define("/node/qt -server", "qt");
    h.processes.Define("/node/daemond", "daemond");
    h.processes.Define("/node/cli stop", "cli");
  }

  explicit RunWorld(Harness& harness) : h(harness) {}

  // One second of the world: runs the program's timers, then lets the outside programs act.
  void Second() {
    h.Seconds(1);
    ++second;
    Act("/tools/MF-PELLUM-ON", std::string(process::kPellumOnFileName), helper_seconds);
    Act("/tools/MF-PELLUM-OFF", std::string(process::kPellumOffFileName), helper_seconds);
    Act("/tools/corvant", "corvant", corvant_seconds);
    Act("/node/cli stop", "cli", cli_seconds);
    // The stop command ends the node after its shutdown time, if the node honours it.
    int stops = h.processes.LaunchCount("/node/cli stop");
    if (stops > stops_seen_) {
      stops_seen_ = stops;
      stop_second_ = second;
    }
    if (node_obeys_stop && stop_second_ && second == stop_second_ + node_shutdown_seconds) {
      h.processes.End("qt");
      h.processes.End("daemond");
    }
    for (const std::string& cmd : h.processes.launches())
      if (!first_launch.count(cmd)) first_launch[cmd] = second;
  }
  void RunFor(int seconds) {
    for (int i = 0; i < seconds && h.main_open(); ++i) Second();
  }
  // Runs until the main window has closed, or gives up after `limit` seconds.
  bool RunUntilClosed(int limit = 120) {
    for (int i = 0; i < limit && h.main_open(); ++i) Second();
    return !h.main_open();
  }
  // Runs until the stop command has been sent once.
  void RunUntilStopSent() {
    for (int i = 0; i < 120 && h.processes.LaunchCount("/node/cli stop") == 0; ++i) Second();
  }

  Harness& h;
  int second = 0;
  int helper_seconds = 1;   // the helper tools' short piece of work
  int corvant_seconds = 5;  // time until the node has caught up
  int cli_seconds = 0;      // the CLI ends at once after sending the stop
  int node_shutdown_seconds = 2;
  bool node_obeys_stop = true;
  std::map<std::string, int> first_launch;

 private:
  // A program ends `seconds` after each launch of its command line.
  void Act(const std::string& cmd, const std::string& image, int seconds) {
    int launches = h.processes.LaunchCount(cmd);
    if (launches > seen_[cmd]) {
      seen_[cmd] = launches;
      started_[cmd] = second;
    }
    if (seconds >= 0 && started_.count(cmd) && second - started_[cmd] >= seconds) h.processes.End(image);
  }
  std::map<std::string, int> seen_, started_;
  int stops_seen_ = 0, stop_second_ = 0;
};

// A harness seeded for a run (RunWorld::SeedRun) and its world.
struct SeededRun {
  explicit SeededRun(bool auto_start = true, bool auto_close = true) { RunWorld::SeedRun(h, auto_start, auto_close); }
  Harness h;
  RunWorld w{h};
};

inline std::string ColourName(ui::Colour c) {
  using namespace ui::colours;
  const std::pair<ui::Colour, const char*> names[] = {
      {kWhite, "white"},       {kBlack, "black"},        {kRed, "red"}, {kGreen, "green"}, {kCyan, "cyan"},
      {kLightRed, "lightred"}, {kSystemWindow, "system"}};
  for (const auto& [colour, name] : names)
    if (c == colour) return name;
  return c.Describe();
}

// Where a run stands: the node and sequence lights (PELLUM-ON, node, CORVANT, CLI "STOP", pause,
// PELLUM-OFF), the launches of each command line, whether the node runs, the armed step timers,
// the disabled RUN buttons and the outcome. Compared field by field, and printed that way.
struct Progress {
  std::vector<std::string> lights{};
  std::vector<int> launches{};  // PELLUM-ON, node, CORVANT, CLI stop, PELLUM-OFF
  bool node_runs = false;
  std::vector<std::string> armed{};
  std::vector<std::string> disabled{};
  std::string outcome{};
  bool operator==(const Progress&) const = default;
};

inline void PrintTo(const Progress& p, std::ostream* out) {
  const auto list = [out](const char* field, const auto& items) {
    *out << field << " {";
    for (const auto& item : items) *out << " " << item;
    *out << " }\n";
  };
  *out << "\n";
  list("lights", p.lights);
  list("launches", p.launches);
  *out << "node_runs " << (p.node_runs ? "true" : "false") << "\n";
  list("armed", p.armed);
  list("disabled", p.disabled);
  *out << "outcome \"" << p.outcome << "\"\n";
}

inline Progress ProgressOf(const Harness& h) {
  const TARNWICK_MAIN& m = *h.main;
  Progress p;
  for (const ui::Label* l : {&m.PELLUM_ON_LIGHT, &m.QT_START_LIGHT, &m.CORVANT_LIGHT, &m.CLI_STOP_LIGHT,
                             &m.PAUSE_FOR_STOP_LIGHT, &m.PELLUM_OFF_LIGHT})
    p.lights.push_back(ColourName(l->back_colour()));
  for (const char* cmd :
       {"/tools/MF-PELLUM-ON", "/node/qt -server", "/tools/corvant", "/node/cli stop", "/tools/MF-PELLUM-OFF"})
    p.launches.push_back(h.processes.LaunchCount(cmd));
  p.node_runs = h.processes.Running("qt");
  for (const ui::Timer* t : {&m.PELLUM_ON_WATCHER_TIMER, &m.QT_WATCHER_TIMER, &m.CORVANT_LOADER_TIMER,
                             &m.CORVANT_WATCHER_TIMER, &m.CORVANT_COMPLETE_TIMER, &m.CLI_WATCHER_TIMER,
                             &m.CLI_PAUSE_TIMER, &m.PELLUM_OFF_WATCHER_TIMER, &m.AUTOCLOSE_TIMER})
    if (t->armed()) p.armed.push_back(t->name());
  for (const ui::Button* b : {&m.PELLUM_ON_RUN_BUTTON, &m.QT_RUN_BUTTON, &m.DAEMON_RUN_BUTTON, &m.CORVANT_RUN_BUTTON,
                              &m.CLI_STOP_RUN_BUTTON, &m.PELLUM_OFF_RUN_BUTTON})
    if (!b->enabled()) p.disabled.push_back(b->name());
  p.outcome = m.LAST_RUN_TEXTBOX.text();
  return p;
}

// Everything a user could see of the main window, and which timers are armed, as one text.
inline std::string Snapshot(const TARNWICK_MAIN& m) {
  std::ostringstream out;
  for (const ui::Control* c : m.controls()) {
    out << c->name() << ":" << c->back_colour().Describe() << "/" << c->fore_colour().Describe()
        << (c->enabled() ? "" : " disabled");
    if (auto* l = dynamic_cast<const ui::Label*>(c)) out << " '" << l->caption() << "'";
    if (auto* b = dynamic_cast<const ui::Button*>(c)) out << " '" << b->caption() << "'";
    if (auto* t = dynamic_cast<const ui::TickBox*>(c)) out << " " << t->state();
    if (auto* t = dynamic_cast<const ui::TextBox*>(c)) out << " '" << t->text() << "'";
    out << "\n";
  }
  for (const ui::Timer* t :
       {&m.AlwaysOnTopTimer, &m.AUTOSTART_TIMER, &m.AUTOCLOSE_TIMER, &m.PELLUM_ON_WATCHER_TIMER, &m.QT_WATCHER_TIMER,
        &m.DAEMON_WATCHER_TIMER, &m.CORVANT_LOADER_TIMER, &m.CORVANT_WATCHER_TIMER, &m.CORVANT_COMPLETE_TIMER,
        &m.CLI_WATCHER_TIMER, &m.CLI_PAUSE_TIMER, &m.PELLUM_OFF_WATCHER_TIMER})
    out << t->name() << (t->armed() ? " armed" : "") << "\n";
  out << "countdowns " << m.AutoStartCountdown.count() << " " << m.AutoCloseCountdown.count() << "\n";
  return out.str();
}

}  // namespace fakes
