// Forms: their controls, tab order and position, and closing a window from its own handlers.
#include "ui/form.h"

#include "ui/desktop.h"

namespace ui {

Form::Form(Desktop& desktop, std::string name) : desktop_(desktop), name_(std::move(name)) {}

TimerService& Form::timers() const { return desktop_.timers(); }

Control* Form::Find(const std::string& name) const {
  for (Control* c : controls_)
    if (c->name() == name) return c;
  return nullptr;
}

Control* Form::FirstFocus() const {
  for (Control* c : tab_order_)
    if (c->enabled() && c->rendered()) return c;
  return nullptr;
}

void Form::Moved(float left, float top) {
  geometry_.left = left;
  geometry_.top = top;
}

void Form::CloseWindow() { desktop_.Close(*this); }

}  // namespace ui
