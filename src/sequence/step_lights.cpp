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
