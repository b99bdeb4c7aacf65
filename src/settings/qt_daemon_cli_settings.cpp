// The node-programs settings window: its controls, load, Save, Cancel and Close.
#include "settings/qt_daemon_cli_settings.h"
#include "settings/key_catalogue.h"

#include "app/main_window.h"
#include "settings/window_looks.h"

using ui::Rect;

TARNWICK_QT_DAEMON_CLI_SETTINGS::TARNWICK_QT_DAEMON_CLI_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main)
    : ui::Form(desktop, "TARNWICK_QT_DAEMON_CLI_SETTINGS"),
      MF_TITLE(*this, "MF_TITLE", "MERRIFOLD", Rect{120, 120, 2895, 360}),
      TARNWICK_TITLE(*this, "TARNWICK_TITLE", "TARNWICK", Rect{3120, 120, 2895, 360}),
      QT_RUN_CMD_LABEL(*this, "QT_RUN_CMD_LABEL", "QT.exe or MF-LOFTA - COMPLETE Run Command",
                       Rect{120, 600, 5895, 255}),
      QT_RUN_CMD_TEXTBOX(*this, "QT_RUN_CMD_TEXTBOX", "", Rect{120, 840, 5895, 405}),
      QT_FILENAME_LABEL(*this, "QT_FILENAME_LABEL", "Monitor - QT.exe", Rect{120, 1320, 2655, 255}),
      QT_FILENAME_TEXTBOX(*this, "QT_FILENAME_TEXTBOX", "", Rect{120, 1560, 2655, 405}),
      Line1(*this, "Line1", 120, 2040, 6000, 2040, ui::colours::kDefault, 1),
      DAEMOND_RUN_CMD_LABEL(*this, "DAEMOND_RUN_CMD_LABEL", "DAEMOND.exe or MF-LOFTA - COMPLETE Run Command",
                            Rect{120, 2160, 5895, 255}),
      DAEMOND_RUN_CMD_TEXTBOX(*this, "DAEMOND_RUN_CMD_TEXTBOX", "", Rect{120, 2400, 5895, 405}),
      DAEMOND_FILENAME_LABEL(*this, "DAEMOND_FILENAME_LABEL", "Monitor - DAEMOND.exe", Rect{120, 2880, 2655, 255}),
      DAEMOND_FILENAME_TEXTBOX(*this, "DAEMOND_FILENAME_TEXTBOX", "", Rect{120, 3120, 2655, 405}),
      Line3(*this, "Line3", 120, 3600, 6000, 3600, ui::colours::kDefault, 1),
      CLI_RUN_CMD_LABEL(*this, "CLI_RUN_CMD_LABEL", "DAEMON-CLI.exe or MF-QUAYLINE - COMPLETE Run Command",
                        Rect{120, 3720, 5895, 255}),
      CLI_RUN_CMD_TEXTBOX(*this, "CLI_RUN_CMD_TEXTBOX", "", Rect{120, 3960, 5895, 405}),
      CLI_FILENAME_LABEL(*this, "CLI_FILENAME_LABEL", "Monitor - DAEMON-CLI.exe", Rect{120, 4440, 2655, 255}),
      CLI_FILENAME_TEXTBOX(*this, "CLI_FILENAME_TEXTBOX", "", Rect{120, 4680, 2655, 405}),
      SAVE_BUTTON(*this, "SAVE_BUTTON", "Save", Rect{3120, 4680, 1215, 375}),
      CANCEL_BUTTON(*this, "CANCEL_BUTTON", "Cancel", Rect{4680, 4680, 1215, 375}),
      main_(main),
      store_(main.store()) {
  set_title("TARNWICK - QT / DAEMON / CLI - SETTINGS");
  looks::StyleSettingsTitle(MF_TITLE);
  looks::StyleSettingsTitle(TARNWICK_TITLE);
  for (ui::Control* c : std::initializer_list<ui::Control*>{
           &QT_RUN_CMD_LABEL, &QT_RUN_CMD_TEXTBOX, &QT_FILENAME_LABEL, &QT_FILENAME_TEXTBOX, &DAEMOND_RUN_CMD_LABEL,
           &DAEMOND_RUN_CMD_TEXTBOX, &DAEMOND_FILENAME_LABEL, &DAEMOND_FILENAME_TEXTBOX, &CLI_RUN_CMD_LABEL,
           &CLI_RUN_CMD_TEXTBOX, &CLI_FILENAME_LABEL, &CLI_FILENAME_TEXTBOX})
    looks::StyleField(*c);
  SetTabOrder({&CANCEL_BUTTON, &QT_RUN_CMD_TEXTBOX, &QT_FILENAME_TEXTBOX, &DAEMOND_RUN_CMD_TEXTBOX,
               &DAEMOND_FILENAME_TEXTBOX, &CLI_RUN_CMD_TEXTBOX, &CLI_FILENAME_TEXTBOX, &SAVE_BUTTON});
  SetDefaultButton(&CANCEL_BUTTON);
  SetCancelButton(&CANCEL_BUTTON);
  SAVE_BUTTON.OnClick([this] { SaveClick(); });
  CANCEL_BUTTON.OnClick([this] {
    settings::StorePosition(store_, settings::kQtDaemonCliKeys, *this);
    CloseWindow();
  });
}

void TARNWICK_QT_DAEMON_CLI_SETTINGS::Load() {
  set_geometry(settings::LoadGeometry(store_, settings::kQtDaemonCliKeys));
  for (ui::TextBox* box : {&QT_RUN_CMD_TEXTBOX, &QT_FILENAME_TEXTBOX, &DAEMOND_RUN_CMD_TEXTBOX,
                           &DAEMOND_FILENAME_TEXTBOX, &CLI_RUN_CMD_TEXTBOX, &CLI_FILENAME_TEXTBOX})
    box->set_text(settings::LoadText(store_, box->name()));
}

void TARNWICK_QT_DAEMON_CLI_SETTINGS::SaveClick() {
  TARNWICK_MAIN& main = main_;
  for (ui::TextBox* box : {&QT_RUN_CMD_TEXTBOX, &QT_FILENAME_TEXTBOX, &DAEMOND_RUN_CMD_TEXTBOX,
                           &DAEMOND_FILENAME_TEXTBOX, &CLI_RUN_CMD_TEXTBOX, &CLI_FILENAME_TEXTBOX})
    store_.SaveText(box->name(), box->text());
  CANCEL_BUTTON.set_caption("Close");
  main.QT_FULL_RUN_CMD_TEXTBOX.set_text(QT_RUN_CMD_TEXTBOX.text());
  main.QT_FILENAME_TEXTBOX.set_text(QT_FILENAME_TEXTBOX.text());
  main.DAEMOND_FULL_RUN_CMD_TEXTBOX.set_text(DAEMOND_RUN_CMD_TEXTBOX.text());
  main.DAEMOND_FILENAME_TEXTBOX.set_text(DAEMOND_FILENAME_TEXTBOX.text());
  main.CLI_FULL_RUN_CMD_TEXTBOX.set_text(CLI_RUN_CMD_TEXTBOX.text());
  main.CLI_FILENAME_TEXTBOX.set_text(CLI_FILENAME_TEXTBOX.text());
  for (ui::TextBox* full :
       {&main.QT_FULL_RUN_CMD_TEXTBOX, &main.DAEMOND_FULL_RUN_CMD_TEXTBOX, &main.CLI_FULL_RUN_CMD_TEXTBOX})
    store_.SaveText(full->name(), full->text());
}

void TARNWICK_QT_DAEMON_CLI_SETTINGS::Unload() { settings::StorePosition(store_, settings::kQtDaemonCliKeys, *this); }
