// The catalogue of stored keys against the documented list, written out here on purpose: a default
// changed in the table must fail this test, not be followed by it. And every window reads only
// catalogued keys, each with the catalogue's default.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>

#include "harness.h"
#include "settings/key_catalogue.h"
#include "settings/pellum_corvant_settings.h"
#include "settings/qt_daemon_cli_settings.h"
#include "settings/settings_hub.h"

namespace {

using settings::KeyKind;

TEST(KeyCatalogue, HoldsExactlyTheDocumentedKeysEncodingsAndDefaults) {
  const std::map<std::string, std::tuple<KeyKind, std::string>> documented = {
      {"MAIN-Left", {KeyKind::Position, "1000"}},
      {"MAIN-Top", {KeyKind::Position, "1000"}},
      {"MAIN-Width", {KeyKind::Size, "9585"}},
      {"MAIN-Height", {KeyKind::Size, "2160"}},
      {"AUTOSTART_TIME_TICKBOX", {KeyKind::Tick, "0"}},
      {"AUTOCLOSE_TIME_TICKBOX", {KeyKind::Tick, "0"}},
      {"AlwaysOnTopTimer_TICKBOX", {KeyKind::Tick, "1"}},
      {"LAST_RUN_TEXTBOX", {KeyKind::Text, "!!! LAST RUN !!!"}},
      {"AUTORUN_QT_TICKBOX", {KeyKind::Tick, "1"}},
      {"AUTORUN_DAEMON_TICKBOX", {KeyKind::Tick, "0"}},
      {"PELLUM-CV-SETTINGS-Left", {KeyKind::Position, "1000"}},
      {"PELLUM-CV-SETTINGS-Top", {KeyKind::Position, "1000"}},
      {"PELLUM-CV-SETTINGS-Width", {KeyKind::Size, "6720"}},
      {"PELLUM-CV-SETTINGS-Height", {KeyKind::Size, "4305"}},
      {"PELLUM_ON_TICKBOX", {KeyKind::Tick, "0"}},
      {"PELLUM_OFF_TICKBOX", {KeyKind::Tick, "0"}},
      {"PELLUM_ON_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"PELLUM_OFF_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"CORVANT_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"CV_FILENAME_TEXTBOX", {KeyKind::Text, ""}},
      {"PELLUM_ON_FULL_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"PELLUM_OFF_FULL_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"CORVANT_FULL_LOCATION_TEXTBOX", {KeyKind::Text, ""}},
      {"QT-D-CLI-SETTINGS-Left", {KeyKind::Position, "1000"}},
      {"QT-D-CLI-SETTINGS-Top", {KeyKind::Position, "1000"}},
      {"QT-D-CLI-SETTINGS-Width", {KeyKind::Size, "6255"}},
      {"QT-D-CLI-SETTINGS-Height", {KeyKind::Size, "5640"}},
      {"QT_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"DAEMOND_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"CLI_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"QT_FILENAME_TEXTBOX", {KeyKind::Text, ""}},
      {"DAEMOND_FILENAME_TEXTBOX", {KeyKind::Text, ""}},
      {"CLI_FILENAME_TEXTBOX", {KeyKind::Text, ""}},
      {"QT_FULL_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"DAEMOND_FULL_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"CLI_FULL_RUN_CMD_TEXTBOX", {KeyKind::Text, ""}},
      {"SETTINGS-Left", {KeyKind::Position, "1000"}},
      {"SETTINGS-Top", {KeyKind::Position, "1000"}},
      {"SETTINGS-Width", {KeyKind::Size, "4575"}},
      {"SETTINGS-Height", {KeyKind::Size, "3900"}},
  };
  std::map<std::string, std::tuple<KeyKind, std::string>> table;
  for (const settings::StoredKey& k : settings::KeyCatalogue())
    EXPECT_TRUE(table.emplace(std::string(k.key), std::tuple{k.kind, std::string(k.default_text)}).second)
        << "twice in the table: " << k.key;
  EXPECT_EQ(table, documented);
}

// A store that remembers the default every read came with.
struct ReadRecordingStore : settings::MemoryStore {
  std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                         std::string_view default_value) override {
    reads.emplace_back(std::string(key), std::string(default_value));
    return MemoryStore::GetSetting(application, section, key, default_value);
  }
  std::vector<std::pair<std::string, std::string>> reads;
};

TEST(KeyCatalogue, EveryWindowReadsCataloguedKeysWithTheCataloguesDefaults) {
  ReadRecordingStore store;
  fakes::FakeProcesses processes;
  fakes::FakeWindowManager wm;
  app::Platform platform{processes, store, wm, "TARNWICK"};
  ui::Desktop desktop;
  auto& main = static_cast<TARNWICK_MAIN&>(desktop.Open(std::make_unique<TARNWICK_MAIN>(desktop, platform), nullptr));
  desktop.Deliver(0, [&] { desktop.UserClick(main.SETTINGS_BUTTON); });
  auto& hub = static_cast<TARNWICK_SETTINGS&>(*desktop.open_forms().back());
  desktop.Deliver(0, [&] { desktop.UserClick(hub.PELLUM_PELLUM_CORVANT_BUTTON); });
  desktop.Deliver(0, [&] { desktop.Close(*desktop.open_forms().back()); });
  desktop.Deliver(0, [&] { desktop.UserClick(hub.QT_DAEMON_CLI_BUTTON); });
  ASSERT_EQ(desktop.open_forms().size(), 3u);

  std::set<std::string> read_keys;
  for (const auto& [key, default_value] : store.reads) {
    read_keys.insert(key);
    const settings::StoredKey* k = settings::FindKey(key);
    ASSERT_NE(k, nullptr) << "read but not catalogued: " << key;
    if (k->kind == KeyKind::Text) EXPECT_EQ(default_value, k->default_text) << key;
    // Numbers may be written another way ("1000" or "1000.0"); they must mean the same.
    else
      EXPECT_EQ(std::stod(default_value), std::stod(std::string(k->default_text))) << key;
  }
  // And nothing in the table goes unread: a key no window reads does not belong there.
  for (const settings::StoredKey& k : settings::KeyCatalogue())
    EXPECT_TRUE(read_keys.count(std::string(k.key))) << "catalogued but never read: " << k.key;
  desktop.CloseAll(0);
}

}  // namespace
