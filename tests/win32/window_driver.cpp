// A test program that does to the real TARNWICK.exe what Windows or another program would: presses
// a button of a window found by its title, sends the session's end, or reads a stored value back.
//   window_driver.exe click TITLE CAPTION [N]      press the N-th (1st) button CAPTION of the window TITLE
//   window_driver.exe close TITLE                  WM_CLOSE, as its close box sends
//   window_driver.exe endsession TITLE yes|no      WM_QUERYENDSESSION, then WM_ENDSESSION(yes/no)
//   window_driver.exe regget SECTION KEY           the stored value's UTF-8 bytes, in hex
//   window_driver.exe regraw SECTION KEY           the stored value's type and its bytes as stored, in hex
//   window_driver.exe regput SECTION KEY TYPE HEX  stores those bytes with that type, as another program may
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

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
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  DWORD_PTR answer = 0;
  if (command == L"close") {
    HWND window = Window(argv[2]);
    return window != nullptr && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (argc < 4) return 2;
  const std::wstring section = std::wstring(L"Software\\TARNWICK\\") + argv[2];
  if (command == L"click") {
    HWND window = Window(argv[2]);
    HWND button = nullptr;
    for (int n = argc > 4 ? _wtoi(argv[4]) : 1; window != nullptr && n > 0; --n)
      button = FindWindowExW(window, button, L"Button", argv[3]);
    if (button == nullptr) return 1;
    return Send(button, BM_CLICK, 0, 0, &answer) ? 0 : 1;
  }
  if (command == L"regraw") {
    // Not RegGetValueW: it would add a terminator the stored bytes may lack.
    BYTE value[80000];
    DWORD size = sizeof value, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, section.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 1;
    const LONG read = RegQueryValueExW(key, argv[3], nullptr, &type, value, &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS) return 1;
    std::printf("%lu ", type);
    for (DWORD i = 0; i < size; ++i) std::printf("%02x", value[i]);
    std::printf("\n");
    return 0;
  }
  if (command == L"regput" && argc == 6) {
    std::vector<BYTE> bytes;
    for (const wchar_t* hex = argv[5]; hex[0] != 0 && hex[1] != 0; hex += 2)
      bytes.push_back(static_cast<BYTE>(std::wcstoul(std::wstring(hex, 2).c_str(), nullptr, 16)));
    return RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), argv[3], static_cast<DWORD>(_wtoi(argv[4])),
                           bytes.data(), static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS
               ? 0
               : 1;
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
    wchar_t value[40000];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, section.c_str(), argv[3], RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
      return 1;
    char utf8[160000];
    const int n = WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, nullptr, nullptr);
    for (int i = 0; i + 1 < n; ++i) std::printf("%02x", static_cast<unsigned char>(utf8[i]));
    std::printf("\n");
    return 0;
  }
  return 2;
}
