// Small Win32 helpers and constants the renderer's host and form-window parts share.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "ui/form.h"

namespace win32 {

inline constexpr wchar_t kFormClass[] = L"TARNWICK_FORM";
inline constexpr wchar_t kTimerClass[] = L"TARNWICK_TIMER";
inline constexpr UINT_PTR kCoreTimer = 1;
// Armed when the last window has gone: it fires only if another loop holds on to the program.
inline constexpr UINT_PTR kEndTimer = 2;
inline constexpr int kFirstControlId = 100;  // below it: IDOK, IDCANCEL and the other dialog ids
inline constexpr double kDefaultPoints = 8.25;
inline constexpr wchar_t kDefaultFamily[] = L"MS Shell Dlg";

// The DPI of the screen, of a window and of a monitor; the system's when Windows cannot say.
UINT SystemDpi();
UINT WindowDpi(HWND hwnd);
UINT MonitorDpi(HMONITOR monitor);
// The outer size of a window whose client area is `client` pixels, at `dpi`.
SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi);
COLORREF ToColorRef(ui::Colour colour);
std::wstring WindowText(HWND hwnd);
// Typing a character beyond the Basic Multilingual Plane changes an edit control twice, once per
// half of its surrogate pair; text with half a pair is the control between those two changes.
bool HasLoneSurrogate(std::wstring_view text);
void SetTextIfDifferent(HWND hwnd, const std::string& utf8);
DWORD FormStyle(const ui::Form& form);
DWORD FormExStyle(const ui::Form& form);
// Where a window of this outer size goes: wholly on the monitor it mostly lies on, moved as little
// as that takes (the rule both front ends share, ui::PlaceOnMonitor).
RECT PlaceOnAMonitor(RECT wanted);

}  // namespace win32
