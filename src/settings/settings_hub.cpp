// The settings hub's controls and handlers, and the main window's Settings button that opens it.
#include "settings/settings_hub.h"
#include "settings/key_catalogue.h"

#include <memory>

#include "app/main_window.h"
#include "settings/pellum_corvant_settings.h"
#include "settings/qt_daemon_cli_settings.h"
#include "settings/window_looks.h"

using ui::Rect;

TARNWICK_SETTINGS::TARNWICK_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main)
    : ui::Form(desktop, "TARNWICK_SETTINGS"),
      MF_TITLE(*this, "MF_TITLE", "MERRIFOLD", Rect{120, 120, 2055, 360}),
      TARNWICK_TITLE(*this, "TARNWICK_TITLE", "TARNWICK", Rect{2280, 120, 2055, 360}),
      NOTICE_LABEL(*this, "NOTICE_LABEL", kNotice, Rect{120, 480, 2055, 345}),
      TARNWICK_VERSION(*this, "TARNWICK_VERSION", "Version 1.0", Rect{2280, 480, 2055, 345}),
      TARNWICK_CREATOR(*this, "TARNWICK_CREATOR", kCredit, Rect{120, 840, 4215, 375}),
      PELLUM_PELLUM_CORVANT_BUTTON(*this, "PELLUM_PELLUM_CORVANT_BUTTON", "PELLUM-ON / PELLUM-OFF / CORVANT",
                                   Rect{120, 1320, 4215, 615}),
      QT_DAEMON_CLI_BUTTON(*this, "QT_DAEMON_CLI_BUTTON", "QT / DAEMON / CLI", Rect{120, 2040, 4215, 615}),
      AUTORUN_QT_TICKBOX(*this, "AUTORUN_QT_TICKBOX", "AUTORUN QT", Rect{600, 2880, 1455, 255}, 1),
      AUTORUN_DAEMON_TICKBOX(*this, "AUTORUN_DAEMON_TICKBOX", "AUTORUN DAEMON", Rect{600, 3120, 1935, 255}, 0),
      CLOSE_BUTTON(*this, "CLOSE_BUTTON", "Close", Rect{2880, 2880, 1335, 495}),
      main_(main),
      store_(main.store()) {
  set_title("TARNWICK - SETTINGS");
  for (ui::Label* l : {&MF_TITLE, &TARNWICK_TITLE, &NOTICE_LABEL, &TARNWICK_VERSION, &TARNWICK_CREATOR})
    looks::StyleSettingsTitle(*l);
  AUTORUN_DAEMON_TICKBOX.set_enabled(false);
  SetTabOrder({&CLOSE_BUTTON, &AUTORUN_QT_TICKBOX, &AUTORUN_DAEMON_TICKBOX, &PELLUM_PELLUM_CORVANT_BUTTON,
               &QT_DAEMON_CLI_BUTTON});
  SetDefaultButton(&CLOSE_BUTTON);
  SetCancelButton(&CLOSE_BUTTON);

  AUTORUN_QT_TICKBOX.OnClick([this] {
    AutorunClick(AUTORUN_QT_TICKBOX, AUTORUN_DAEMON_TICKBOX, main_.AUTORUN_DAEMON_TICKBOX, main_.DAEMON_START_LIGHT);
  });
  AUTORUN_DAEMON_TICKBOX.OnClick([this] {
    AutorunClick(AUTORUN_DAEMON_TICKBOX, AUTORUN_QT_TICKBOX, main_.AUTORUN_QT_TICKBOX, main_.QT_START_LIGHT);
  });
  CLOSE_BUTTON.OnClick([this] { CloseButtonClick(); });
  TARNWICK_CREATOR.OnClick([this] { TARNWICK_CREATOR.set_caption(kContact); });
  PELLUM_PELLUM_CORVANT_BUTTON.OnClick([this] {
    this->desktop().Open(std::make_unique<TARNWICK_PELLUM_CORVANT_SETTINGS>(this->desktop(), main_), this);
  });
  QT_DAEMON_CLI_BUTTON.OnClick([this] {
    this->desktop().Open(std::make_unique<TARNWICK_QT_DAEMON_CLI_SETTINGS>(this->desktop(), main_), this);
  });
}

void TARNWICK_SETTINGS::Load() {
  set_geometry(settings::LoadGeometry(store_, settings::kSettingsHubKeys));
  int qt = settings::LoadTick(store_, "AUTORUN_QT_TICKBOX");
  int daemon = settings::LoadTick(store_, "AUTORUN_DAEMON_TICKBOX");
  // The program never stores both as chosen. If something else did, the wallet wins, as it does
  // when the main window loads, so opening the hub does not flip the main window's choice.
  if (qt == 1 && daemon == 1) daemon = 0;
  AUTORUN_QT_TICKBOX.SetState(qt);
  AUTORUN_DAEMON_TICKBOX.SetState(daemon);
  if (AUTORUN_QT_TICKBOX.ticked()) {
    AUTORUN_DAEMON_TICKBOX.SetState(0);
    AUTORUN_DAEMON_TICKBOX.set_enabled(false);
  } else {
    AUTORUN_DAEMON_TICKBOX.set_enabled(true);
  }
  if (AUTORUN_DAEMON_TICKBOX.ticked()) {
    AUTORUN_QT_TICKBOX.SetState(0);
    AUTORUN_QT_TICKBOX.set_enabled(false);
  } else {
    AUTORUN_QT_TICKBOX.set_enabled(true);
  }
}

void TARNWICK_SETTINGS::AutorunClick(ui::TickBox& clicked, ui::TickBox& other, ui::TickBox& main_other,
                                     ui::Label& other_light) {
  if (clicked.ticked()) {
    other.SetState(0);
    other.set_enabled(false);
    CLOSE_BUTTON.set_enabled(true);
    main_other.SetState(0);
    TARNWICK_MAIN::PaintNotSelected(other_light);
  } else {
    other.set_enabled(true);
    CLOSE_BUTTON.set_enabled(false);
    main_other.SetState(1);
    TARNWICK_MAIN::PaintReady(other_light);
  }
}

void TARNWICK_SETTINGS::CloseButtonClick() {
  TARNWICK_MAIN& main = main_;
  settings::StorePosition(store_, settings::kSettingsHubKeys, *this);
  store_.SaveTick("AUTORUN_QT_TICKBOX", AUTORUN_QT_TICKBOX.state());
  store_.SaveTick("AUTORUN_DAEMON_TICKBOX", AUTORUN_DAEMON_TICKBOX.state());
  main.AUTORUN_QT_TICKBOX.SetState(AUTORUN_QT_TICKBOX.state());
  main.AUTORUN_DAEMON_TICKBOX.SetState(AUTORUN_DAEMON_TICKBOX.state());
  CloseWindow();
}

void TARNWICK_SETTINGS::Unload() { settings::StorePosition(store_, settings::kSettingsHubKeys, *this); }
