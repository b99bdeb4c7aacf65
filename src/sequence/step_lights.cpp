// The looks of the step lights, and what each light's colour means to someone reading it (its
// tooltip and accessible description).
#include "app/main_window.h"

namespace colours = ui::colours;

void TARNWICK_MAIN::PaintReady(ui::Label& light) {
  light.set_fore_colour(colours::kBlack);
  light.set_back_colour(colours::kSystemWindow);
}

void TARNWICK_MAIN::PaintSwitchedOff(ui::Label& light) {
  light.set_fore_colour(colours::kBlack);
  light.set_back_colour(colours::kRed);
}

void TARNWICK_MAIN::PaintNotSelected(ui::Label& light) {
  light.set_back_colour(colours::kBlack);
  light.set_fore_colour(colours::kRed);
}

namespace {

std::string Meaning(const ui::Label& light) {
  ui::Colour c = light.back_colour();
  if (c == colours::kSystemWindow) return "ready: this step takes part in the run";
  if (c == colours::kWhite) return "white: not reached yet in this run";
  if (c == colours::kCyan) return "cyan: its program is running, or the step is in progress";
  if (c == colours::kGreen) return "green: complete";
  if (c == colours::kLightRed) return "light red: the run was stopped by hand";
  if (c == colours::kRed) {
    if (light.name() == "PELLUM_ON_LIGHT" || light.name() == "PELLUM_OFF_LIGHT")
      return "red: its program was not found at the last check, or the step is switched off";
    if (light.name() == "AUTOPILOT_COMPLETED_LIGHT") return "red: Auto Close was cancelled";
    return "red: its program was not found at the last check";
  }
  if (c == colours::kBlack) {
    if (light.fore_colour() == colours::kRed) return "black: this node program is not selected";
    return "black: left out of this run";
  }
  return "";
}

}  // namespace

void TARNWICK_MAIN::ConfigureStepLightDescriptions() {
  struct Step {
    ui::Label* light;
    const char* step;
  };
  for (Step s :
       {Step{&AUTOPILOT_STARTED_LIGHT, "Auto Start countdown"}, Step{&PELLUM_ON_LIGHT, "PELLUM-ON helper tool"},
        Step{&DAEMON_START_LIGHT, "node daemon"}, Step{&QT_START_LIGHT, "node graphical wallet"},
        Step{&CORVANT_LIGHT, "CORVANT chain-progress tool"}, Step{&CLI_STOP_LIGHT, "CLI stop command"},
        Step{&PAUSE_FOR_STOP_LIGHT, "pause until the node has stopped"},
        Step{&PELLUM_OFF_LIGHT, "PELLUM-OFF helper tool"}, Step{&AUTOPILOT_COMPLETED_LIGHT, "Auto Close countdown"}}) {
    std::string step = s.step;
    s.light->set_describer([step](const ui::Label& l) { return "Step: " + step + ". " + Meaning(l); });
  }
}

namespace {

std::string ColourName(const ui::Label& light) {
  ui::Colour c = light.back_colour();
  if (c == colours::kSystemWindow) return "ready";
  if (c == colours::kWhite) return "white";
  if (c == colours::kCyan) return "cyan";
  if (c == colours::kGreen) return "green";
  if (c == colours::kLightRed) return "light red";
  if (c == colours::kRed) return "red";
  if (c == colours::kBlack) return "black";
  return "another colour";
}

// What a light's colour means in its own step, in a few words: the run's report says it without
// the reader having to know the lights.
struct StepWords {
  const char* step;
  const char* cyan;
  const char* red;
  const char* green;
};

std::string Words(const StepWords& w, const ui::Label& light) {
  ui::Colour c = light.back_colour();
  if (c == colours::kCyan) return w.cyan;
  if (c == colours::kRed) return w.red;
  if (c == colours::kGreen) return w.green;
  if (c == colours::kWhite) return "not reached yet";
  if (c == colours::kLightRed) return "stopped by hand";
  if (c == colours::kSystemWindow) return "ready";
  if (c == colours::kBlack) return light.fore_colour() == colours::kRed ? "not selected" : "left out";
  return "";
}

}  // namespace

void TARNWICK_MAIN::TellLightChanges() {
  static const StepWords kWords[] = {
      {"AUTOPILOT STARTED", "Auto Start counting down", "", "run begun"},
      {"PELLUM-ON", "PELLUM-ON running", "PELLUM-ON not running", "PELLUM-ON done"},
      {"DAEMON", "node found", "node not found", "node gone"},
      {"QT", "node found", "node not found", "node gone"},
      {"CORVANT", "CORVANT running", "", "CORVANT ended: the node has caught up"},
      {"CLI \"STOP\"", "CLI running", "", "stop command sent"},
      {"\"STOP\" PAUSE", "waiting for the node to stop", "", "node gone"},
      {"PELLUM-OFF", "PELLUM-OFF running", "PELLUM-OFF not running", "PELLUM-OFF done"},
      {"AUTOPILOT FINISHED", "", "Auto Close cancelled", "Auto Close counting down"},
  };
  std::vector<ui::Label*> lights = StepLights();
  if (told_looks_.size() != lights.size()) return;  // not loaded yet
  for (std::size_t i = 0; i < lights.size(); ++i) {
    const ui::Label& light = *lights[i];
    const std::pair<ui::Colour, ui::Colour> look{light.back_colour(), light.fore_colour()};
    if (look == told_looks_[i]) continue;
    told_looks_[i] = look;
    std::string line = std::string(kWords[i].step) + " light turns " + ColourName(light);
    const std::string words = Words(kWords[i], light);
    if (!words.empty()) line += ": " + words;
    Tell(line);
  }
}
