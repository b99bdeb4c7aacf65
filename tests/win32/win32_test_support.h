// What the Windows tests add to tests/support/test_helpers.h (WaitFor, TempFolder, ReadFile): this
// test program's own path, and a path in UTF-8.
#pragma once
#include <windows.h>

#include <filesystem>
#include <string>

#include "test_helpers.h"

namespace win32_test {

namespace fs = std::filesystem;
using test_support::TempFolder;
using test_support::WaitFor;

inline fs::path Self() {
  wchar_t self[MAX_PATH * 4];
  return fs::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 4)));
}

inline std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace win32_test
