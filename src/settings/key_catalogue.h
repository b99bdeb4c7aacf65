// Every key the program keeps in the store, with its encoding and the default read when the key is
// absent or unreadable, and the two helpers through which every window reads and writes its geometry.
#pragma once
#include <span>
#include <string_view>

#include "settings/store.h"
#include "ui/form.h"

namespace settings {

enum class KeyKind { Position, Size, Tick, Text };

struct StoredKey {
  std::string_view key;
  KeyKind kind;
  std::string_view default_text;  // as it would be stored
};

// The geometry key prefixes of the four windows: "<prefix>-Left", "-Top", "-Width", "-Height".
inline constexpr std::string_view kMainWindowKeys = "MAIN";
inline constexpr std::string_view kSettingsHubKeys = "SETTINGS";
inline constexpr std::string_view kPellumCorvantKeys = "PELLUM-CV-SETTINGS";
inline constexpr std::string_view kQtDaemonCliKeys = "QT-D-CLI-SETTINGS";

// The whole catalogue, geometry keys spelt out.
std::span<const StoredKey> KeyCatalogue();
// The catalogue's entry for a key; nullptr for a key the program does not store.
const StoredKey* FindKey(std::string_view key);

// A tick box's or text box's stored value, with the catalogue's default for its key.
int LoadTick(const Section& store, std::string_view key);
std::string LoadText(const Section& store, std::string_view key);

// A window's geometry: all four keys of the prefix, each with its default. Windows store back only
// their position: the size they open with is always read, never written.
ui::Geometry LoadGeometry(const Section& store, std::string_view prefix);
void StorePosition(const Section& store, std::string_view prefix, const ui::Form& form);

}  // namespace settings
