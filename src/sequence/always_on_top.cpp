// Always on top: once a second, whatever other window has the foreground leaves the topmost band
// and the main window enters it, neither moving nor changing size nor taking the keyboard.
#include "app/main_window.h"

#include "ui/desktop.h"

void TARNWICK_MAIN::AlwaysOnTopTick() {
  ui::WindowManager& wm = platform_.window_manager;
  ui::NativeWindow self = wm.WindowOf(*this);
  // A settings window of this program in front is the main window in front: the main window is
  // disabled under it, and pushing the main window up would only fight the window the user types in.
  const ui::NativeWindow front = wm.ForegroundWindow();
  if (front == self) return;
  for (const ui::Form* form : desktop().open_forms())
    if (front != ui::kNoWindow && wm.WindowOf(*form) == front) return;
  // The foreground may have changed since the first question; the second answer is the one moved.
  wm.SetTopmost(wm.ForegroundWindow(), false);
  wm.SetTopmost(self, true);
}

void TARNWICK_MAIN::AlwaysOnTopTickBoxClick() {
  // Clearing the box leaves the window where a tick put it in the stacking order.
  AlwaysOnTopTimer.Set(AlwaysOnTopTimer_TICKBOX.ticked());
  StoreTickAtOnce(AlwaysOnTopTimer_TICKBOX);
}
