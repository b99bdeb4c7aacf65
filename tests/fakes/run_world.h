// A scripted outside world for whole-run scenarios: the node, its CLI, CORVANT and the helper
// tools as entries of the fake process table, ending when real ones would.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "run_settings_text.h"

namespace fakes {

// The settings of a whole run (scripts/run-settings.conf) on the fake machine, where the stand-ins
// lie in /bin and keep their state in /state, as key and value.
inline std::vector<std::pair<std::string, std::string>> RunSettings() {
  std::vector<std::pair<std::string, std::string>> settings;
  std::istringstream lines(kRunSettingsText);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (line.starts_with('#') || equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"{bin}", "/bin"}, {"{state}", "/state"}})
      for (std::size_t at; (at = value.find(from)) != std::string::npos;) value.replace(at, from.size(), to);
    settings.emplace_back(line.substr(0, equals), value);
  }
  return settings;
}
inline std::string RunSetting(const std::string& key) {
  for (const auto& [k, value] : RunSettings())
    if (k == key) return value;
  return "<not in the run's settings>";
}
// The command lines and image names of a run's programs.
inline const std::string kPellumOnCmd = RunSetting("PELLUM_ON_FULL_LOCATION_TEXTBOX"),
                         kPellumOffCmd = RunSetting("PELLUM_OFF_FULL_LOCATION_TEXTBOX"),
                         kCorvantCmd = RunSetting("CORVANT_FULL_LOCATION_TEXTBOX"),
                         kCliCmd = RunSetting("CLI_FULL_RUN_CMD_TEXTBOX"),
                         kQtCmd = RunSetting("QT_FULL_RUN_CMD_TEXTBOX"),
                         kDaemonCmd = RunSetting("DAEMOND_FULL_RUN_CMD_TEXTBOX"),
                         kCorvantImage = RunSetting("CV_FILENAME_TEXTBOX"),
                         kCliImage = RunSetting("CLI_FILENAME_TEXTBOX"), kQtImage = RunSetting("QT_FILENAME_TEXTBOX"),
                         kDaemonImage = RunSetting("DAEMOND_FILENAME_TEXTBOX");

struct RunWorld {
  // A program of a run: the stored keys of its command line and of its image name (none for the
  // helper tools, whose names are fixed), and their values.
  struct Program {
    std::string cmd_key, cmd, name_key, image;
  };
  // The helper tools, CORVANT and the CLI, then the wallet and the daemon.
  static std::vector<Program> Programs() {
    // The helper tools run under the file names of their programs, which the core must look for.
#ifdef _WIN32
    const std::string suffix = ".exe";
#else
    const std::string suffix;
#endif
    const auto file_name = [&](const std::string& cmd) { return cmd.substr(cmd.rfind('/') + 1) + suffix; };
    return {{"PELLUM_ON_FULL_LOCATION_TEXTBOX", kPellumOnCmd, "", file_name(kPellumOnCmd)},
            {"PELLUM_OFF_FULL_LOCATION_TEXTBOX", kPellumOffCmd, "", file_name(kPellumOffCmd)},
            {"CORVANT_FULL_LOCATION_TEXTBOX", kCorvantCmd, "CV_FILENAME_TEXTBOX", kCorvantImage},
            {"CLI_FULL_RUN_CMD_TEXTBOX", kCliCmd, "CLI_FILENAME_TEXTBOX", kCliImage},
            {"QT_FULL_RUN_CMD_TEXTBOX", kQtCmd, "QT_FILENAME_TEXTBOX", kQtImage},
            {"DAEMOND_FULL_RUN_CMD_TEXTBOX", kDaemonCmd, "DAEMOND_FILENAME_TEXTBOX", kDaemonImage}};
  }
  // Seeds a store with the settings of a whole run, Auto Start and Auto Close as asked, and
  // defines each program.
  static void SeedRun(Harness& h, bool auto_start = true, bool auto_close = true) {
    for (const auto& [key, value] : RunSettings()) h.Seed(key, value);
    h.Seed("AUTOSTART_TIME_TICKBOX", auto_start ? "1" : "0");
    h.Seed("AUTOCLOSE_TIME_TICKBOX", auto_close ? "1" : "0");
    for (const Program& p : Programs()) h.processes.Define(p.cmd, {p.image});
  }

  explicit RunWorld(Harness& harness) : h(harness) {}

  // One second of the world: runs the program's timers, then lets the outside programs act. A
  // program ends the set number of seconds after each launch of its command line (never when
  // negative); the stop command ends the node after its shutdown time, if the node honours it.
  void Second() {
    h.Seconds(1);
    ++second;
    const int seconds[] = {helper_seconds, helper_seconds, corvant_seconds, cli_seconds, -1, -1};
    const auto programs = Programs();
    for (std::size_t i = 0; i < programs.size(); ++i) {
      const std::string& cmd = programs[i].cmd;
      if (int launches = h.processes.LaunchCount(cmd); launches > seen_[cmd]) {
        seen_[cmd] = launches;
        started_[cmd] = second;
        first_launch.try_emplace(cmd, second);
      }
      if (seconds[i] >= 0 && started_.count(cmd) && second - started_[cmd] >= seconds[i])
        h.processes.End(programs[i].image);
    }
    if (node_obeys_stop && started_.count(kCliCmd) && second == started_[kCliCmd] + node_shutdown_seconds) {
      h.processes.End(kQtImage);
      h.processes.End(kDaemonImage);
    }
  }
  // Runs for `seconds`, or until the main window has closed; true when it has.
  bool RunFor(int seconds) {
    for (int i = 0; i < seconds && h.main_open(); ++i) Second();
    return !h.main_open();
  }
  bool RunUntilClosed(int limit = 120) { return RunFor(limit); }
  // Runs until the stop command has been sent once.
  void RunUntilStopSent() {
    for (int i = 0; i < 120 && h.processes.LaunchCount(kCliCmd) == 0; ++i) Second();
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
  std::map<std::string, int> seen_, started_;
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
// the disabled RUN buttons, the outcome and the problems reported. Compared field by field, and
// printed that way.
struct Progress {
  std::vector<std::string> lights{};
  std::vector<int> launches{};  // PELLUM-ON, node, CORVANT, CLI stop, PELLUM-OFF
  bool node_runs = false;
  std::vector<std::string> armed{};
  std::vector<std::string> disabled{};
  std::string outcome = "!!! LAST RUN !!!";
  int reports = 0;
  bool operator==(const Progress&) const = default;
};

inline void PrintTo(const Progress& p, std::ostream* out) {
  *out << "\nlights " << ::testing::PrintToString(p.lights) << "\nlaunches " << ::testing::PrintToString(p.launches)
       << "\nnode_runs " << p.node_runs << "\narmed " << ::testing::PrintToString(p.armed) << "\ndisabled "
       << ::testing::PrintToString(p.disabled) << "\noutcome \"" << p.outcome << "\"\nreports " << p.reports << "\n";
}

inline Progress ProgressOf(const Harness& h) {
  const TARNWICK_MAIN& m = *h.main;
  Progress p{.node_runs = h.processes.Running(kQtImage),
             .outcome = m.LAST_RUN_TEXTBOX.text(),
             .reports = static_cast<int>(h.processes.reports().size())};
  for (const ui::Label* l : {&m.PELLUM_ON_LIGHT, &m.QT_START_LIGHT, &m.CORVANT_LIGHT, &m.CLI_STOP_LIGHT,
                             &m.PAUSE_FOR_STOP_LIGHT, &m.PELLUM_OFF_LIGHT})
    p.lights.push_back(ColourName(l->back_colour()));
  for (const std::string& cmd : {kPellumOnCmd, kQtCmd, kCorvantCmd, kCliCmd, kPellumOffCmd})
    p.launches.push_back(h.processes.LaunchCount(cmd));
  for (const ui::Timer* t : {&m.PELLUM_ON_WATCHER_TIMER, &m.QT_WATCHER_TIMER, &m.CORVANT_LOADER_TIMER,
                             &m.CORVANT_WATCHER_TIMER, &m.CORVANT_COMPLETE_TIMER, &m.CLI_WATCHER_TIMER,
                             &m.CLI_PAUSE_TIMER, &m.PELLUM_OFF_WATCHER_TIMER, &m.AUTOCLOSE_TIMER})
    if (t->armed()) p.armed.push_back(t->name());
  for (const ui::Button* b : {&m.PELLUM_ON_RUN_BUTTON, &m.QT_RUN_BUTTON, &m.DAEMON_RUN_BUTTON, &m.CORVANT_RUN_BUTTON,
                              &m.CLI_STOP_RUN_BUTTON, &m.PELLUM_OFF_RUN_BUTTON})
    if (!b->enabled()) p.disabled.push_back(b->name());
  return p;
}

}  // namespace fakes
