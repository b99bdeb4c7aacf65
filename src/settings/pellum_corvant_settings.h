// TARNWICK_PELLUM_CORVANT_SETTINGS: whether the run uses the two helper tools, where they and
// CORVANT lie, and CORVANT's file name. Save composes the full locations the main window runs.
#pragma once
#include "settings/store.h"
#include "ui/form.h"

class TARNWICK_MAIN;

class TARNWICK_PELLUM_CORVANT_SETTINGS : public ui::Form {
 public:
  // `main` is the program's main window, which the window reads its store from and writes into.
  TARNWICK_PELLUM_CORVANT_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main);
  void Load() override;
  void Unload() override;

  ui::Label MF_TITLE;
  ui::Label TARNWICK_TITLE;
  ui::TickBox PELLUM_ON_TICKBOX;
  ui::TextBox PELLUM_ON_LOCATION_TEXTBOX;
  ui::TickBox PELLUM_OFF_TICKBOX;
  ui::TextBox PELLUM_OFF_LOCATION_TEXTBOX;
  ui::Label CORVANT_LOCATION_LABEL;
  ui::TextBox CORVANT_LOCATION_TEXTBOX;
  ui::Label CV_FILENAME_LABEL;
  ui::TextBox CV_FILENAME_TEXTBOX;
  ui::Button SAVE_BUTTON;
  ui::Button CANCEL_BUTTON;
  // Constants of the window, never shown: the folder separator and the helper tools' file names.
  ui::TextBox BACKSLASH_TEXTBOX;
  ui::TextBox PELLUM_ON_FILENAME_TEXTBOX;
  ui::TextBox PELLUM_OFF_FILENAME_TEXTBOX;

 private:
  void TickBoxClick(ui::TickBox& box, ui::TextBox& folder, ui::Label& light);
  void SaveClick();
  TARNWICK_MAIN& main_;
  settings::Section store_;
};
