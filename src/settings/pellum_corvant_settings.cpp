// The helper-tools settings window: its controls, load, tick boxes, Save, Cancel and Close.
#include "settings/pellum_corvant_settings.h"
#include "settings/key_catalogue.h"

#include "app/main_window.h"
#include "process/platform_names.h"
#include "settings/window_looks.h"

using ui::Rect;

namespace {

void SetFolderEditable(ui::TextBox& folder, bool editable) {
  folder.set_enabled(editable);
  folder.set_read_only(!editable);
}

}  // namespace

TARNWICK_PELLUM_CORVANT_SETTINGS::TARNWICK_PELLUM_CORVANT_SETTINGS(ui::Desktop& desktop, TARNWICK_MAIN& main)
    : ui::Form(desktop, "TARNWICK_PELLUM_CORVANT_SETTINGS"),
      MF_TITLE(*this, "MF_TITLE", "MERRIFOLD", Rect{120, 120, 2895, 360}),
      TARNWICK_TITLE(*this, "TARNWICK_TITLE", "TARNWICK", Rect{3120, 120, 3375, 360}),
      PELLUM_ON_TICKBOX(*this, "PELLUM_ON_TICKBOX", "PELLUM-ON - Folder Location", Rect{240, 600, 6135, 255}, 0),
      PELLUM_ON_LOCATION_TEXTBOX(*this, "PELLUM_ON_LOCATION_TEXTBOX", "", Rect{240, 840, 6135, 405}),
      PELLUM_OFF_TICKBOX(*this, "PELLUM_OFF_TICKBOX", "PELLUM-OFF - Folder Location", Rect{240, 1440, 6135, 255}, 0),
      PELLUM_OFF_LOCATION_TEXTBOX(*this, "PELLUM_OFF_LOCATION_TEXTBOX", "", Rect{240, 1680, 6135, 405}),
      CORVANT_LOCATION_LABEL(*this, "CORVANT_LOCATION_LABEL", "CORVANT - Folder Location", Rect{240, 2280, 6135, 255}),
      CORVANT_LOCATION_TEXTBOX(*this, "CORVANT_LOCATION_TEXTBOX", "", Rect{240, 2520, 6135, 405}),
      CV_FILENAME_LABEL(*this, "CV_FILENAME_LABEL", "MF-CORVANT.EXE - Filename", Rect{240, 3000, 6135, 255}),
      CV_FILENAME_TEXTBOX(*this, "CV_FILENAME_TEXTBOX", "", Rect{240, 3240, 3615, 405}),
      SAVE_BUTTON(*this, "SAVE_BUTTON", "Save", Rect{4080, 3120, 975, 615}),
      CANCEL_BUTTON(*this, "CANCEL_BUTTON", "Cancel", Rect{5280, 3120, 975, 615}),
      BACKSLASH_TEXTBOX(*this, "BACKSLASH_TEXTBOX", std::string(1, process::kFolderSeparator),
                        Rect{600, 4080, 615, 285}),
      PELLUM_ON_FILENAME_TEXTBOX(*this, "PELLUM_ON_FILENAME_TEXTBOX", std::string(process::kPellumOnFileName),
                                 Rect{1440, 4080, 1695, 285}),
      PELLUM_OFF_FILENAME_TEXTBOX(*this, "PELLUM_OFF_FILENAME_TEXTBOX", std::string(process::kPellumOffFileName),
                                  Rect{1440, 4320, 1695, 285}),
      main_(main),
      store_(main.store()) {
  set_title("TARNWICK - PELLUM & CORVANT - SETTINGS");
  looks::StyleSettingsTitle(MF_TITLE);
  looks::StyleSettingsTitle(TARNWICK_TITLE);
  for (ui::Control* c : std::initializer_list<ui::Control*>{
           &PELLUM_ON_TICKBOX, &PELLUM_ON_LOCATION_TEXTBOX, &PELLUM_OFF_TICKBOX, &PELLUM_OFF_LOCATION_TEXTBOX,
           &CORVANT_LOCATION_LABEL, &CORVANT_LOCATION_TEXTBOX, &CV_FILENAME_LABEL, &CV_FILENAME_TEXTBOX})
    looks::StyleField(*c);
  SetFolderEditable(PELLUM_ON_LOCATION_TEXTBOX, false);
  SetFolderEditable(PELLUM_OFF_LOCATION_TEXTBOX, false);
  for (ui::TextBox* constant : {&BACKSLASH_TEXTBOX, &PELLUM_ON_FILENAME_TEXTBOX, &PELLUM_OFF_FILENAME_TEXTBOX})
    constant->set_rendered(false);
  SetTabOrder({&CANCEL_BUTTON, &PELLUM_ON_TICKBOX, &PELLUM_ON_LOCATION_TEXTBOX, &PELLUM_OFF_TICKBOX,
               &PELLUM_OFF_LOCATION_TEXTBOX, &CORVANT_LOCATION_TEXTBOX, &CV_FILENAME_TEXTBOX, &SAVE_BUTTON});
  SetDefaultButton(&CANCEL_BUTTON);
  SetCancelButton(&CANCEL_BUTTON);

  PELLUM_ON_TICKBOX.OnClick(
      [this] { TickBoxClick(PELLUM_ON_TICKBOX, PELLUM_ON_LOCATION_TEXTBOX, main_.PELLUM_ON_LIGHT); });
  PELLUM_OFF_TICKBOX.OnClick(
      [this] { TickBoxClick(PELLUM_OFF_TICKBOX, PELLUM_OFF_LOCATION_TEXTBOX, main_.PELLUM_OFF_LIGHT); });
  SAVE_BUTTON.OnClick([this] { SaveClick(); });
  CANCEL_BUTTON.OnClick([this] {
    settings::StorePosition(store_, settings::kPellumCorvantKeys, *this);
    CloseWindow();
  });
}

void TARNWICK_PELLUM_CORVANT_SETTINGS::Load() {
  set_geometry(settings::LoadGeometry(store_, settings::kPellumCorvantKeys));
  PELLUM_ON_TICKBOX.SetState(settings::LoadTick(store_, "PELLUM_ON_TICKBOX"));
  PELLUM_OFF_TICKBOX.SetState(settings::LoadTick(store_, "PELLUM_OFF_TICKBOX"));
  for (ui::TextBox* box :
       {&PELLUM_ON_LOCATION_TEXTBOX, &PELLUM_OFF_LOCATION_TEXTBOX, &CORVANT_LOCATION_TEXTBOX, &CV_FILENAME_TEXTBOX})
    box->set_text(settings::LoadText(store_, box->name()));
  SetFolderEditable(PELLUM_ON_LOCATION_TEXTBOX, PELLUM_ON_TICKBOX.ticked());
  SetFolderEditable(PELLUM_OFF_LOCATION_TEXTBOX, PELLUM_OFF_TICKBOX.ticked());
}

void TARNWICK_PELLUM_CORVANT_SETTINGS::TickBoxClick(ui::TickBox& box, ui::TextBox& folder, ui::Label& light) {
  // Repaints the main window's light at once; nothing is stored until Save.
  SetFolderEditable(folder, box.ticked());
  box.ticked() ? TARNWICK_MAIN::PaintReady(light) : TARNWICK_MAIN::PaintSwitchedOff(light);
}

void TARNWICK_PELLUM_CORVANT_SETTINGS::SaveClick() {
  TARNWICK_MAIN& main = main_;
  store_.SaveTick("PELLUM_ON_TICKBOX", PELLUM_ON_TICKBOX.state());
  store_.SaveTick("PELLUM_OFF_TICKBOX", PELLUM_OFF_TICKBOX.state());
  for (ui::TextBox* box :
       {&PELLUM_ON_LOCATION_TEXTBOX, &PELLUM_OFF_LOCATION_TEXTBOX, &CORVANT_LOCATION_TEXTBOX, &CV_FILENAME_TEXTBOX})
    store_.SaveText(box->name(), box->text());
  main.PELLUM_ON_TICKBOX.SetState(PELLUM_ON_TICKBOX.state());
  main.PELLUM_OFF_TICKBOX.SetState(PELLUM_OFF_TICKBOX.state());
  main.CV_FILENAME_TEXTBOX.set_text(CV_FILENAME_TEXTBOX.text());
  // Folder, separator and file name joined as they stand: nothing typed is trimmed or checked.
  const std::string& sep = BACKSLASH_TEXTBOX.text();
  main.PELLUM_ON_FULL_LOCATION_TEXTBOX.set_text(PELLUM_ON_LOCATION_TEXTBOX.text() + sep +
                                                PELLUM_ON_FILENAME_TEXTBOX.text());
  main.PELLUM_OFF_FULL_LOCATION_TEXTBOX.set_text(PELLUM_OFF_LOCATION_TEXTBOX.text() + sep +
                                                 PELLUM_OFF_FILENAME_TEXTBOX.text());
  main.CORVANT_FULL_LOCATION_TEXTBOX.set_text(CORVANT_LOCATION_TEXTBOX.text() + sep + CV_FILENAME_TEXTBOX.text());
  for (ui::TextBox* full : {&main.PELLUM_ON_FULL_LOCATION_TEXTBOX, &main.PELLUM_OFF_FULL_LOCATION_TEXTBOX,
                            &main.CORVANT_FULL_LOCATION_TEXTBOX})
    store_.SaveText(full->name(), full->text());
  CANCEL_BUTTON.set_caption("Close");
}

void TARNWICK_PELLUM_CORVANT_SETTINGS::Unload() {
  settings::StorePosition(store_, settings::kPellumCorvantKeys, *this);
}
