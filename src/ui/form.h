// A window of the program as data: its controls, timers, geometry and keyboard roles. Forms are
// opened and closed through the Desktop, which keeps modality and closing order in the core.
#pragma once
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/timer.h"

namespace ui {

class Desktop;

// Window geometry in twips. Width and height are outer sizes on the designed frame (45-twip borders,
// a 330-twip title bar); left and top are the outer frame's position on the screen.
struct Geometry {
  float left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Geometry&, const Geometry&) = default;
};

inline constexpr int kDesignBorderTwips = 45;
inline constexpr int kDesignTitleBarTwips = 330;
inline constexpr int kTwipsPerInch = 1440;
// The client area the platform must give a window of this outer size: the platform draws its own
// frame around it, so every designed control stays inside whatever frame is drawn.
inline float ClientWidthTwips(const Geometry& g) { return g.width - 2 * kDesignBorderTwips; }
inline float ClientHeightTwips(const Geometry& g) { return g.height - kDesignBorderTwips - kDesignTitleBarTwips; }

class Form {
 public:
  Form(Desktop& desktop, std::string name);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form() = default;

  const std::string& name() const { return name_; }
  const std::string& title() const { return title_; }
  void set_title(std::string t) { title_ = std::move(t); }
  const Geometry& geometry() const { return geometry_; }
  void set_geometry(Geometry g) { geometry_ = g; }
  float left() const { return geometry_.left; }
  float top() const { return geometry_.top; }

  // Whether the window shows in the taskbar and has a minimise button (the main window does).
  bool main_style() const { return main_style_; }
  void set_main_style(bool m) { main_style_ = m; }

  Desktop& desktop() const { return desktop_; }
  TimerService& timers() const;
  Form* owner() const { return owner_; }

  const std::vector<Control*>& controls() const { return controls_; }
  Control* Find(const std::string& name) const;
  const std::vector<Control*>& tab_order() const { return tab_order_; }
  // The first enabled control of the tab order: it has the focus when the window opens.
  Control* FirstFocus() const;
  Button* default_button() const { return default_button_; }
  Button* cancel_button() const { return cancel_button_; }

  // Runs once before the window is first shown, and once as it closes, however it is closed.
  virtual void Load() {}
  // Stores what the window keeps and does nothing else: a session that may end runs it early too
  // (Desktop::StoreAll), with the window left open.
  virtual void Unload() {}

  // The window was moved by the user or the window manager.
  void Moved(float left, float top);

 protected:
  void SetTabOrder(std::vector<Control*> order) { tab_order_ = std::move(order); }
  void SetDefaultButton(Button* b) { default_button_ = b; }
  void SetCancelButton(Button* b) { cancel_button_ = b; }
  // Closes this window through the desktop (children first), as its close box would.
  void CloseWindow();

 private:
  friend class Control;
  friend class Desktop;
  Desktop& desktop_;
  std::string name_;
  std::string title_;
  Geometry geometry_;
  bool main_style_ = false;
  Form* owner_ = nullptr;
  std::vector<Control*> controls_;
  std::vector<Control*> tab_order_;
  Button* default_button_ = nullptr;
  Button* cancel_button_ = nullptr;
};

}  // namespace ui
