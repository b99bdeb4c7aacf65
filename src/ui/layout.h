// Where a front end draws windows and controls: pure rules, the same for every front end, so the
// Qt and Win32 programs place things alike and tests can check them as tables.
#pragma once
#include <vector>

#include "ui/controls.h"

namespace ui {

// A rectangle on the screen in pixels; right and bottom lie just outside it.
struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Moves `window` the least distance that brings it wholly onto the work area of the monitor it
// mostly lies on (the one it shares most area with; sharing none, the nearest). A window wider or
// taller than that work area has its left or top edge at the work area's, so its title bar stays
// reachable. Its size never changes. No work areas: the window stays where it is.
ScreenRect PlaceOnMonitor(ScreenRect window, const std::vector<ScreenRect>& work_areas);

// The rectangle, in twips, in which a control is drawn: its designed one, except that a caption (a
// label or a tick box) whose designed rectangle reaches into a sibling beside or below it ends where
// that sibling begins, so no two controls paint over one another.
Rect DrawnRect(const Control& control);

}  // namespace ui
