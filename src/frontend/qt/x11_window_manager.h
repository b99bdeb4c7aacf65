// The window-manager port on Linux: EWMH through xcb where an X11 window manager supports it, and
// Qt's stays-on-top hint elsewhere (Wayland, or a window manager without the EWMH atoms).
#pragma once
#include <memory>
#include <set>

class QWidget;

#include "ui/window_manager.h"

namespace qt_frontend {

class QtHost;

class X11WindowManager : public ui::WindowManager {
 public:
  explicit X11WindowManager(QtHost& host);
  ~X11WindowManager() override;
  X11WindowManager(const X11WindowManager&) = delete;
  X11WindowManager& operator=(const X11WindowManager&) = delete;

  ui::NativeWindow WindowOf(const ui::Form& form) override;
  ui::NativeWindow ForegroundWindow() override;
  void SetTopmost(ui::NativeWindow window, bool topmost) override;

  // Whether the running window manager takes _NET_WM_STATE_ABOVE requests (asked once, on first use).
  bool UsesEwmh();
  // A window about to be shown for the first time: one owned by a topmost window opens in the
  // topmost band itself, rather than under its owner until the next always-on-top tick.
  void BeforeShow(QWidget* window);

 private:
  struct Xcb;
  void Probe();
  // As on Windows, the windows a topmost window owns are topmost too and stay above
  // it: otherwise a modal settings window would open underneath its always-on-top owner.
  void RaiseWithOwned(QWidget* window);
  bool OwnerIsTopmost(ui::NativeWindow window);
  void SendAbove(ui::NativeWindow window, bool above);
  void Pin(QWidget* window);
  // Our own client window that `window` is, or is a frame around; kNoWindow when it is neither.
  ui::NativeWindow OwnClientOf(ui::NativeWindow window);

  QtHost& host_;
  bool probed_ = false;
  std::unique_ptr<Xcb> xcb_;  // null without EWMH support
  std::set<ui::NativeWindow> pinned_;
  std::set<ui::NativeWindow> topmost_;  // our windows last asked into the topmost band
};

}  // namespace qt_frontend
