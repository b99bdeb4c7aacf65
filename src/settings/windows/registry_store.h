// The settings store on Windows: HKEY_CURRENT_USER\Software\<application>\<section>, one REG_SZ
// value a key, as UTF-16 text.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "settings/store.h"

namespace settings {

class RegistryStore : public SettingsStore {
 public:
  // `root` is where "Software\..." lies: the current user's hive, or for tests a key they choose.
  explicit RegistryStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

  // REG_SZ and REG_EXPAND_SZ read as their text (never expanded); a value of any other type reads
  // as the default, as an absent one does.
  std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  // Saving the very text last read for the key writes back the bytes and type it was read from: UTF-8
  // cannot carry every UTF-16 value (half a surrogate pair reads as U+FFFD), and a value the program
  // did not change must not change. Any other text is written as REG_SZ. A failed write is reported
  // (debugger and standard error, and the listener if set); the program carries on with its value.
  void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view value) override;

  void set_problem_listener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }

 private:
  struct ReadValue {
    std::string text;  // as handed to the core
    DWORD type = REG_SZ;
    std::vector<BYTE> bytes;  // as stored, terminator or not
  };
  using Address = std::tuple<std::string, std::string, std::string>;

  HKEY root_;
  std::function<void(const std::string&)> listener_;
  std::map<Address, ReadValue> read_;
};

}  // namespace settings
