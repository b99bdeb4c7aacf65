// The always-on-top port on Windows.
#pragma once
#include <windows.h>

#include "frontend/win32/win32_host.h"
#include "ui/window_manager.h"

namespace win32 {

// The always-on-top port: the forms' native windows and the topmost band.
class Win32WindowManager : public ui::WindowManager {
 public:
  explicit Win32WindowManager(const Win32Host& host) : host_(host) {}
  ui::NativeWindow WindowOf(const ui::Form& form) override;
  ui::NativeWindow ForegroundWindow() override;
  void SetTopmost(ui::NativeWindow window, bool topmost) override;

 private:
  const Win32Host& host_;
};

}  // namespace win32
