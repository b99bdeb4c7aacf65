// The open windows of the program, kept in the core: opening a form (modal to an owner or not),
// closing it with its children first, and the entry points through which a front end hands the
// user's input and the passing of time to the core.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/timer.h"

namespace ui {

// What a front end does for the desktop. It never calls back into the core from these.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Create and show the native window of a form that has been loaded; modal to its owner, if any.
  virtual void Open(Form& form) = 0;
  // The form has closed and unloaded: remove its native window.
  virtual void Destroy(Form& form) = 0;
};

class Desktop {
 public:
  Desktop() = default;
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  ~Desktop();

  TimerService& timers() { return timers_; }
  void set_host(WindowHost* host) { host_ = host; }

  // Loads the form, then shows it. With an owner, the form is modal to it: the owner takes no input
  // until the form closes, but every timer keeps ticking. Returns at once.
  Form& Open(std::unique_ptr<Form> form, Form* owner);
  // Closes the form: the windows it owns close first, newest first; then it unloads (once) and its
  // native window goes. Closing a closed form does nothing.
  void Close(Form& form);
  bool IsOpen(const Form& form) const;
  const std::vector<Form*>& open_forms() const { return open_; }
  bool empty() const { return open_.empty(); }
  // True while a window owned by this form is open.
  bool HasOpenChild(const Form& form) const;

  // What a front end does after each event: sync its windows, arm its one native timer for
  // `next_due` (none when no timer is armed), and end the program when no window is left.
  struct Settled {
    std::optional<Millis> next_due;
    bool windows_left = false;
  };
  // The routine around every event, the same for every front end: the clock is set to `now`, the
  // input runs (one of the User* calls below, or opening a window), and once the outermost event
  // has ended the forms that closed in it are deleted. An event delivered from inside another (a
  // native window echoing what the core does) runs, but collects nothing under the outer one.
  Settled Deliver(Millis now, const std::function<void()>& input);
  // One pass of the timers due at `now`, as one event. No tick of a window that closed, or that is
  // closing, runs: closing a window retires its timers at once.
  Settled TimerPass(Millis now);
  // Every window without an owner closes as its close box would, newest first, as one event: the
  // end of the session, a signal, the application quitting.
  Settled CloseAll(Millis now);

  // Input, called from inside Deliver. Each refuses input to a window that has a modal child open.
  void UserClick(Control& control);
  void UserEdit(TextBox& box, std::string text);
  void UserMoved(Form& form, float left, float top);
  void UserClose(Form& form) { Close(form); }
  // The session may be about to end: every open window stores what it stores as it closes, and
  // stays open, for the end may yet be called off.
  void StoreAll();
  // Called around every timer pass, so a port can share work among the ticks of one pass: the
  // process port reads the process list at most once per pass.
  void set_timer_pass_hooks(std::function<void()> begins, std::function<void()> ends) {
    pass_begins_ = std::move(begins);
    pass_ends_ = std::move(ends);
  }
  // Called once the outermost event has ended, before the forms that closed in it are deleted: a
  // window may look at what the whole event changed.
  void set_after_event(std::function<void()> after) { after_event_ = std::move(after); }
  // Deletes the forms that closed; Deliver calls it, and a program's very end may.
  void CollectClosed();

 private:
  TimerService timers_;
  WindowHost* host_ = nullptr;
  std::vector<std::unique_ptr<Form>> owned_;
  std::vector<Form*> open_;
  std::vector<std::unique_ptr<Form>> closed_;
  int depth_ = 0;
  std::function<void()> pass_begins_;
  std::function<void()> pass_ends_;
  std::function<void()> after_event_;
};

}  // namespace ui
