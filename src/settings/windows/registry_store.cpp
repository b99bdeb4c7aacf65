// The registry backend of the settings store.
#include "settings/windows/registry_store.h"

#include <vector>

#include "process/windows/win32_text.h"

namespace settings {
namespace {

std::wstring KeyPath(std::string_view application, std::string_view section) {
  return L"Software\\" + process::Widen(application) + L"\\" + process::Widen(section);
}

}  // namespace

std::string RegistryStore::GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                      std::string_view default_value) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root_, KeyPath(application, section).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return std::string(default_value);
  const std::wstring name = process::Widen(key);
  std::string result(default_value);
  // The value may grow between asking its size and reading it; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD bytes = 0;
    LONG status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &bytes);
    if (status != ERROR_SUCCESS || type != REG_SZ) break;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &capacity);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS || type != REG_SZ) break;
    std::size_t length = capacity / sizeof(wchar_t);
    // Stored with one terminating NUL (not always: other writers may leave it out).
    if (length > 0 && buffer[length - 1] == L'\0') --length;
    result = process::Narrow(std::wstring_view(buffer.data(), length));
    break;
  }
  RegCloseKey(handle);
  return result;
}

void RegistryStore::SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                                std::string_view value) {
  const std::wstring path = KeyPath(application, section);
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    const std::wstring text = process::Widen(value);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(handle, process::Widen(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            bytes);
    RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) {
    const std::string problem = "cannot save " + std::string(key) + " in HKEY_CURRENT_USER\\" + process::Narrow(path) +
                                " (error " + std::to_string(status) + ")";
    process::ReportProblem(problem);
    if (listener_) listener_(problem);
  }
}

}  // namespace settings
