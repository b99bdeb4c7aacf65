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
  std::map<std::string, std::tuple<KeyKind, std::string>> documented = {
      {"LAST_RUN_TEXTBOX", {KeyKind::Text, "!!! LAST RUN !!!"}}};
  const std::pair<const char*, const char*> sizes[] = {{"MAIN-Width", "9585"},
                                                       {"MAIN-Height", "2160"},
                                                       {"SETTINGS-Width", "4575"},
                                                       {"SETTINGS-Height", "3900"},
                                                       {"PELLUM-CV-SETTINGS-Width", "6720"},
                                                       {"PELLUM-CV-SETTINGS-Height", "4305"},
                                                       {"QT-D-CLI-SETTINGS-Width", "6255"},
                                                       {"QT-D-CLI-SETTINGS-Height", "5640"}};
  for (const auto& [key, dflt] : sizes) documented[key] = {KeyKind::Size, dflt};
  for (const char* key : {"MAIN-Left", "MAIN-Top", "SETTINGS-Left", "SETTINGS-Top", "PELLUM-CV-SETTINGS-Left",
                          "PELLUM-CV-SETTINGS-Top", "QT-D-CLI-SETTINGS-Left", "QT-D-CLI-SETTINGS-Top"})
    documented[key] = {KeyKind::Position, "1000"};
  for (const char* key : {"AUTOSTART_TIME_TICKBOX", "AUTOCLOSE_TIME_TICKBOX", "AUTORUN_DAEMON_TICKBOX",
                          "PELLUM_ON_TICKBOX", "PELLUM_OFF_TICKBOX"})
    documented[key] = {KeyKind::Tick, "0"};
  for (const char* key : {"AlwaysOnTopTimer_TICKBOX", "AUTORUN_QT_TICKBOX"}) documented[key] = {KeyKind::Tick, "1"};
  for (const char* key :
       {"PELLUM_ON_LOCATION_TEXTBOX", "PELLUM_OFF_LOCATION_TEXTBOX", "CORVANT_LOCATION_TEXTBOX", "CV_FILENAME_TEXTBOX",
        "PELLUM_ON_FULL_LOCATION_TEXTBOX", "PELLUM_OFF_FULL_LOCATION_TEXTBOX", "CORVANT_FULL_LOCATION_TEXTBOX",
        "QT_RUN_CMD_TEXTBOX", "DAEMOND_RUN_CMD_TEXTBOX", "CLI_RUN_CMD_TEXTBOX", "QT_FILENAME_TEXTBOX",
        "DAEMOND_FILENAME_TEXTBOX", "CLI_FILENAME_TEXTBOX", "QT_FULL_RUN_CMD_TEXTBOX", "DAEMOND_FULL_RUN_CMD_TEXTBOX",
        "CLI_FULL_RUN_CMD_TEXTBOX"})
    documented[key] = {KeyKind::Text, ""};
  ASSERT_EQ(documented.size(), 40u) << "a key twice in the lists above";
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
