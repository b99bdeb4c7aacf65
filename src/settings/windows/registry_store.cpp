// The registry backend of the settings store.
#include "settings/windows/registry_store.h"

#include <algorithm>
#include <vector>

#include "process/windows/win32_text.h"

namespace settings {
namespace {

std::wstring KeyPath(std::string_view application, std::string_view section) {
  return L"Software\\" + process::Widen(application) + L"\\" + process::Widen(section);
}

// Text values: a user typing into the registry editor may well make an expandable string. Either is
// read as it stands; expanding it would hand the core a text the user never wrote.
bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

std::string RegistryStore::GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                      std::string_view default_value) {
  const Address address{std::string(application), std::string(section), std::string(key)};
  read_.erase(address);
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root_, KeyPath(application, section).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return std::string(default_value);
  const std::wstring name = process::Widen(key);
  std::string result(default_value);
  // The value may grow between asking its size and reading it; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS || !IsText(type)) break;
    // Never an empty buffer: reading into none only asks for the size.
    std::vector<BYTE> bytes(std::max<DWORD>(size, sizeof(wchar_t)), 0);
    DWORD capacity = static_cast<DWORD>(bytes.size());
    status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, bytes.data(), &capacity);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS || !IsText(type)) break;
    bytes.resize(capacity);
    std::wstring text(capacity / sizeof(wchar_t), L'\0');
    std::copy_n(bytes.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    // Stored with one terminating NUL (not always: other writers may leave it out).
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    result = process::Narrow(text);
    read_[address] = ReadValue{result, type, std::move(bytes)};
    break;
  }
  RegCloseKey(handle);
  return result;
}

void RegistryStore::SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                                std::string_view value) {
  const std::wstring path = KeyPath(application, section);
  const auto read = read_.find(Address{std::string(application), std::string(section), std::string(key)});
  const bool unchanged = read != read_.end() && read->second.text == value;
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    const std::wstring name = process::Widen(key);
    if (unchanged) {
      // Windows counts in a NUL that follows a string stored without one; a character that is not
      // NUL after the bytes keeps them exactly as they were.
      std::vector<BYTE> bytes = read->second.bytes;
      const DWORD size = static_cast<DWORD>(bytes.size());
      bytes.insert(bytes.end(), sizeof(wchar_t), 0xFF);
      status = RegSetValueExW(handle, name.c_str(), 0, read->second.type, bytes.data(), size);
    } else {
      const std::wstring text = process::Widen(value);
      const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
      status = RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    }
    RegCloseKey(handle);
  }
  // What is stored now is no longer what was read.
  if (!unchanged && read != read_.end()) read_.erase(read);
  if (status != ERROR_SUCCESS) {
    const std::string problem = "cannot save " + std::string(key) + " in HKEY_CURRENT_USER\\" + process::Narrow(path) +
                                " (error " + std::to_string(status) + ")";
    process::ReportProblem(problem);
    if (listener_) listener_(problem);
  }
}

}  // namespace settings
