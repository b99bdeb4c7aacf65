// A test program that does to the real TARNWICK.exe what Windows or another program would: presses
// a button of a window found by its title, sends the session's end, or reads a stored value back.
//   window_driver.exe click TITLE CAPTION          press the button CAPTION of the window TITLE
//   window_driver.exe endsession TITLE yes|no      WM_QUERYENDSESSION, then WM_ENDSESSION(yes/no)
//   window_driver.exe regget SECTION KEY           the stored value's UTF-8 bytes, in hex
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool Send(HWND to, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* answer) {
  return SendMessageTimeoutW(to, message, wparam, lparam, SMTO_NORMAL, 10000, answer) != 0;
}

HWND Window(const wchar_t* title) {
  HWND window = FindWindowW(nullptr, title);
  if (window == nullptr) std::fwprintf(stderr, L"no window \"%ls\"\n", title);
  return window;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring command = argv[1];
  DWORD_PTR answer = 0;
  if (command == L"click") {
    HWND window = Window(argv[2]);
    HWND button = window != nullptr ? FindWindowExW(window, nullptr, L"Button", argv[3]) : nullptr;
    if (button == nullptr) return 1;
    return Send(button, BM_CLICK, 0, 0, &answer) ? 0 : 1;
  }
  if (command == L"endsession") {
    HWND window = Window(argv[2]);
    if (window == nullptr) return 1;
    if (!Send(window, WM_QUERYENDSESSION, 0, 0, &answer)) return 1;
    std::printf("query answered %s\n", answer ? "TRUE" : "FALSE");
    const bool ends = std::wstring(argv[3]) == L"yes";
    Send(window, WM_ENDSESSION, ends ? TRUE : FALSE, 0, &answer);  // a window that closed cannot answer
    return 0;
  }
  if (command == L"regget") {
    const std::wstring path = std::wstring(L"Software\\TARNWICK\\") + argv[2];
    wchar_t value[40000];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), argv[3], RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
      return 1;
    char utf8[160000];
    const int n = WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, nullptr, nullptr);
    for (int i = 0; i + 1 < n; ++i) std::printf("%02x", static_cast<unsigned char>(utf8[i]));
    std::printf("\n");
    return 0;
  }
  return 2;
}
