// Small Win32 helpers of the renderer: DPI queries that work on every Windows version, window
// styles, text of native windows, and placing a window on a monitor.
#include "frontend/win32/native.h"

#include <vector>

#include "process/windows/win32_text.h"
#include "ui/layout.h"

namespace win32 {

namespace {

// Functions of newer Windows versions, looked up at run time so the program still starts without.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

template <typename Fn>
Fn Lookup(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  if (handle == nullptr) handle = LoadLibraryW(module);
  if (handle == nullptr) return nullptr;
  // Through the generic function type, which the compiler accepts as a cast to any other.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& w = info.rcWork;
    reinterpret_cast<std::vector<ui::ScreenRect>*>(areas)->push_back(ui::ScreenRect{w.left, w.top, w.right, w.bottom});
  }
  return TRUE;
}

}  // namespace

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND hwnd) {
  static const auto get_dpi = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (get_dpi != nullptr) {
    const UINT dpi = get_dpi(hwnd);
    if (dpi != 0) return dpi;
  }
  return SystemDpi();
}

UINT MonitorDpi(HMONITOR monitor) {
  static const auto get_dpi = Lookup<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get_dpi != nullptr && get_dpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) == S_OK && y != 0) return y;
  return SystemDpi();
}

// The outer size of a window whose client area is `client` pixels, at `dpi`.
SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  static const auto adjust = Lookup<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (adjust == nullptr || !adjust(&rect, style, FALSE, ex_style, dpi))
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

COLORREF ToColorRef(ui::Colour colour) { return RGB(colour.red(), colour.green(), colour.blue()); }

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

// Typing a character beyond the Basic Multilingual Plane changes an edit control twice, once per
// half of its surrogate pair; text with half a pair is the control between those two changes.
bool HasLoneSurrogate(std::wstring_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void SetTextIfDifferent(HWND hwnd, const std::string& utf8) {
  const std::wstring wanted = process::Widen(utf8);
  if (WindowText(hwnd) != wanted) SetWindowTextW(hwnd, wanted.c_str());
}

DWORD FormStyle(const ui::Form& form) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (form.main_style()) style |= WS_MINIMIZEBOX;
  return style;
}

DWORD FormExStyle(const ui::Form& form) { return form.main_style() ? WS_EX_APPWINDOW : 0; }

// Where a window of this outer size goes: wholly on the monitor it mostly lies on, moved as little
// as that takes (the rule both front ends share).
RECT PlaceOnAMonitor(RECT wanted) {
  std::vector<ui::ScreenRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, &AddWorkArea, reinterpret_cast<LPARAM>(&areas));
  const ui::ScreenRect placed =
      ui::PlaceOnMonitor(ui::ScreenRect{wanted.left, wanted.top, wanted.right, wanted.bottom}, areas);
  return RECT{placed.left, placed.top, placed.right, placed.bottom};
}

}  // namespace win32
