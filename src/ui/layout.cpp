// The placement rules every front end shares: windows onto a monitor, labels clear of siblings.
#include "ui/layout.h"

#include <algorithm>
#include <cstdint>

#include "ui/form.h"

namespace ui {
namespace {

std::int64_t SharedArea(const ScreenRect& a, const ScreenRect& b) {
  const std::int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const std::int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// The squared distance between two rectangles that share nothing.
std::int64_t Gap(const ScreenRect& a, const ScreenRect& b) {
  const std::int64_t dx = std::max<std::int64_t>({0, std::int64_t{b.left} - a.right, std::int64_t{a.left} - b.right});
  const std::int64_t dy = std::max<std::int64_t>({0, std::int64_t{b.top} - a.bottom, std::int64_t{a.top} - b.bottom});
  return dx * dx + dy * dy;
}

// The least move along one axis that puts [start, start + length) inside [low, high).
int Clamp(int start, int length, int low, int high) {
  if (length >= high - low) return low;
  return std::clamp(start, low, high - length);
}

bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
}

}  // namespace

ScreenRect PlaceOnMonitor(ScreenRect window, const std::vector<ScreenRect>& work_areas) {
  if (work_areas.empty()) return window;
  const ScreenRect* best = &work_areas.front();
  for (const ScreenRect& area : work_areas) {
    const std::int64_t shared = SharedArea(window, area), best_shared = SharedArea(window, *best);
    if (shared > best_shared || (shared == 0 && best_shared == 0 && Gap(window, area) < Gap(window, *best)))
      best = &area;
  }
  const int left = Clamp(window.left, window.width(), best->left, best->right);
  const int top = Clamp(window.top, window.height(), best->top, best->bottom);
  return ScreenRect{left, top, left + window.width(), top + window.height()};
}

Rect DrawnRect(const Control& control) {
  Rect drawn = control.rect();
  if (!control.rendered() || (control.kind() != ControlKind::Label && control.kind() != ControlKind::TickBox))
    return drawn;
  for (const Control* other : control.form().controls()) {
    if (other == &control || !other->rendered() || other->kind() == ControlKind::Line || !Overlap(drawn, other->rect()))
      continue;
    const Rect& r = other->rect();
    // Beside the label: it ends short of the sibling; below it: it ends above.
    if (r.left > drawn.left) {
      drawn.width = r.left - drawn.left;
    } else if (r.top > drawn.top) {
      drawn.height = r.top - drawn.top;
    }
  }
  return drawn;
}

}  // namespace ui
