// The control kit's behaviour: clicks, tick-box notification and edits.
#include "ui/controls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ui/form.h"

namespace ui {

std::string Colour::Describe() const {
  switch (kind_) {
    case Kind::SystemWindow: return "system window background";
    case Kind::PlatformDefault: return "default";
    case Kind::Rgb: break;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(rgb_));
  return buf;
}

Control::Control(Form& owner, ControlKind kind, std::string name, Rect rect)
    : form_(owner), kind_(kind), name_(std::move(name)), rect_(rect) {
  owner.controls_.push_back(this);
}

Label::Label(Form& owner, std::string name, std::string caption, Rect rect)
    : Control(owner, ControlKind::Label, std::move(name), rect), caption_(std::move(caption)) {}

void Label::Click() {
  if (enabled() && on_click_) on_click_();
}

std::string Label::Description() const { return describer_ ? describer_(*this) : std::string(); }

Button::Button(Form& owner, std::string name, std::string caption, Rect rect)
    : Control(owner, ControlKind::Button, std::move(name), rect), caption_(std::move(caption)) {}

void Button::Click() {
  if (enabled() && on_click_) on_click_();
}

TickBox::TickBox(Form& owner, std::string name, std::string caption, Rect rect, int state)
    : Control(owner, ControlKind::TickBox, std::move(name), rect), caption_(std::move(caption)), state_(state) {}

void TickBox::SetState(int state) {
  if (state == state_) return;
  state_ = state;
  if (on_click_) on_click_();
}

void TickBox::Click() {
  if (enabled()) SetState(state_ == 1 ? 0 : 1);
}

TextBox::TextBox(Form& owner, std::string name, std::string text, Rect rect)
    : Control(owner, ControlKind::TextBox, std::move(name), rect), text_(std::move(text)) {}

void TextBox::Edit(std::string t) {
  if (enabled() && !read_only_) text_ = std::move(t);
}

Line::Line(Form& owner, std::string name, int x1, int y1, int x2, int y2, Colour colour, int pixels)
    : Control(owner, ControlKind::Line, std::move(name),
              Rect{std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)}),
      x1_(x1),
      y1_(y1),
      x2_(x2),
      y2_(y2),
      pixels_(pixels) {
  set_fore_colour(colour);
}

}  // namespace ui
