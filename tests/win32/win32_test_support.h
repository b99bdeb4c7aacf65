// Shared by the Windows tests: a private temporary folder, this test program's own path, and
// waiting for a condition with a generous deadline.
#pragma once
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

namespace win32_test {

namespace fs = std::filesystem;

inline fs::path Self() {
  wchar_t self[MAX_PATH * 4];
  return fs::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 4)));
}

// A folder of its own under %TEMP%, removed with everything in it when the test ends.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static int counter = 0;
    path_ = fs::path(temp) /
            (L"tarnwick-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Polls `done` until it holds or `deadline` passes; says whether it held.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

inline std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace win32_test
