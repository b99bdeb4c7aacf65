// TARNWICK_SETTINGS: the settings hub opened by the main window's Settings button. It shows who
// made the program, leads to the two settings windows and holds the choice of node program.
#pragma once
#include "settings/store.h"
#include "ui/form.h"

class TARNWICK_MAIN;

class TARNWICK_SETTINGS : public ui::Form {
 public:
  // `main` is the program's main window, which the window reads its store from and writes into.
  TARNWICK_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main);
  void Load() override;
  void Unload() override;

  ui::Label MF_TITLE;
  ui::Label TARNWICK_TITLE;
  ui::Label NOTICE_LABEL;
  ui::Label TARNWICK_VERSION;
  ui::Label TARNWICK_CREATOR;
  ui::Button PELLUM_PELLUM_CORVANT_BUTTON;
  ui::Button QT_DAEMON_CLI_BUTTON;
  ui::TickBox AUTORUN_QT_TICKBOX;
  ui::TickBox AUTORUN_DAEMON_TICKBOX;
  ui::Button CLOSE_BUTTON;

  static constexpr const char* kNotice = "Unattended node runs";
  static constexpr const char* kCredit = "Written by the TARNWICK developers";
  static constexpr const char* kContact = "tarnwick-developers@example.org";

 private:
  // A click on one of the two node choices: ticking it clears and locks the other and marks the
  // main window's other node as not selected; clearing it unlocks the other and chooses that one.
  void AutorunClick(ui::TickBox& clicked, ui::TickBox& other, ui::TickBox& main_other, ui::Label& other_light);
  void CloseButtonClick();
  TARNWICK_MAIN& main_;
  settings::Section store_;
};
