// The command-line options and the usage text.
#include "frontend/headless/options.h"

namespace headless {

std::optional<ui::Millis> ParseDuration(const std::string& text) {
  if (text.size() < 2 || text.size() > 12) return std::nullopt;
  const char unit = text.back();
  const ui::Millis per = unit == 's' ? 1000 : unit == 'm' ? 60'000 : unit == 'h' ? 3'600'000 : 0;
  if (per == 0) return std::nullopt;
  ui::Millis value = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  // At most 11 digits, so even in hours the value stays far inside the clock's range.
  if (value == 0) return std::nullopt;
  return value * per;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  std::optional<std::string> max_run_text;
  std::vector<std::string> others;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--headless") {
      o.headless = true;
    } else if (a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--max-run" || a.rfind("--max-run=", 0) == 0) {
      if (a == "--max-run") {
        if (i + 1 == args.size()) {
          o.error = "--max-run needs a duration, such as 90m";
          return o;
        }
        max_run_text = args[++i];
      } else {
        max_run_text = a.substr(10);
      }
    } else {
      others.push_back(a);
    }
  }
  if (max_run_text) {
    o.max_run = ParseDuration(*max_run_text);
    if (!o.max_run) {
      o.error = "--max-run takes a whole number above 0 with s, m or h (such as 90m), not \"" + *max_run_text + "\"";
      return o;
    }
    if (!o.headless) {
      o.error = "--max-run works only with --headless";
      return o;
    }
  }
  // The graphical program hands what it does not know to the toolkit, which has options of its own.
  if (o.headless && !others.empty()) o.error = "unknown option \"" + others.front() + "\" (see --help)";
  return o;
}

std::string Usage(const std::string& program_name, const std::string& settings_place) {
  return "Usage: " + program_name +
         " [--headless [--max-run DURATION]] | --help | --version\n"
         "\n"
         "Drives one run of a node: PELLUM-ON, the node, CORVANT until the node has caught up, the\n"
         "node's stop command, the pause until the node has gone, PELLUM-OFF.\n"
         "\n"
         "Without options the main window opens; Auto Start and Auto Close on it make the run unattended.\n"
         "  --headless          no window: one whole run as if Auto Start and Auto Close were ticked,\n"
         "                      each step printed as a line on standard output; then the program exits\n"
         "  --max-run DURATION  with --headless: a run still going after DURATION (a number with s, m or h,\n"
         "                      such as 90m) is stopped as STOP stops it; the programs it started keep running\n"
         "  --help              this text\n"
         "  --version           the program's version\n"
         "\n"
         "Exit statuses of --headless:\n"
         "  0  the run ended by itself, \"!!! SUCCESS !!!\" stored, every launch started a program\n"
         "  1  stopped: a signal (TERM, INT, HUP) or --max-run\n"
         "  2  could not begin: a bad argument, the settings refused, another copy of these settings\n"
         "     running, nothing to start (no node ticked, or its command line empty), or the final\n"
         "     write of the settings failed\n"
         "  3  \"!!! SUCCESS !!!\" stored, but a launch of PELLUM-ON, CLI or PELLUM-OFF started nothing\n"
         "\n"
         "Settings of this copy: " +
         settings_place +
         "\n"
         "(a copy or link of the program under another name keeps settings of its own)\n";
}

std::string VersionLine() { return std::string("TARNWICK ") + TARNWICK_VERSION_TEXT; }

}  // namespace headless
