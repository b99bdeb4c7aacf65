// Always on top: once a second, whatever other window has the foreground leaves the topmost band
// and the main window enters it, neither moving nor changing size.
#include "app/main_window.h"

void TARNWICK_MAIN::AlwaysOnTopTick() {
  ui::WindowManager& wm = platform_.window_manager;
  ui::NativeWindow self = wm.WindowOf(*this);
  if (wm.ForegroundWindow() == self) return;
  // The foreground may have changed since the first question; the second answer is the one moved.
  wm.SetTopmost(wm.ForegroundWindow(), false);
  wm.SetTopmost(self, true);
}

void TARNWICK_MAIN::AlwaysOnTopTickBoxClick() {
  // Clearing the box leaves the window where a tick put it in the stacking order.
  AlwaysOnTopTimer.Set(AlwaysOnTopTimer_TICKBOX.ticked());
}
