// The toolkit-free control kit: every window of the program is a Form holding these controls as
// plain data. Front ends draw them and forward the user's clicks and edits back through Form.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "ui/colour.h"

namespace ui {

class Form;

// Positions and sizes are twips (1/1440 inch); 15 twips make a pixel at 96 dots per inch.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
  std::string family;  // empty: the window's default font
  double points = 0;   // 0 with an empty family: the default size too
  bool bold = false;
  bool IsDefault() const { return family.empty(); }
  friend bool operator==(const Font&, const Font&) = default;
};

namespace fonts {
inline const Font kDefault{};
inline Font Bold(const char* family, double points) { return Font{family, points, true}; }
}  // namespace fonts

enum class ControlKind { Label, Button, TickBox, TextBox, Line };

class Control {
 public:
  Control(Form& owner, ControlKind kind, std::string name, Rect rect);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  Form& form() const { return form_; }
  const Rect& rect() const { return rect_; }

  // A control that is model-only (a hidden holder, or a constant of its window) is never drawn.
  bool rendered() const { return rendered_; }
  void set_rendered(bool r) { rendered_ = r; }

  bool enabled() const { return enabled_; }
  void set_enabled(bool e) { enabled_ = e; }

  Colour back_colour() const { return back_; }
  void set_back_colour(Colour c) { back_ = c; }
  Colour fore_colour() const { return fore_; }
  void set_fore_colour(Colour c) { fore_ = c; }
  const Font& font() const { return font_; }
  void set_font(Font f) { font_ = std::move(f); }
  bool centred() const { return centred_; }
  void set_centred(bool c) { centred_ = c; }

  // Accessible description a front end may hand to assistive technology.
  virtual std::string Description() const { return {}; }

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  Rect rect_;
  bool rendered_ = true;
  bool enabled_ = true;
  Colour back_ = colours::kDefault;
  Colour fore_ = colours::kDefault;
  Font font_;
  bool centred_ = false;
};

using Handler = std::function<void()>;

// A label; a handler makes it clickable (the step lights, the hub's credit line).
class Label : public Control {
 public:
  Label(Form& owner, std::string name, std::string caption, Rect rect);
  const std::string& caption() const { return caption_; }
  void set_caption(std::string c) { caption_ = std::move(c); }
  void OnClick(Handler h) { on_click_ = std::move(h); }
  bool clickable() const { return static_cast<bool>(on_click_); }
  void Click();
  std::string Description() const override;
  void set_describer(std::function<std::string(const Label&)> d) { describer_ = std::move(d); }

 private:
  std::string caption_;
  Handler on_click_;
  std::function<std::string(const Label&)> describer_;
};

class Button : public Control {
 public:
  Button(Form& owner, std::string name, std::string caption, Rect rect);
  const std::string& caption() const { return caption_; }
  void set_caption(std::string c) { caption_ = std::move(c); }
  void OnClick(Handler h) { on_click_ = std::move(h); }
  // A press by the user (or by Enter / Escape); ignored while the button is disabled.
  void Click();

 private:
  std::string caption_;
  Handler on_click_;
};

// A tick box. Setting its state from code runs its click handler when, and only when, the state
// changes, exactly as a click by the user does.
class TickBox : public Control {
 public:
  TickBox(Form& owner, std::string name, std::string caption, Rect rect, int state = 0);
  const std::string& caption() const { return caption_; }
  int state() const { return state_; }
  bool ticked() const { return state_ == 1; }
  void SetState(int state);
  void OnClick(Handler h) { on_click_ = std::move(h); }
  // A click by the user: toggles the state and runs the handler; ignored while disabled.
  void Click();

 private:
  std::string caption_;
  int state_;
  Handler on_click_;
};

class TextBox : public Control {
 public:
  TextBox(Form& owner, std::string name, std::string text, Rect rect);
  const std::string& text() const { return text_; }
  void set_text(std::string t) { text_ = std::move(t); }
  bool read_only() const { return read_only_; }
  void set_read_only(bool r) { read_only_ = r; }
  // Text typed by the user; refused while the box is disabled or read-only.
  void Edit(std::string t);

 private:
  std::string text_;
  bool read_only_ = false;
};

class Line : public Control {
 public:
  Line(Form& owner, std::string name, int x1, int y1, int x2, int y2, Colour colour, int pixels);
  int x1() const { return x1_; }
  int y1() const { return y1_; }
  int x2() const { return x2_; }
  int y2() const { return y2_; }
  int pixel_width() const { return pixels_; }

 private:
  int x1_, y1_, x2_, y2_, pixels_;
};

}  // namespace ui
