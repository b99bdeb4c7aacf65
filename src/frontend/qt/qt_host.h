// QtHost: the Qt Widgets front end of the desktop. It gives every open form a top-level widget, hands
// the user's input and the passing of time to the core, and pushes the model back into the widgets.
#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/desktop.h"

class QGuiApplication;
class QWidget;

namespace qt_frontend {

class FormWindow;

class QtHost : public ui::WindowHost {
 public:
  explicit QtHost(ui::Desktop& desktop);
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  // ui::WindowHost. Neither calls back into the core.
  void Open(ui::Form& form) override;
  void Destroy(ui::Form& form) override;

  // Opens a window with no owner from outside any event (at start-up), then arms the timer.
  ui::Form& OpenTopLevel(std::unique_ptr<ui::Form> form);
  // Closes every window that has no owner as its close box would (signals, end of session, quit).
  void CloseTopLevels();
  // A logout may be beginning: every window stores what it stores as it closes, and stays open, for
  // the logout may yet be cancelled. Within an event it is done once that event has ended.
  void StoreForSessionEnd();
  // Follows the desktop session: its request to save runs StoreForSessionEnd, and the application
  // quitting (the session really ending) closes every window.
  void FollowSession(QGuiApplication& app);

  // Pushes the model into every widget of every open window, touching only what differs.
  void Sync();

  QWidget* WidgetOf(const ui::Form& form) const;
  // Every open window's widget, oldest first.
  std::vector<QWidget*> Widgets() const;
  // The open windows owned by this one, directly or through another, oldest first.
  std::vector<QWidget*> OwnedWindows(const QWidget* window) const;
  ui::Desktop& desktop() const { return desktop_; }
  // Monotonic milliseconds since the host started: the core's clock.
  ui::Millis Now() const { return clock_.elapsed(); }
  // What happens when the last window has gone; quitting the application by default.
  void set_on_empty(std::function<void()> f) { on_empty_ = std::move(f); }
  // Called with each new window after it is built and before it is first shown, so the window
  // manager port can give it its stacking state from the start.
  void set_before_show(std::function<void(QWidget*)> f) { before_show_ = std::move(f); }

  // Input from the widgets. Each sets the core's clock, forwards, and then ends the event.
  void Click(ui::Control& control);
  void Edit(ui::TextBox& box, std::string text);
  void Close(ui::Form& form);
  // A window reports its new frame position; reported at once, or after the event in progress.
  void ReportMove(FormWindow& window);

 private:
  template <class F>
  void Dispatch(F&& forward);
  // After every event: widgets synced, the native timer armed, the program ended with no window left.
  void EndEvent(const ui::Desktop::Settled& settled);
  void ArmTimer(std::optional<ui::Millis> due);
  void TimerFired();
  void FlushMoves();
  FormWindow* WindowFor(const ui::Form& form) const;

  ui::Desktop& desktop_;
  QElapsedTimer clock_;
  QTimer timer_;
  // Windows of open forms, oldest first. A destroyed window leaves the list at once; Qt deletes it
  // later, since it may be the very widget whose signal is being handled.
  std::vector<FormWindow*> windows_;
  // Non-zero while the core runs an event: input arriving then (a move caused by showing a window)
  // waits until the event has ended, so the forms it touches are never collected under it.
  int depth_ = 0;
  bool empty_reported_ = false;
  // A close of every window (a signal, the session's end) asked for while an event was in progress:
  // it is carried out as soon as that event has ended, never dropped.
  bool close_pending_ = false;
  // A request to store everything that came while an event was in progress, likewise.
  bool store_pending_ = false;
  std::function<void()> on_empty_;
  std::function<void(QWidget*)> before_show_;
};

}  // namespace qt_frontend
