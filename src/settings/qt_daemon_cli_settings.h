// TARNWICK_QT_DAEMON_CLI_SETTINGS: the command lines and image names of the node's three programs.
#pragma once
#include "settings/store.h"
#include "ui/form.h"

class TARNWICK_MAIN;

class TARNWICK_QT_DAEMON_CLI_SETTINGS : public ui::Form {
 public:
  // `main` is the program's main window, which the window reads its store from and writes into.
  TARNWICK_QT_DAEMON_CLI_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main);
  void Load() override;
  void Unload() override;

  ui::Label MF_TITLE;
  ui::Label TARNWICK_TITLE;
  ui::Label QT_RUN_CMD_LABEL;
  ui::TextBox QT_RUN_CMD_TEXTBOX;
  ui::Label QT_FILENAME_LABEL;
  ui::TextBox QT_FILENAME_TEXTBOX;
  ui::Line Line1;
  ui::Label DAEMOND_RUN_CMD_LABEL;
  ui::TextBox DAEMOND_RUN_CMD_TEXTBOX;
  ui::Label DAEMOND_FILENAME_LABEL;
  ui::TextBox DAEMOND_FILENAME_TEXTBOX;
  ui::Line Line3;
  ui::Label CLI_RUN_CMD_LABEL;
  ui::TextBox CLI_RUN_CMD_TEXTBOX;
  ui::Label CLI_FILENAME_LABEL;
  ui::TextBox CLI_FILENAME_TEXTBOX;
  ui::Button SAVE_BUTTON;
  ui::Button CANCEL_BUTTON;

 private:
  void SaveClick();
  TARNWICK_MAIN& main_;
  settings::Section store_;
};
