// The window-manager port used to keep the main window on top: which window has the foreground,
// and moving a window into or out of the topmost band without moving or resizing it.
#pragma once
#include <cstdint>

namespace ui {

class Form;

using NativeWindow = std::uintptr_t;  // 0: no window
inline constexpr NativeWindow kNoWindow = 0;

class WindowManager {
 public:
  virtual ~WindowManager() = default;
  virtual NativeWindow WindowOf(const Form& form) = 0;
  virtual NativeWindow ForegroundWindow() = 0;
  // Moves the window into or out of the topmost band without activating it: the user's keyboard
  // stays where it is. A call naming no window has no effect.
  virtual void SetTopmost(NativeWindow window, bool topmost) = 0;
};

// For a program without a window manager to talk to (and for tests that do not look at stacking).
class NoWindowManager : public WindowManager {
 public:
  NativeWindow WindowOf(const Form&) override { return kNoWindow; }
  NativeWindow ForegroundWindow() override { return kNoWindow; }
  void SetTopmost(NativeWindow, bool) override {}
};

}  // namespace ui
