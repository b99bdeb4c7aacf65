// Looks shared by the three settings windows.
#pragma once
#include "ui/controls.h"

namespace looks {

// Green on black, centred, bold MS Sans Serif 9.75 pt: the settings windows' title labels.
inline void StyleSettingsTitle(ui::Label& label) {
  label.set_back_colour(ui::colours::kBlack);
  label.set_fore_colour(ui::colours::kGreen);
  label.set_font(ui::fonts::Bold("MS Sans Serif", 9.75));
  label.set_centred(true);
}

// Bold Arial 9.75 pt: the settings windows' field captions, tick boxes and text boxes.
inline void StyleField(ui::Control& control) { control.set_font(ui::fonts::Bold("Arial", 9.75)); }

}  // namespace looks
