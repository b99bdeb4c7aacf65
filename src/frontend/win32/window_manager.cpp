// The always-on-top port on Windows: the forms' native windows and the topmost band.
#include "frontend/win32/window_manager.h"

namespace win32 {

ui::NativeWindow Win32WindowManager::WindowOf(const ui::Form& form) {
  return reinterpret_cast<ui::NativeWindow>(host_.WindowOf(form));
}

ui::NativeWindow Win32WindowManager::ForegroundWindow() {
  return reinterpret_cast<ui::NativeWindow>(GetForegroundWindow());
}

void Win32WindowManager::SetTopmost(ui::NativeWindow window, bool topmost) {
  if (window == ui::kNoWindow) return;
  // Never activating: a tick once a second must not take the keyboard from the window the user types in.
  SetWindowPos(reinterpret_cast<HWND>(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

}  // namespace win32
