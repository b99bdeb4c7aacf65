// The table of stored keys and the geometry helpers built on it.
#include "settings/key_catalogue.h"

#include <array>
#include <string>

namespace settings {

namespace {

using enum KeyKind;

constexpr std::array kCatalogue{
    // The main window.
    StoredKey{"MAIN-Left", Position, "1000"},
    StoredKey{"MAIN-Top", Position, "1000"},
    StoredKey{"MAIN-Width", Size, "9585"},
    StoredKey{"MAIN-Height", Size, "2160"},
    StoredKey{"AUTOSTART_TIME_TICKBOX", Tick, "0"},
    StoredKey{"AUTOCLOSE_TIME_TICKBOX", Tick, "0"},
    StoredKey{"AlwaysOnTopTimer_TICKBOX", Tick, "1"},
    StoredKey{"LAST_RUN_TEXTBOX", Text, "!!! LAST RUN !!!"},
    StoredKey{"AUTORUN_QT_TICKBOX", Tick, "1"},
    StoredKey{"AUTORUN_DAEMON_TICKBOX", Tick, "0"},
    // The helper-tools settings window.
    StoredKey{"PELLUM-CV-SETTINGS-Left", Position, "1000"},
    StoredKey{"PELLUM-CV-SETTINGS-Top", Position, "1000"},
    StoredKey{"PELLUM-CV-SETTINGS-Width", Size, "6720"},
    StoredKey{"PELLUM-CV-SETTINGS-Height", Size, "4305"},
    StoredKey{"PELLUM_ON_TICKBOX", Tick, "0"},
    StoredKey{"PELLUM_OFF_TICKBOX", Tick, "0"},
    StoredKey{"PELLUM_ON_LOCATION_TEXTBOX", Text, ""},
    StoredKey{"PELLUM_OFF_LOCATION_TEXTBOX", Text, ""},
    StoredKey{"CORVANT_LOCATION_TEXTBOX", Text, ""},
    StoredKey{"CV_FILENAME_TEXTBOX", Text, ""},
    StoredKey{"PELLUM_ON_FULL_LOCATION_TEXTBOX", Text, ""},
    StoredKey{"PELLUM_OFF_FULL_LOCATION_TEXTBOX", Text, ""},
    StoredKey{"CORVANT_FULL_LOCATION_TEXTBOX", Text, ""},
    // The node-programs settings window.
    StoredKey{"QT-D-CLI-SETTINGS-Left", Position, "1000"},
    StoredKey{"QT-D-CLI-SETTINGS-Top", Position, "1000"},
    StoredKey{"QT-D-CLI-SETTINGS-Width", Size, "6255"},
    StoredKey{"QT-D-CLI-SETTINGS-Height", Size, "5640"},
    StoredKey{"QT_RUN_CMD_TEXTBOX", Text, ""},
    StoredKey{"DAEMOND_RUN_CMD_TEXTBOX", Text, ""},
    StoredKey{"CLI_RUN_CMD_TEXTBOX", Text, ""},
    StoredKey{"QT_FILENAME_TEXTBOX", Text, ""},
    StoredKey{"DAEMOND_FILENAME_TEXTBOX", Text, ""},
    StoredKey{"CLI_FILENAME_TEXTBOX", Text, ""},
    StoredKey{"QT_FULL_RUN_CMD_TEXTBOX", Text, ""},
    StoredKey{"DAEMOND_FULL_RUN_CMD_TEXTBOX", Text, ""},
    StoredKey{"CLI_FULL_RUN_CMD_TEXTBOX", Text, ""},
    // The settings hub.
    StoredKey{"SETTINGS-Left", Position, "1000"},
    StoredKey{"SETTINGS-Top", Position, "1000"},
    StoredKey{"SETTINGS-Width", Size, "4575"},
    StoredKey{"SETTINGS-Height", Size, "3900"},
};

// A key missing from the table is a programming error; in a release build it reads as empty text
// or a clear tick box rather than ending the program.
const StoredKey& Entry(std::string_view key, KeyKind kind) {
  static constexpr StoredKey kUnknownText{"", Text, ""};
  static constexpr StoredKey kUnknownTick{"", Tick, "0"};
  static constexpr StoredKey kUnknownGeometry{"", Position, "0"};
  if (const StoredKey* k = FindKey(key)) return *k;
  if (kind == Tick) return kUnknownTick;
  return kind == Text ? kUnknownText : kUnknownGeometry;
}

float LoadGeometryKey(const Section& store, const std::string& key) {
  const StoredKey& k = Entry(key, Position);
  GeometryKind kind = k.kind == Size ? GeometryKind::Size : GeometryKind::Position;
  return store.Geometry(key, DecodeGeometry(k.default_text, kind).value_or(0), kind);
}

}  // namespace

std::span<const StoredKey> KeyCatalogue() { return kCatalogue; }

const StoredKey* FindKey(std::string_view key) {
  for (const StoredKey& k : kCatalogue)
    if (k.key == key) return &k;
  return nullptr;
}

int LoadTick(const Section& store, std::string_view key) {
  return store.Tick(key, DecodeTick(Entry(key, Tick).default_text).value_or(0));
}

std::string LoadText(const Section& store, std::string_view key) {
  return store.Text(key, Entry(key, Text).default_text);
}

ui::Geometry LoadGeometry(const Section& store, std::string_view prefix) {
  std::string p(prefix);
  return {LoadGeometryKey(store, p + "-Left"), LoadGeometryKey(store, p + "-Top"), LoadGeometryKey(store, p + "-Width"),
          LoadGeometryKey(store, p + "-Height")};
}

void StorePosition(const Section& store, std::string_view prefix, const ui::Form& form) {
  std::string p(prefix);
  store.SaveGeometry(p + "-Left", form.left());
  store.SaveGeometry(p + "-Top", form.top());
}

}  // namespace settings
