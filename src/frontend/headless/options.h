// The program's command-line options: --headless, --max-run, --help and --version. The graphical
// program keeps accepting the toolkit's own options; the headless one accepts nothing else.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "ui/timer.h"

namespace headless {

struct Options {
  bool headless = false;
  bool help = false;
  bool version = false;
  // How long a headless run may take before it is stopped as STOP stops it.
  std::optional<ui::Millis> max_run;
  // Not empty when the arguments cannot be used: the program says so and exits with status 2.
  std::string error;
};

// `args` are the arguments after the program's name.
Options ParseOptions(const std::vector<std::string>& args);
// "90m" → 5,400,000 ms: a whole number above 0 with "s", "m" or "h"; none for anything else.
std::optional<ui::Millis> ParseDuration(const std::string& text);
std::string Usage(const std::string& program_name, const std::string& settings_place);
// "TARNWICK 1.0.0".
std::string VersionLine();

// The exit statuses of a headless run.
inline constexpr int kSucceeded = 0;
inline constexpr int kStopped = 1;
inline constexpr int kCouldNotBegin = 2;
inline constexpr int kSucceededWithMissedLaunches = 3;

}  // namespace headless
