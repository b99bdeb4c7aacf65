// A test program standing for another program the user types in: a window that appends every
// character it receives, in UTF-8, to the file named on its command line.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

FILE* out = nullptr;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CHAR && out != nullptr) {
    const wchar_t unit = static_cast<wchar_t>(wparam);
    char utf8[8] = {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, &unit, 1, utf8, sizeof utf8, nullptr, nullptr);
    std::fwrite(utf8, 1, static_cast<std::size_t>(n), out);
    std::fflush(out);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  out = _wfopen(command_line, L"ab");
  if (out == nullptr) return 2;
  WNDCLASSW cls{};
  cls.lpfnWndProc = &Proc;
  cls.hInstance = instance;
  cls.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  cls.lpszClassName = L"TARNWICK_KEY_RECORDER";
  RegisterClassW(&cls);
  HWND window = CreateWindowExW(0, cls.lpszClassName, L"TARNWICK key recorder", WS_OVERLAPPEDWINDOW, 40, 300, 500, 200,
                                nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  std::fclose(out);
  return 0;
}
