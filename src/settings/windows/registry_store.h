// The settings store on Windows: HKEY_CURRENT_USER\Software\<application>\<section>, one REG_SZ
// value a key, as UTF-16 text.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "settings/store.h"

namespace settings {

class RegistryStore : public SettingsStore {
 public:
  // `root` is where "Software\..." lies: the current user's hive, or for tests a key they choose.
  explicit RegistryStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

  // A value of any type but REG_SZ reads as the default, as an absent one does.
  std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  // A failed write is reported (debugger and standard error, and the listener if set); the program
  // carries on with the value it has.
  void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view value) override;

  void set_problem_listener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }

 private:
  HKEY root_;
  std::function<void(const std::string&)> listener_;
};

}  // namespace settings
